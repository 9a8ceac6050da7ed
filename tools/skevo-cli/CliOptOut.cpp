// skevo-cli optout list [FILTER] | add NUMBER... | delete NUMBER... | import FILE | export FILE:
// the opt-out list of the database named by setting.ini, through the same logic as its dialog.
// FILE "-" is standard input or output.
#include "CliCommands.h"

#include "app/CSkevoApp.h"
#include "base/FileWriter.h"
#include "db/CDbAccess.h"
#include "outbox/OptOutList.h"


#include <cstdio>
#include <limits>

namespace {
const QString kUsage = QStringLiteral("usage: skevo-cli optout list [FILTER] | add NUMBER... | delete NUMBER... | "
                                      "import FILE | export FILE  (FILE - for stdin/stdout)");

void PrintErr(const QString &line)
{
    PrintLine(stderr, line);
}

void PrintOut(const QString &line)
{
    PrintLine(stdout, line);
}

} // namespace

int RunOptOut(const QStringList &args)
{
    const QString command = args.value(0);
    const bool takesFile = command == QLatin1String("import") || command == QLatin1String("export");
    const bool takesNumbers = command == QLatin1String("add") || command == QLatin1String("delete");
    if (!(command == QLatin1String("list") && args.size() <= 2) && !(takesFile && args.size() == 2)
        && !(takesNumbers && args.size() >= 2))
        return CliFail(kUsage);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    CDbAccess db(app.DbSettingsSource());
    OptOutList list(db);

    if (command == QLatin1String("list")) {
        QVector<OptOutList::Entry> entries;
        int total = 0;
        if (!list.Load(args.value(1), std::numeric_limits<int>::max(), &entries, &total)) {
            PrintErr(QStringLiteral("读取数据库出错: ") + list.Error());
            return 1;
        }
        // For a person, unlike the export: one line an entry, nothing a terminal would obey.
        for (const OptOutList::Entry &e : entries)
            PrintOut(QStringList{OneLine(e.number), e.time, OptOutList::SourceText(e.source), OneLine(e.text)}.join(u'\t'));
        PrintErr(QStringLiteral("共 %1 个号码").arg(total));
        return 0;
    }
    if (takesNumbers) {
        for (const QString &number : args.mid(1)) {
            if (command == QLatin1String("delete") ? !list.Delete(number) : !list.Add(number, OptOutList::Source::Manual)) {
                PrintErr(number + QStringLiteral(": ") + list.Error());
                return list.Error() == OptOutList::InvalidNumberText() ? 2 : 1;
            }
        }
        return 0;
    }
    if (command == QLatin1String("export")) {
        const std::optional<QByteArray> csv = list.ExportCsv();
        if (!csv) {
            PrintErr(QStringLiteral("读取数据库出错: ") + list.Error());
            return 1;
        }
        const QString failure = FileWriter::WriteWhole(args.at(1), *csv);
        if (!failure.isEmpty())
            PrintErr(failure);
        return failure.isEmpty() ? 0 : 1;
    }
    const std::optional<QByteArray> csv = ReadInput(args.at(1));
    if (!csv)
        return 1;
    const OptOutList::Imported imported = list.ImportCsv(*csv);
    if (!imported.ok) {
        PrintErr(QStringLiteral("导入失败,黑名单没有改变\n") + list.Error());
        return 1;
    }
    PrintOut(OptOutList::ImportedText(imported).m_strText);
    return imported.refusedLines.isEmpty() ? 0 : 1;
}

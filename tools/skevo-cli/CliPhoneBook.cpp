// skevo-cli phonebook list | import FILE | export FILE: the phone book of the database named
// by setting.ini in the working directory, through the same logic as its dialog. FILE "-"
// is standard input or output.
#include "CliCommands.h"

#include "app/CSkevoApp.h"
#include "base/FileWriter.h"
#include "db/CDbAccess.h"
#include "send/PhoneBook.h"
#include "send/PhoneBookModel.h"


#include <cstdio>

namespace {
const QString kUsage = QStringLiteral("usage: skevo-cli phonebook list | import FILE | export FILE  (FILE - for stdin/stdout)");

void PrintErr(const QString &line)
{
    PrintLine(stderr, line);
}

bool WriteOut(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
        && std::fflush(stdout) == 0;
}

// The whole file or none of it; "-" is standard output.
bool WriteFile(const QString &path, const QByteArray &bytes)
{
    const QString failure = FileWriter::WriteWhole(path, bytes);
    if (failure.isEmpty())
        return true;
    PrintErr(failure);
    return false;
}
} // namespace

int RunPhoneBook(const QStringList &args)
{
    const QString command = args.value(0);
    const bool takesFile = command == QLatin1String("import") || command == QLatin1String("export");
    if (!(command == QLatin1String("list") && args.size() == 1) && !(takesFile && args.size() == 2))
        return CliFail(kUsage);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    CDbAccess db(app.DbSettingsSource());
    bool failed = false;
    db.SetErrorSink([&failed](const QString &text) {
        failed = true;
        PrintErr(text);
    });
    PhoneBookModel model;
    PhoneBook book(db, model);
    if (const QString failure = book.Load(); !failure.isEmpty() || failed) {
        if (!failure.isEmpty())
            PrintErr(failure);
        return 1;
    }

    if (command == QLatin1String("list")) {
        // For a person, unlike the export: one line an entry, nothing a terminal would obey.
        QByteArray out;
        for (const PhoneBookEntry &e : model.AllEntries()) {
            const QStringList fields{OneLine(e.m_strName), OneLine(e.m_strNumber), OneLine(e.m_strRelation)};
            out += (Visible(fields.join(u'\t')) + u'\n').toUtf8();
        }
        return WriteOut(out) ? 0 : 1;
    }
    if (command == QLatin1String("export"))
        return WriteFile(args.at(1), book.ExportCsv()) ? 0 : 1;

    const std::optional<QByteArray> csv = ReadInput(args.at(1));
    if (!csv)
        return 1;
    const PhoneBook::ImportOutcome outcome = book.Import(*csv);
    if (!outcome.m_bStored) {
        PrintErr(outcome.Summary().m_strText);
        return 1;
    }
    WriteOut(QStringLiteral("added\t%1\nexisting\t%2\nrefused\t%3\n")
                 .arg(outcome.m_nAdded)
                 .arg(outcome.m_nExisting)
                 .arg(outcome.m_nRefused)
                 .toUtf8());
    for (const PhoneBook::ImportOutcome::Refusal &r : outcome.m_refused)
        PrintErr(QStringLiteral("line %1: %2").arg(r.m_nLine).arg(r.m_strText));
    if (outcome.m_nRefused > 0)
        return 1;
    return 0;
}

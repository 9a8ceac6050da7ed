#include "NumberFile.h"

#include "CsvText.h"
#include "GbkText.h"
#include "NumberRules.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace {
const QStringList kNumberColumns{QStringLiteral("号码"), QStringLiteral("手机号码"), QStringLiteral("电话号码")};

bool IsBlank(const CsvText::Record &r)
{
    return std::all_of(r.m_fields.cbegin(), r.m_fields.cend(), [](const QString &f) { return f.trimmed().isEmpty(); });
}

// The line a record ends on (a quoted cell may hold line breaks).
int LastLineOf(const CsvText::Record &r)
{
    return r.m_nLine + int(r.m_strText.count(u'\n'));
}
} // namespace

namespace NumberFile {

QString Contents::Refusal() const
{
    QString text = QStringLiteral("该文件无效");
    if (!m_strWhy.isEmpty())
        text += u'\n' + m_strWhy;
    return text;
}

bool IsStartFile(const QByteArray &head)
{
    return head.startsWith("start");
}

Contents Read(const QString &path)
{
    Contents c;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return c;
    if (IsStartFile(file.peek(5))) {
        file.close();
        c.m_bValid = NumberRules::ReadNumberFile(path, &c.m_numbers, &c.m_nFailed);
        return c;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return c;
    return ReadCsv(bytes);
}

Contents ReadCsv(const QByteArray &csv)
{
    Contents c;
    c.m_bCsv = true;
    QByteArray bytes = csv;
    if (bytes.startsWith(CsvText::Bom()))
        bytes.remove(0, CsvText::Bom().size());
    const GbkText::Lines text = GbkText::FromUtf8OrGbkLines(bytes);
    QList<CsvText::Record> records = CsvText::Parse(text.m_strText);
    records.removeIf(IsBlank);
    const auto unreadable = [&text](const CsvText::Record &r) {
        return std::any_of(text.m_invalidLines.cbegin(), text.m_invalidLines.cend(),
                           [&r](int line) { return line >= r.m_nLine && line <= LastLineOf(r); });
    };

    QStringList columns;
    if (!records.isEmpty() && !unreadable(records.first())) {
        for (const QString &cell : records.first().m_fields)
            columns.append(cell.trimmed());
    }
    qsizetype numberColumn = -1;
    for (const QString &name : kNumberColumns) {
        if ((numberColumn = columns.indexOf(name)) >= 0)
            break;
    }
    if (numberColumn < 0) {
        // A file that shows no sign of being CSV is simply not a number file.
        if (columns.size() > 1)
            c.m_strWhy = QStringLiteral("CSV文件的第一行应是各列的名字, 其中一列名为\"号码\"");
        return c;
    }

    c.m_fields.AddColumns(columns);
    QSet<QString> seen;
    c.m_numbers.reserve(records.size() - 1);
    QStringList values;
    for (qsizetype r = 1; r < records.size(); ++r) {
        const CsvText::Record &record = records.at(r);
        const QString number = record.m_fields.value(numberColumn).trimmed();
        if (unreadable(record) || !NumberRules::IsValidNumber(number)) {
            ++c.m_nFailed;
            continue;
        }
        const QString normalised = NumberRules::NumberAsSent(number);
        if (seen.contains(normalised))
            continue;
        seen.insert(normalised);
        c.m_numbers.append(normalised);
        values.clear();
        for (qsizetype i = 0; i < columns.size(); ++i)
            values.append(record.m_fields.value(i).trimmed());
        c.m_fields.Add(normalised, columns, values);
    }
    c.m_bValid = true;
    return c;
}

} // namespace NumberFile

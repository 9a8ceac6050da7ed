#include "OptOutList.h"

#include "CJournal.h"

#include "base/CsvText.h"
#include "base/GbkText.h"
#include "base/NumberRules.h"
#include "db/CDbAccess.h"
#include "db/DbTime.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace {
constexpr int kImportBatch = 1000; // rows of one Sql::OptOutAddBatch
const QStringList kNumberColumns{QStringLiteral("号码"), QStringLiteral("手机号码"), QStringLiteral("电话号码")};

QString Json(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}
} // namespace

OptOutList::OptOutList(CDbAccess &db)
    : m_db(db)
{
}

QString OptOutList::SourceText(Source source)
{
    switch (source) {
    case Source::Manual:
        return QStringLiteral("手动");
    case Source::Reply:
        return QStringLiteral("回复");
    case Source::Import:
        break;
    }
    return QStringLiteral("导入");
}

std::optional<OptOutList::Source> OptOutList::SourceOf(const QString &text)
{
    for (Source s : {Source::Manual, Source::Reply, Source::Import}) {
        if (text.trimmed() == SourceText(s))
            return s;
    }
    return std::nullopt;
}

QString OptOutList::Key(const QString &number)
{
    return CJournal::NumberKey(number);
}

bool OptOutList::Fail(const QString &error)
{
    m_strError = error;
    return false;
}

QString OptOutList::InvalidNumberText()
{
    return QStringLiteral("手机号码不能超过24位并且不能包含非数字字符");
}

bool OptOutList::Add(const QString &number, Source source, const QString &text, bool *added)
{
    m_strError.clear();
    const QString n = number.trimmed();
    if (!NumberRules::IsValidNumber(n))
        return Fail(InvalidNumberText());
    if (!m_db.Execute(Sql::OptOutAdd, {Key(n), n, DbTime::Now(), int(source), text}))
        return Fail(m_db.LastError());
    if (added)
        *added = m_db.RowsAffected() > 0;
    return true;
}

bool OptOutList::Delete(const QString &number)
{
    m_strError.clear();
    return m_db.Execute(Sql::OptOutDelete, {Key(number.trimmed())}) || Fail(m_db.LastError());
}

bool OptOutList::Load(const QString &filter, int limit, QVector<Entry> *entries, int *total)
{
    m_strError.clear();
    entries->clear();
    const QString f = filter.trimmed();
    try {
        const RecordsetPtr count = m_db.OpenRecordset(Sql::OptOutCount, {f, f});
        if (!count->IsOpen())
            return Fail(m_db.LastError());
        *total = count->IsEOF() ? 0 : count->GetFieldValue(0).toInt();
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::OptOutSelect, {f, f, limit});
        if (!rs->IsOpen())
            return Fail(m_db.LastError());
        for (; !rs->IsEOF(); rs->MoveNext())
            entries->append({rs->GetFieldText(1), rs->GetFieldText(2), Source(rs->GetFieldValue(3).toInt()), rs->GetFieldText(4)});
    } catch (const CDbError &e) {
        return Fail(e.Description());
    }
    return true;
}

bool OptOutList::IsListed(const QString &number)
{
    const std::optional<QVector<int>> listed = Listed({number});
    return listed && !listed->isEmpty();
}

std::optional<QVector<int>> OptOutList::Listed(const QStringList &numbers)
{
    m_strError.clear();
    QVector<int> positions;
    if (numbers.isEmpty())
        return positions;
    QStringList keys;
    keys.reserve(numbers.size());
    for (const QString &number : numbers)
        keys.append(Key(number));
    // Asked once each and in the index's order: probes that walk the index from its start to
    // its end find their pages where the last one left them (a shuffled list of 100,000 takes
    // the server about three times as long).
    QStringList asked = keys;
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    // The keys as one JSON array, written by hand: a number's key is digits alone, which
    // JSON takes as they stand; any other text is escaped as JSON escapes it.
    QString json;
    json.reserve(asked.size() * 16 + 2);
    json += u'[';
    for (const QString &key : std::as_const(asked)) {
        if (json.size() > 1)
            json += u',';
        if (std::all_of(key.cbegin(), key.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
            json += u'"';
            json += key;
            json += u'"';
        } else {
            const QString one = Json(QJsonArray{key});
            json += QStringView(one).mid(1, one.size() - 2);
        }
    }
    json += u']';
    QSet<QString> listed;
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::OptOutListed, {json});
        if (!rs->IsOpen()) {
            Fail(m_db.LastError());
            return std::nullopt;
        }
        for (; !rs->IsEOF(); rs->MoveNext())
            listed.insert(rs->GetFieldText(0));
    } catch (const CDbError &e) {
        Fail(e.Description());
        return std::nullopt;
    }
    if (listed.isEmpty())
        return positions;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (listed.contains(keys.at(i)))
            positions.append(int(i));
    }
    return positions;
}

std::optional<QByteArray> OptOutList::ExportCsv()
{
    m_strError.clear();
    QString out = CsvText::Line({QStringLiteral("号码"), QStringLiteral("时间"), QStringLiteral("来源"), QStringLiteral("内容")});
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::OptOutSelectAll);
        if (!rs->IsOpen()) {
            Fail(m_db.LastError());
            return std::nullopt;
        }
        for (; !rs->IsEOF(); rs->MoveNext())
            out += CsvText::Line({rs->GetFieldText(1), rs->GetFieldText(2), SourceText(Source(rs->GetFieldValue(3).toInt())),
                                  rs->GetFieldText(4)});
    } catch (const CDbError &e) {
        Fail(e.Description());
        return std::nullopt;
    }
    return CsvText::Bom() + out.toUtf8();
}

OptOutList::Imported OptOutList::ImportCsv(const QByteArray &csv)
{
    m_strError.clear();
    QByteArray bytes = csv;
    if (bytes.startsWith(CsvText::Bom()))
        bytes.remove(0, CsvText::Bom().size());
    const GbkText::Lines text = GbkText::FromUtf8OrGbkLines(bytes);
    QList<CsvText::Record> records = CsvText::Parse(text.m_strText);
    records.removeIf([](const CsvText::Record &r) { return r.m_fields.size() == 1 && r.m_fields.first().trimmed().isEmpty(); });

    // A first line that names a number column is the heading; the other columns are found by
    // their names. Without one, the numbers are the first column.
    int number = 0, time = -1, source = -1, said = -1;
    if (!records.isEmpty()) {
        const QStringList heading = records.first().m_fields;
        for (int i = 0; i < heading.size(); ++i) {
            const QString h = heading.at(i).trimmed();
            if (kNumberColumns.contains(h) && (i == 0 || number == 0))
                number = i;
            time = h == u"时间" ? i : time;
            source = h == u"来源" ? i : source;
            said = h == u"内容" ? i : said;
        }
        if (std::any_of(heading.cbegin(), heading.cend(), [](const QString &h) { return kNumberColumns.contains(h.trimmed()); }))
            records.removeFirst();
        else
            time = source = said = -1;
    }

    Imported imported;
    QJsonArray rows;
    QSet<QString> seen;
    const QString now = DbTime::Now();
    for (const CsvText::Record &r : std::as_const(records)) {
        const QString n = r.m_fields.value(number).trimmed();
        const bool readable = std::none_of(text.m_invalidLines.cbegin(), text.m_invalidLines.cend(),
                                           [&r](int line) { return line == r.m_nLine; });
        if (!readable || !NumberRules::IsValidNumber(n)) {
            imported.refusedLines.append(r.m_nLine);
            continue;
        }
        const QString key = Key(n);
        if (seen.contains(key)) {
            ++imported.existing;
            continue;
        }
        seen.insert(key);
        const QString when = time >= 0 ? DbTime::Canonical(r.m_fields.value(time).trimmed()) : QString();
        const std::optional<Source> from = source >= 0 ? SourceOf(r.m_fields.value(source)) : std::nullopt;
        rows.append(QJsonArray{key, n, when.isEmpty() ? now : when, int(from.value_or(Source::Import)),
                               said >= 0 ? r.m_fields.value(said) : QString()});
    }
    int added = 0;
    const bool ok = m_db.Transaction([&] {
        added = 0;
        for (qsizetype i = 0; i < rows.size(); i += kImportBatch) {
            QJsonArray batch;
            for (qsizetype j = i; j < rows.size() && j < i + kImportBatch; ++j)
                batch.append(rows.at(j));
            if (!m_db.Execute(Sql::OptOutAddBatch, {Json(batch)}))
                return false;
            added += m_db.RowsAffected();
        }
        return true;
    });
    if (!ok) {
        Fail(m_db.LastError());
        return imported;
    }
    imported.ok = true;
    imported.added = added;
    imported.existing += int(rows.size()) - added;
    return imported;
}

OperatorMessage OptOutList::ImportedText(const Imported &imported)
{
    QString text = QStringLiteral("导入完成:增加%1个,已经存在%2个,拒绝%3个")
                       .arg(imported.added)
                       .arg(imported.existing)
                       .arg(imported.refusedLines.size());
    if (!imported.refusedLines.isEmpty()) {
        QStringList lines;
        for (int line : imported.refusedLines.mid(0, 20))
            lines.append(QString::number(line));
        text += QStringLiteral("\n被拒绝的行:") + lines.join(u',') + (imported.refusedLines.size() > 20 ? QStringLiteral("…") : QString());
    }
    return {text, QString(), imported.refusedLines.isEmpty() ? IMessageBox::Information : IMessageBox::Warning};
}

QString OptOutList::SkippedText(int count)
{
    return QStringLiteral("已跳过黑名单号码 %1 个").arg(count);
}

OperatorMessage OptOutList::ReplyQuestion()
{
    return {QStringLiteral("该号码在黑名单中, 确定要发送吗?"), QString(), IMessageBox::Question, IMessageBox::YesNoDefaultNo};
}

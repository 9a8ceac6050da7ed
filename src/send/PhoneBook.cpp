#include "PhoneBook.h"

#include "base/GbkText.h"
#include "db/CDbAccess.h"

#include <QSet>
#include <algorithm>

namespace {
const QString kCaption = QStringLiteral("提示");

PanelMessage Told(const QString &text, IMessageBox::Icon icon = IMessageBox::Information)
{
    return {text, kCaption, icon};
}

PanelMessage Exists(const QString &number)
{
    return Told(QStringLiteral("该号码 ") + number + QStringLiteral(" 已经存在"), IMessageBox::Critical);
}

// A statement takes no NULL for a text column: an empty field is stored as empty text.
QString Stored(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QVariantList Values(const PhoneBookEntry &e)
{
    return {Stored(e.m_strName), Stored(e.m_strNumber), Stored(e.m_strRelation)};
}

// COUNT of the entries holding number; nullopt when the statement failed.
std::optional<int> CountByNumber(CDbAccess &db, const QString &number)
{
    const RecordsetPtr rs = db.OpenRecordset(Sql::BookCountByNumber, {Stored(number)});
    if (!rs->IsOpen())
        return std::nullopt;
    try {
        return rs->IsEOF() ? 0 : rs->GetFieldText(QStringLiteral("NUM")).toInt();
    } catch (const CDbError &) {
        return std::nullopt;
    }
}

// --- CSV (RFC 4180: fields with a comma, a quote or a line break are quoted, quotes doubled)

QString CsvField(const QString &field)
{
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') && !field.contains(u'\r'))
        return field;
    QString quoted = field;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

struct CsvRecord
{
    int line = 0; // where it starts, 1-based
    QString text; // as it stands in the file
    QStringList fields;
};

QList<CsvRecord> ParseCsv(const QString &text)
{
    QList<CsvRecord> records;
    qsizetype i = 0;
    int line = 1;
    const qsizetype n = text.size();
    while (i < n) {
        CsvRecord r;
        r.line = line;
        const qsizetype start = i;
        QString field;
        bool quoted = false;
        bool ended = false;
        while (i < n && !ended) {
            const QChar c = text.at(i);
            if (quoted) {
                if (c == u'"') {
                    if (i + 1 < n && text.at(i + 1) == u'"') {
                        field += u'"';
                        ++i;
                    } else {
                        quoted = false;
                    }
                } else {
                    if (c == u'\n')
                        ++line;
                    field += c;
                }
            } else if (c == u'"') {
                quoted = true;
            } else if (c == u',') {
                r.fields.append(field);
                field.clear();
            } else if (c == u'\n' || c == u'\r') {
                if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                    ++i;
                ++line;
                ended = true;
            } else {
                field += c;
            }
            ++i;
        }
        r.fields.append(field);
        r.text = text.mid(start, i - start).trimmed();
        records.append(r);
    }
    return records;
}

bool IsBlank(const CsvRecord &r)
{
    return r.fields.size() == 1 && r.fields.first().trimmed().isEmpty();
}

// A first line whose number column holds no digit at all names the columns.
bool IsHeading(const CsvRecord &r)
{
    if (r.fields.size() < 2)
        return false;
    const QString number = r.fields.at(1).trimmed();
    return !number.isEmpty() && std::none_of(number.cbegin(), number.cend(), [](QChar c) { return c.isDigit(); });
}

// The entry a record holds, or the reason it is refused.
std::optional<PhoneBookEntry> EntryOf(const CsvRecord &r, QString *reason)
{
    QStringList fields = r.fields;
    while (fields.size() > 3 && fields.last().trimmed().isEmpty())
        fields.removeLast();
    if (fields.size() < 2 || fields.size() > 3) {
        *reason = QStringLiteral("应为名字,电话号码,关系三列");
        return std::nullopt;
    }
    PhoneBookEntry e = PhoneBook::WithoutQuotes({fields.at(0), fields.at(1).trimmed(), fields.value(2)});
    if (!PhoneBook::IsNumberFieldText(e.m_strNumber)) {
        *reason = QStringLiteral("电话号码只能是0到9的数字,最多24位");
        return std::nullopt;
    }
    return e;
}
} // namespace

PhoneBook::PhoneBook(CDbAccess &db, PhoneBookModel &model)
    : m_db(db)
    , m_model(model)
{
}

QString PhoneBook::Load()
{
    QList<PhoneBookEntry> entries;
    QString failure;
    m_groups.clear();
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::BookSelect);
    if (rs->IsOpen()) {
        try {
            for (; !rs->IsEOF(); rs->MoveNext())
                entries.append({rs->GetFieldText(0), rs->GetFieldText(1), rs->GetFieldText(2)});
        } catch (const CDbError &e) {
            failure = e.Description();
        }
    }
    m_model.SetEntries(std::move(entries));
    if (!rs->IsOpen() || !failure.isEmpty())
        return failure;

    const RecordsetPtr groups = m_db.OpenRecordset(Sql::BookGroups);
    if (!groups->IsOpen())
        return {};
    try {
        for (; !groups->IsEOF(); groups->MoveNext())
            m_groups.append(groups->GetFieldText(0));
    } catch (const CDbError &e) {
        return e.Description();
    }
    return {};
}

PhoneBookEntry PhoneBook::WithoutQuotes(const PhoneBookEntry &typed)
{
    auto strip = [](QString text) { return text.remove(u'\''); };
    return {strip(typed.m_strName), strip(typed.m_strNumber), strip(typed.m_strRelation)};
}

bool PhoneBook::IsNumberFieldText(const QString &number)
{
    return number.size() <= kMaxNumberLength
        && std::all_of(number.cbegin(), number.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

std::optional<PanelMessage> PhoneBook::Add(const PhoneBookEntry &typed)
{
    const PhoneBookEntry e = WithoutQuotes(typed);
    const std::optional<int> count = CountByNumber(m_db, e.m_strNumber);
    if (!count)
        return std::nullopt;
    if (*count > 0)
        return Exists(e.m_strNumber);
    if (!m_db.Execute(Sql::BookInsert, Values(e)))
        return std::nullopt;
    m_model.Append({e});
    return Told(QStringLiteral("增加成功!"));
}

std::optional<PanelMessage> PhoneBook::Modify(int row, const PhoneBookEntry &typed)
{
    if (row < 0 || row >= m_model.Count())
        return std::nullopt;
    const PhoneBookEntry e = WithoutQuotes(typed);
    const QString oldNumber = m_model.Entry(row).m_strNumber;
    const std::optional<int> count = CountByNumber(m_db, e.m_strNumber);
    if (!count)
        return std::nullopt;
    // Keeping the entry's own number is no clash.
    if (*count > 0 && e.m_strNumber != oldNumber)
        return Exists(e.m_strNumber);
    if (!m_db.Execute(Sql::BookUpdate, Values(e) << Stored(oldNumber)))
        return std::nullopt;
    m_model.Replace(row, e);
    return Told(QStringLiteral("修改成功!"));
}

std::optional<PanelMessage> PhoneBook::Delete(int row)
{
    if (row < 0 || row >= m_model.Count())
        return std::nullopt;
    if (!m_db.Execute(Sql::BookDelete, {Stored(m_model.Entry(row).m_strNumber)}))
        return std::nullopt;
    m_model.Remove(row);
    return Told(QStringLiteral("删除成功!"));
}

QStringList PhoneBook::ChosenNumbers() const
{
    QStringList numbers;
    for (int entry : m_model.ChosenEntries())
        numbers.append(m_model.AllEntries().at(entry).m_strNumber);
    return numbers;
}

QByteArray PhoneBook::ExportCsv() const
{
    QString out = QStringLiteral("名字,电话号码,关系\n");
    for (const PhoneBookEntry &e : m_model.AllEntries())
        out += CsvField(e.m_strName) + u',' + CsvField(e.m_strNumber) + u',' + CsvField(e.m_strRelation) + u'\n';
    return out.toUtf8();
}

PanelMessage PhoneBook::ImportOutcome::Summary() const
{
    if (!m_bStored) {
        QString text = QStringLiteral("导入失败,电话本没有改变");
        if (!m_strError.isEmpty())
            text += u'\n' + m_strError;
        return Told(text, IMessageBox::Critical);
    }
    QString text = QStringLiteral("导入完成:增加%1个,已经存在%2个,拒绝%3个").arg(m_nAdded).arg(m_nExisting).arg(m_nRefused);
    if (m_nRefused > 0)
        text += QStringLiteral("\n第%1行被拒绝:%2").arg(m_nFirstRefusedLine).arg(m_strFirstRefused);
    return Told(text, m_nRefused > 0 ? IMessageBox::Warning : IMessageBox::Information);
}

PhoneBook::ImportOutcome PhoneBook::Import(const QByteArray &csv)
{
    QByteArray bytes = csv;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QList<CsvRecord> records = ParseCsv(GbkText::FromUtf8OrGbk(bytes));
    records.removeIf(IsBlank);
    if (!records.isEmpty() && IsHeading(records.first()))
        records.removeFirst();

    ImportOutcome outcome;
    QList<PhoneBookEntry> added;
    auto body = [&] {
        outcome = ImportOutcome();
        added.clear();
        // Read inside the transaction, so the check and the inserts see one state of the book.
        QSet<QString> numbers;
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::BookSelect);
        if (!rs->IsOpen())
            return false;
        for (; !rs->IsEOF(); rs->MoveNext())
            numbers.insert(rs->GetFieldText(1));
        for (const CsvRecord &r : std::as_const(records)) {
            QString reason;
            const std::optional<PhoneBookEntry> e = EntryOf(r, &reason);
            if (!e) {
                if (outcome.m_nRefused++ == 0) {
                    outcome.m_nFirstRefusedLine = r.line;
                    outcome.m_strFirstRefused = r.text + QStringLiteral(" (") + reason + u')';
                }
                continue;
            }
            if (numbers.contains(e->m_strNumber)) {
                ++outcome.m_nExisting;
                continue;
            }
            if (!m_db.Execute(Sql::BookInsert, Values(*e)))
                return false;
            numbers.insert(e->m_strNumber);
            added.append(*e);
            ++outcome.m_nAdded;
        }
        return true;
    };
    ImportOutcome failed;
    failed.m_bStored = false;
    try {
        if (!m_db.Transaction(body))
            return failed;
    } catch (const CDbError &e) {
        failed.m_strError = e.Description();
        return failed;
    }
    m_model.Append(added);
    return outcome;
}

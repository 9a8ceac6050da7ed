#include "PhoneBook.h"

#include "base/CsvText.h"
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

const QString kNotText = QStringLiteral("既不是UTF-8也不是GBK编码的文字");

// The line a record ends on (a quoted field may hold line breaks).
int LastLineOf(const CsvText::Record &r)
{
    return r.m_nLine + int(r.m_strText.count(u'\n'));
}

bool IsBlank(const CsvText::Record &r)
{
    return r.m_fields.size() == 1 && r.m_fields.first().trimmed().isEmpty();
}

// A first line whose number column holds no digit at all names the columns.
bool IsHeading(const CsvText::Record &r)
{
    if (r.m_fields.size() < 2)
        return false;
    const QString number = r.m_fields.at(1).trimmed();
    return !number.isEmpty() && std::none_of(number.cbegin(), number.cend(), [](QChar c) { return c.isDigit(); });
}

// The entry a record holds, or the reason it is refused.
std::optional<PhoneBookEntry> EntryOf(const CsvText::Record &r, QString *reason)
{
    QStringList fields = r.m_fields;
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
    QString out = CsvText::Line({QStringLiteral("名字"), QStringLiteral("电话号码"), QStringLiteral("关系")});
    for (const PhoneBookEntry &e : m_model.AllEntries())
        out += CsvText::Line({e.m_strName, e.m_strNumber, e.m_strRelation});
    return CsvText::Bom() + out.toUtf8();
}

QList<int> PhoneBook::ImportOutcome::RefusedLines() const
{
    QList<int> lines;
    for (const Refusal &r : m_refused)
        lines.append(r.m_nLine);
    return lines;
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
    // Every refused line is named; the first ones with their text and the reason, so a long
    // list of refusals still fits on the screen.
    constexpr qsizetype kShownWhole = 10;
    for (qsizetype i = 0; i < m_refused.size() && i < kShownWhole; ++i)
        text += QStringLiteral("\n第%1行被拒绝:%2").arg(m_refused.at(i).m_nLine).arg(m_refused.at(i).m_strText);
    if (m_refused.size() > kShownWhole) {
        QStringList rest;
        for (qsizetype i = kShownWhole; i < m_refused.size(); ++i)
            rest.append(QString::number(m_refused.at(i).m_nLine));
        text += QStringLiteral("\n另外被拒绝的行:") + rest.join(u',');
    }
    return Told(text, m_nRefused > 0 ? IMessageBox::Warning : IMessageBox::Information);
}

PhoneBook::ImportOutcome PhoneBook::Import(const QByteArray &csv)
{
    QByteArray bytes = csv;
    if (bytes.startsWith(CsvText::Bom()))
        bytes.remove(0, CsvText::Bom().size());
    // Line by line: a file put together from several sources may hold both encodings.
    const GbkText::Lines text = GbkText::FromUtf8OrGbkLines(bytes);
    QList<CsvText::Record> records = CsvText::Parse(text.m_strText);
    records.removeIf(IsBlank);
    if (!records.isEmpty() && IsHeading(records.first()) && !text.m_invalidLines.contains(records.first().m_nLine))
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
        for (const CsvText::Record &r : std::as_const(records)) {
            QString reason;
            std::optional<PhoneBookEntry> e;
            const auto invalid = std::find_if(text.m_invalidLines.cbegin(), text.m_invalidLines.cend(),
                                              [&r](int line) { return line >= r.m_nLine && line <= LastLineOf(r); });
            if (invalid != text.m_invalidLines.cend())
                reason = kNotText;
            else
                e = EntryOf(r, &reason);
            if (!e) {
                ++outcome.m_nRefused;
                outcome.m_refused.append({r.m_nLine, r.m_strText + QStringLiteral(" (") + reason + u')'});
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

#include "PhraseBook.h"

#include "db/CDbAccess.h"

namespace {
// An empty text is stored as an empty phrase, never as NULL.
QString Stored(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

PanelMessage Refusal(const QString &text)
{
    return {text, QStringLiteral("提示"), IMessageBox::Information};
}

PanelMessage Done(const QString &text)
{
    return {text, QString(), IMessageBox::NoIcon};
}

bool IsRow(const QStringList &list, int row)
{
    return row >= 0 && row < list.size();
}
} // namespace

PhraseBook::PhraseBook(CDbAccess &db)
    : m_db(db)
{
}

QString PhraseBook::Load()
{
    m_phrases.clear();
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::PhraseSelect);
    if (!rs->IsOpen())
        return {}; // the connection keeps why
    try {
        for (; !rs->IsEOF(); rs->MoveNext())
            m_phrases.append(rs->GetFieldText(0));
    } catch (const CDbError &e) {
        return e.Description();
    }
    return {};
}

std::optional<PanelMessage> PhraseBook::Change(int row, const QString &text)
{
    if (!IsRow(m_phrases, row))
        return Refusal(QStringLiteral("请选择要修改的短语"));
    if (!m_db.Execute(Sql::PhraseUpdate, {Stored(text), Stored(m_phrases.at(row))}))
        return std::nullopt;
    m_phrases[row] = text;
    return Done(QStringLiteral("修改成功"));
}

std::optional<PanelMessage> PhraseBook::Delete(int row)
{
    if (!IsRow(m_phrases, row))
        return Refusal(QStringLiteral("请选择要删除的短语"));
    if (!m_db.Execute(Sql::PhraseDelete, {Stored(m_phrases.at(row))}))
        return std::nullopt;
    m_phrases.removeAt(row);
    return Done(QStringLiteral("删除成功"));
}

std::optional<PanelMessage> PhraseBook::Add(const QString &text)
{
    if (!m_db.Execute(Sql::PhraseInsert, {Stored(text)}))
        return std::nullopt;
    m_phrases.append(text);
    return Done(QStringLiteral("增加成功"));
}

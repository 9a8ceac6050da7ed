#include "TextPreview.h"

#include "base/MessageText.h"
#include "base/NumberRules.h"
#include "base/TextTemplate.h"

void TextPreview::Update(const QString &text, const QStringList &entries, const RecipientFields &fields,
                         const SendRun::BookReader &readBook)
{
    const TextTemplate personal(text);
    const QString shown = m_given.value(m_nCurrent);
    m_bPersonal = !personal.IsPlain();
    m_strRefusal.clear();
    m_numbers.clear();
    m_given.clear();
    m_filled = FilledTexts();
    m_nCurrent = 0;
    if (!m_bPersonal)
        return;
    if (const QString unknown = personal.UnknownField(fields.Columns()); !unknown.isEmpty()) {
        m_strRefusal = TextTemplate::UnknownFieldMessage(unknown).m_strText;
        return;
    }
    for (const QString &entry : entries) {
        if (!NumberRules::IsValidNumber(entry))
            continue;
        m_numbers.append(NumberRules::NumberAsSent(entry));
        m_given.append(entry);
    }
    BookIndex book;
    QString error;
    if ((personal.Uses(TextFields::kName) || personal.Uses(TextFields::kRelation)) && readBook
        && !readBook(&book, &error)) {
        m_strRefusal = QStringLiteral("读取电话本失败") + (error.isEmpty() ? QString() : u'\n' + error);
        return;
    }
    m_filled = PersonalTexts::Fill(personal, m_numbers, m_given, fields, book);
    if (!shown.isEmpty())
        m_nCurrent = std::max(0, int(m_given.indexOf(shown)));
}

void TextPreview::Next()
{
    if (!m_numbers.isEmpty())
        m_nCurrent = (m_nCurrent + 1) % int(m_numbers.size());
}

QString TextPreview::Caption() const
{
    if (!m_bPersonal)
        return {};
    if (!m_strRefusal.isEmpty())
        return m_strRefusal;
    if (m_numbers.isEmpty())
        return QStringLiteral("预览: 还没有号码");
    QString text = QStringLiteral("预览 %1/%2 (%3): %4")
                       .arg(m_nCurrent + 1)
                       .arg(m_numbers.size())
                       .arg(m_given.at(m_nCurrent), CurrentText());
    if (m_filled.m_nEmptyField > 0)
        text += QStringLiteral("\n%1 个号码有空的字段").arg(m_filled.m_nEmptyField);
    if (m_filled.m_nTooLong > 0)
        text += QStringLiteral("\n%1 条短信超过%2字节").arg(m_filled.m_nTooLong).arg(MessageText::kMaxBytes);
    return text;
}

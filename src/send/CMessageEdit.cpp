#include "CMessageEdit.h"

#include "MessageText.h"

#include <QTextCursor>

CMessageEdit::CMessageEdit(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_nMaxBytes(MessageText::kMaxBytes)
{
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &CMessageEdit::OnTextChanged);
}

void CMessageEdit::SetMaxBytes(int maxBytes)
{
    m_nMaxBytes = maxBytes;
}

int CMessageEdit::ByteCount() const
{
    return MessageText::ByteCount(toPlainText());
}

void CMessageEdit::OnTextChanged()
{
    if (m_bCutting)
        return;
    const QString text = toPlainText();
    if (MessageText::ByteCount(text) > m_nMaxBytes) {
        // What the edit inserted is what lies between the part before it and the part after
        // it that the text shares with the last accepted one.
        const QString &old = m_strAccepted;
        const qsizetype limit = std::min(old.size(), text.size());
        qsizetype head = 0;
        while (head < limit && old.at(head) == text.at(head))
            ++head;
        qsizetype tail = 0;
        while (tail < limit - head && old.at(old.size() - 1 - tail) == text.at(text.size() - 1 - tail))
            ++tail;
        if (head > 0 && text.at(head - 1).isHighSurrogate())
            --head;
        if (tail > 0 && text.at(text.size() - tail).isLowSurrogate())
            --tail;
        const qsizetype insertedEnd = text.size() - tail;
        const QString kept = text.left(head) + text.right(tail);
        const int budget = m_nMaxBytes - MessageText::ByteCount(kept);

        m_bCutting = true;
        QTextCursor cursor(document());
        if (budget >= 0) {
            const QString fitted = MessageText::Truncate(text.mid(head, insertedEnd - head), budget);
            cursor.joinPreviousEditBlock();
            cursor.setPosition(int(head + fitted.size()));
            cursor.setPosition(int(insertedEnd), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            cursor.endEditBlock();
            cursor.setPosition(int(head + fitted.size()));
        } else {
            // The text was already too long before this edit (set from outside): keep the
            // beginning that fits.
            const QString fitted = MessageText::Truncate(text, m_nMaxBytes);
            cursor.joinPreviousEditBlock();
            cursor.setPosition(int(fitted.size()));
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            cursor.endEditBlock();
        }
        setTextCursor(cursor);
        m_bCutting = false;
    }
    m_strAccepted = toPlainText();
    emit byteCountChanged(MessageText::ByteCount(m_strAccepted));
}

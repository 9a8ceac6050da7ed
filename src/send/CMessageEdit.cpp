#include "CMessageEdit.h"

#include "base/MessageText.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

namespace {
// Line breaks of any convention become the field's own.
QString PlainLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}
} // namespace

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

int CMessageEdit::Room() const
{
    const QString selected = PlainLines(textCursor().selectedText());
    return m_nMaxBytes - (ByteCount() - MessageText::ByteCount(selected));
}

bool CMessageEdit::InsertText(const QString &text)
{
    const QString fitted = MessageText::Truncate(PlainLines(text), std::max(Room(), 0));
    if (fitted.isEmpty() && !text.isEmpty())
        return false;
    QTextCursor cursor = textCursor();
    cursor.insertText(fitted);
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void CMessageEdit::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers commandKeys = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const QString text = enter ? QStringLiteral("\n") : event->text();
    const bool inserts = !isReadOnly() && !text.isEmpty() && !(event->modifiers() & commandKeys)
        && (enter || text.at(0).isPrint());
    if (inserts && MessageText::ByteCount(text) > Room()) {
        // A line break or a character that does not fit whole is refused, as a full field does.
        if (enter || !InsertText(text))
            QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CMessageEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = PlainLines(event->commitString());
    if (commit.isEmpty() || MessageText::ByteCount(commit) <= Room()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent fitted(event->preeditString(), event->attributes());
    fitted.setCommitString(MessageText::Truncate(commit, std::max(Room(), 0)), event->replacementStart(),
                           event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&fitted);
    event->accept();
}

void CMessageEdit::insertFromMimeData(const QMimeData *source)
{
    if (source && source->hasText()) {
        if (!InsertText(source->text()))
            QApplication::beep();
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

void CMessageEdit::OnTextChanged()
{
    if (m_bCutting)
        return;
    const QString text = toPlainText();
    if (MessageText::ByteCount(text) > m_nMaxBytes) {
        // Set from code: what was inserted lies between the part before it and the part after
        // it that the text shares with the last accepted one; cut that, keep the rest.
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
        const int budget = m_nMaxBytes - MessageText::ByteCount(text.left(head) + text.right(tail));

        m_bCutting = true;
        QTextCursor cursor(document());
        if (budget >= 0) {
            const QString fitted = MessageText::Truncate(text.mid(head, insertedEnd - head), budget);
            cursor.setPosition(int(head + fitted.size()));
            cursor.setPosition(int(insertedEnd), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else {
            cursor.setPosition(int(MessageText::Truncate(text, m_nMaxBytes).size()));
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        setTextCursor(cursor);
        document()->clearUndoRedoStacks();
        m_bCutting = false;
    }
    m_strAccepted = toPlainText();
    emit byteCountChanged(MessageText::ByteCount(m_strAccepted));
}

#pragma once
// A multi-line message field that holds at most a number of bytes (MessageText rules: GBK
// bytes, a line break the one LF that is sent). Typing, input methods, paste and drop are cut to what
// still fits before they reach the text, so every step stays undoable as one step. Text
// set from code beyond the limit is cut afterwards (keeping what was there around the
// insertion) and, since a state over the limit must never come back, ends the undo history.
// Enter starts a new line; Tab moves the focus.
#include <QPlainTextEdit>

class CMessageEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit CMessageEdit(QWidget *parent = nullptr);

    void SetMaxBytes(int maxBytes);
    int MaxBytes() const { return m_nMaxBytes; }
    int ByteCount() const;
    // Replaces the selection (inserts at the caret) with as much of text as fits, as one
    // undoable step. False when nothing of it fits.
    bool InsertText(const QString &text);

signals:
    // After every change, with the text's byte count.
    void byteCountChanged(int count);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    // Bytes left for text that replaces the current selection.
    int Room() const;
    void OnTextChanged();

    int m_nMaxBytes;
    QString m_strAccepted; // the text after the last change, within the limit
    bool m_bCutting = false;
};

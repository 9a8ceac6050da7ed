#pragma once
// A multi-line message field that holds at most a number of bytes (MessageText rules: GBK
// bytes, a line break counts 2). Whatever an edit brings beyond the limit is cut from what
// it inserted, so the text before and after the caret stays and the caret ends after the
// part that fitted. Enter starts a new line; Tab moves the focus.
#include <QPlainTextEdit>

class CMessageEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit CMessageEdit(QWidget *parent = nullptr);

    void SetMaxBytes(int maxBytes);
    int MaxBytes() const { return m_nMaxBytes; }
    int ByteCount() const;

signals:
    // After every change, with the text's byte count.
    void byteCountChanged(int count);

private:
    void OnTextChanged();

    int m_nMaxBytes;
    QString m_strAccepted; // the text after the last change, within the limit
    bool m_bCutting = false;
};

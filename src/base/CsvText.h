#pragma once
// The one CSV form of the program (the log export, the phone book, skevo-cli): UTF-8 with a
// byte-order mark and CR LF line ends, so that a spreadsheet reads Chinese correctly; fields
// separated by commas and quoted when they hold a comma, a quote or a line break, quotes
// doubled (RFC 4180).
//
// Texts come from strangers (received messages, alphanumeric senders, imported names): a
// cell that a spreadsheet would take as a formula (it starts with "=", "+", "-", "@", a tab
// or a CR) is written with a leading "'" (OWASP, CSV injection), except a plain phone number
// ("+" and digits). A cell that already starts with "'" before such a character gets one more,
// so that reading takes off exactly what writing put on.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace CsvText {
// The byte-order mark every CSV file starts with.
QByteArray Bom();
// One field as it stands in the file.
QString Field(const QString &text);
// The same, added to out (for files of many lines).
void AppendField(QString &out, const QString &text);
// One line: the fields, commas between them, CR LF after them.
QString Line(const QStringList &fields);
// The text a field of a file stands for: the leading "'" that Field() added taken off again.
QString Unescaped(const QString &field);

struct Record
{
    int m_nLine = 0;      // the file's line it starts on, 1-based
    QString m_strText;    // as it stands in the file, trimmed
    QStringList m_fields; // unquoted and unescaped
};
// The records of a file's text (without its byte-order mark); LF or CR LF line ends alike.
QList<Record> Parse(const QString &text);
} // namespace CsvText

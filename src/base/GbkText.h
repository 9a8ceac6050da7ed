#pragma once
// The program holds text as QString; GBK matters where bytes do (the 140-byte message limit,
// the "字数:" counts, the log export, settings files written by the older Windows program).
// GB18030 encodes every GBK character with the same bytes; a character outside GBK counts 4.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace GbkText {
QByteArray ToGbk(const QString &text);
QString FromGbk(const QByteArray &bytes);
int ByteLength(const QString &text);
// Longest prefix of text whose GBK length is at most maxBytes (never splits a surrogate pair).
QString Truncate(const QString &text, int maxBytes);
// UTF-8 when the bytes are valid UTF-8, GBK otherwise.
QString FromUtf8OrGbk(const QByteArray &bytes);

// Text for readers that know GBK alone (the log export file, read by the older program and by
// `iconv -f GBK`): a character GBK does not have is written as "?", as the Windows code-page
// conversion did, and counted in *replaced. GB18030 would write it as four bytes that such a
// reader stops at. Private-use characters count as missing: their user-defined GBK codes are
// not GBK to every reader.
QByteArray ToStrictGbk(QStringView text, qsizetype *replaced);

// A file whose lines may have been written by different programs: each line (up to its LF)
// is UTF-8 where it is valid UTF-8, else GBK. A line that is neither is read as well as
// can be and its number (1-based) listed in m_invalidLines.
struct Lines
{
    QString m_strText; // the lines, each LF kept
    QList<int> m_invalidLines;
};
Lines FromUtf8OrGbkLines(const QByteArray &bytes);
} // namespace GbkText

#pragma once
// The program holds text as QString; GBK matters where bytes do (the 140-byte message limit,
// the "字数:" counts, the log export, settings files written by the older Windows program).
// GB18030 encodes every GBK character with the same bytes; a character outside GBK counts 4.
#include <QByteArray>
#include <QString>

namespace GbkText {
QByteArray ToGbk(const QString &text);
QString FromGbk(const QByteArray &bytes);
int ByteLength(const QString &text);
// Longest prefix of text whose GBK length is at most maxBytes (never splits a surrogate pair).
QString Truncate(const QString &text, int maxBytes);
// UTF-8 when the bytes are valid UTF-8, GBK otherwise.
QString FromUtf8OrGbk(const QByteArray &bytes);
} // namespace GbkText

#pragma once
// The one length rule of a message text, wherever it is typed or given: the send panel, the
// reply dialog, the orders and the command line. It counts what is stored and sent: GBK
// bytes (a Chinese character 2, a character outside GBK 4), a line break the one LF it is.
#include "OperatorMessage.h"

#include <QString>

namespace MessageText {
constexpr int kMaxBytes = 140;

int ByteCount(const QString &text);
bool Fits(const QString &text);
// Longest prefix whose ByteCount is at most maxBytes; never splits a surrogate pair.
QString Truncate(const QString &text, int maxBytes = kMaxBytes);
// What "字数:" shows: the count and the number of messages the text goes out as, "140 (1条)".
QString CountCaption(int bytes, int messages);
// The refusal of a text over the limit.
OperatorMessage TooLong();
} // namespace MessageText

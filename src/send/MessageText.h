#pragma once
// The length rule of a message text as the operator types it: GBK bytes, a line break
// counted as the two bytes CR LF it is in an edit field, at most 140 bytes.
#include <QString>

namespace MessageText {
constexpr int kMaxBytes = 140;

int ByteCount(const QString &text);
// Longest prefix whose ByteCount is at most maxBytes; never splits a surrogate pair.
QString Truncate(const QString &text, int maxBytes);
} // namespace MessageText

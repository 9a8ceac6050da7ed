#pragma once
// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038 clause 6.2.1
// and 6.2.1.1), one UTF-16 unit at a time.
#include <QtGlobal>

namespace Gsm7Alphabet {

constexpr quint8 kEscape = 0x1B;

// Writes the septets of c into out and returns how many: 1 for the default table,
// 2 (escape and code) for the extension table, 0 when the alphabet has no such character.
int Encode(char16_t c, quint8 out[2]);

// The character of a default-table code (0x00..0x7F); the escape code itself reads as a space.
char16_t Default(quint8 septet);

// The character of an extension-table code, or 0 when the table defines none for it.
char16_t Extension(quint8 septet);

} // namespace Gsm7Alphabet

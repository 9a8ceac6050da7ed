#pragma once
// The phone book by number, as personal texts fill {名字} and {关系} from it: read whole, at
// the moment the texts are filled, so that an order started later meets the book as it is then.
#include "base/PersonalTexts.h"

#include <QString>

class CDbAccess;

namespace PhoneBookIndex {
// False when reading failed: *error holds what the database said.
bool Read(CDbAccess &db, BookIndex *book, QString *error);
} // namespace PhoneBookIndex

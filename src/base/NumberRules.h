#pragma once
// The one number rule of the program: the send list, the send run, the command line, the
// number file, the orders and the records (query and reply) all check and normalise numbers
// here. Also the number file format ("start" line, one number a line, "end" line).
#include <QString>
#include <QStringList>

namespace NumberRules {
// Decimal digits, the first character may be "+", at least one digit; at most 24 characters.
bool IsValidNumber(const QString &text);
// Valid numbers only: drop a leading "+", then put "86" in front unless it begins with "86".
QString NormaliseNumber(const QString &text);

// Reads a number file: empties numbers, fills it with the accepted normalised numbers in
// file order (repeats dropped without being counted) and adds the rejected lines to
// *failures. False (and numbers empty) when the file is missing, unreadable, does not
// begin with "start" or has no "end" line.
bool ReadNumberFile(const QString &path, QStringList *numbers, int *failures);
// The written form: "start" LF, each entry and LF, "end" without LF. Entries as they stand.
QByteArray NumberFileText(const QStringList &entries);
} // namespace NumberRules

#pragma once
// T_LASTNO: the send list of the previous run, restored at start and replaced at exit.
#include <QString>
#include <QStringList>

class CDbAccess;

namespace LastNumbers {
// D_LASTNO of every row in list order, as text, unchecked. When reading fails the rows
// read so far are returned and *errorText (if given) gets the description; the failure to
// open the statement itself has already gone to the connection's error sink.
QStringList LoadLastNumbers(CDbAccess &db, QString *errorText = nullptr);
// Replaces T_LASTNO by numbers in one transaction. An empty list leaves the table as it
// was (and is a success). False when a statement failed; the table then keeps its rows.
bool SaveLastNumbers(CDbAccess &db, const QStringList &numbers);
} // namespace LastNumbers

#pragma once
// T_LASTNO: the send list of the previous run, restored at start and replaced at exit.
#include <QString>
#include <QStringList>

class CDbAccess;

namespace LastNumbers {
// D_LASTNO of every row in list order, as text, unchecked. When the statement cannot run,
// *toShow (if given) gets what the database said of it, for the operator. When reading
// fails later the rows read so far are returned and *errorText (if given) gets the
// description.
QStringList LoadLastNumbers(CDbAccess &db, QString *errorText = nullptr, QStringList *toShow = nullptr);
// Replaces T_LASTNO by numbers in one transaction. An empty list leaves the table as it
// was (and is a success). False when a statement failed; the table then keeps its rows and
// *toShow (if given) gets what the database said.
bool SaveLastNumbers(CDbAccess &db, const QStringList &numbers, QStringList *toShow = nullptr);
} // namespace LastNumbers

#include "LastNumbers.h"

#include "db/CDbAccess.h"

namespace LastNumbers {

QStringList LoadLastNumbers(CDbAccess &db, QString *errorText, QStringList *toShow)
{
    QStringList numbers;
    try {
        const RecordsetPtr rs = db.OpenRecordset(Sql::LastNoSelect);
        if (toShow)
            *toShow = db.LastMessages();
        while (!rs->IsEOF()) {
            // A NULL number comes back as an empty entry, which the send run reports.
            numbers.append(rs->GetFieldValue(0).toString());
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        if (errorText)
            *errorText = e.Description();
    }
    return numbers;
}

bool SaveLastNumbers(CDbAccess &db, const QStringList &numbers, QStringList *toShow)
{
    if (toShow)
        toShow->clear();
    if (numbers.isEmpty())
        return true;
    const bool saved = db.Transaction([&] {
        if (!db.Execute(Sql::LastNoDelete))
            return false;
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            // A null string would be bound as NULL; an empty entry is stored as empty text.
            const QString &number = numbers.at(i);
            if (!db.Execute(Sql::LastNoInsert, {qlonglong(i), number.isNull() ? QStringLiteral("") : number}))
                return false;
        }
        return true;
    });
    if (!saved && toShow)
        *toShow = db.LastMessages();
    return saved;
}

} // namespace LastNumbers

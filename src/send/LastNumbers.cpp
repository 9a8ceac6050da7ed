#include "LastNumbers.h"

#include "db/CDbAccess.h"

namespace LastNumbers {

QStringList LoadLastNumbers(CDbAccess &db, QString *errorText)
{
    QStringList numbers;
    try {
        const RecordsetPtr rs = db.OpenRecordset(Sql::LastNoSelect);
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

bool SaveLastNumbers(CDbAccess &db, const QStringList &numbers)
{
    if (numbers.isEmpty())
        return true;
    return db.Transaction([&] {
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
}

} // namespace LastNumbers

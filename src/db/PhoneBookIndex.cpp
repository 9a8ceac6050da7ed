#include "PhoneBookIndex.h"

#include "CDbAccess.h"

namespace PhoneBookIndex {

bool Read(CDbAccess &db, BookIndex *book, QString *error)
{
    book->clear();
    const RecordsetPtr rs = db.OpenRecordset(Sql::BookSelect);
    try {
        if (!rs->IsOpen()) {
            *error = db.LastMessages().join(u'\n');
            return false;
        }
        for (; !rs->IsEOF(); rs->MoveNext())
            PersonalTexts::AddToBook(*book, rs->GetFieldText(1), rs->GetFieldText(0), rs->GetFieldText(2));
    } catch (const CDbError &e) {
        book->clear();
        *error = e.Description();
        return false;
    }
    return true;
}

} // namespace PhoneBookIndex

#include "OrderStore.h"

#include "db/CDbAccess.h"
#include "db/DbTime.h"
#include "db/PhoneBookIndex.h"
#include "outbox/OptOutList.h"

OrderStore::OrderStore(CDbAccess &db) : m_db(db) {}

bool OrderStore::Load(QVector<StoredOrder> *orders, QString *error)
{
    orders->clear();
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::OrderSelect);
    if (!rs->IsOpen())
        return false; // the database said why
    try {
        while (!rs->IsEOF()) {
            StoredOrder o;
            o.m_nId = rs->GetFieldText(0).toInt();
            o.m_strStart = rs->GetFieldText(1);
            o.m_strEnd = rs->GetFieldText(2);
            o.m_strText = rs->GetFieldText(3);
            o.m_strStarted = rs->GetFieldText(4);
            orders->append(std::move(o));
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        if (error)
            *error = e.Description();
        return false;
    }
    return true;
}

int OrderStore::Add(const QString &start, const QString &end, const QString &text, const QStringList &numbers,
                    const RecipientFields &fields)
{
    const auto stored = [&fields](const QString &number) {
        const QString key = PersonalTexts::Key(number);
        return fields.Has(key) ? RecipientFields::Encode(fields.Values(key)) : QStringLiteral("");
    };
    qint64 id = 0;
    const bool ok = m_db.Transaction([&] {
        id = m_db.Insert(Sql::OrderInsert, {DbTime::Canonical(start), DbTime::Canonical(end), text});
        if (id <= 0)
            return false;
        // Many rows a statement: on a server each statement is a round trip.
        constexpr int kBatch = SqlCatalogue::kNumberBatch;
        qsizetype i = 0;
        for (; i + kBatch <= numbers.size(); i += kBatch) {
            QVariantList values;
            values.reserve(3 * kBatch);
            for (qsizetype j = i; j < i + kBatch; ++j)
                values << id << numbers.at(j) << stored(numbers.at(j));
            if (!m_db.Execute(Sql::NumberInsertBatch, values))
                return false;
        }
        for (; i < numbers.size(); ++i) {
            if (!m_db.Execute(Sql::NumberInsert, {id, numbers.at(i), stored(numbers.at(i))}))
                return false;
        }
        return true;
    });
    return ok ? int(id) : 0;
}

bool OrderStore::Modify(int id, const QString &start, const QString &end, const QString &text)
{
    return m_db.Execute(Sql::OrderUpdate, {DbTime::Canonical(start), DbTime::Canonical(end), text, id});
}

OrderStore::Deleted OrderStore::Delete(int id, int *withdrawn)
{
    bool found = false;
    int queued = 0;
    const bool ok = m_db.Transaction([&] {
        if (!m_db.Execute(Sql::OrderDelete, {id}))
            return false;
        found = m_db.RowsAffected() > 0;
        if (!found)
            return false;
        // The runs that would have sent them count them no more, whichever station's they are.
        if (!m_db.Execute(Sql::RunLessForOrder, {id, id}) || !m_db.Execute(Sql::OutboxWithdrawOrder, {id}))
            return false;
        queued = m_db.RowsAffected();
        return m_db.Execute(Sql::NumberDeleteByOrder, {id}) && m_db.Execute(Sql::OrderClaimDelete, {id});
    });
    if (withdrawn)
        *withdrawn = ok ? queued : 0;
    if (ok)
        return Deleted::Yes;
    return found || !m_db.LastError().isEmpty() ? Deleted::Failed : Deleted::NoSuchOrder;
}

bool OrderStore::Numbers(int id, QStringList *numbers, QString *error, RecipientFields *fields)
{
    numbers->clear();
    if (fields)
        fields->Clear();
    const RecordsetPtr rs = m_db.OpenRecordset(Sql::NumberSelect, {id});
    try {
        while (!rs->IsEOF()) {
            const QString number = rs->GetFieldText(0);
            numbers->append(number);
            if (fields) {
                if (const QString stored = rs->GetFieldText(1); !stored.isEmpty())
                    fields->Add(PersonalTexts::Key(number), RecipientFields::Decode(stored));
            }
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        numbers->clear();
        if (fields)
            fields->Clear();
        if (error)
            *error = e.Description();
        return false;
    }
    return true;
}

bool OrderStore::Book(BookIndex *book, QString *error)
{
    return PhoneBookIndex::Read(m_db, book, error);
}

QStringList OrderStore::DatabaseTexts() const
{
    return m_db.LastMessages();
}

std::optional<QVector<int>> OrderStore::OptedOut(const QStringList &numbers, QString *error)
{
    OptOutList list(m_db);
    std::optional<QVector<int>> listed = list.Listed(numbers);
    if (!listed && error)
        *error = list.Error();
    return listed;
}

#pragma once
// Journal rows written as the engine writes them, through the catalogue's inserts, and a
// records model whose database messages go to a message box, as the records list's do.
#include "base/IMessageBox.h"
#include "db/CDbAccess.h"
#include "records/RecordsModel.h"

#include <QStringList>
#include <initializer_list>
#include <memory>

struct SendRow
{
    QString time, number, text;
    int state;
    int id = -1;
    QString port;
};
struct RecRow
{
    QString time, number, text;
    QString port;
    QString sim;
};

class Journal
{
public:
    explicit Journal(const DbSettings &s) : m_db([s] { return s; }) {}
    qint64 Sent(const SendRow &r) { return m_db.Insert(Sql::SendInsert, {r.id, r.time, r.state, r.number, r.text, r.port}); }
    qint64 Received(const RecRow &r) { return m_db.Insert(Sql::RecInsert, {r.number, r.text, r.time, r.port, r.sim}); }
    CDbAccess &Db() { return m_db; }

private:
    CDbAccess m_db;
};

// Texts written in the source as UTF-8, as the records' columns show them.
inline QStringList Strings(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *t : texts)
        out << QString::fromUtf8(t);
    return out;
}

inline std::unique_ptr<RecordsModel> ModelShowingOn(const DbSettings &s, IMessageBox &messages)
{
    auto m = std::make_unique<RecordsModel>([s] { return s; });
    QObject::connect(m.get(), &RecordsModel::databaseMessage, [&messages](const QString &t) { messages.Show(t); });
    return m;
}

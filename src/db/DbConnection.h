#pragma once
// One Qt SQL connection of CDbAccess, shared by the recordsets that read from it.
#include "SqlCatalogue.h"
#include "base/DbSettings.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <map>

class QThread;

namespace DbDetail {

struct RecordsetState;

// How long a SQLite statement waits for the other connection's write lock.
constexpr int kSqliteBusyMs = 5000;

// One Qt SQL connection, opened or failed. Recordsets share it, so that it is removed only
// after the last query that reads from it is gone.
struct Connection
{
    QString m_strName;
    QSqlDatabase m_db;
    QThread *m_pThread = nullptr;
    DbSettings::Driver m_driver = DbSettings::Sqlite;
    QString m_strTarget; // which database: the key of the once-per-process schema check
    DbSettings m_settings; // what it was made with
    // Statements run by Execute/Insert stay prepared for the life of the connection: bulk
    // writes (a send list, an order's numbers) then cost one round trip a row.
    std::map<Sql, QSqlQuery> m_prepared;
    // SQLite results still being stepped through. Each holds a read snapshot of the file; a
    // write from this connection after another connection wrote would be refused at once
    // ("database is locked", no waiting helps), so before a write they are read to their end
    // into memory and closed. Only the thread of the connection touches this list.
    QList<RecordsetState *> m_active;

    void SettleReads();

    ~Connection()
    {
        m_prepared.clear();
        if (m_db.isValid())
            m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_strName);
    }
};

} // namespace DbDetail

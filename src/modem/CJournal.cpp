#include "CJournal.h"
#include "db/CDbAccess.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QTime>

void CJournal::Attach(CDbAccess *db, ErrorFn onError)
{
    m_pDb = db;
    m_onError = std::move(onError);
    if (m_pDb) {
        // The database layer's own text ("SQL数据错误,...") reaches the operator once per
        // row, not at every retry.
        m_pDb->SetErrorSink([this](const QString &text) {
            if (m_bSpeak && m_onError)
                m_onError(text);
        });
    }
}

void CJournal::Detach()
{
    if (m_pDb)
        m_pDb->SetErrorSink({});
    m_pDb = nullptr;
    m_onError = {};
}

CJournal::Outcome CJournal::Sent(const SmsRecord &record, const QString &time, bool success, qint64 outboxKey,
                                 qint64 nowMs, const QVector<int> &references)
{
    Row row;
    row.references = references;
    row.sent = true;
    row.values = {record.m_nID, time, success ? 1 : 0, StorableText(record.m_strTPA), StorableText(record.m_strUD)};
    row.outboxKey = outboxKey;
    return Add(std::move(row), nowMs);
}

CJournal::Outcome CJournal::Received(const SmsRecord &record, const QVector<int> &indexes, const QString &identity,
                                     qint64 nowMs)
{
    Row row;
    row.sent = false;
    row.values = {StorableText(record.m_strTPA), StorableText(record.m_strUD), ReceivedTime(record.m_strSCTS)};
    row.indexes = indexes;
    row.identity = identity;
    return Add(std::move(row), nowMs);
}

QString CJournal::ArrivalIdentity(const QStringList &pdus)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &pdu : pdus) {
        hash.addData(pdu.trimmed().toUpper().toLatin1());
        hash.addData(QByteArrayView("\n"));
    }
    return QString::fromLatin1(hash.result().toHex());
}

CJournal::Outcome CJournal::Add(Row row, qint64 nowMs)
{
    const bool sent = row.sent;
    m_kept.push_back(std::move(row));
    m_bSpeak = true;
    const bool all = Flush(nowMs);
    m_bSpeak = false;
    if (all)
        return m_bLastKnown ? Outcome::Known : Outcome::Written;
    if (m_onError)
        m_onError(sent ? QStringLiteral("发送短信插入数据库出错") : QStringLiteral("接收短信插入数据库出错"));
    return Outcome::Kept;
}

void CJournal::Retry(qint64 nowMs, bool force)
{
    if (m_kept.empty() || (!force && nowMs < m_nNextRetryMs))
        return;
    Flush(nowMs);
}

bool CJournal::Flush(qint64 nowMs)
{
    while (!m_kept.empty()) {
        if (!Write(m_kept.front())) {
            m_nNextRetryMs = nowMs + m_nRetryMs;
            return false;
        }
        m_written += m_kept.front().indexes;
        m_kept.pop_front();
    }
    return true;
}

bool CJournal::Write(const Row &row)
{
    if (!m_pDb)
        return false;
    m_bLastKnown = false;
    if (!row.identity.isEmpty()) {
        qint64 found = 0;
        {
            RecordsetPtr rs = m_pDb->OpenRecordset(Sql::RecFindByIdentity, {row.identity});
            if (!rs->IsOpen())
                return false;
            try {
                if (!rs->IsEOF())
                    found = rs->GetFieldValue(0).toLongLong();
            } catch (const CDbError &) {
                return false;
            }
        }
        if (found > 0) {
            m_nLastKey = found;
            m_bLastKnown = true;
            return true;
        }
    }
    qint64 key = -1;
    Sql insert = row.sent ? Sql::SendInsert : Sql::RecInsert;
    QVariantList values = row.values;
    if (!row.identity.isEmpty()) {
        insert = Sql::RecInsertArrival;
        values << row.identity;
    }
    const bool ok = row.outboxKey <= 0
        ? (key = m_pDb->Insert(insert, values)) > 0
        : m_pDb->Transaction([&] {
              key = m_pDb->Insert(insert, values);
              return key > 0 && m_pDb->Execute(Sql::OutboxDelete, {row.outboxKey});
          });
    if (ok)
        m_nLastKey = key;
    return ok;
}

QVector<int> CJournal::TakeWrittenIndexes()
{
    QVector<int> written;
    written.swap(m_written);
    return written;
}

bool CJournal::HoldsIndex(int index) const
{
    for (const Row &row : m_kept) {
        if (row.indexes.contains(index))
            return true;
    }
    return false;
}

void CJournal::ForgetIndex(int index)
{
    for (Row &row : m_kept)
        row.indexes.removeAll(index);
}

QString CJournal::StorableText(QString text)
{
    text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    return text;
}

QString CJournal::LocalTime()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CJournal::ReceivedTime(const QString &scts)
{
    int v[6] = {};
    bool ok = scts.size() >= 12;
    for (int i = 0; ok && i < 6; ++i)
        v[i] = scts.mid(i * 2, 2).toInt(&ok);
    if (ok && QDate::isValid(2000 + v[0], v[1], v[2]) && QTime::isValid(v[3], v[4], v[5])) {
        return QString::asprintf("20%02d-%02d-%02d %02d:%02d:%02d", v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    return LocalTime();
}

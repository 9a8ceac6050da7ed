#include "CJournal.h"
#include "OptOutList.h"
#include "OptOutWords.h"
#include "base/NumberRules.h"
#include "sms/PduCodec.h"
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
                m_onError({OutboxError::Kind::Database, text});
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

CJournal::Outcome CJournal::Sent(const SentRow &sent, qint64 nowMs)
{
    Row row;
    row.sentRow = sent;
    row.references = sent.references;
    row.sent = true;
    row.port = sent.port;
    row.sim = sent.sim;
    row.claim = sent.claim;
    row.run = sent.run;
    row.values = {sent.record.m_nID, sent.time, sent.outcome == SentRow::Outcome::Sent ? 1 : 0,
                  StorableText(sent.record.m_strTPA), StorableText(sent.record.m_strUD), sent.port};
    // The references are kept whatever was asked; a report is waited for only where one was
    // asked for and the network took the message.
    row.reportRequested = sent.reportRequested && sent.outcome == SentRow::Outcome::Sent;
    QStringList refs;
    for (int r : sent.references)
        refs << QString::number(r);
    row.values << (row.reportRequested ? SqlCatalogue::kReportWaiting : SqlCatalogue::kReportNone)
               << refs.join(QLatin1Char(',')) << sent.run << sent.outboxKey << sent.sim
               << int(sent.references.size());
    row.outboxKey = sent.outboxKey;
    return Add(std::move(row), nowMs);
}

CJournal::Outcome CJournal::Received(const SmsRecord &record, const QString &port, const QString &sim,
                                     const QVector<int> &indexes, const QString &identity, qint64 nowMs)
{
    Row row;
    row.sent = false;
    row.values = {StorableText(record.m_strTPA), StorableText(record.m_strUD), ReceivedTime(record.m_strSCTS), port, sim};
    row.port = port;
    row.sim = sim;
    row.indexes = indexes;
    row.identity = identity;
    row.optOut = OptOutWords::Matches(record.m_strUD, m_optOutWords);
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

CJournal::Outcome CJournal::Report(const ReportRow &report, const QVector<int> &indexes, qint64 nowMs)
{
    Row row;
    row.sent = false;
    row.report = true;
    row.delivery = report;
    row.indexes = indexes;
    return Add(std::move(row), nowMs);
}

QVector<DeliveryChange> CJournal::TakeDeliveryChanges()
{
    QVector<DeliveryChange> changes;
    changes.swap(m_changes);
    return changes;
}

QString CJournal::NumberKey(const QString &number)
{
    return NumberRules::IsValidNumber(number) ? NumberRules::PhoneKey(number) : number;
}

QString CJournal::LocalTimeOf(const QString &scts)
{
    int v[7] = {};
    bool ok = scts.size() >= 14;
    for (int i = 0; ok && i < 6; ++i)
        v[i] = scts.mid(i * 2, 2).toInt(&ok);
    if (!ok || !QDate::isValid(2000 + v[0], v[1], v[2]) || !QTime::isValid(v[3], v[4], v[5]))
        return QString();
    // TS 23.040 9.2.3.11: the zone in quarters of an hour, its first digit's high bit the sign.
    const int high = scts.mid(12, 1).toInt(&ok, 16);
    const int low = ok ? scts.mid(13, 1).toInt(&ok) : 0;
    if (!ok)
        return QString();
    const int quarters = (high & 7) * 10 + low;
    const int offset = ((high & 8) ? -quarters : quarters) * 15 * 60;
    const QDateTime there(QDate(2000 + v[0], v[1], v[2]), QTime(v[3], v[4], v[5]), Qt::OffsetFromUTC, offset);
    return there.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

CJournal::Outcome CJournal::Add(Row row, qint64 nowMs)
{
    const bool sent = row.sent || row.report;
    m_kept.push_back(std::move(row));
    m_bSpeak = true;
    const bool all = Flush(nowMs);
    m_bSpeak = false;
    if (all)
        return m_bLastLost ? Outcome::Lost : m_bLastKnown ? Outcome::Known : Outcome::Written;
    if (m_onError)
        m_onError({sent ? OutboxError::Kind::SentNotJournalled : OutboxError::Kind::ReceivedNotJournalled, {}});
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
        const Wrote wrote = Write(m_kept.front());
        if (wrote == Wrote::No) {
            m_nNextRetryMs = nowMs + m_nRetryMs;
            return false;
        }
        // A row whose claim was lost goes: the station that took the claim over journals it.
        m_bLastLost = wrote == Wrote::Lost;
        if (m_bLastLost)
            qWarning("journal row of kept message %lld dropped: its claim was lost", m_kept.front().outboxKey);
        else
            m_written += m_kept.front().indexes;
        m_kept.pop_front();
    }
    return true;
}

QVector<SentRow> CJournal::TakeKeptSent()
{
    QVector<SentRow> rows;
    std::deque<Row> rest;
    for (Row &row : m_kept) {
        if (row.sent && !row.report)
            rows.append(row.sentRow);
        else
            rest.push_back(std::move(row));
    }
    m_kept.swap(rest);
    return rows;
}

CJournal::Wrote CJournal::Write(const Row &row)
{
    if (!m_pDb)
        return Wrote::No;
    m_bLastKnown = false;
    if (row.report)
        return WriteReport(row) ? Wrote::Yes : Wrote::No;
    if (!row.identity.isEmpty()) {
        qint64 found = 0;
        {
            RecordsetPtr rs = m_pDb->OpenRecordset(Sql::RecFindByIdentity, {row.identity, row.sim, row.sim, row.port});
            if (!rs->IsOpen())
                return Wrote::No;
            try {
                if (!rs->IsEOF())
                    found = rs->GetFieldValue(0).toLongLong();
            } catch (const CDbError &) {
                return Wrote::No;
            }
        }
        if (found > 0) {
            m_nLastKey = found;
            m_bLastKnown = true;
            return Wrote::Yes;
        }
    }
    qint64 key = -1;
    Sql insert = row.sent ? Sql::SendInsertReported : Sql::RecInsert;
    QVariantList values = row.values;
    if (!row.identity.isEmpty()) {
        insert = Sql::RecInsertArrival;
        values << row.identity;
    }
    QVector<DeliveryChange> changes;
    bool lost = false;
    const bool ok = row.outboxKey <= 0 && !row.reportRequested && row.run <= 0 && !row.optOut
        ? (key = m_pDb->Insert(insert, values)) > 0
        : m_pDb->Transaction([&] {
              changes.clear();
              lost = false;
              if (row.outboxKey > 0) {
                  // The kept message first: a claim that no longer holds writes nothing.
                  if (!m_pDb->Execute(Sql::OutboxDeleteClaimed, {row.outboxKey, row.claim}))
                      return false;
                  if (m_pDb->RowsAffected() == 0) {
                      lost = true;
                      return false;
                  }
              }
              key = m_pDb->Insert(insert, values);
              if (row.optOut) {
                  // The sender asked for no more: listed with the row that says so, or not at all.
                  const QString number = values.value(0).toString();
                  return key > 0
                      && m_pDb->Execute(Sql::OptOutAdd, {OptOutList::Key(number), number, values.value(2),
                                                         int(OptOutList::Source::Reply), values.value(1)});
              }
              const bool sent = values.value(2).toInt() == 1;
              return key > 0 && (!row.reportRequested || WriteParts(key, row, changes))
                  && (row.run <= 0 || m_pDb->Execute(Sql::RunCount, {sent ? 1 : 0, sent ? 0 : 1, row.run}));
          });
    if (lost)
        return Wrote::Lost;
    if (ok) {
        m_nLastKey = key;
        m_changes += changes;
    }
    return ok ? Wrote::Yes : Wrote::No;
}

// The parts by which reports find the message, and the reports that came before its row.
bool CJournal::WriteParts(qint64 sendNo, const Row &row, QVector<DeliveryChange> &changes)
{
    const QString number = NumberKey(row.values.value(3).toString());
    const QString time = row.values.value(1).toString();
    for (qsizetype i = 0; i < row.references.size(); ++i) {
        const int reference = row.references[i];
        if (reference < 0)
            continue; // no report can name it: the message waits for ever unless a part fails
        if (!m_pDb->Execute(Sql::PartInsert, {sendNo, int(i + 1), row.port, reference, number, time, row.sim}))
            return false;
    }
    for (qsizetype i = 0; i < row.references.size(); ++i) {
        if (row.references[i] < 0)
            continue;
        QList<std::tuple<qint64, int, QString>> kept;
        {
            // Reports kept before the message went are another message's.
            RecordsetPtr rs = m_pDb->OpenRecordset(Sql::ReportFindKept, {row.sim, row.port, row.references[i], number, time});
            if (!rs->IsOpen())
                return false;
            try {
                for (; !rs->IsEOF(); rs->MoveNext())
                    kept.append({rs->GetFieldValue(0).toLongLong(), rs->GetFieldValue(1).toInt(),
                                 rs->GetFieldValue(2).toString()});
            } catch (const CDbError &) {
                return false;
            }
        }
        for (const auto &[no, status, discharge] : kept) {
            const int partState = PartState(quint8(status));
            if (!m_pDb->Execute(Sql::PartSetReport, {partState, sendNo, int(i + 1)})
                || !Apply(sendNo, partState, discharge, row.values.value(3).toString(), changes)
                || !m_pDb->Execute(Sql::ReportDeleteKept, {no}))
                return false;
        }
    }
    return true;
}

bool CJournal::WriteReport(const Row &row)
{
    const ReportRow &r = row.delivery;
    const QString number = NumberKey(r.recipient);
    QDateTime since = QDateTime::fromString(r.time, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!since.isValid())
        since = QDateTime::currentDateTime();
    const QString from = since.addDays(-kMatchDays).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const int partState = PartState(r.status);
    QVector<DeliveryChange> changes;
    const bool ok = m_pDb->Transaction([&] {
        changes.clear();
        QVector<qint64> matched;
        const bool bySim = !r.sim.isEmpty();
        const QString submitted = r.submitted.isEmpty() ? r.time : r.submitted;
        if (!(bySim ? m_pDb->InsertRows(Sql::PartMatchSim, {partState, partState, r.sim, r.reference, number, from, submitted}, &matched)
                    : m_pDb->InsertRows(Sql::PartMatch, {partState, partState, r.port, r.reference, number, from}, &matched)))
            return false;
        if (!matched.isEmpty() && matched.first() > 0)
            return Apply(matched.first(), partState, r.discharge, r.recipient, changes);
        qWarning("status report of %s %s (reference %d, to %s, status 0x%02x) matches no message yet: kept",
                 qPrintable(r.port), qPrintable(r.sim), r.reference, qPrintable(r.recipient), r.status);
        // A report kept longer than the matching window can no longer find its message: the
        // kept ones would otherwise pile up for ever on a modem whose reports name strangers.
        const QString stale = QDateTime::currentDateTime().addDays(-kMatchDays).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return m_pDb->Execute(Sql::ReportPruneKept, {stale})
            && m_pDb->Execute(Sql::ReportKeep, {r.port, r.reference, number, int(r.status), r.discharge, r.time, r.pdu, r.sim});
    });
    if (ok)
        m_changes += changes;
    return ok;
}

int CJournal::PartState(quint8 status)
{
    switch (Pdu::DeliveryOf(status)) {
    case Pdu::Delivery::Delivered:
        return SqlCatalogue::kReportDelivered;
    case Pdu::Delivery::Failed:
        return SqlCatalogue::kReportFailed;
    case Pdu::Delivery::Pending:
        break;
    }
    return SqlCatalogue::kReportWaiting; // the service centre is still trying
}

// The message of a part whose state is now partState: 未送达 once any part failed, 已送达 once
// every part is delivered.
bool CJournal::Apply(qint64 sendNo, int partState, const QString &discharge, const QString &number,
                     QVector<DeliveryChange> &changes)
{
    bool done = true;
    if (partState == SqlCatalogue::kReportFailed)
        done = m_pDb->Execute(Sql::SendSetFailed, {discharge, sendNo});
    else if (partState == SqlCatalogue::kReportDelivered)
        done = m_pDb->Execute(Sql::SendSetDelivered, {discharge, sendNo, sendNo});
    else
        return true;
    if (!done)
        return false;
    if (m_pDb->RowsAffected() == 0)
        return true;
    changes.append({sendNo, partState, number, discharge});
    const bool delivered = partState == SqlCatalogue::kReportDelivered;
    return m_pDb->Execute(Sql::RunDelivery, {delivered ? 1 : 0, delivered ? 0 : 1, sendNo});
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

#include "QueueChores.h"
#include "IOutbox.h"
#include "OutboxOwner.h"
#include "db/DbTime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QDebug>

#include <atomic>

namespace QueueChores {

namespace {

// Reads every row of a statement; false when it could not be read (the sink said why).
bool ReadRows(CDbAccess &db, Sql id, const QVariantList &values, const std::function<void(const CRecordset &)> &row)
{
    RecordsetPtr rs = db.OpenRecordset(id, values);
    if (!rs || !rs->IsOpen())
        return false;
    try {
        for (; !rs->IsEOF(); rs->MoveNext())
            row(*rs);
    } catch (const CDbError &) {
        return false;
    }
    return true;
}

struct InHand
{
    SmsRecord record;
    qint64 key = 0;
    qint64 run = 0;
    QString sim;
    QString port;
};

QVector<InHand> ReadInHand(CDbAccess &db, Sql id, const QVariantList &values)
{
    QVector<InHand> rows;
    ReadRows(db, id, values, [&](const CRecordset &rs) {
        InHand m;
        m.key = rs.GetFieldValue(0).toLongLong();
        m.record.m_strSCA = rs.GetFieldValue(1).toString();
        m.record.m_strTPA = rs.GetFieldValue(2).toString();
        m.record.m_nPID = quint8(rs.GetFieldValue(3).toInt());
        m.record.m_nDCS = quint8(rs.GetFieldValue(4).toInt());
        m.record.m_strUD = rs.GetFieldValue(5).toString();
        m.record.m_nID = rs.GetFieldValue(6).toInt();
        m.run = rs.GetFieldValue(7).toLongLong();
        m.sim = rs.GetFieldValue(8).toString();
        m.port = rs.GetFieldValue(9).toString();
        rows.append(m);
    });
    return rows;
}

// A message in the hands of a modem of a station that is gone may or may not have gone: it is
// journalled failed, and not sent blindly a second time. Only the first to journal it does.
void JournalFailed(CJournal &journal, const QVector<InHand> &rows, qint64 claim, qint64 run, Taken &taken)
{
    for (const InHand &m : rows) {
        SentRow row;
        row.record = m.record;
        row.time = CJournal::LocalTime();
        row.outcome = SentRow::Outcome::Failed;
        row.port = m.port;
        row.sim = m.sim;
        row.outboxKey = m.key;
        row.claim = claim;
        row.run = run > 0 ? run : m.run;
        const CJournal::Outcome outcome = journal.Sent(row, 0);
        if (outcome == CJournal::Outcome::Lost)
            continue;
        SmsReport report;
        report.m_kind = SmsReport::Sent;
        report.m_outcome = SmsReport::Outcome::Failure;
        report.m_nRecordNo = outcome == CJournal::Outcome::Written ? journal.LastWrittenKey() : 0;
        report.m_strTime = row.time;
        report.m_strNumber = CJournal::StorableText(m.record.m_strTPA);
        report.m_strContent = CJournal::StorableText(m.record.m_strUD);
        report.m_strPort = m.port;
        report.m_strSim = m.sim;
        taken.failed.append(report);
    }
}

void TakeOverStation(CDbAccess &db, CJournal &journal, qint64 gone, qint64 run, Taken &taken)
{
    if (db.Execute(Sql::OutboxRequeueClaims, {gone}))
        taken.requeued += db.RowsAffected();
    JournalFailed(journal, ReadInHand(db, Sql::OutboxInFlightOf, {gone}), gone, run, taken);
}

QJsonObject RowJson(const SentRow &r)
{
    QJsonArray refs;
    for (int ref : r.references)
        refs.append(ref);
    return QJsonObject{{QStringLiteral("sca"), r.record.m_strSCA},
                       {QStringLiteral("tpa"), r.record.m_strTPA},
                       {QStringLiteral("pid"), int(r.record.m_nPID)},
                       {QStringLiteral("dcs"), int(r.record.m_nDCS)},
                       {QStringLiteral("text"), r.record.m_strUD},
                       {QStringLiteral("order"), r.record.m_nID},
                       {QStringLiteral("time"), r.time},
                       {QStringLiteral("sent"), r.outcome == SentRow::Outcome::Sent},
                       {QStringLiteral("port"), r.port},
                       {QStringLiteral("sim"), r.sim},
                       {QStringLiteral("refs"), refs},
                       {QStringLiteral("report"), r.reportRequested},
                       {QStringLiteral("key"), QString::number(r.outboxKey)},
                       {QStringLiteral("claim"), QString::number(r.claim)},
                       {QStringLiteral("run"), QString::number(r.run)}};
}

SentRow RowOf(const QJsonObject &o)
{
    SentRow r;
    r.record.m_strSCA = o.value(QStringLiteral("sca")).toString();
    r.record.m_strTPA = o.value(QStringLiteral("tpa")).toString();
    r.record.m_nPID = quint8(o.value(QStringLiteral("pid")).toInt());
    r.record.m_nDCS = quint8(o.value(QStringLiteral("dcs")).toInt());
    r.record.m_strUD = o.value(QStringLiteral("text")).toString();
    r.record.m_nID = o.value(QStringLiteral("order")).toInt(-1);
    r.time = o.value(QStringLiteral("time")).toString();
    r.outcome = o.value(QStringLiteral("sent")).toBool() ? SentRow::Outcome::Sent : SentRow::Outcome::Failed;
    r.port = o.value(QStringLiteral("port")).toString();
    r.sim = o.value(QStringLiteral("sim")).toString();
    for (const QJsonValue &ref : o.value(QStringLiteral("refs")).toArray())
        r.references.append(ref.toInt());
    r.reportRequested = o.value(QStringLiteral("report")).toBool();
    r.outboxKey = o.value(QStringLiteral("key")).toString().toLongLong();
    r.claim = o.value(QStringLiteral("claim")).toString().toLongLong();
    r.run = o.value(QStringLiteral("run")).toString().toLongLong();
    return r;
}

const QString kLeftPattern = QStringLiteral("skevo-journal-*.pending");

} // namespace

qint64 Register(CDbAccess &db, const Station &station)
{
    return db.Insert(Sql::StationInsert, {station.token, station.host, station.place, station.pid, DbTime::Now(),
                                          station.share ? 1 : 0});
}

Beat Renew(CDbAccess &db, qint64 station)
{
    if (!db.Execute(Sql::StationBeat, {station}))
        return Beat::Failed;
    return db.RowsAffected() > 0 ? Beat::Renewed : Beat::Lost;
}

Taken TakeOverGone(CDbAccess &db, CJournal &journal, qint64 me, const QString &host, const QString &place,
                   int leaseSeconds, qint64 run)
{
    Taken taken;
    QVector<std::tuple<qint64, QString, qint64, bool>> stations;
    ReadRows(db, Sql::StationList, {}, [&](const CRecordset &rs) {
        stations.append({rs.GetFieldValue(0).toLongLong(), rs.GetFieldValue(1).toString(), rs.GetFieldValue(2).toLongLong(),
                         rs.GetFieldValue(3).toInt() != 0});
    });
    for (const auto &[no, token, age, ended] : stations) {
        if (no == me)
            continue;
        // On this machine a program that no longer runs is known at once; elsewhere (another
        // host, another process namespace, a frozen program) only by its heartbeat.
        const bool deadHere = !ended && OutboxOwner::Check(token) == OutboxOwner::Liveness::Dead;
        if (!deadHere && age <= leaseSeconds)
            continue;
        // Of two stations that notice at once, the one whose delete takes the row does the rest.
        const bool deleted = deadHere ? db.Execute(Sql::StationDelete, {no}) : db.Execute(Sql::StationDeleteStale, {no, leaseSeconds});
        if (!deleted || db.RowsAffected() == 0)
            continue;
        qWarning("station %lld is gone (heartbeat %lld s ago): its messages are taken over", no, age);
        TakeOverStation(db, journal, no, run, taken);
    }
    // Claims of stations that ended without handing them back (a delete that took the station
    // row and then failed, an older ending).
    QVector<qint64> lost;
    ReadRows(db, Sql::OutboxLostClaims, {}, [&](const CRecordset &rs) { lost.append(rs.GetFieldValue(0).toLongLong()); });
    for (qint64 gone : lost)
        TakeOverStation(db, journal, gone, run, taken);
    JournalFailed(journal, ReadInHand(db, Sql::OutboxOldInFlight, {host, place}), 0, run, taken);
    return taken;
}

std::pair<qint64, int> Adopt(CDbAccess &db, qint64 me, const QString &host, const QString &place, int journalled)
{
    qint64 run = 0;
    int adopted = 0;
    const bool ok = db.Transaction([&] {
        run = db.Insert(Sql::RunInsert, {me, int(IOutbox::RunKind::Restored), -1, journalled, DbTime::Now()});
        if (run <= 0 || (journalled > 0 && !db.Execute(Sql::RunCount, {0, journalled, run}))
            || !db.Execute(Sql::OutboxAdopt, {me, run, host, place}))
            return false;
        adopted = db.RowsAffected();
        return adopted == 0 || db.Execute(Sql::RunAdd, {adopted, run});
    });
    if (!ok)
        return {0, 0};
    return {run, adopted};
}

std::optional<RunTally> ReadTally(CDbAccess &db, qint64 run)
{
    std::optional<RunTally> tally;
    ReadRows(db, Sql::RunSelect, {run}, [&](const CRecordset &rs) {
        RunTally t;
        t.run = quint64(run);
        t.total = rs.GetFieldValue(0).toInt();
        t.succeeded = rs.GetFieldValue(1).toInt();
        t.failed = rs.GetFieldValue(2).toInt();
        t.withdrawn = rs.GetFieldValue(3).toInt();
        const bool stopped = rs.GetFieldValue(4).toInt() != 0;
        t.delivered = rs.GetFieldValue(5).toInt();
        t.undelivered = rs.GetFieldValue(6).toInt();
        t.state = stopped ? RunTally::State::Stopped : t.Open() > 0 ? RunTally::State::Sending : RunTally::State::Finished;
        tally = t;
    });
    return tally;
}

bool LeaveRows(const QString &folder, qint64 station, const QVector<SentRow> &rows)
{
    if (rows.isEmpty())
        return true;
    static std::atomic<int> serial{0};
    QSaveFile file(QDir(folder).filePath(QStringLiteral("skevo-journal-%1-%2-%3.pending")
                                             .arg(station)
                                             .arg(QCoreApplication::applicationPid())
                                             .arg(++serial)));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const SentRow &row : rows)
        file.write(QJsonDocument(RowJson(row)).toJson(QJsonDocument::Compact) + '\n');
    return file.commit();
}

QVector<SmsReport> JournalLeft(const QString &folder, CJournal &journal, qint64 nowMs)
{
    QVector<SmsReport> reports;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({kLeftPattern}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        bool all = true;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.isEmpty())
                continue;
            const SentRow row = RowOf(o);
            const CJournal::Outcome outcome = journal.Sent(row, nowMs);
            if (outcome == CJournal::Outcome::Kept) {
                journal.TakeKeptSent(); // the file keeps it until the database takes it
                all = false;
                break;
            }
            if (outcome != CJournal::Outcome::Written)
                continue;
            SmsReport report;
            report.m_kind = SmsReport::Sent;
            report.m_outcome = row.outcome == SentRow::Outcome::Sent ? SmsReport::Outcome::Success : SmsReport::Outcome::Failure;
            report.m_nRecordNo = journal.LastWrittenKey();
            report.m_strTime = row.time;
            report.m_strNumber = CJournal::StorableText(row.record.m_strTPA);
            report.m_strContent = CJournal::StorableText(row.record.m_strUD);
            report.m_strPort = row.port;
            report.m_strSim = row.sim;
            reports.append(report);
        }
        file.close();
        if (all)
            QFile::remove(file.fileName());
    }
    return reports;
}

} // namespace QueueChores

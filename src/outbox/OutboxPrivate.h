#pragma once
// The outbox's state, shared by Outbox.cpp (the producers' and the desks' side) and
// OutboxKeeper.cpp (the keeper's thread).
#include "Outbox.h"
#include "OutboxOwner.h"
#include "OptOutWords.h"
#include "QueueChores.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace OutboxDetail {

inline qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// While a run goes on its tally is read this often; the window's bar follows it.
constexpr int kTallyMs = 500;
constexpr int kSharedPollMs = 250;

} // namespace OutboxDetail

using OutboxDetail::NowMs;
using OutboxDetail::kTallyMs;
using OutboxDetail::kSharedPollMs;

struct Outbox::Private
{
    explicit Private(CDbAccess::SettingsSource settings)
        : dbSettings(settings)
        , producerDb(settings)
    {
    }

    // The installation the station belongs to: setting.ini, or the database itself when the
    // settings come from nowhere else.
    QString Place() const
    {
        const DbSettings s = dbSettings ? dbSettings() : DbSettings();
        if (!s.m_strSource.isEmpty())
            return s.m_strSource;
        if (s.m_driver == DbSettings::Sqlite)
            return QFileInfo(s.m_strSqliteFile.isEmpty() ? s.m_strData + QStringLiteral(".db") : s.m_strSqliteFile)
                .absoluteFilePath();
        return QStringLiteral("postgres:%1:%2/%3").arg(s.m_strHost).arg(s.m_nPort).arg(s.m_strData);
    }

    QueueChores::Station Identity() const
    {
        return {owner.Token(), OutboxOwner::HostName(), Place(), QCoreApplication::applicationPid(), share.load()};
    }

    // The station's row, made on the connection of the calling thread.
    qint64 Register(CDbAccess &db)
    {
        std::lock_guard lock(stationMutex);
        if (station.load() > 0)
            return station.load();
        const qint64 no = QueueChores::Register(db, Identity());
        if (no > 0)
            station = no;
        return no > 0 ? no : 0;
    }

    // A sharing station's idle modems look more often: another station's list starts on them
    // within a quarter second.
    qint64 PollMs() const { return share.load() ? qMin(pollMs.load(), kSharedPollMs) : pollMs.load(); }

    void WakeAll()
    {
        std::vector<std::function<void()>> wakes;
        {
            std::lock_guard lock(portMutex);
            for (const auto &[port, wake] : ports)
                wakes.push_back(wake);
        }
        for (const std::function<void()> &wake : wakes)
            wake();
    }

    void PushReport(const SmsReport &report)
    {
        // The thread that reads it gets texts of its own, none shared with the writer's rows.
        SmsReport own = report;
        for (QString *s : {&own.m_strTime, &own.m_strNumber, &own.m_strContent, &own.m_strPort, &own.m_strSim})
            s->detach();
        std::lock_guard lock(reportMutex);
        reports.push_back(std::move(own));
    }

    void SetTally(const RunTally &t, Outbox *outbox)
    {
        int less = 0;
        {
            std::lock_guard lock(tallyMutex);
            if (t.run != quint64(run.load()) || t == tally)
                return;
            // Fewer messages than queued: an order of the run was deleted (here or by another
            // program) and its messages left the queue.
            if (t.run == tally.run && t.total < tally.total)
                less = tally.total - t.total;
            tally = t;
        }
        if (less > 0 && runOrder.load() > 0)
            emit outbox->orderWithdrawn(runOrder.load(), less);
        emit outbox->runChanged();
    }

    void WantTally()
    {
        {
            std::lock_guard lock(keeperMutex);
            tallyWanted = true;
        }
        keeperWake.notify_all();
    }

    // The keeper's thread: the heartbeat, what stations that are gone left, the run's tally
    // (OutboxKeeper.cpp).
    void Keep(Outbox *outbox);

    CDbAccess::SettingsSource dbSettings;
    // The producers' connection: used only by the thread that calls Enqueue, Withdraw, Restore.
    CDbAccess producerDb;
    CDbAccess::ErrorSink producerSink;
    OutboxOwner owner;
    std::mutex stationMutex;
    std::atomic<qint64> station{0};
    std::atomic<bool> share{false};
    mutable std::mutex wordsMutex;
    QStringList optOutWords = ::OptOutWords::Parse(::OptOutWords::kDefault);
    std::atomic<int> leaseSeconds{60};
    std::atomic<int> pollMs{1000};
    std::atomic<qint64> emptyUntilMs{0}; // no modem looks for a message before this
    std::atomic<bool> leftRows{false};   // rows were left in a file for the next start

    mutable std::mutex reportMutex;
    std::deque<SmsReport> reports;

    std::atomic<qint64> run{0}; // the current run: the last this station began or took up
    std::atomic<qint32> runOrder{0}; // the last order queued in it, 0 none
    mutable std::mutex tallyMutex;
    RunTally tally;

    mutable std::mutex portMutex;
    std::map<int, std::function<void()>> ports;
    std::map<int, SimState> sims; // by port, of the attached desks that found their SIM
    std::function<QDateTime()> clock;
    int lastPort = 0;

    std::mutex keeperMutex;
    std::condition_variable keeperWake;
    bool keeperStop = false;
    bool tallyWanted = false;
    std::thread keeper;
};

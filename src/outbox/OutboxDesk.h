#pragma once
// One modem's desk at the queue in the database: the modem claims its next message for its
// station and SIM (one statement), marks it as in its hands before the PDU goes, and hands back
// the outcome, each step only while the claim holds; its arrivals and status reports are
// journalled with its SIM. A message whose first parts went stays with this modem until the
// rest goes. Journal rows the database refused are kept here, so they outlive a disconnect,
// and are written when it takes them again; those still kept when the modem's port goes for
// good (the program ends) are waited for a while, then left for the next start. The database
// connection is the worker thread's own.
#include "CJournal.h"
#include "SimState.h"
#include "db/CDbAccess.h"
#include "modem/IModemDesk.h"

#include <memory>
#include <mutex>

class Outbox;

class OutboxDesk : public IModemDesk
{
public:
    OutboxDesk(Outbox &outbox, CDbAccess::SettingsSource dbSettings);
    // Rows still kept get one last while (kExitWaitMs), then go to the file of rows left.
    ~OutboxDesk() override;
    static constexpr int kExitWaitMs = 10000;
    // A SIM held by a full window or the quiet hours looks at the clock this often.
    static constexpr int kHeldLookMs = 1000;

    void Attach(std::function<void()> wake) override;
    void Detach() override;
    void Open(const QString &port, int retryMs) override;
    void Close() override;
    void Tick(qint64 nowMs) override;
    std::optional<qint64> NextRetryMs() const override;
    void Identify(const QString &imsi, const QString &iccid) override;

    void SetRules(const SimRules &rules) override;
    QString LocalTime() const override;

    std::optional<Outgoing> Take() override;
    bool HasWork() const override;
    Hold BeforeFirstPdu(const Outgoing &message) override;
    void GiveBack(const Outgoing &message, bool marked) override;
    void Finished(const Outgoing &message, const QString &time, bool sent, bool reportRequested) override;

    Journalled Arrived(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus) override;
    void Reported(const StatusReport &report, const QVector<int> &places) override;
    QVector<int> TakeWrittenPlaces() override;
    void ForgetPlace(int place) override;

private:
    // Tells the outbox of each sent message whose delivery state the journal changed.
    void TellDeliveryChanges();
    std::optional<Outgoing> Claim(bool repliesOnly);
    static qint64 NowMs();

    // What keeps the SIM alive (OutboxDeskRules.cpp).
    SimRules Rules() const;
    // Whether the SIM may claim a message now: not while its pause runs or a full window holds
    // it; in the quiet hours only replies (repliesOnly).
    bool MayClaim(qint64 nowMs, const QDateTime &now, bool *repliesOnly);
    // The claimed message's parts fit in the room the SIM's windows leave.
    bool Fits(const Outgoing &message, const QDateTime &now);
    // The SIM's counts read again from the journal and told.
    void Recount(const QDateTime &now);
    void Publish();

    Outbox &m_outbox;
    CDbAccess::SettingsSource m_dbSettings;
    int m_nQueuePort = 0; // the number the outbox knows this modem by
    QString m_strPort;
    QString m_strSim;     // IMSI, "" when the modem gives none
    QString m_strIccid;
    bool m_bIdentified = false;
    int m_nLeaseSeconds = 60;
    std::unique_ptr<CDbAccess> m_pDb;
    CJournal m_journal;
    // A message whose first parts went through this modem: the rest goes through it too.
    std::optional<Outgoing> m_held;

    mutable std::mutex m_rulesMutex;
    SimRules m_rules;             // set from any thread
    qint64 m_nPauseUntilMs = 0;   // no submit before this (steady clock)
    SimState m_sim;               // as last told the outbox
    // The SIM's parts this month before the day that starts at first (read once that day).
    std::pair<QDateTime, int> m_monthBefore{QDateTime(), 0};
};

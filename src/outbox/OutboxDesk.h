#pragma once
// One modem's desk at the application's outbox: the modem takes the next message from the
// one queue (a message bound to it first), marks its kept row as in the modem's hands before
// the PDU goes, and hands back the outcome; its arrivals and status reports are journalled.
// The journal rows the database refused are kept here, so they outlive a disconnect, and are
// written when it takes them again. The database connection is the worker thread's own.
#include "CJournal.h"
#include "db/CDbAccess.h"
#include "modem/IModemDesk.h"

#include <memory>

class Outbox;

class OutboxDesk : public IModemDesk
{
public:
    OutboxDesk(Outbox &outbox, CDbAccess::SettingsSource dbSettings);
    ~OutboxDesk() override;

    void Attach(std::function<void()> wake) override;
    void Detach() override;
    void Open(const QString &port, int retryMs) override;
    void Close() override;
    void Tick(qint64 nowMs) override;
    std::optional<qint64> NextRetryMs() const override;

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
    // The message's kept row is gone (withdrawn by 停止 or another program) or its order
    // deleted: it and the rest of its order are dropped unsent.
    void DropWithdrawn(const Outgoing &message);
    static qint64 NowMs();

    Outbox &m_outbox;
    CDbAccess::SettingsSource m_dbSettings;
    int m_nQueuePort = 0; // the number the queue knows this modem by
    QString m_strPort;
    std::unique_ptr<CDbAccess> m_pDb;
    CJournal m_journal;
};

#pragma once
// Where one modem's worker takes its work and hands back what became of it: the next message
// to send and its outcome, what arrived and the status reports. The worker knows nothing of a
// database or of other modems; the desk journals, keeps what the database refused, and tells
// the application. One desk per modem, for the modem's whole life (rows it still keeps outlive
// a disconnect); its sending and journalling side is used by the worker's thread only.
#include "Outgoing.h"
#include "base/SimRules.h"
#include "base/SmsRecord.h"

#include <QDateTime>

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class IModemDesk
{
public:
    virtual ~IModemDesk() = default;

    // The modem takes work from now on (before its worker starts; wake is called from any
    // thread when there may be work for it), and no longer (after the worker ended).
    virtual void Attach(std::function<void()> wake) = 0;
    virtual void Detach() = 0;
    // The worker starts (its thread): port is the modem's name in the journal, and a row the
    // database refused is tried again after retryMs.
    virtual void Open(const QString &port, int retryMs) = 0;
    // The worker ends: what is still kept is tried once more.
    virtual void Close() = 0;
    // Rows the database refused are tried again when due, and the delivery states they changed
    // are told. Called at every turn of the worker's loop.
    virtual void Tick(qint64 nowMs) = 0;
    // When the desk has something to do next, a row to retry or a queue to look at again
    // (steady clock, ms); nullopt when nothing.
    virtual std::optional<qint64> NextRetryMs() const = 0;
    // The modem's SIM, once the set-up read it (TS 27.007 7.1 IMSI; the ICCID where the modem
    // gives it; both "" when it gives neither): the modem's identity in the journal and the
    // queue. No message is taken before.
    virtual void Identify(const QString &imsi, const QString &iccid) = 0;

    // What keeps this modem's SIM alive (its limits, the pause between its submits, the quiet
    // hours): from the next message it takes on. Any thread.
    virtual void SetRules(const SimRules &rules) { Q_UNUSED(rules); }
    // The local time the worker stamps a message with when its first part goes
    // ("%Y-%m-%d %H:%M:%S"): the desk's clock, which also rolls the SIM's windows.
    virtual QString LocalTime() const
    {
        return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // --- sending
    // The next message for this modem; nullopt when there is none for it (or the SIM is not
    // known yet).
    virtual std::optional<Outgoing> Take() = 0;
    // Messages waiting for a modem or in one's hands.
    virtual bool HasWork() const = 0;
    enum class Hold {
        Go,        // the message is marked as in a modem's hands: its PDU may go
        Held,      // the mark could not be written: the PDU must not go yet
        Withdrawn, // the message is no longer wanted (stopped, its order deleted): dropped
    };
    // Before the first PDU of a message goes: once its PDU is out, its outcome is unknown
    // should the program end before the answer, and its row must say so.
    virtual Hold BeforeFirstPdu(const Outgoing &message) = 0;
    // The message did not reach the network (since the parts that went): first again in the
    // queue, for any modem; one whose first parts went stays with this modem, which sends the
    // rest when it can. marked: BeforeFirstPdu said Go for it.
    virtual void GiveBack(const Outgoing &message, bool marked) = 0;
    // The message went (every part answered) or failed; time is when its first part went.
    virtual void Finished(const Outgoing &message, const QString &time, bool sent, bool reportRequested) = 0;

    // --- receiving
    enum class Journalled { Written, Kept, Known };
    // A whole arrival: its record, the storage places it stands in (freed once journalled)
    // and its PDUs in part order. Known: journalled before; only its delete is left to do.
    virtual Journalled Arrived(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus) = 0;
    // An SMS-STATUS-REPORT for a message sent through this modem (TS 23.040 9.2.2.3).
    struct StatusReport
    {
        int reference = 0;  // TP-MR
        QString recipient;  // TP-RA
        quint8 status = 0;  // TP-ST
        QString discharge;  // TP-DT as the PDU's digits (TS 23.040 9.2.3.11)
        QString submitted;  // TP-SCTS as the PDU's digits: when the service centre took the message
        QString pdu;
    };
    virtual void Reported(const StatusReport &report, const QVector<int> &places) = 0;
    // Storage places of arrivals and reports journalled since the last call: to be deleted.
    virtual QVector<int> TakeWrittenPlaces() = 0;
    // The place holds another message now: the one kept for it is no longer there to delete.
    virtual void ForgetPlace(int place) = 0;
};

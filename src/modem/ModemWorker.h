#pragma once
// The body of one modem's worker thread: sets the modem up and waits while it is not ready
// (no SIM, a PIN to give, no network), takes the next message from the outbox whenever the
// modem is ready and free and sends it, reads and journals arrivals, deletes them from the
// modem once journalled, and hands the outbox each message's report; it tells every change of
// the modem's status. It owns the serial link while it runs and has its own database
// connection.
#include "at/AtChannel.h"
#include "outbox/CJournal.h"
#include "at/CSerialPort.h"
#include "sms/ConcatAssembler.h"
#include "ModemSetup.h"
#include "outbox/OutgoingQueue.h"
#include "db/CDbAccess.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>

class Outbox;

// Places in the modem's storages (TS 27.005 <mem>, <index>), numbered once for the life of
// the engine: the journal and the assembler know an arrival's places by these numbers.
class StoragePlaces
{
public:
    int Id(const QString &memory, int index);
    QString Memory(int id) const { return m_places.value(id).first; }
    int Index(int id) const { return m_places.value(id).second; }

private:
    QVector<std::pair<QString, int>> m_places;
};

// What outlives one run of the worker (a disconnect and a connect): journal rows still to
// write, parts of concatenated messages, the modem storage places they stand in, and what the
// modem was like when last seen.
struct WorkerState
{
    struct Stored
    {
        QString pdu;
        bool written = false; // journalled; only the delete is left to do
    };
    CJournal journal;
    ConcatAssembler assembler;
    StoragePlaces places;
    std::map<int, Stored> stored; // place -> an arrival already handled, still in the modem
    QVector<AtResponseParser::Notice> notices; // seen during the handshake
    quint8 concatRef = 0;
    QString refusedPin; // refused while this engine lived: never entered again by it
    ModemStatus status;
};

class ModemWorker
{
public:
    struct Hooks
    {
        std::function<void(const ModemStatus &)> status;
        // A PIN the operator gave while connected: (pin, refused before); nullopt when none came.
        std::function<std::optional<std::pair<QString, bool>>()> takePin;
    };
    // Who this worker is: its wake-up descriptor (readable when the outbox or the operator
    // has news for it), the number the outbox knows its port by, and the port's name.
    struct Line
    {
        int wakeFd = -1;
        int port = 0;
        QString name;
    };

    ModemWorker(CSerialPort &port, Outbox &outbox, WorkerState &state, const ModemConfig &config,
                CDbAccess::SettingsSource dbSettings, Line line, const std::atomic<bool> &stop, Hooks hooks);

    void Run();

private:
    // The set-up from the SIM on; then, with the SIM ready, what the modem stores.
    void Prepare();
    void CheckRegistration();
    void Publish();
    bool CanUseStorage() const;
    bool Registered() const;

    void SendOne(Outgoing message);
    void Finish(const Outgoing &message, const QString &time, bool success);
    // Back to the queue, first; bound to this modem when parts of it went through it.
    void Return(Outgoing message);
    // The network or the SIM refused a part the network never saw: the message waits, first in
    // the queue, until the modem is ready again.
    void NotReadyRefusal(Outgoing message, bool marked, bool network);
    // The kept row is gone (another program withdrew it) or its order deleted: the message and
    // the rest of its order are dropped unsent.
    void DropWithdrawn(const Outgoing &message);
    // The link is lost: waits, reopens the port when the device went away, and runs the
    // handshake and the set-up again every reconnectMs until the modem answers.
    void Reconnect();

    void TakeNotices();
    bool SelectStorage(const QString &memory);
    int Place(const QString &memory, int index);
    void ListStored();
    void ReadStored(int place);
    void HandleArrival(int place, const QString &pdu);
    void Deliver(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus);
    void HandleStatusReport(int place, const QString &pdu);
    // Hands the outbox a report for each sent message whose delivery the journal changed.
    void TellDeliveryChanges();
    void DeleteStored(int place);
    void DeleteWritten();
    void RetryDeletes();
    void GiveUpIncomplete();
    void QuerySignal();

    AtChannel::Answer Command(const QByteArray &command);
    int IdleWaitMs() const;
    static qint64 NowMs();

    CSerialPort &m_port;
    Outbox &m_outbox;
    OutgoingQueue &m_queue;
    WorkerState &m_state;
    ModemConfig m_config;
    const ModemTimeouts &m_timeouts = m_config.timeouts;
    CDbAccess::SettingsSource m_dbSettings;
    Line m_line;
    const std::atomic<bool> &m_stop;
    Hooks m_hooks;

    AtChannel *m_pChannel = nullptr;
    CDbAccess *m_pDb = nullptr;
    std::optional<ModemStatus> m_published;  // the status last told
    QStringList m_storages;                  // as the set-up found them
    QString m_strSelected;                   // the storage AT+CPMS selected last; "" not known
    std::deque<int> m_pendingPlaces;         // announced by +CMTI, not read yet
    std::map<int, QString> m_badPlaces;      // undecodable: left alone until their content changes
    qint64 m_nNextListMs = 0;
    qint64 m_nNextDeleteMs = 0;
    bool m_bLinkLost = false;
    qint64 m_nReconnectMs = 0;     // next attempt to get a lost link back
    qint64 m_nHoldSendsMs = 0;     // no send before this (the database took no in-flight mark;
                                   // the network refused although the modem said it was there)
    qint64 m_nNetworkWaitMs = 0;   // how long the next such refusal holds the sends
    qint64 m_nNextSimCheckMs = 0;  // the set-up again while the SIM is not ready
    qint64 m_nNextRegistrationMs = 0; // AT+CREG? again while not registered
    bool m_bCheckRegistration = false;
    qint64 m_nNextSignalMs = 0;    // next AT+CSQ; 0: never
};

#pragma once
// The body of the modem worker thread: sends the queued messages one at a time, reads and
// journals arrivals, deletes them from the modem once journalled, and reports each message.
// It owns the serial link while it runs and has its own database connection.
#include "AtChannel.h"
#include "CJournal.h"
#include "CSmsModem.h"
#include "ConcatAssembler.h"
#include "OutgoingQueue.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <set>

// What outlives one run of the worker (a disconnect and a connect): journal rows still to
// write, parts of concatenated messages, and the modem storage places they stand in.
struct WorkerState
{
    struct Stored
    {
        QString pdu;
        bool written = false; // journalled; only the delete is left to do
    };
    CJournal journal;
    ConcatAssembler assembler;
    std::map<int, Stored> stored; // storage index -> an arrival already handled, still in the modem
    QVector<AtResponseParser::Notice> notices; // seen during the handshake
    quint8 concatRef = 0;
};

class ModemWorker
{
public:
    struct Hooks
    {
        std::function<void(const SignalQuality &)> signal;
        std::function<void(int succeeded, int failed)> runFinished;
        std::function<void(const SmsReport &)> report;
        std::function<void(const QString &)> error;
        std::function<void(CSmsModem::LinkState)> linkState;
        std::function<void(int order, int count)> orderWithdrawn;
    };

    ModemWorker(CSerialPort &port, OutgoingQueue &queue, WorkerState &state, const ModemTimeouts &timeouts,
                CDbAccess::SettingsSource dbSettings, int wakeFd, const std::atomic<bool> &stop, Hooks hooks);

    void Run();

private:
    void SendOne(Outgoing message);
    void Finish(const Outgoing &message, const QString &time, bool success);
    // The kept row is gone (another program withdrew it) or its order deleted: the message and
    // the rest of its order are dropped unsent.
    void DropWithdrawn(const Outgoing &message);
    void RunFinishedIfEmpty();
    enum class Prompt { Ok, Stopped, Failed, LinkDown };
    Prompt AwaitPrompt(int tpduLength);
    // The link is lost: waits, reopens the port when the device went away, and runs the
    // handshake again every reconnectMs until the modem answers.
    void Reconnect();

    void TakeNotices();
    void ListStored();
    void ReadStored(int index);
    void HandleArrival(int index, const QString &pdu);
    void Deliver(const SmsRecord &record, const QVector<int> &indexes, const QStringList &pdus);
    void DeleteStored(int index);
    void DeleteWritten();
    void RetryDeletes();
    void GiveUpIncomplete();
    void QuerySignal();

    AtChannel::Answer Command(const QByteArray &command);
    int IdleWaitMs() const;
    static qint64 NowMs();

    CSerialPort &m_port;
    OutgoingQueue &m_queue;
    WorkerState &m_state;
    const ModemTimeouts m_timeouts;
    CDbAccess::SettingsSource m_dbSettings;
    int m_nWakeFd;
    const std::atomic<bool> &m_stop;
    Hooks m_hooks;

    AtChannel *m_pChannel = nullptr;
    CDbAccess *m_pDb = nullptr;
    std::deque<int> m_pendingIndexes;        // announced by +CMTI, not read yet
    std::map<int, QString> m_badIndexes;     // undecodable: left alone until their content changes
    qint64 m_nNextListMs = 0;
    qint64 m_nNextDeleteMs = 0;
    bool m_bLinkLost = false;
    qint64 m_nReconnectMs = 0; // next attempt to get a lost link back
    qint64 m_nHoldSendsMs = 0; // the database took no in-flight mark: no send before this
    qint64 m_nNextSignalMs = 0; // next AT+CSQ; 0: never
    int m_nRunSucceeded = 0;    // messages finished since the queue was last empty
    int m_nRunFailed = 0;
};

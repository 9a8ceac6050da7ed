#pragma once
// The simulated modem's line: a pseudo-terminal whose master side a thread of its own
// watches. What the client writes goes to the receiver; what goes to the client waits in
// a schedule until it is due, then leaves as fast as the client reads or at the pace of a
// slow serial line. The thread holds the simulator's mutex whenever it is not waiting, and
// every function here is called with that mutex held.
#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

class PseudoTerminal
{
public:
    using Clock = std::chrono::steady_clock;

    struct Receiver
    {
        std::function<void(const char *data, qsizetype size)> received;
        std::function<void()> hungUp; // the client let go of the line
    };

    PseudoTerminal(std::mutex &mutex, Receiver receiver);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Opens the pseudo-terminal and starts the thread (the caller holds the mutex). False,
    // with the reason in error, on failure.
    bool Open(QString &error);
    // Stops the thread (the lock is let go while it ends), closes the pseudo-terminal and
    // removes the link. Forgets what was still to be sent.
    void Close(std::unique_lock<std::mutex> &lock);
    bool IsOpen() const { return m_master >= 0; }
    QString DevicePath() const { return m_device; }
    bool MakeLink(const QString &linkPath, QString &error);

    // Bytes that leave after what is already due (an echo).
    void Send(const QByteArray &bytes) { m_out.append(bytes); }
    void SendAt(Clock::time_point due, const QByteArray &bytes);
    void RunAt(Clock::time_point due, std::function<void()> action);
    // Pieces that leave after delay, pause apart, never before an answer given earlier.
    void SendInOrder(const QList<QByteArray> &pieces, Clock::duration delay, Clock::duration pause);
    // Moves what is due into the output, runs what is due to run.
    void RunDue();
    void SetPace(int bytesPerSecond);
    void Wake();

private:
    void Run();
    void WriteOut();
    double PaceBurst() const;
    int PaceWait() const;
    void HangUp();

    struct Due
    {
        QByteArray bytes;
        std::function<void()> action;
    };

    std::mutex &m_mutex;
    Receiver m_receiver;
    std::thread m_thread;
    bool m_stop = false;
    int m_master = -1;
    int m_wake[2] = {-1, -1};
    QString m_device;
    QString m_link;

    std::multimap<Clock::time_point, Due> m_schedule;
    Clock::time_point m_lastAnswerDue {};
    QByteArray m_out;
    // Pacing: a line of N bytes a second lets out at most that many; the credit refills
    // with time and holds at most a hundredth of a second's worth, so bursts stay short.
    int m_paceBps = 0;
    double m_paceCredit = 0;
    Clock::time_point m_paceLast {};
    bool m_hungUp = false;
    Clock::time_point m_retryMaster {};
};

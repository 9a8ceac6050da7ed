#pragma once
// One command in flight on the serial link: writes a command, waits for its final result,
// a prompt or nothing, every wait bounded and broken off by a stop request. Everything read
// goes through one AtResponseParser, so the new-message indications that come in the middle
// of any exchange are collected for the engine.
#include "AtResponseParser.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>

class IModemIo;

class AtChannel
{
public:
    // LinkDown: the device is gone, took no command, or the modem has stopped answering
    // altogether (see LinkLost); nothing more is written until ResetLink.
    enum class Status { Ok, Error, Timeout, Stopped, LinkDown };
    // What the modem said: the final result code as it came, its kind and, for +CMS ERROR
    // and +CME ERROR, its code, so that a refusal for want of network can be told from a
    // refused message.
    struct Answer
    {
        Status status = Status::Timeout;
        QStringList lines; // information lines before the final result
        QString finalLine; // "OK", "ERROR", "+CMS ERROR: 500" ...
        AtResponseParser::Final kind = AtResponseParser::Final::None;
        int code = -1;     // <err> of +CMS ERROR / +CME ERROR, -1 for none

        bool IsCms(int err) const { return kind == AtResponseParser::Final::CmsError && code == err; }
        bool IsCme(int err) const { return kind == AtResponseParser::Final::CmeError && code == err; }
        // The first information line that starts with prefix ("+CPIN:"), without it; null when none.
        QString Info(const QString &prefix) const;
    };

    // wakeFd: readable when the engine has something for the worker (-1: none); stop: the
    // stop request, checked after every read (nullptr: never stopped).
    AtChannel(IModemIo &port, int wakeFd = -1, const std::atomic<bool> *stop = nullptr);

    // Every wait below lasts timeoutMs from the last byte received, and in all timeoutMs plus
    // this much per byte received (0: no allowance, the wait ends timeoutMs after it began).
    void SetAnswerAllowance(int msPerByte) { m_nMsPerByte = qMax(msPerByte, 0); }
    // How long the line stays quiet after an ESC before the next command goes.
    void SetEscapePause(int ms) { m_nEscapePauseMs = qMax(ms, 0); }

    // ESC on its own (TS 27.005 3.5.1: ends a PDU entry without sending), then the pause, with
    // whatever the modem says meanwhile dropped: a modem at a "> " prompt needs a moment to
    // leave it, and one that is not there must not find the ESC in front of its next command.
    bool Escape();

    bool Write(const QByteArray &bytes);
    // Forgets the answers read so far: what comes next answers what is written next.
    void DiscardAnswers() { m_parser.DiscardAnswers(); }
    // Drops lines received so far, writes the command and waits for its final result.
    Answer Command(const QByteArray &command, int timeoutMs);
    Answer WaitFinal(int timeoutMs);
    // Waits for the "> " prompt (status Ok). An error result instead answers the command
    // (the dialogue is in step: every wait that ran out was followed by Resync), so it comes
    // back with its code; a lone OK is left over from before and passed over.
    Answer WaitPrompt(int timeoutMs);
    // After a time-out: cancels a pending PDU entry with ESC, then asks "AT+CMGF?" until its
    // distinctive answer arrives, so no late answer is taken for the next command's.
    bool Resync(int timeoutMs, int attempts);
    // The link is down: the device went away, refused a write, or the modem let
    // kSilentWaits waits in a row pass without a single byte (no prompt, no result, not
    // even to the resynchronisation).
    bool LinkLost() const;
    bool WriteRefused() const { return m_bWriteRefused; }
    // After the link is back (the port reopened, the handshake answered).
    void ResetLink();

    // Waits for input or a wake-up, up to timeoutMs; lines read are no answer to anything.
    void Idle(int timeoutMs);
    // Reads and drops what the modem still sends, until it has been quiet for quietMs.
    void Drain(int quietMs, int limitMs);

    QVector<AtResponseParser::Notice> TakeNotices() { return m_parser.TakeNotices(); }
    bool Stopped() const;
    // True when a wake-up arrived since the last call (the engine has news).
    bool TakeWoken();

    // While set, waits run to their time-out whatever the stop request says (a PDU that was
    // handed over gets a short grace to be answered).
    void IgnoreStop(bool ignore) { m_bIgnoreStop = ignore; }

    static constexpr int kSilentWaits = 2;

private:
    class AnswerClock;
    // One read of at most timeoutMs; false when the stop request ended it.
    bool Pump(int timeoutMs);
    void Received(const char *data, int size);
    void DrainWake();
    // A wait that ran out: silent unless a byte came during it.
    void TimedOut(const AnswerClock &clock);

    IModemIo &m_port;
    int m_nWakeFd;
    const std::atomic<bool> *m_pStop;
    AtResponseParser m_parser;
    bool m_bWoken = false;
    bool m_bIgnoreStop = false;
    int m_nMsPerByte = 0;
    int m_nEscapePauseMs = 300;
    qint64 m_nBytesRead = 0;
    int m_nSilentWaits = 0;
    bool m_bWriteRefused = false;
};

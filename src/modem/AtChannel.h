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

class CSerialPort;

class AtChannel
{
public:
    // LinkDown: the command could not be written (the device is gone); the modem got nothing.
    enum class Status { Ok, Error, Timeout, Stopped, LinkDown };
    struct Answer
    {
        Status status = Status::Timeout;
        QStringList lines; // information lines before the final result
        QString finalLine; // "OK", "ERROR", "+CMS ERROR: 500" ...
    };

    // wakeFd: readable when the engine has something for the worker (-1: none); stop: the
    // stop request, checked after every read (nullptr: never stopped).
    AtChannel(CSerialPort &port, int wakeFd = -1, const std::atomic<bool> *stop = nullptr);

    bool Write(const QByteArray &bytes);
    // Forgets the answers read so far: what comes next answers what is written next.
    void DiscardAnswers() { m_parser.DiscardAnswers(); }
    // Drops lines received so far, writes the command and waits for its final result.
    Answer Command(const QByteArray &command, int timeoutMs);
    Answer WaitFinal(int timeoutMs);
    // Waits for the "> " prompt; final results before it belong to an earlier command and
    // are passed over.
    Status WaitPrompt(int timeoutMs);
    // After a time-out: cancels a pending PDU entry with ESC, then asks "AT+CMGF?" until its
    // distinctive answer arrives, so no late answer is taken for the next command's.
    bool Resync(int timeoutMs, int attempts);
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

private:
    // One read of at most timeoutMs; false when the stop request ended it.
    bool Pump(int timeoutMs);
    void DrainWake();

    CSerialPort &m_port;
    int m_nWakeFd;
    const std::atomic<bool> *m_pStop;
    AtResponseParser m_parser;
    bool m_bWoken = false;
    bool m_bIgnoreStop = false;
};

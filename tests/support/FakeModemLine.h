#pragma once
// A scripted modem line for the AT dialogue: what the modem answers to each command (by the
// longest scripted beginning), to each PDU after a prompt, and what it says unasked. A read
// returns at once what is due, so a dialogue runs in milliseconds without a thread or a
// pseudo-terminal; a quiet line waits out the read's time, as a silent modem does. A command
// nobody scripted is answered OK.
#include "at/IModemIo.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <map>

class FakeModemLine : public IModemIo
{
public:
    // "\r\n<info>\r\n...\r\nOK\r\n"; "\r\n<final>\r\n"; the prompt.
    static QByteArray Ok(const QByteArrayList &info = {});
    static QByteArray Final(const QByteArray &line);
    static QByteArray Prompt() { return QByteArrayLiteral("\r\n> "); }

    // The answers to commands that begin with prefix, in turn, the last one for every later
    // command; "" is silence.
    void On(const QByteArray &prefix, const QByteArrayList &answers);
    // The answers to the PDUs handed over after a prompt, in the same way.
    void OnPdu(const QByteArrayList &answers);
    void Push(const QByteArray &unsolicited) { m_out += unsolicited; }

    // Command lines as written, without CR; a PDU as "<PDU>"; ESC as "<ESC>".
    QStringList Written() const { return m_written; }
    int Count(const QString &prefix) const;

    bool gone = false;
    // Called with each command line as it is written (before its answer).
    std::function<void(const QByteArray &line)> onCommand;

    int Write(const char *buffer, int count) override;
    int ReadTimed(char *buffer, int maximum, int totalMs, int intervalMs, int wakeFd = -1) override;
    bool IsOpen() const override { return true; }
    bool IsGone() const override { return gone; }

private:
    struct Script
    {
        QByteArrayList answers;
        int used = 0;
    };
    void Answer(Script &script);
    void Command(const QByteArray &line);

    std::map<QByteArray, Script> m_commands;
    Script m_pdu;
    QByteArray m_in;
    QByteArray m_out;
    bool m_bPdu = false;
    QStringList m_written;
};

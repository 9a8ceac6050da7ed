#pragma once
// Cuts what the client types into command lines as a modem does (ITU-T V.250 5.2): the
// modem echoes while echo is on, a line ends at CR, backspace takes back a character and
// an overlong line is refused whole. After the prompt of AT+CMGS it collects the PDU text
// instead, until Ctrl-Z sends it or ESC cancels it (3GPP TS 27.005 3.5.1). Called with
// the simulator's mutex held.
#include <QByteArray>

#include <functional>

class LineFramer
{
public:
    struct Handlers
    {
        std::function<void(const QByteArray &bytes)> echo;
        std::function<void(const QByteArray &line, bool overflow)> line;
        std::function<void(const QByteArray &pduText)> pdu;
        std::function<void()> cancelled;
    };

    explicit LineFramer(Handlers handlers) : m_handlers(std::move(handlers)) {}

    void Feed(const char *data, qsizetype size);
    // From now on the PDU text of a submit, up to Ctrl-Z or ESC.
    void ExpectPdu();
    // Forgets a half-typed line or PDU, as a modem does when DTR drops.
    void Reset();

    bool echo = true; // ATE1 / ATE0
    // Some modems take ESC at a prompt only when nothing follows it at once: an ESC that comes
    // in one piece with what follows ("\x1b" "AT\r") is ignored, and the rest is PDU text.
    bool escAloneOnly = false;

private:
    void FeedPdu(char c);

    Handlers m_handlers;
    bool m_pduMode = false;
    QByteArray m_line;
    bool m_lineOverflow = false;
    QByteArray m_pduText;
};

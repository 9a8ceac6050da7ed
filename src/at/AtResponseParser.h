#pragma once
// Splits what a modem writes into result lines, the "> " prompt and unsolicited result
// codes. Pure: bytes in, events out, so every read of the engine goes through the same
// scan and no new-message indication is lost in the middle of another exchange.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <deque>

class AtResponseParser
{
public:
    // An unsolicited result code: a new-message indication (3GPP TS 27.005 clause 3.4.1,
    // AT+CNMI) or a change of the network registration (TS 27.007 7.2, AT+CREG=1 or 2).
    struct Notice
    {
        // Stored: a message or a status report kept in the modem ("+CMTI" / "+CDSI: <mem>,<index>");
        // Direct: a message handed over ("+CMT"); DirectReport: a status report handed over
        // ("+CDS: <length>" and the PDU, TS 27.005 3.4.1 <ds> 1).
        enum Kind { Stored, Direct, Registration, DirectReport };
        Kind kind = Stored;
        QString storage; // Stored: <mem>
        int index = -1;  // Stored: <index>; Registration: <stat>
        QString pdu;     // Direct, DirectReport: the PDU line after the header
        bool operator==(const Notice &) const = default;
    };

    // Final result codes of TS 27.007 clause 5.7 / TS 27.005 clause 3.2.5.
    enum class Final { None, Ok, Error, CmsError, CmeError };

    void Feed(const QByteArray &bytes);

    bool HasLine() const { return !m_lines.empty(); }
    QString TakeLine();          // next line that is not an unsolicited result, in order
    bool TakePrompt();           // true once per "> " seen since the last call
    QVector<Notice> TakeNotices();

    // Forgets the lines and the prompt received so far (they answer nothing now). Notices
    // stay, and so does a line that is still arriving.
    void DiscardAnswers();

    static Final FinalOf(const QString &line);
    // The <err> of "+CMS ERROR: <err>" (TS 27.005 3.2.5) or "+CME ERROR: <err>" (TS 27.007
    // 9.2), numeric or, for +CME, the verbose text of 9.2.1; -1 for any other line.
    static int CodeOf(const QString &line);

private:
    void TakeCompleteLine(const QByteArray &line);

    QByteArray m_partial;
    std::deque<QString> m_lines;
    QVector<Notice> m_notices;
    bool m_bPrompt = false;
    bool m_bAwaitDirectPdu = false;
    bool m_bAwaitReportPdu = false;
};

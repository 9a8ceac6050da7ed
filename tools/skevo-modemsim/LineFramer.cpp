#include "LineFramer.h"

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;
constexpr int kMaxLine = 1024;    // a longer command line is refused
constexpr int kMaxPduText = 1024; // TS 27.005 3.5.1: at most 164 TPDU octets plus the SMSC

} // namespace

void LineFramer::Feed(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (m_pduMode) {
            if (c == kEsc && escAloneOnly && i + 1 < size)
                continue;
            FeedPdu(c);
            continue;
        }
        if (c == kCtrlZ || c == kEsc)
            continue; // meaningless outside a PDU
        if (echo)
            m_handlers.echo(QByteArray(1, c));
        if (c == '\r') {
            const QByteArray line = m_line;
            const bool overflow = m_lineOverflow;
            m_line.clear();
            m_lineOverflow = false;
            m_handlers.line(line, overflow);
        } else if (c == '\n') {
            // V.250 5.2.1: characters before the "AT" prefix are ignored anyway.
        } else if (c == kBackspace) {
            m_line.chop(1);
        } else if (m_line.size() < kMaxLine) {
            m_line.append(c);
        } else {
            m_lineOverflow = true;
        }
    }
}

void LineFramer::FeedPdu(char c)
{
    if (c == kCtrlZ) {
        m_pduMode = false;
        m_handlers.pdu(m_pduText);
        return;
    }
    if (c == kEsc) {
        // TS 27.005 3.5.1: ESC quits without sending.
        m_pduMode = false;
        m_handlers.cancelled();
        return;
    }
    if (c == '\r' || c == '\n' || c == ' ')
        return;
    if (echo)
        m_handlers.echo(QByteArray(1, c));
    if (m_pduText.size() < kMaxPduText)
        m_pduText.append(c);
}

void LineFramer::ExpectPdu()
{
    m_pduText.clear();
    m_pduMode = true;
}

void LineFramer::Reset()
{
    m_pduMode = false;
    m_line.clear();
    m_lineOverflow = false;
    m_pduText.clear();
}

#include "AtResponseParser.h"

namespace {

bool IsHexLine(const QString &line)
{
    if (line.isEmpty() || line.size() % 2 != 0)
        return false;
    for (QChar c : line) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f')))
            return false;
    }
    return true;
}

} // namespace

void AtResponseParser::Feed(const QByteArray &bytes)
{
    // TS 27.005 3.5.1: the prompt is "<CR><LF><greater_than><space>" with no line end after
    // it, so it stands alone at the start of an unfinished line, however the reads cut it.
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (m_partial.startsWith('>'))
                m_bPrompt = true;
            else if (!m_partial.isEmpty())
                TakeCompleteLine(m_partial);
            m_partial.clear();
            continue;
        }
        if (c == '\0')
            continue; // line noise on a serial link; never part of a result
        m_partial.append(c);
        if (m_partial == "> ") {
            m_bPrompt = true;
            m_partial.clear();
        }
    }
    if (m_partial.startsWith('>')) {
        m_bPrompt = true;
        m_partial.clear();
    }
}

void AtResponseParser::TakeCompleteLine(const QByteArray &raw)
{
    const QString line = QString::fromLatin1(raw).trimmed();
    if (line.isEmpty())
        return;
    if (m_bAwaitDirectPdu) {
        m_bAwaitDirectPdu = false;
        if (IsHexLine(line)) {
            Notice n;
            n.kind = Notice::Direct;
            n.pdu = line;
            m_notices.append(n);
            return;
        }
        // No PDU after the header: what came is an ordinary line.
    }
    // TS 27.005 3.4.1: +CMTI: <mem>,<index>
    if (line.startsWith(QLatin1String("+CMTI:"))) {
        const QString rest = line.mid(6).trimmed();
        const qsizetype comma = rest.lastIndexOf(QLatin1Char(','));
        bool ok = false;
        const int index = comma > 0 ? rest.mid(comma + 1).trimmed().toInt(&ok) : -1;
        if (ok && index >= 0) {
            Notice n;
            n.kind = Notice::Stored;
            n.storage = rest.left(comma).trimmed().remove(QLatin1Char('"'));
            n.index = index;
            m_notices.append(n);
            return;
        }
        m_lines.push_back(line);
        return;
    }
    // TS 27.005 3.4.1, PDU mode: +CMT: [<alpha>],<length><CR><LF><pdu>
    if (line.startsWith(QLatin1String("+CMT:"))) {
        m_bAwaitDirectPdu = true;
        return;
    }
    m_lines.push_back(line);
}

QString AtResponseParser::TakeLine()
{
    if (m_lines.empty())
        return {};
    QString line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

bool AtResponseParser::TakePrompt()
{
    const bool seen = m_bPrompt;
    m_bPrompt = false;
    return seen;
}

QVector<AtResponseParser::Notice> AtResponseParser::TakeNotices()
{
    QVector<Notice> notices;
    notices.swap(m_notices);
    return notices;
}

void AtResponseParser::DiscardAnswers()
{
    m_lines.clear();
    m_bPrompt = false;
}

AtResponseParser::Final AtResponseParser::FinalOf(const QString &line)
{
    if (line == QLatin1String("OK"))
        return Final::Ok;
    if (line == QLatin1String("ERROR"))
        return Final::Error;
    if (line.startsWith(QLatin1String("+CMS ERROR")))
        return Final::CmsError;
    if (line.startsWith(QLatin1String("+CME ERROR")))
        return Final::CmeError;
    return Final::None;
}

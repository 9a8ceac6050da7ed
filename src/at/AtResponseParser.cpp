#include "AtResponseParser.h"

#include <optional>

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

// TS 27.007 7.2: the unsolicited "+CREG: <stat>" (<n>=1) or "+CREG: <stat>,<lac>,<ci>..."
// (<n>=2, <lac> a quoted string). The answer to AT+CREG? starts with <n> and has an unquoted
// <stat> second: it is no notice.
std::optional<int> RegistrationNotice(const QString &line)
{
    if (!line.startsWith(QLatin1String("+CREG:")))
        return std::nullopt;
    const QStringList fields = line.mid(6).split(QLatin1Char(','));
    if (fields.size() >= 2 && !fields[1].trimmed().startsWith(QLatin1Char('"')))
        return std::nullopt;
    bool ok = false;
    const int stat = fields[0].trimmed().toInt(&ok);
    return ok ? std::optional<int>(stat) : std::nullopt;
}

// TS 27.007 9.2.1: the verbose texts of the +CME errors the engine acts on.
struct VerboseError
{
    const char *text;
    int code;
};
constexpr VerboseError kCmeTexts[] = {
    {"phone failure", 0},
    {"operation not allowed", 3},
    {"operation not supported", 4},
    {"SIM not inserted", 10},
    {"SIM PIN required", 11},
    {"SIM PUK required", 12},
    {"SIM failure", 13},
    {"SIM busy", 14},
    {"SIM wrong", 15},
    {"incorrect password", 16},
    {"SIM PIN2 required", 17},
    {"SIM PUK2 required", 18},
    {"no network service", 30},
    {"network timeout", 31},
    {"network not allowed - emergency calls only", 32},
};

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
    if (m_bAwaitDirectPdu || m_bAwaitReportPdu) {
        const bool report = m_bAwaitReportPdu;
        m_bAwaitDirectPdu = false;
        m_bAwaitReportPdu = false;
        if (IsHexLine(line)) {
            Notice n;
            n.kind = report ? Notice::DirectReport : Notice::Direct;
            n.pdu = line;
            m_notices.append(n);
            return;
        }
        // No PDU after the header: what came is an ordinary line.
    }
    // TS 27.005 3.4.1: +CMTI: <mem>,<index>, and for a status report +CDSI: <mem>,<index>
    if (line.startsWith(QLatin1String("+CMTI:")) || line.startsWith(QLatin1String("+CDSI:"))) {
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
    if (const std::optional<int> stat = RegistrationNotice(line)) {
        Notice n;
        n.kind = Notice::Registration;
        n.index = *stat;
        m_notices.append(n);
        return;
    }
    // TS 27.005 3.4.1, PDU mode: +CMT: [<alpha>],<length><CR><LF><pdu>
    if (line.startsWith(QLatin1String("+CMT:"))) {
        m_bAwaitDirectPdu = true;
        return;
    }
    // TS 27.005 3.4.1, PDU mode: +CDS: <length><CR><LF><pdu>
    if (line.startsWith(QLatin1String("+CDS:"))) {
        m_bAwaitReportPdu = true;
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

int AtResponseParser::CodeOf(const QString &line)
{
    const Final final = FinalOf(line);
    if (final != Final::CmsError && final != Final::CmeError)
        return -1;
    const QString err = line.mid(line.indexOf(QLatin1Char(':')) + 1).trimmed();
    bool ok = false;
    const int code = err.toInt(&ok);
    if (ok)
        return code;
    if (final == Final::CmeError) {
        for (const VerboseError &v : kCmeTexts) {
            if (err.compare(QLatin1String(v.text), Qt::CaseInsensitive) == 0)
                return v.code;
        }
    }
    return -1;
}

#include "FakeModemLine.h"

#include <QThread>

QByteArray FakeModemLine::Ok(const QByteArrayList &info)
{
    QByteArray out;
    for (const QByteArray &line : info)
        out += "\r\n" + line + "\r\n";
    return out + "\r\nOK\r\n";
}

QByteArray FakeModemLine::Final(const QByteArray &line)
{
    return "\r\n" + line + "\r\n";
}

void FakeModemLine::On(const QByteArray &prefix, const QByteArrayList &answers)
{
    m_commands[prefix] = Script{answers, 0};
}

void FakeModemLine::OnPdu(const QByteArrayList &answers)
{
    m_pdu = Script{answers, 0};
}

int FakeModemLine::Count(const QString &prefix) const
{
    int n = 0;
    for (const QString &w : m_written)
        n += w.startsWith(prefix) ? 1 : 0;
    return n;
}

void FakeModemLine::Answer(Script &script)
{
    if (script.answers.isEmpty())
        return;
    const QByteArray answer = script.answers.value(qMin(script.used, int(script.answers.size()) - 1));
    ++script.used;
    m_out += answer;
    if (answer.endsWith("> "))
        m_bPdu = true;
}

void FakeModemLine::Command(const QByteArray &line)
{
    m_written << QString::fromLatin1(line);
    if (onCommand)
        onCommand(line);
    const std::map<QByteArray, Script>::iterator none = m_commands.end();
    std::map<QByteArray, Script>::iterator best = none;
    for (auto it = m_commands.begin(); it != m_commands.end(); ++it) {
        if (line.startsWith(it->first) && (best == none || it->first.size() > best->first.size()))
            best = it;
    }
    if (best == none) {
        m_out += Ok();
        return;
    }
    Answer(best->second);
}

int FakeModemLine::Write(const char *buffer, int count)
{
    if (gone)
        return 0;
    for (int i = 0; i < count; ++i) {
        const char c = buffer[i];
        if (c == '\x1b') {
            // TS 27.005 3.5.1: ESC ends a PDU entry without sending.
            m_written << QStringLiteral("<ESC>");
            m_in.clear();
            m_bPdu = false;
        } else if (m_bPdu && c == '\x1a') {
            m_written << QStringLiteral("<PDU>");
            m_in.clear();
            m_bPdu = false;
            Answer(m_pdu);
        } else if (!m_bPdu && c == '\r') {
            Command(m_in);
            m_in.clear();
        } else if (c != '\n') {
            m_in += c;
        }
    }
    return count;
}

int FakeModemLine::ReadTimed(char *buffer, int maximum, int totalMs, int, int)
{
    if (m_out.isEmpty()) {
        QThread::msleep(qMax(totalMs, 0)); // a quiet line
        return 0;
    }
    const int n = int(qMin<qsizetype>(maximum, m_out.size()));
    memcpy(buffer, m_out.constData(), size_t(n));
    m_out.remove(0, n);
    return n;
}

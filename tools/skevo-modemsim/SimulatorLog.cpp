#include "SimulatorLog.h"

#include <QDateTime>
#include <QJsonDocument>

void SimulatorLog::Command(const QString &line)
{
    m_commands.append(line);
    Write({{QStringLiteral("cmd"), line}});
}

void SimulatorLog::Submit(const ModemSimulator::Submit &s)
{
    m_submits.append(s);
    QJsonObject o {{QStringLiteral("cmd"), QStringLiteral("AT+CMGS=%1").arg(s.declaredLength)},
                   {QStringLiteral("pdu"), s.pdu},
                   {QStringLiteral("answer"), s.answer}};
    if (s.decoded) {
        o.insert(QStringLiteral("number"), s.message.number);
        o.insert(QStringLiteral("text"), s.message.text);
        o.insert(QStringLiteral("dcs"), int(s.message.dcs));
        o.insert(QStringLiteral("udh"), s.message.udh ? QJsonValue(Pdu::OctetsToHex(*s.message.udh)) : QJsonValue());
        o.insert(QStringLiteral("concat"),
                 s.message.concat ? QJsonValue(QJsonObject {{QStringLiteral("ref"), s.message.concat->ref},
                                                            {QStringLiteral("part"), s.message.concat->part},
                                                            {QStringLiteral("count"), s.message.concat->count}})
                                  : QJsonValue());
    } else {
        o.insert(QStringLiteral("error"), s.error);
    }
    Write(o);
}

void SimulatorLog::Write(QJsonObject event)
{
    if (!m_file.isOpen())
        return;
    event.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
    m_file.write(QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
    m_file.flush();
}

void SimulatorLog::Clear()
{
    m_submits.clear();
    m_commands.clear();
}

bool SimulatorLog::SetFile(const QString &path, QString &error)
{
    m_file.close();
    if (path.isEmpty())
        return true;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

#pragma once
// What the simulated modem was sent: the command lines and the submits in the order they
// came, and, when a file is set, one JSON object a line for each event. Called with the
// simulator's mutex held.
#include "ModemSimulator.h"

#include <QFile>
#include <QJsonObject>
#include <QStringList>
#include <QVector>

class SimulatorLog
{
public:
    void Command(const QString &line); // kept and written
    void Submit(const ModemSimulator::Submit &s); // kept and written with its decoded fields
    void Write(QJsonObject event);     // written only
    void Clear();                      // forgets the commands and submits kept
    // "" stops writing. False, with the reason in error, when the file cannot be opened.
    bool SetFile(const QString &path, QString &error);

    const QStringList &Commands() const { return m_commands; }
    const QVector<ModemSimulator::Submit> &Submits() const { return m_submits; }

private:
    QStringList m_commands;
    QVector<ModemSimulator::Submit> m_submits;
    QFile m_file;
};

#pragma once
// skevo-cli as a separate process, for the tests that drive it: a working directory with
// setting.ini naming the database under test, and a run of the program with what it wrote.
#include "base/DbSettings.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class ModemSimulator;

// A working directory with setting.ini naming the database under test.
class CliPlace
{
public:
    explicit CliPlace(const DbSettings &db);
    QString Dir() const { return m_strDir; }
    QString File(const QString &name) const;
    // Writes the number file; its path, empty when it could not be written.
    QString Numbers(const QByteArray &content) const;
    // A number file of the numbers given, between "start" and "end".
    QString Numbers(const QStringList &numbers) const;
    // One key of setting.ini's section SYSTEM.
    bool SetSystem(const QString &key, const QString &value) const;

private:
    std::unique_ptr<QTemporaryDir> m_own;
    QString m_strDir;
};

class Cli
{
public:
    static constexpr int kWaitMs = 60000;

    explicit Cli(const CliPlace &place);
    void Start(const QStringList &args);
    // Runs to the end; the exit code, -1 when it did not end normally, -2 when it did not end.
    int Run(const QStringList &args, int ms = kWaitMs);
    int Wait(int ms = kWaitMs);
    QStringList Lines() const;
    QString Err() const;
    // The lines of standard error, the last one last.
    QStringList ErrLines() const;
    QProcess &Process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

// --device of the simulator and short waits for the modem's answers.
QStringList ModemArgs(const ModemSimulator &sim);

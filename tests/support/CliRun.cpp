#include "CliRun.h"
#include "TestEnv.h"

#include "ModemSimulator.h"
#include "base/CSettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

CliPlace::CliPlace(const DbSettings &db)
{
    if (db.m_driver == DbSettings::Sqlite) {
        m_strDir = QFileInfo(db.m_strSqliteFile).absolutePath();
    } else {
        m_own = std::make_unique<QTemporaryDir>();
        m_strDir = m_own->path();
    }
    QString ini = QStringLiteral("[SQL]\n");
    if (db.m_driver == DbSettings::Sqlite) {
        ini += QStringLiteral("Driver=sqlite\nData=%1\n").arg(db.m_strData);
    } else {
        ini += QStringLiteral("Driver=postgres\nHost=%1\nPort=%2\nUser=%3\nPsw=%4\nData=%5\n")
                   .arg(db.m_strHost)
                   .arg(db.m_nPort)
                   .arg(db.m_strUser, db.m_strPsw, db.m_strData);
    }
    ini += QStringLiteral("[SYSTEM]\nCOM=COM9\nBaudRate=115200\nSMSC=8613800100500\nByteSize=8\nStopBits=1\n");
    QFile f(QDir(m_strDir).filePath(QStringLiteral("setting.ini")));
    if (f.open(QIODevice::WriteOnly))
        f.write(ini.toUtf8());
}

QString CliPlace::File(const QString &name) const
{
    return QDir(m_strDir).filePath(name);
}

QString CliPlace::Numbers(const QByteArray &content) const
{
    QFile f(File(QStringLiteral("numbers.txt")));
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() ? f.fileName() : QString();
}

QString CliPlace::Numbers(const QStringList &numbers) const
{
    return Numbers("start\n" + numbers.join(QLatin1Char('\n')).toLatin1() + "\nend");
}

bool CliPlace::SetSystem(const QString &key, const QString &value) const
{
    CSettingsFile file(File(QStringLiteral("setting.ini")));
    return file.WriteString(QStringLiteral("SYSTEM"), key, value);
}

Cli::Cli(const CliPlace &place)
{
    m_process.setWorkingDirectory(place.Dir());
    m_process.setProgram(TestEnv::CliPath());
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { m_out += m_process.readAllStandardOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] { m_err += m_process.readAllStandardError(); });
}

void Cli::Start(const QStringList &args)
{
    m_process.setArguments(args);
    m_process.start();
}

int Cli::Run(const QStringList &args, int ms)
{
    Start(args);
    return Wait(ms);
}

int Cli::Wait(int ms)
{
    if (!m_process.waitForFinished(ms))
        return -2;
    m_out += m_process.readAllStandardOutput();
    m_err += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QStringList Cli::Lines() const
{
    return QString::fromUtf8(m_out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString Cli::Err() const
{
    return QString::fromUtf8(m_err);
}

QStringList Cli::ErrLines() const
{
    return Err().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList ModemArgs(const ModemSimulator &sim)
{
    return {QStringLiteral("--device"), sim.DevicePath(), QStringLiteral("--timeout-ms"), QStringLiteral("10000"),
            QStringLiteral("--prompt-ms"), QStringLiteral("3000")};
}

// skevo-cli user as a process, in a working folder whose setting.ini names a SQLite file:
// the same checks and messages as the account window, passwords from a pipe and from a
// terminal that does not echo them.
#include "TestEnv.h"
#include "app/CSkevoApp.h"
#include "db/Schema.h"
#include "users/LoginLogic.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class tst_CliUser : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void commandsInTurn();
    void terminalPasswordIsNotEchoed_data();
    void terminalPasswordIsNotEchoed();

private:
    struct Run
    {
        int exitCode = -1;
        QString out, err;
    };
    Run Cli(const QStringList &args, const QByteArray &input = QByteArray())
    {
        QProcess p;
        p.setWorkingDirectory(m_dir->path());
        p.start(TestEnv::CliPath(), QStringList{QStringLiteral("user")} + args);
        p.write(input);
        p.closeWriteChannel();
        Run r;
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
            r.exitCode = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        r.err = QString::fromUtf8(p.readAllStandardError()).trimmed();
        return r;
    }
    bool LogsIn(const QString &name, const QString &password)
    {
        CSkevoApp app(m_dir->filePath(QStringLiteral("setting.ini")));
        LoginLogic l;
        l.m_strName = name;
        l.m_strPassword = password;
        return l.Check(app.Db()).m_bOk;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_CliUser::init()
{
    QVERIFY(!TestEnv::CliPath().isEmpty());
    m_dir = std::make_unique<QTemporaryDir>();
}

void tst_CliUser::commandsInTurn()
{
    const struct
    {
        QStringList args;
        QByteArray input;
        int exitCode;
        QString out, err;
    } steps[] = {
        {{QStringLiteral("list")}, {}, 0, QStringLiteral("admin\t管理员\t"), {}},
        {{QStringLiteral("add"), QStringLiteral("bob")}, "b'pw\n", 0, QStringLiteral("增加成功!"), {}},
        {{QStringLiteral("add"), QStringLiteral("bob"), QStringLiteral("--level"), QStringLiteral("admin")}, "x\n", 1, {},
         QStringLiteral("该用户 bob 已经存在")},
        {{QStringLiteral("add"), QStringLiteral("carol"), QStringLiteral("--level"), QStringLiteral("admin")}, "", 1, {},
         QStringLiteral("密码不能为空!")},
        {{QStringLiteral("passwd"), QStringLiteral("admin")}, "\n", 1, {}, QStringLiteral("密码不能为空!")},
        {{QStringLiteral("passwd"), QStringLiteral("admin")}, "found again\n", 0, QStringLiteral("修改成功!"), {}},
        {{QStringLiteral("passwd"), QStringLiteral("nobody")}, "x\n", 1, {}, QStringLiteral("该用户 nobody 不存在")},
        // Quotes leave a name wherever it is typed.
        {{QStringLiteral("add"), QStringLiteral("O'Neil")}, "pw\n", 0, QStringLiteral("增加成功!"), {}},
        {{QStringLiteral("passwd"), QStringLiteral("O'Neil")}, "new\n", 0, QStringLiteral("修改成功!"), {}},
        {{QStringLiteral("delete"), QStringLiteral("O'Neil")}, {}, 0, {}, {}},
        {{QStringLiteral("add"), QStringLiteral("\x1b]0;PWNED\x07")}, "pw\n", 1, {}, QStringLiteral("用户名不能包含控制字符!")},
        {{QStringLiteral("add"), QStringLiteral("  ")}, "pw\n", 1, {}, QStringLiteral("用户名不能为空!")},
        // bob is no administrator: the last one stays.
        {{QStringLiteral("delete"), QStringLiteral("admin")}, {}, 1, {}, QStringLiteral("至少要保留一个管理员账户")},
        {{QStringLiteral("add"), QStringLiteral("x"), QStringLiteral("--level"), QStringLiteral("root")}, {}, 2, {},
         QStringLiteral("--level is admin or user")},
        {{QStringLiteral("delete")}, {}, 2, {}, QStringLiteral("usage: skevo-cli user")},
    };
    for (const auto &s : steps) {
        const Run r = Cli(s.args, s.input);
        const QString what = s.args.join(QLatin1Char(' ')) + QStringLiteral(": ") + r.out + QStringLiteral(" | ") + r.err;
        QVERIFY2(r.exitCode == s.exitCode, qPrintable(what));
        QVERIFY2(s.out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(s.out), qPrintable(what));
        QVERIFY2(s.err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(s.err), qPrintable(what));
    }
    QVERIFY(LogsIn(QStringLiteral("bob"), QStringLiteral("bpw")));
    QVERIFY(LogsIn(Schema::kFirstAdminName, QStringLiteral("found again")));
    const QStringList list = Cli({QStringLiteral("list")}).out.split(QLatin1Char('\n'));
    QCOMPARE(list.size(), 2);
    QVERIFY(list.at(1).startsWith(QStringLiteral("bob\t一般用户\t")));
}

void tst_CliUser::terminalPasswordIsNotEchoed_data()
{
    QTest::addColumn<QByteArray>("repeat"); // what is typed at the second prompt
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("refusal"); // the last line on standard error
    QTest::addColumn<QString>("password"); // the administrator's afterwards
    QTest::newRow("typed the same twice") << QByteArray("secret\n") << 0 << QStringLiteral("修改成功!") << QString()
                                          << QStringLiteral("secret");
    QTest::newRow("typed differently") << QByteArray("secreT\n") << 1 << QString() << QStringLiteral("两次输入密码不一致!")
                                       << Schema::kFirstAdminPassword;
    QTest::newRow("input ends before the repeat") << QByteArray("\x04") << 1 << QString()
                                                  << QStringLiteral("两次输入密码不一致!") << Schema::kFirstAdminPassword;
}

void tst_CliUser::terminalPasswordIsNotEchoed()
{
    QFETCH(QByteArray, repeat);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, refusal);
    QFETCH(QString, password);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.setStandardInputFile(QString::fromLocal8Bit(ptsname(master)));
    p.start(TestEnv::CliPath(), {QStringLiteral("user"), QStringLiteral("passwd"), QStringLiteral("admin")});
    // The terminal's settings as the program left them (a pseudo-terminal's two ends share them).
    const auto echoOff = [master] {
        termios t = {};
        return ::tcgetattr(master, &t) == 0 && !(t.c_lflag & ECHO);
    };
    QByteArray err;
    for (const auto &[prompt, typed] : {std::pair<const char *, QByteArray>{"密码: ", "secret\n"}, {"再次输入密码: ", repeat}}) {
        // Typed only once the prompt shows and echo is off: input typed before is flushed.
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).endsWith(QByteArray(prompt)) && echoOff(), 20000);
        QCOMPARE(::write(master, typed.constData(), size_t(typed.size())), ssize_t(typed.size()));
    }
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), exitCode);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), out);
    // What follows the last prompt.
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), refusal);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char echoed[256];
    const ssize_t n = ::read(master, echoed, sizeof echoed);
    ::close(master);
    QVERIFY2(n <= 0 || !QByteArray(echoed, int(n)).contains("secret"), echoed);
    QVERIFY(LogsIn(Schema::kFirstAdminName, password));
}

QTEST_MAIN(tst_CliUser)
#include "tst_cliuser.moc"

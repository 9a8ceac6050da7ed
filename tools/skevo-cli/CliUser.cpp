// skevo-cli user list | add NAME [--level admin|user] | passwd NAME | delete NAME: the
// accounts of the database named by setting.ini in the working directory, through the same
// logic and messages as the account window. Passwords come from the terminal without echo,
// or as one line of standard input when that is not a terminal.
#include "CliCommands.h"

#include "app/CSkevoApp.h"
#include "users/PasswordChangeLogic.h"
#include "users/UserAdminLogic.h"

#include <QCommandLineParser>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kUsage = QStringLiteral("usage: skevo-cli user list | add NAME [--level admin|user] | passwd NAME | delete NAME");

void Print(FILE *to, const QString &line)
{
    PrintLine(to, line);
}

// One line of standard input without its line end; with echo off when it is a terminal.
std::optional<QString> ReadLine(const QString &prompt, bool terminal)
{
    termios saved = {};
    if (terminal) {
        const QByteArray fixed = prompt.toUtf8(); // our own text, no line of its own
        std::fwrite(fixed.constData(), 1, size_t(fixed.size()), stderr);
        std::fflush(stderr);
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    std::string line;
    const bool got = bool(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    if (!got && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

// The new password; at a terminal typed twice and held to the password window's rule.
std::optional<QString> ReadPassword()
{
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    const std::optional<QString> first = ReadLine(QStringLiteral("密码: "), terminal);
    if (!first || !terminal)
        return first.value_or(QString());
    const std::optional<QString> again = ReadLine(QStringLiteral("再次输入密码: "), terminal);
    // Input that ends before the repeat has not repeated the password.
    const QString mismatch = again ? PasswordChangeLogic::CheckRepeat(*first, *again) : PasswordChangeLogic::RepeatMismatch();
    if (!mismatch.isEmpty()) {
        Print(stderr, mismatch);
        return std::nullopt;
    }
    return first;
}

// Shows what the logic returned: a success on standard output, anything else on standard
// error. Returns the exit code.
int Report(const AccountMessage &m)
{
    if (!m.m_strText.isEmpty())
        Print(m.m_bOk ? stdout : stderr, m.m_strText);
    return m.m_bOk ? 0 : 1;
}

int List(UserAdminLogic &logic)
{
    for (const UserAdminLogic::Account &a : logic.Accounts())
        Print(stdout, QStringList{OneLine(a.m_strName), a.LevelText(), a.m_strCreated}.join(QLatin1Char('\t')));
    return 0;
}

int Add(UserAdminLogic &logic, const QString &name, int level)
{
    const std::optional<QString> password = ReadPassword();
    if (!password)
        return 1;
    logic.m_strName = name;
    logic.m_strPassword = *password;
    logic.m_nLevel = level;
    return Report(logic.Add());
}

int Passwd(UserAdminLogic &logic, int row)
{
    const std::optional<QString> password = ReadPassword();
    if (!password)
        return 1;
    logic.m_strPassword = *password;
    return Report(logic.SetPassword(row));
}

int Delete(UserAdminLogic &logic, int row)
{
    // The command itself is the operator's answer to the window's question.
    const AccountMessage ask = logic.AskDelete(row);
    if (!ask.m_bOk)
        return Report(ask);
    return Report(logic.Delete(row));
}

} // namespace

int RunUser(const QStringList &args)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addOption({QStringLiteral("level"), QStringLiteral("admin or user (default: user)."), QStringLiteral("LEVEL")});
    if (!p.parse(QStringList{QStringLiteral("skevo-cli user")} + args))
        return CliFail(p.errorText());
    const QStringList words = p.positionalArguments();
    const QString verb = words.value(0);
    const bool named = verb == QStringLiteral("add") || verb == QStringLiteral("passwd") || verb == QStringLiteral("delete");
    if (!(verb == QStringLiteral("list") && words.size() == 1) && !(named && words.size() == 2))
        return CliFail(kUsage);
    if (p.isSet(QStringLiteral("level")) && verb != QStringLiteral("add"))
        return CliFail(QStringLiteral("--level belongs to \"add\"; ") + kUsage);
    int level = UserAdminLogic::NormalUser;
    if (p.isSet(QStringLiteral("level"))) {
        const QString l = p.value(QStringLiteral("level"));
        if (l == QStringLiteral("admin"))
            level = UserAdminLogic::Administrator;
        else if (l != QStringLiteral("user"))
            return CliFail(QStringLiteral("--level is admin or user"));
    }

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    const DbSettings settings = app.ReadDbSettings();
    if (!CDbAccess::IsDriverAvailable(settings.m_driver)) {
        Print(stderr, QStringLiteral("Qt SQL driver %1 is missing").arg(CDbAccess::QtDriverName(settings.m_driver)));
        return 1;
    }
    app.Db().SetErrorSink([](const QString &text) { Print(stderr, text); });
    UserAdminLogic logic(app.Db());
    if (Report(logic.Load()) != 0)
        return 1;
    if (verb == QStringLiteral("list"))
        return List(logic);
    // Quotes are never part of a stored name: removed here as the window removes them.
    const QString name = UserAdminLogic::TypedName(words.at(1));
    if (verb == QStringLiteral("add"))
        return Add(logic, name, level);
    const int row = logic.Find(name);
    if (row < 0)
        return Report(UserAdminLogic::Missing(name));
    return verb == QStringLiteral("passwd") ? Passwd(logic, row) : Delete(logic, row);
}

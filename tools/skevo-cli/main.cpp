#include "CliCommands.h"

#include "base/FileWriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <cstdio>

namespace {

struct Command
{
    const char *name;
    int (*run)(const QStringList &);
};

const Command kCommands[] = {
    {"pdu", RunPdu},
    {"init-db", RunInitDb},
    {"send", RunSend},
    {"listen", RunListen},
    {"export", RunExport},
    {"generate", RunGenerate},
    {"phonebook", RunPhoneBook},
    {"serve", RunServe},
    {"orders", RunOrders},
    {"user", RunUser},
};

QString Usage()
{
    QStringList names;
    for (const Command &c : kCommands)
        names << QLatin1String(c.name);
    return QStringLiteral("usage: skevo-cli <%1> ...").arg(names.join(QLatin1Char('|')));
}

// What a command printed is data for the next program: a standard output that could not
// take it all (a full disk, a closed pipe) makes the command fail, whatever it said before.
int WithOutputWritten(int code)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int cause = errno != 0 ? errno : EIO;
    if (flushed && !std::ferror(stdout))
        return code;
    std::fprintf(stderr, "%s\n", FileWriter::ErrorText(cause, QStringLiteral("-")).toUtf8().constData());
    return code != 0 ? code : 1;
}

} // namespace

int CliFail(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    return 2;
}

QString OneLine(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("skevo-cli"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return CliFail(Usage());
    for (const Command &c : kCommands) {
        if (args.first() == QLatin1String(c.name))
            return WithOutputWritten(c.run(args.mid(1)));
    }
    return CliFail(QStringLiteral("unknown command \"%1\"; %2").arg(args.first(), Usage()));
}

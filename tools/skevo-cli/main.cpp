#include "CliCommands.h"
#include "CliOptions.h"

#include "base/AppPaths.h"
#include "base/FileWriter.h"

#include <QCoreApplication>
#include <QFile>
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
    {"optout", RunOptOut},
    {"token", RunToken},
};

QString Usage()
{
    QStringList names;
    for (const Command &c : kCommands)
        names << QLatin1String(c.name);
    return QStringLiteral("usage: skevo-cli [--config FILE] <%1> ...").arg(names.join(QLatin1Char('|')));
}

// What a command printed is data for the next program: a standard output that could not
// take it all (a full disk, a closed pipe) makes the command fail, whatever it said before.
int WithOutputWritten(int code)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int cause = errno; // 0 when an earlier flush failed: the cause is gone by now
    if (flushed && !std::ferror(stdout))
        return code;
    PrintLine(stderr, FileWriter::ErrorText(cause, QStringLiteral("-")));
    return code != 0 ? code : 1;
}

} // namespace

std::optional<QByteArray> ReadInput(const QString &path)
{
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        PrintLine(stderr, path + QStringLiteral(": ") + file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

int CliFail(const QString &message)
{
    PrintLine(stderr, message);
    return 2;
}

QString Visible(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool bidi = (u >= 0x200e && u <= 0x200f) || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
        const bool control = (c.category() == QChar::Other_Control && u != u'\t' && u != u'\n') || bidi
            || u == 0x2028 || u == 0x2029;
        if (!control)
            out += c;
        else if (u <= 0xff)
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
    }
    return out;
}

void PrintLine(FILE *to, const QString &line)
{
    std::fprintf(to, "%s\n", Visible(line).toUtf8().constData());
    std::fflush(to);
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
    const CliOptions options = CliOptions::Parse(QCoreApplication::arguments().mid(1));
    if (!options.m_strError.isEmpty())
        return CliFail(options.m_strError + QStringLiteral("; ") + Usage());
    if (options.m_bHelp) {
        std::fputs(CliOptions::Help().toUtf8().constData(), stdout);
        return WithOutputWritten(0);
    }
    if (options.m_bVersion) {
        std::puts("skevo-cli " SKEVO_VERSION);
        return WithOutputWritten(0);
    }
    const QStringList &args = options.m_command;
    if (args.isEmpty())
        return CliFail(Usage());
    for (const Command &c : kCommands) {
        if (args.first() != QLatin1String(c.name))
            continue;
        // The settings file of this run, which every command reads from here on.
        const AppPaths paths = AppPaths::Resolve(AppPaths::OfProcess(), options.m_strConfig);
        AppPaths::SetCurrent(paths);
        if (const QString prepared = paths.Prepare(); !prepared.isEmpty())
            PrintLine(stderr, prepared);
        return WithOutputWritten(c.run(args.mid(1)));
    }
    return CliFail(QStringLiteral("unknown command \"%1\"; %2").arg(args.first(), Usage()));
}

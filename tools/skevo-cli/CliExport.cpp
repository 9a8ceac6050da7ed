// skevo-cli export: the log export of the records list without the window, for scripts and
// scheduled jobs. --sent/--received with filters is the record query (its checks and
// messages), without filters the journal's own view; --all is the all view. The bytes are
// those of the window's export of the same rows.
#include "CliCommands.h"

#include "app/CSkevoApp.h"
#include "base/CSettingsFile.h"
#include "base/IMessageBox.h"
#include "records/LogExport.h"
#include "records/RecordQuery.h"
#include "records/RecordsModel.h"

#include <QCommandLineParser>
#include <QDate>

#include <cstdio>

namespace {

// Database messages go to stderr; any of them means the rows could not be read.
class StderrMessages : public IMessageBox
{
public:
    Answer Show(const QString &text, const QString & = QString(), Icon = NoIcon, Buttons = Ok) override
    {
        PrintLine(stderr, text);
        ++m_nShown;
        return AnswerOk;
    }
    int m_nShown = 0;
};

} // namespace

int RunExport(const QStringList &args)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addOption({QStringLiteral("sent"), QStringLiteral("Sent records.")});
    p.addOption({QStringLiteral("received"), QStringLiteral("Received records.")});
    p.addOption({QStringLiteral("all"), QStringLiteral("Every record, as the all view shows them.")});
    p.addOption({QStringLiteral("number"), QStringLiteral("The other party's number."), QStringLiteral("N")});
    p.addOption({QStringLiteral("day"), QStringLiteral("The day, YYYY-MM-DD."), QStringLiteral("YYYY-MM-DD")});
    p.addOption({QStringLiteral("text"), QStringLiteral("Part of the text, as typed (% and _ are no wildcards)."), QStringLiteral("T")});
    p.addOption({QStringLiteral("order"), QStringLiteral("Order number (sent records)."), QStringLiteral("ID")});
    p.addOption({QStringLiteral("failed"), QStringLiteral("The failed sends instead of the successful ones.")});
    p.addOption({QStringLiteral("report"), QStringLiteral("Sent records whose delivery report says delivered, undelivered or waiting."),
                 QStringLiteral("STATE")});
    p.addOption({QStringLiteral("modem"), QStringLiteral("The modem: its port, or its SIM (IMSI, or its last 4 digits or more)."),
                 QStringLiteral("PORT|SIM")});
    p.addOption({QStringLiteral("csv"), QStringLiteral("UTF-8 CSV instead of the GBK text file.")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to write, \"-\" for standard output."));
    const QString usage = QStringLiteral(
        "usage: skevo-cli export (--sent | --received | --all) [--number N] [--day YYYY-MM-DD] [--text T] "
        "[--order ID] [--failed] [--report delivered|undelivered|waiting] [--modem PORT|SIM] [--csv] FILE");
    if (!p.parse(QStringList{QStringLiteral("skevo-cli export")} + args))
        return CliFail(p.errorText() + QLatin1Char('\n') + usage);
    const int tables = int(p.isSet(QStringLiteral("sent"))) + int(p.isSet(QStringLiteral("received")))
        + int(p.isSet(QStringLiteral("all")));
    if (tables != 1 || p.positionalArguments().size() != 1)
        return CliFail(usage);
    const QString path = p.positionalArguments().first();

    const bool filtered = p.isSet(QStringLiteral("number")) || p.isSet(QStringLiteral("day")) || p.isSet(QStringLiteral("text"))
        || p.isSet(QStringLiteral("order")) || p.isSet(QStringLiteral("failed")) || p.isSet(QStringLiteral("report")) || p.isSet(QStringLiteral("modem"));
    if (p.isSet(QStringLiteral("all")) && filtered)
        return CliFail(QStringLiteral("--all takes no filter: the query is on --sent or --received\n") + usage);
    if (p.isSet(QStringLiteral("received"))
        && (p.isSet(QStringLiteral("order")) || p.isSet(QStringLiteral("failed")) || p.isSet(QStringLiteral("report"))))
        return CliFail(QStringLiteral("--order, --failed and --report are for sent records only\n") + usage);

    RecordQuery query;
    query.m_nTable = p.isSet(QStringLiteral("received")) ? RecordQuery::Received : RecordQuery::Sent;
    query.m_bNumber = p.isSet(QStringLiteral("number"));
    query.m_strNumber = p.value(QStringLiteral("number"));
    query.m_bText = p.isSet(QStringLiteral("text"));
    query.m_strText = p.value(QStringLiteral("text"));
    query.m_bOrder = p.isSet(QStringLiteral("order"));
    query.m_strOrder = p.value(QStringLiteral("order"));
    query.m_bSucceeded = !p.isSet(QStringLiteral("failed"));
    query.m_bReport = p.isSet(QStringLiteral("report"));
    query.m_bModem = p.isSet(QStringLiteral("modem"));
    query.m_strModem = p.value(QStringLiteral("modem"));
    if (query.m_bReport) {
        const QString state = p.value(QStringLiteral("report"));
        if (state == QLatin1String("delivered"))
            query.m_nReport = SqlCatalogue::kReportDelivered;
        else if (state == QLatin1String("undelivered"))
            query.m_nReport = SqlCatalogue::kReportFailed;
        else if (state == QLatin1String("waiting"))
            query.m_nReport = SqlCatalogue::kReportWaiting;
        else
            return CliFail(QStringLiteral("--report wants delivered, undelivered or waiting, not \"%1\"").arg(state));
    }
    query.m_bDay = p.isSet(QStringLiteral("day"));
    if (query.m_bDay) {
        query.m_day = QDate::fromString(p.value(QStringLiteral("day")), QStringLiteral("yyyy-MM-dd"));
        if (!query.m_day.isValid())
            return CliFail(QStringLiteral("--day wants a date as YYYY-MM-DD, not \"%1\"").arg(p.value(QStringLiteral("day"))));
    }
    const RecordQuery::Built built = query.Build();
    if (built.m_message)
        return CliFail(built.m_message->m_strText);

    StderrMessages messages;
    const QString settingsPath = CSkevoApp::DefaultSettingsPath();
    RecordsModel model([settingsPath] { return DbSettings::Read(CSettingsFile(settingsPath)); });
    QObject::connect(&model, &RecordsModel::databaseMessage, [&messages](const QString &text) { messages.Show(text); });
    if (p.isSet(QStringLiteral("all")))
        model.LoadAll();
    else if (!filtered)
        query.m_nTable == RecordQuery::Sent ? model.LoadSent() : model.LoadReceived();
    else
        model.LoadQuery(built);
    const RecordsModel::Snapshot rows = model.TakeSnapshot();
    if (messages.m_nShown)
        return 1;

    const LogExport::Result r = LogExport::Write(model, rows, path, p.isSet(QStringLiteral("csv")) ? LogExport::Csv : LogExport::Text);
    if (!r.m_bOk) {
        if (r.m_message)
            messages.Show(r.m_message->m_strText);
        return 1;
    }
    // Said on stderr, so that "-" stays the file's bytes alone.
    if (r.m_nReplaced > 0)
        messages.Show(LogExport::ReplacedText(r.m_nReplaced));
    return 0;
}

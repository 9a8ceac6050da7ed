// GET /metrics: the Prometheus text exposition format (version 0.0.4), read from the journal,
// the queue and the modems at each scrape.
#include "ApiService.h"

#include "db/CDbAccess.h"
#include "db/SqlCatalogue.h"

#include <QMap>

namespace {

QString Label(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('"'), QLatin1String("\\\""));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

class Exposition
{
public:
    void Family(const char *name, const char *type, const char *help)
    {
        m_text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                      .arg(QLatin1String(name), QString::fromUtf8(help), QLatin1String(type));
    }
    void Sample(const char *name, const QString &labels, qint64 value)
    {
        m_text += QLatin1String(name);
        if (!labels.isEmpty())
            m_text += QLatin1Char('{') + labels + QLatin1Char('}');
        m_text += QLatin1Char(' ') + QString::number(value) + QLatin1Char('\n');
    }
    QByteArray Bytes() const { return m_text.toUtf8(); }

private:
    QString m_text;
};

struct SimCounts
{
    qint64 sent = 0, failed = 0, delivered = 0, undelivered = 0;
};

} // namespace

ApiReply ApiService::Metrics()
{
    QMap<QString, SimCounts> bySim;
    qint64 arrivals = 0;
    qint64 callbacks = 0;
    try {
        const RecordsetPtr rs = m_db.OpenRecordset(Sql::ApiSentBySim);
        for (; !rs->IsEOF(); rs->MoveNext()) {
            SimCounts &c = bySim[rs->GetFieldText(0)];
            const qint64 n = rs->GetFieldValue(3).toLongLong();
            (rs->GetFieldValue(1).toInt() == 1 ? c.sent : c.failed) += n;
            const int report = rs->GetFieldValue(2).toInt();
            if (report == SqlCatalogue::kReportDelivered)
                c.delivered += n;
            else if (report == SqlCatalogue::kReportFailed)
                c.undelivered += n;
        }
        const RecordsetPtr rec = m_db.OpenRecordset(Sql::ApiArrivals);
        arrivals = rec->IsEOF() ? 0 : rec->GetFieldValue(0).toLongLong();
        const RecordsetPtr backlog = m_db.OpenRecordset(Sql::CallbackBacklog);
        callbacks = backlog->IsEOF() ? 0 : backlog->GetFieldValue(0).toLongLong();
    } catch (const CDbError &e) {
        return ApiReply::DatabaseError(e.Description());
    }
    bool ok = false;
    const int waiting = QueuedCount(&ok);
    if (!ok)
        return ApiReply::DatabaseError(m_db.LastError());

    Exposition out;
    const auto perSim = [&](const char *name, const char *help, qint64 SimCounts::*member) {
        out.Family(name, "counter", help);
        for (auto it = bySim.cbegin(); it != bySim.cend(); ++it)
            out.Sample(name, QStringLiteral("sim=") + Label(it.key()), it.value().*member);
    };
    perSim("skevo_messages_sent_total", "Messages the network took (成功), by SIM (IMSI; empty: not known).",
           &SimCounts::sent);
    perSim("skevo_messages_failed_total", "Messages journalled 失败, by SIM.", &SimCounts::failed);
    perSim("skevo_messages_delivered_total", "Messages whose delivery report said 已送达, by SIM.",
           &SimCounts::delivered);
    perSim("skevo_messages_undelivered_total", "Messages whose delivery report said 未送达, by SIM.",
           &SimCounts::undelivered);
    out.Family("skevo_queue_length", "gauge", "Messages waiting for a modem, of every station.");
    out.Sample("skevo_queue_length", QString(), waiting);
    out.Family("skevo_arrivals_total", "counter", "Arrivals journalled.");
    out.Sample("skevo_arrivals_total", QString(), arrivals);
    out.Family("skevo_callback_backlog", "gauge", "Events kept for the callback receiver, not yet taken by it.");
    out.Sample("skevo_callback_backlog", QString(), callbacks);
    const QVector<ApiModem> modems = m_hooks.modems ? m_hooks.modems() : QVector<ApiModem>();
    out.Family("skevo_modem_ready", "gauge", "1 while the modem can send, by port and SIM.");
    for (const ApiModem &m : modems)
        out.Sample("skevo_modem_ready", QStringLiteral("port=%1,sim=%2").arg(Label(m.port), Label(m.sim)), m.ready ? 1 : 0);
    out.Family("skevo_modem_signal_rssi", "gauge", "The modem's AT+CSQ rssi (0..31), where known.");
    for (const ApiModem &m : modems) {
        if (m.signal >= 0)
            out.Sample("skevo_modem_signal_rssi", QStringLiteral("port=%1,sim=%2").arg(Label(m.port), Label(m.sim)),
                       m.signal);
    }
    ApiReply r;
    r.status = 200;
    r.contentType = "text/plain; version=0.0.4; charset=utf-8";
    r.body = out.Bytes();
    return r;
}

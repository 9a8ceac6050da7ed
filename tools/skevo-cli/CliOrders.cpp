// skevo-cli orders add / list / delete: the order book with the checks and texts of the
// order dialog, on the database of setting.ini in the working directory.
#include "CliCommands.h"
#include "CliModem.h"

#include "app/CSkevoApp.h"
#include "db/CDbAccess.h"
#include "db/DbTime.h"
#include "orders/OrderForm.h"
#include "orders/OrderListModel.h"
#include "orders/OrderStore.h"
#include "outbox/OptOutList.h"
#include "base/NumberFile.h"

#include <QCommandLineParser>

using namespace CliModem;

namespace {

QString Usage()
{
    return QStringLiteral("usage: skevo-cli orders add --start \"YYYY-MM-DD HH:MM\" --end \"YYYY-MM-DD HH:MM\" "
                          "--text TEXT --numbers FILE(.txt|.csv) | orders list | orders delete ID");
}

std::optional<QDateTime> Time(const QCommandLineParser &p, const QString &name, QString *error)
{
    const QDateTime t = QDateTime::fromString(DbTime::Canonical(p.value(name)), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!p.isSet(name) || !t.isValid()) {
        *error = QStringLiteral("--%1 needs a time \"YYYY-MM-DD HH:MM\"").arg(name);
        return std::nullopt;
    }
    return t;
}

int Add(const QStringList &args)
{
    QCommandLineParser p;
    for (const char *name : {"start", "end", "text", "numbers"})
        p.addOption({QString::fromLatin1(name), QString(), QStringLiteral("VALUE")});
    QString error;
    if (!Parse(p, QStringLiteral("orders add"), args, &error))
        return CliFail(error);
    OrderForm form;
    const std::optional<QDateTime> start = Time(p, QStringLiteral("start"), &error);
    const std::optional<QDateTime> end = start ? Time(p, QStringLiteral("end"), &error) : std::nullopt;
    if (!end)
        return CliFail(error);
    form.m_start = *start;
    form.m_end = *end;
    form.m_strText = p.value(QStringLiteral("text"));
    if (p.isSet(QStringLiteral("numbers"))) {
        // A number file, or a CSV file of numbers with their fields.
        const NumberFile::Contents file = NumberFile::Read(p.value(QStringLiteral("numbers")));
        const OrderMessage loaded = form.TakeImport(file);
        if (!file.m_bValid)
            return CliFail(loaded.m_strText);
        PrintErr(loaded.m_strText);
    }
    const QDateTime now = QDateTime::currentDateTime();
    if (const OrderMessage invalid = form.ValidateAdd(now); !invalid.IsEmpty())
        return CliFail(invalid.m_strText);

    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    app.Db().SetErrorSink(PrintErr);
    OrderStore store(app.Db());
    const bool late = form.StartsLate(now);
    const OrderForm::Outcome out = form.Add(store, now);
    if (!out.m_bOk) {
        PrintErr(out.m_message.m_strText);
        return 1;
    }
    // Standard output carries the number alone, for scripts.
    PrintOut(QString::number(out.m_nId));
    if (out.m_nOptedOut > 0)
        PrintErr(OptOutList::SkippedText(out.m_nOptedOut));
    if (late)
        PrintErr(OrderForm::LateStartText());
    return 0;
}

int List(const QStringList &args)
{
    QCommandLineParser p;
    QString error;
    if (!Parse(p, QStringLiteral("orders list"), args, &error))
        return CliFail(error);
    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    app.Db().SetErrorSink(PrintErr);
    QVector<StoredOrder> orders;
    const bool ok = OrderStore(app.Db()).Load(&orders, &error);
    // The state (as 订单管理's 发送状态) goes last, so that scripts reading the first four
    // fields read what they always did.
    const QDateTime now = QDateTime::currentDateTime();
    for (const StoredOrder &o : orders)
        PrintOut(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                     .arg(o.m_nId)
                     .arg(o.m_strStart, o.m_strEnd, OneLine(o.m_strText), OrderListModel::StateText(o, now)));
    if (!ok && !error.isEmpty())
        PrintErr(error);
    return ok ? 0 : 1;
}

int Delete(const QStringList &args)
{
    bool number = false;
    const int id = args.size() == 1 ? args.first().toInt(&number) : 0;
    if (!number || id <= 0)
        return CliFail(Usage());
    CSkevoApp app(CSkevoApp::DefaultSettingsPath());
    app.Db().SetErrorSink(PrintErr);
    OrderStore store(app.Db());
    const OrderForm::Outcome out = OrderForm::Delete(store, id);
    if (!out.m_bOk) {
        PrintErr(out.m_message.m_strText);
        return 1;
    }
    // The count also when it is 0, so that a script reads the same two lines every time.
    PrintOut(OrderForm::DeletedText());
    PrintOut(OrderForm::WithdrawnText(out.m_nWithdrawn));
    return 0;
}

} // namespace

int RunOrders(const QStringList &args)
{
    const QString sub = args.value(0);
    if (sub == QLatin1String("add"))
        return Add(args.mid(1));
    if (sub == QLatin1String("list"))
        return List(args.mid(1));
    if (sub == QLatin1String("delete"))
        return Delete(args.mid(1));
    return CliFail(Usage());
}

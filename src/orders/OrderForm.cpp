#include "OrderForm.h"

#include "OrderStore.h"
#include "base/CSettingsFile.h"
#include "base/MessageText.h"
#include "base/NumberRules.h"
#include "base/PersonalTexts.h"
#include "base/TextTemplate.h"
#include "db/DbTime.h"
#include "outbox/OptOutList.h"

namespace {
const QString kSection = QStringLiteral("Check");
const QString kReminder = QStringLiteral("Rem");

OrderMessage Info(const QString &text, const QString &caption = QString())
{
    return {text, caption, IMessageBox::Information};
}
} // namespace

QString OrderForm::TimeText(const QDateTime &time)
{
    const QDate d = time.date();
    const QTime t = time.time();
    return QStringLiteral("%1-%2-%3 %4:%5").arg(d.year()).arg(d.month()).arg(d.day()).arg(t.hour()).arg(t.minute());
}

bool OrderForm::ReadReminder(const CSettingsFile &settings)
{
    return settings.ReadInt(kSection, kReminder, 1) != 0;
}

void OrderForm::WriteReminder(CSettingsFile &settings, bool on)
{
    settings.WriteString(kSection, kReminder, on ? QStringLiteral("1") : QStringLiteral("0"));
}

OrderMessage OrderForm::ImportHint()
{
    return Info(QStringLiteral("要打开的txt文件以start开始\t\n以end结束,\t\n电话号码换行"), QStringLiteral("消息提示"));
}

namespace {
// The minute a time falls in, as the scheduler compares it with the stored minutes.
QString Minute(const QDateTime &time)
{
    return DbTime::MinuteRange(time).first;
}
} // namespace

OrderMessage OrderForm::ValidateModify(const QDateTime &now) const
{
    // Seconds count here, although only minutes are stored.
    if (!(m_start < m_end))
        return {QStringLiteral("结束时间必须大于开始时间")};
    if (m_strText.isEmpty())
        return {QStringLiteral("订单内容不能为空!\n请填写订单内容")};
    // A text with fields is measured once filled.
    if (const TextTemplate personal(m_strText); !personal.HasFields() && !MessageText::Fits(personal.Fill({})))
        return {MessageText::TooLong().m_strText, QString(), MessageText::TooLong().m_icon};
    // The scheduler starts an order up to its end minute; one whose end minute has begun may
    // already be past its last check.
    if (Minute(m_end) <= Minute(now))
        return {QStringLiteral("结束时间已过, 订单将不会发送")};
    return {};
}

OrderMessage OrderForm::ValidateAdd(const QDateTime &now) const
{
    if (!(m_start < m_end))
        return {QStringLiteral("结束时间必须大于开始时间")};
    if (m_numbers.isEmpty())
        return {QStringLiteral("未将号码导入\n请导入")};
    if (OrderMessage m = ValidateModify(now); !m.IsEmpty())
        return m;
    if (const QString unknown = TextTemplate(m_strText).UnknownField(m_fields.Columns()); !unknown.isEmpty()) {
        const OperatorMessage m = TextTemplate::UnknownFieldMessage(unknown);
        return {m.m_strText, m.m_strCaption, m.m_icon};
    }
    return {};
}

bool OrderForm::StartsLate(const QDateTime &now) const
{
    return Minute(m_start) <= Minute(now);
}

QString OrderForm::LateStartText()
{
    return QStringLiteral("开始时间已过: 订单将在下一次检查时开始发送(须已连接短信猫)");
}

OrderMessage OrderForm::TakeImport(const NumberFile::Contents &file)
{
    const OrderMessage m = TakeImport(file.m_bValid, file.m_numbers, file.m_nFailed);
    m_fields = file.m_fields;
    if (!file.m_bValid)
        return {file.Refusal()};
    return m;
}

OrderMessage OrderForm::TakeImport(bool valid, const QStringList &numbers, int failures)
{
    m_fields.Clear();
    m_numbers = valid ? numbers : QStringList();
    if (!valid)
        return {QStringLiteral("该文件无效")};
    return {NumberRules::LoadedText(int(m_numbers.size()), failures)};
}

OrderForm::Outcome OrderForm::Add(OrderStore &store, const QDateTime &now)
{
    Outcome out;
    out.m_message = ValidateAdd(now);
    if (!out.m_message.IsEmpty())
        return out;
    // Numbers on the opt-out list are not stored: the order never sends to them (nor to
    // those listed by the time it starts).
    QString error;
    const std::optional<QVector<int>> listed = store.OptedOut(m_numbers, &error);
    if (!listed) {
        out.m_databaseTexts << error;
        out.m_message = {QStringLiteral("读取黑名单失败")};
        return out;
    }
    QStringList numbers;
    numbers.reserve(m_numbers.size() - listed->size());
    for (qsizetype i = 0, next = 0; i < m_numbers.size(); ++i) {
        if (next < listed->size() && listed->at(next) == i)
            ++next;
        else
            numbers.append(m_numbers.at(i));
    }
    out.m_nOptedOut = int(listed->size());
    const QString skipped = listed->isEmpty() ? QString() : QLatin1Char('\n') + OptOutList::SkippedText(int(listed->size()));
    if (numbers.isEmpty()) {
        out.m_message = Info(QStringLiteral("没有可以发送的号码") + skipped);
        return out;
    }
    if (std::optional<Outcome> refused = CheckFilled(store, numbers, m_fields))
        return *refused;
    out.m_strStart = DbTime::Canonical(TimeText(m_start));
    out.m_strEnd = DbTime::Canonical(TimeText(m_end));
    out.m_nId = store.Add(out.m_strStart, out.m_strEnd, m_strText, numbers, m_fields);
    if (out.m_nId <= 0) {
        out.m_databaseTexts = store.DatabaseTexts();
        out.m_message = {QStringLiteral("插入数据出错,请查看是否以连接数据库")};
        return out;
    }
    m_numbers.clear();
    m_fields.Clear();
    out.m_bOk = true;
    out.m_message = Info(QStringLiteral("短信订单增加成功!") + skipped);
    if (StartsLate(now))
        out.m_message.m_strText += QLatin1Char('\n') + LateStartText();
    return out;
}

OrderForm::Outcome OrderForm::Modify(OrderStore &store, int id, const QDateTime &now) const
{
    Outcome out;
    out.m_nId = id;
    out.m_message = ValidateModify(now);
    if (!out.m_message.IsEmpty())
        return out;
    // The order keeps its numbers: the text is filled for them as they are stored.
    if (!TextTemplate(m_strText).IsPlain()) {
        QStringList numbers;
        RecipientFields fields;
        QString error;
        if (!store.Numbers(id, &numbers, &error, &fields)) {
            out.m_databaseTexts = store.DatabaseTexts();
            if (out.m_databaseTexts.isEmpty() && !error.isEmpty())
                out.m_databaseTexts << error;
            out.m_message = Info(QStringLiteral("SQL数据库错误!"));
            return out;
        }
        if (std::optional<Outcome> refused = CheckFilled(store, numbers, fields)) {
            refused->m_nId = id;
            return *refused;
        }
    }
    out.m_strStart = DbTime::Canonical(TimeText(m_start));
    out.m_strEnd = DbTime::Canonical(TimeText(m_end));
    out.m_bOk = store.Modify(id, out.m_strStart, out.m_strEnd, m_strText);
    if (!out.m_bOk)
        out.m_databaseTexts = store.DatabaseTexts();
    out.m_message = out.m_bOk ? Info(QStringLiteral("短信订单修改成功!")) : Info(QStringLiteral("SQL数据库错误!"));
    return out;
}

std::optional<OrderForm::Outcome> OrderForm::CheckFilled(OrderStore &store, const QStringList &numbers,
                                                         const RecipientFields &fields) const
{
    const TextTemplate personal(m_strText);
    if (personal.IsPlain())
        return std::nullopt;
    Outcome out;
    const auto refuse = [&out](const OperatorMessage &m) {
        out.m_message = {m.m_strText, m.m_strCaption, m.m_icon};
        return out;
    };
    if (const QString unknown = personal.UnknownField(fields.Columns()); !unknown.isEmpty())
        return refuse(TextTemplate::UnknownFieldMessage(unknown));
    BookIndex book;
    QString error;
    if ((personal.Uses(TextFields::kName) || personal.Uses(TextFields::kRelation)) && !store.Book(&book, &error)) {
        out.m_databaseTexts = store.DatabaseTexts();
        if (out.m_databaseTexts.isEmpty() && !error.isEmpty())
            out.m_databaseTexts << error;
        out.m_message = Info(QStringLiteral("读取电话本失败"));
        return out;
    }
    const FilledTexts filled = PersonalTexts::Fill(personal, PersonalTexts::Keys(numbers), numbers, fields, book);
    if (filled.m_nTooLong > 0)
        return refuse(PersonalTexts::TooLong(filled, numbers));
    return std::nullopt;
}

OrderForm::Outcome OrderForm::Delete(OrderStore &store, int id)
{
    Outcome out;
    out.m_nId = id;
    switch (store.Delete(id, &out.m_nWithdrawn)) {
    case OrderStore::Deleted::Yes:
        out.m_bOk = true;
        out.m_message = Info(DeletedText());
        if (out.m_nWithdrawn > 0)
            out.m_message.m_strText += QLatin1Char('\n') + WithdrawnText(out.m_nWithdrawn);
        break;
    case OrderStore::Deleted::NoSuchOrder:
        out.m_bGone = true;
        out.m_message = {QStringLiteral("订单 %1 不存在").arg(id), QStringLiteral("提示"), IMessageBox::Critical};
        break;
    case OrderStore::Deleted::Failed:
        out.m_databaseTexts = store.DatabaseTexts();
        out.m_message = Info(QStringLiteral("SQL数据库错误!"));
        break;
    }
    return out;
}

QString OrderForm::DeletedText()
{
    return QStringLiteral("删除订单成功!");
}

QString OrderForm::WithdrawnText(int withdrawn)
{
    return QStringLiteral("已撤回 %1 条尚未发送的短信").arg(withdrawn);
}

QString OrderForm::StartedText(int id, int messages)
{
    return QStringLiteral("订单 %1 开始发送: %2 条短信").arg(id).arg(messages);
}

QString OrderForm::SkippedText(int id, OrderScheduler::Skip why)
{
    QString what;
    switch (why) {
    case OrderScheduler::Skip::Ended:
        what = QStringLiteral("未发送: 结束时间已过");
        break;
    case OrderScheduler::Skip::Declined:
        what = QStringLiteral("未发送: 已取消");
        break;
    case OrderScheduler::Skip::StartedElsewhere:
        what = QStringLiteral("已由其他程序开始发送");
        break;
    case OrderScheduler::Skip::Failed:
        what = QStringLiteral("未能开始: 数据库错误, 下次检查时再试");
        break;
    }
    return QStringLiteral("订单 %1 %2").arg(id).arg(what);
}

QString OrderForm::WithdrawnElsewhereText(int id, int count)
{
    return QStringLiteral("订单 %1 已删除, %2 条未发送").arg(id).arg(count);
}

QString OrderForm::OptedOutText(int id, int count)
{
    return QStringLiteral("订单 %1 %2").arg(id).arg(OptOutList::SkippedText(count));
}

OrderMessage OrderForm::NothingToDelete()
{
    return {QStringLiteral("请选择要删除的订单"), QStringLiteral("提示"), IMessageBox::Critical};
}

OrderMessage OrderForm::NothingToModify()
{
    return {QStringLiteral("请选择要修改的订单"), QStringLiteral("提示"), IMessageBox::Critical};
}

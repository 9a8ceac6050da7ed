#include "SendListLogic.h"

#include "CRandGenerator.h"
#include "base/NumberFile.h"
#include "base/NumberRules.h"
#include "SendListModel.h"

#include "base/FileWriter.h"

SendListLogic::SendListLogic(SendListModel &model)
    : SendListLogic(model, CRandGenerator::Instance())
{
}

SendListLogic::SendListLogic(SendListModel &model, CRandGenerator &generator)
    : m_model(model)
    , m_generator(generator)
{
}

QString SendListLogic::OrderCaption() const
{
    return m_bSortNext ? QStringLiteral("顺序排列") : QStringLiteral("乱序排列");
}

std::optional<PanelMessage> SendListLogic::ManualEntry(const QString &typed)
{
    const QString number = typed.trimmed();
    if (number.isEmpty())
        return PanelMessage{QStringLiteral("电话号码不能为空"), QStringLiteral("提示"), IMessageBox::Critical};
    m_model.Append(number);
    return std::nullopt;
}

PanelMessage SendListLogic::ImportNotice()
{
    return {QStringLiteral("要打开的txt文件以start开始\t\n以end结束,\t\n电话号码换行"), QStringLiteral("消息提式"),
            IMessageBox::Information};
}

SendListLogic::ImportOutcome SendListLogic::Import(const QString &path)
{
    ImportOutcome outcome;
    const NumberFile::Contents file = NumberFile::Read(path);
    if (!file.m_bValid) {
        outcome.m_message = PanelMessage{file.Refusal(), QString(), IMessageBox::Warning};
        return outcome;
    }
    outcome.m_nLoaded = int(file.m_numbers.size());
    outcome.m_nFailed = file.m_nFailed;
    outcome.m_strStatus = NumberRules::LoadedText(outcome.m_nLoaded, outcome.m_nFailed);
    m_model.Append(file.m_numbers, file.m_fields);
    return outcome;
}

void SendListLogic::AppendNumbers(const QStringList &numbers)
{
    m_model.Append(numbers);
}

void SendListLogic::RemoveDuplicates()
{
    m_model.RemoveDuplicates();
}

void SendListLogic::SortOrShuffle()
{
    if (m_model.IsEmpty())
        return;
    if (m_bSortNext)
        m_model.Sort();
    else
        m_model.Shuffle(m_generator);
    m_bSortNext = !m_bSortNext;
}

std::optional<PanelMessage> SendListLogic::MoveToFront(const QList<int> &selectedRows)
{
    if (selectedRows.isEmpty())
        return PanelMessage{QStringLiteral("请选择要优先发送的号码"), QString(), IMessageBox::Information};
    m_model.MoveToFront(selectedRows);
    return std::nullopt;
}

std::optional<PanelMessage> SendListLogic::RemoveSelected(const QList<int> &selectedRows)
{
    if (selectedRows.isEmpty())
        return PanelMessage{QStringLiteral("请先选择要取消发送的号码!"), QString(), IMessageBox::Warning};
    m_model.RemoveRows(selectedRows);
    return std::nullopt;
}

PanelMessage SendListLogic::ClearQuestion()
{
    return {QStringLiteral("真的要删除清除列表中的发送号码吗？"), QString(), IMessageBox::Question, IMessageBox::OkCancel};
}

void SendListLogic::Clear()
{
    m_model.Clear();
}

std::optional<PanelMessage> SendListLogic::ExportCheck() const
{
    if (m_model.IsEmpty())
        return PanelMessage{QStringLiteral("无号码可导出"), QString(), IMessageBox::Information};
    return std::nullopt;
}

PanelMessage SendListLogic::Export(const QString &path) const
{
    const QString failure = FileWriter::WriteWhole(path, NumberRules::NumberFileText(m_model.GetAllNumbers()));
    if (!failure.isEmpty())
        return {failure, QString(), IMessageBox::Warning};
    return {QStringLiteral("导出到文件成功！"), QString(), IMessageBox::Information};
}

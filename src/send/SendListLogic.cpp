#include "SendListLogic.h"

#include "CRandGenerator.h"
#include "base/NumberRules.h"
#include "SendListModel.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
    QStringList numbers;
    int failures = 0;
    if (!NumberRules::ReadNumberFile(path, &numbers, &failures)) {
        outcome.m_message = PanelMessage{QStringLiteral("该文件无效"), QString(), IMessageBox::Warning};
        return outcome;
    }
    outcome.m_nLoaded = int(numbers.size());
    outcome.m_nFailed = failures;
    outcome.m_strStatus = QStringLiteral("成功加载了%1个,加载失败%2个").arg(outcome.m_nLoaded).arg(failures);
    m_model.Append(numbers);
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
    const int error = WriteFile(path, NumberRules::NumberFileText(m_model.GetAllNumbers()));
    if (error != 0)
        return {FileErrorText(error, path), QString(), IMessageBox::Warning};
    return {QStringLiteral("导出到文件成功！"), QString(), IMessageBox::Information};
}

QString SendListLogic::FileErrorText(int errorNumber, const QString &path)
{
    QString text;
    switch (errorNumber) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        text = QStringLiteral("对 %1 的存取被拒绝。");
        break;
    case ENOENT:
    case ENOTDIR:
        text = QStringLiteral("未能找到 %1 的一部分路径。");
        break;
    case ENAMETOOLONG:
    case EINVAL:
        text = QStringLiteral("%1 包含不正确的路径。");
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        text = QStringLiteral("%1 所在的磁盘已满。");
        break;
    case EMFILE:
    case ENFILE:
        text = QStringLiteral("由于打开的文件太多，无法打开 %1。");
        break;
    case EIO:
        text = QStringLiteral("读写 %1 时出现硬件 I/O 错误。");
        break;
    default:
        text = QStringLiteral("访问 %1 时发生未知错误。");
        break;
    }
    return text.arg(path);
}

int SendListLogic::WriteFile(const QString &path, const QByteArray &bytes)
{
    // Plain POSIX calls, so that the cause of a failure (errno) reaches the operator's text.
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return ENOENT;
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return error;
        }
        done += n;
    }
    if (::close(fd) != 0 && errno != EINTR)
        return errno;
    return 0;
}

#include "OptOutLogic.h"

#include "base/FileWriter.h"

#include <QFile>

OptOutLogic::OptOutLogic(CDbAccess &db)
    : m_list(db)
{
}

QStringList OptOutLogic::Headers()
{
    return {QStringLiteral("号码"), QStringLiteral("时间"), QStringLiteral("来源"), QStringLiteral("内容")};
}

RecordsMessage OptOutLogic::DatabaseFailure(const QString &what)
{
    return {what + QStringLiteral("\n") + m_list.Error(), QString(), IMessageBox::Critical};
}

bool OptOutLogic::Load(const QString &filter)
{
    m_strFilter = filter.trimmed();
    m_lastMessage = {};
    if (m_list.Load(m_strFilter, kShown, &m_rows, &m_nTotal))
        return true;
    m_rows.clear();
    m_nTotal = 0;
    m_lastMessage = DatabaseFailure(QStringLiteral("读取数据库出错: "));
    return false;
}

QString OptOutLogic::CountText() const
{
    QString text = QStringLiteral("共 %1 个号码").arg(m_nTotal);
    if (m_rows.size() < m_nTotal)
        text += QStringLiteral(", 显示前 %1 个").arg(m_rows.size());
    return text;
}

RecordsMessage OptOutLogic::Add(const QString &number)
{
    bool added = false;
    if (!m_list.Add(number, OptOutList::Source::Manual, QString(), &added)) {
        if (m_list.Error() == OptOutList::InvalidNumberText())
            return {m_list.Error(), QString(), IMessageBox::Warning};
        return DatabaseFailure(QStringLiteral("SQL数据错误,"));
    }
    Load(m_strFilter);
    return added ? RecordsMessage{} : RecordsMessage{QStringLiteral("该号码已在黑名单中"), QString(), IMessageBox::Information};
}

RecordsMessage OptOutLogic::AddRecordNumber(const QString &number)
{
    const RecordsMessage said = Add(number);
    if (said.m_icon != IMessageBox::Warning && said.m_icon != IMessageBox::Critical)
        Load(number.trimmed());
    return said;
}

RecordsMessage OptOutLogic::Delete(const QStringList &numbers)
{
    if (numbers.isEmpty())
        return {QStringLiteral("请选择要删除的号码"), QString(), IMessageBox::Warning};
    for (const QString &number : numbers) {
        if (!m_list.Delete(number))
            return DatabaseFailure(QStringLiteral("SQL数据错误,"));
    }
    Load(m_strFilter);
    return {};
}

RecordsMessage OptOutLogic::Import(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {path + QStringLiteral(": ") + file.errorString(), QString(), IMessageBox::Warning};
    const OptOutList::Imported imported = m_list.ImportCsv(file.readAll());
    if (!imported.ok)
        return DatabaseFailure(QStringLiteral("导入失败,黑名单没有改变"));
    Load(m_strFilter);
    const OperatorMessage said = OptOutList::ImportedText(imported);
    return {said.m_strText, said.m_strCaption, said.m_icon};
}

RecordsMessage OptOutLogic::Export(const QString &path)
{
    const std::optional<QByteArray> csv = m_list.ExportCsv();
    if (!csv)
        return DatabaseFailure(QStringLiteral("读取数据库出错: "));
    const QString failure = FileWriter::WriteWhole(path, *csv);
    if (!failure.isEmpty())
        return {failure, QString(), IMessageBox::Critical};
    return {QStringLiteral("导出完成"), QString(), IMessageBox::Information};
}

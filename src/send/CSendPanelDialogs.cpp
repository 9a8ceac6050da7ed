#include "CSendPanelDialogs.h"

#include "CManualNumberDlg.h"

#include <QFileDialog>

std::optional<QString> CSendPanelDialogs::AskManualNumber(QWidget *parent)
{
    CManualNumberDlg dlg(parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.Number();
}

QString CSendPanelDialogs::OpenNumberFile(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                        QStringLiteral("电话号码文件(*.txt);;All Files(*.*)"));
}

QString CSendPanelDialogs::SaveNumberFile(QWidget *parent)
{
    QFileDialog dlg(parent);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setNameFilter(QStringLiteral("Txt 文件(*.txt)"));
    // A name typed without extension gets ".txt"; an existing file is confirmed first.
    dlg.setDefaultSuffix(QStringLiteral("txt"));
    dlg.selectFile(QStringLiteral("保存号码"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

#include "CSendPanelDialogs.h"

#include "CManualNumberDlg.h"

#include "base/CFileDialog.h"

std::optional<QString> CSendPanelDialogs::AskManualNumber(QWidget *parent)
{
    CManualNumberDlg dlg(parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.Number();
}

QStringList CSendPanelDialogs::OpenFilters()
{
    // A CSV file of numbers with their fields is a number file too.
    return {QStringLiteral("电话号码文件(*.txt *.csv)"), CFileDialog::AllFiles()};
}

QString CSendPanelDialogs::OpenNumberFile(QWidget *parent)
{
    return CFileDialog::GetOpenFileName(parent, CFileDialog::NumberFile, OpenFilters());
}

QString CSendPanelDialogs::SaveNumberFile(QWidget *parent)
{
    return CFileDialog::GetSaveFileName(parent, CFileDialog::NumberFile, QStringLiteral("保存号码"), {QStringLiteral("Txt 文件(*.txt)")},
                                        QStringLiteral("txt"));
}

#include "CSourceDialogs.h"

#include "CNumberGenDlg.h"
#include "CPhoneBookDlg.h"
#include "CPhraseDlg.h"

CSourceDialogs::CSourceDialogs(CDbAccess::SettingsSource settings, IMessageBox &messages)
    : m_settings(std::move(settings))
    , m_messages(messages)
{
}

std::optional<QStringList> CSourceDialogs::AskGeneratedNumbers(QWidget *parent)
{
    CNumberGenDlg dlg(m_messages, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.Numbers();
}

std::optional<QString> CSourceDialogs::AskPhrase(QWidget *parent)
{
    CPhraseDlg dlg(m_settings, m_messages, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.Text();
}

std::optional<QStringList> CSourceDialogs::AskPhoneBookNumbers(QWidget *parent)
{
    CPhoneBookDlg dlg(m_settings, m_messages, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.m_selectedNumbers;
}

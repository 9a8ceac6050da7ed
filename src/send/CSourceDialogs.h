#pragma once
// The real dialogs behind ISourceDialogs, handed the services they use.
#include "ISourceDialogs.h"
#include "db/CDbAccess.h"

class IMessageBox;

class CSourceDialogs : public ISourceDialogs
{
public:
    CSourceDialogs(CDbAccess::SettingsSource settings, IMessageBox &messages);

    std::optional<QStringList> AskGeneratedNumbers(QWidget *parent) override;
    std::optional<QString> AskPhrase(QWidget *parent) override;
    std::optional<QStringList> AskPhoneBookNumbers(QWidget *parent) override;

private:
    CDbAccess::SettingsSource m_settings;
    IMessageBox &m_messages;
};

#pragma once
// The real dialogs of the bulk-send panel.
#include "ISendPanelDialogs.h"

#include <QStringList>

class CSendPanelDialogs : public ISendPanelDialogs
{
public:
    std::optional<QString> AskManualNumber(QWidget *parent) override;
    QString OpenNumberFile(QWidget *parent) override;
    QString SaveNumberFile(QWidget *parent) override;

    // The open dialog's filters: number files, then every file (names without a dot too).
    static QStringList OpenFilters();
};

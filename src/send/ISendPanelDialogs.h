#pragma once
// The dialogs the bulk-send panel asks, behind one interface so a test can answer them.
#include <QString>
#include <optional>

class QWidget;

class ISendPanelDialogs
{
public:
    virtual ~ISendPanelDialogs() = default;
    // "输入短信接收号码": the typed text, or nothing on cancel.
    virtual std::optional<QString> AskManualNumber(QWidget *parent) = 0;
    // Open dialog for a number file; "" on cancel.
    virtual QString OpenNumberFile(QWidget *parent) = 0;
    // Save dialog for a number file (asks before overwriting); "" on cancel.
    virtual QString SaveNumberFile(QWidget *parent) = 0;
};

#pragma once
// Fakes for the window tests of the bulk-send panel: panel dialogs answered from a script
// (the message box is the shared FakeMessageBox).
#include "FakeMessageBox.h"
#include "send/ISendPanelDialogs.h"

#include <QQueue>
#include <functional>
#include <optional>

class ScriptedPanelDialogs : public ISendPanelDialogs
{
public:
    std::optional<QString> AskManualNumber(QWidget *) override
    {
        ++manualAsked;
        return manual.isEmpty() ? std::nullopt : manual.dequeue();
    }
    QString OpenNumberFile(QWidget *) override
    {
        ++openAsked;
        if (duringDialog)
            duringDialog();
        return openPath;
    }
    QString SaveNumberFile(QWidget *) override
    {
        ++saveAsked;
        if (duringDialog)
            duringDialog();
        return savePath;
    }

    QQueue<std::optional<QString>> manual;
    QString openPath;
    QString savePath;
    std::function<void()> duringDialog; // e.g. a dialog that moves the working directory
    int manualAsked = 0;
    int openAsked = 0;
    int saveAsked = 0;
};

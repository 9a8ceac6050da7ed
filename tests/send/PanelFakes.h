#pragma once
// Fakes for the window tests of the bulk-send panel: panel dialogs and the sources of numbers
// and text answered from a script (the message box is the shared FakeMessageBox).
#include "FakeMessageBox.h"
#include "send/ISendPanelDialogs.h"
#include "send/ISourceDialogs.h"

#include <QPushButton>
#include <QWidget>

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

class ScriptedSources : public ISourceDialogs
{
public:
    std::optional<QStringList> AskGeneratedNumbers(QWidget *) override { return numbers; }
    std::optional<QString> AskPhrase(QWidget *parent) override
    {
        // The focus is elsewhere while a dialog is open.
        if (auto *other = parent->findChild<QPushButton *>(QStringLiteral("sendButton")))
            other->setFocus();
        return phrase;
    }
    std::optional<QStringList> AskPhoneBookNumbers(QWidget *) override { return numbers; }

    std::optional<QStringList> numbers;
    std::optional<QString> phrase;
};

#pragma once
// Fakes for the window tests of the bulk-send panel: a message box that records every
// message and answers from a script, and panel dialogs answered from a script.
#include "base/IMessageBox.h"
#include "send/ISendPanelDialogs.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <functional>

struct ShownMessage
{
    QString text;
    QString caption;
    IMessageBox::Icon icon;
    IMessageBox::Buttons buttons;
};

class RecordingMessageBox : public IMessageBox
{
public:
    Answer Show(const QString &text, const QString &caption, Icon icon, Buttons buttons) override
    {
        shown.append({text, caption, icon, buttons});
        if (!answers.isEmpty())
            return answers.dequeue();
        return buttons == YesNo ? AnswerYes : AnswerOk;
    }
    QStringList Texts() const
    {
        QStringList out;
        for (const ShownMessage &m : shown)
            out << m.text;
        return out;
    }

    QList<ShownMessage> shown;
    QQueue<Answer> answers; // default: OK (Yes)
};

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

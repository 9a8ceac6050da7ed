#pragma once
// What an account action gives back to show: the text with its caption, icon and buttons
// (an empty text when there is nothing to show, e.g. a database failure the database layer
// has already reported), and whether the action went through.
#include "base/IMessageBox.h"

#include <QString>

struct AccountMessage
{
    bool m_bOk = false;
    QString m_strText;
    QString m_strCaption; // "" is the application title
    IMessageBox::Icon m_icon = IMessageBox::NoIcon;
    IMessageBox::Buttons m_buttons = IMessageBox::Ok;

    static AccountMessage Done(const QString &text = QString())
    {
        return {true, text, QString(), text.isEmpty() ? IMessageBox::NoIcon : IMessageBox::Information, IMessageBox::Ok};
    }
    static AccountMessage Refused(const QString &text, IMessageBox::Icon icon, const QString &caption = QString())
    {
        return {false, text, caption, icon, IMessageBox::Ok};
    }
    // Shows the text (if any) on box; returns the answer (AnswerOk when nothing was shown).
    IMessageBox::Answer ShowOn(IMessageBox &box) const
    {
        if (m_strText.isEmpty())
            return IMessageBox::AnswerOk;
        return box.Show(m_strText, m_strCaption, m_icon, m_buttons);
    }
};

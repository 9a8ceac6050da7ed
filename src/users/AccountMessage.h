#pragma once
// What an account action gives back to show: what the database said of a failed statement,
// then the text with its caption, icon and buttons (an empty text when there is nothing more
// to say), and whether the action went through.
#include "base/IMessageBox.h"

#include <QString>
#include <QStringList>

struct AccountMessage
{
    bool m_bOk = false;
    QString m_strText;
    QString m_strCaption; // "" is the application title
    IMessageBox::Icon m_icon = IMessageBox::NoIcon;
    IMessageBox::Buttons m_buttons = IMessageBox::Ok;
    QStringList m_databaseTexts; // shown first, each in a plain box

    static AccountMessage Done(const QString &text = QString())
    {
        return {true, text, QString(), text.isEmpty() ? IMessageBox::NoIcon : IMessageBox::Information, IMessageBox::Ok, {}};
    }
    static AccountMessage Refused(const QString &text, IMessageBox::Icon icon, const QString &caption = QString())
    {
        return {false, text, caption, icon, IMessageBox::Ok, {}};
    }
    // Shows the database's texts, then the text (if any) on box; returns the answer to the
    // text (AnswerOk when it was not shown).
    IMessageBox::Answer ShowOn(IMessageBox &box) const
    {
        for (const QString &t : m_databaseTexts)
            box.Show(t);
        if (m_strText.isEmpty())
            return IMessageBox::AnswerOk;
        return box.Show(m_strText, m_strCaption, m_icon, m_buttons);
    }
};

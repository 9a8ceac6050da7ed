#pragma once
// A message that logic hands to its window to show or to ask: text, caption ("" = the
// application title), icon and buttons, as IMessageBox takes them.
#include "base/IMessageBox.h"

#include <QString>

struct OperatorMessage
{
    QString m_strText;
    QString m_strCaption;
    IMessageBox::Icon m_icon = IMessageBox::NoIcon;
    IMessageBox::Buttons m_buttons = IMessageBox::Ok;

    IMessageBox::Answer ShowOn(IMessageBox &box) const { return box.Show(m_strText, m_strCaption, m_icon, m_buttons); }
    bool operator==(const OperatorMessage &) const = default;
};

#pragma once
// A message the records features ask their window (or the command line) to show: text,
// caption ("" = the application title), icon and buttons, as IMessageBox takes them.
#include "base/IMessageBox.h"

#include <QString>

struct RecordsMessage
{
    QString m_strText;
    QString m_strCaption;
    IMessageBox::Icon m_icon = IMessageBox::NoIcon;

    IMessageBox::Answer ShowOn(IMessageBox &box) const { return box.Show(m_strText, m_strCaption, m_icon); }
    bool operator==(const RecordsMessage &) const = default;
};

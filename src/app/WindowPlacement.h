#pragma once
// The main window's placement in the per-user profile, section WNDSTATUS: the normal
// rectangle (LEFT, TOP, RIGHT, BOTTOM), FLAG and SHOWCMD, as the Windows program kept them,
// and the height the operator left the send panel at (PANEL), with the rule that fits it in.
#include <QByteArray>
#include <QRect>

class QSettings;

struct WindowPlacement
{
    enum ShowCmd { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3, Show = 5 };

    int m_nLeft = 100;
    int m_nTop = 100;
    int m_nRight = 1200;
    int m_nBottom = 800;
    int m_nFlag = 0;
    int m_nShowCmd = Show;
    QByteArray m_barState; // tool bar and status bar state ("" when none stored)
    int m_nPanelHeight = 0; // the send panel's height at the last close; 0 when none stored

    QRect NormalRect() const { return QRect(QPoint(m_nLeft, m_nTop), QPoint(m_nRight - 1, m_nBottom - 1)); }
    void SetNormalRect(const QRect &r);

    // The stored placement, or the defaults for what is not stored.
    static WindowPlacement Read(QSettings &profile);
    void Write(QSettings &profile) const;

    // The send panel's height in a splitter of total pixels (its handle left out), the records
    // list taking the rest: the panel as saved (none saved: what the list leaves at its
    // listHeight), never smaller than panelWhole, where all of it is in sight, and never so tall
    // that the list has less than listHeight. A window too short for both keeps the panel
    // whole and the list gives way, down to kListLeast; shorter still, the panel scrolls.
    static int PanelHeight(int total, int listHeight, int panelWhole, int saved);
    static constexpr int kListLeast = 120;
};

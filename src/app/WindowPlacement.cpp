#include "WindowPlacement.h"

#include <QSettings>

#include <algorithm>

namespace {
const QString kGroup = QStringLiteral("WNDSTATUS");
}

void WindowPlacement::SetNormalRect(const QRect &r)
{
    m_nLeft = r.left();
    m_nTop = r.top();
    m_nRight = r.left() + r.width();
    m_nBottom = r.top() + r.height();
}

WindowPlacement WindowPlacement::Read(QSettings &profile)
{
    WindowPlacement p;
    profile.beginGroup(kGroup);
    p.m_nLeft = profile.value(QStringLiteral("LEFT"), p.m_nLeft).toInt();
    p.m_nTop = profile.value(QStringLiteral("TOP"), p.m_nTop).toInt();
    p.m_nRight = profile.value(QStringLiteral("RIGHT"), p.m_nRight).toInt();
    p.m_nBottom = profile.value(QStringLiteral("BOTTOM"), p.m_nBottom).toInt();
    p.m_nFlag = profile.value(QStringLiteral("FLAG"), p.m_nFlag).toInt();
    p.m_nShowCmd = profile.value(QStringLiteral("SHOWCMD"), p.m_nShowCmd).toInt();
    p.m_barState = profile.value(QStringLiteral("BARSTATE")).toByteArray();
    p.m_nPanelHeight = std::max(0, profile.value(QStringLiteral("PANEL"), 0).toInt());
    profile.endGroup();
    return p;
}

void WindowPlacement::Write(QSettings &profile) const
{
    profile.beginGroup(kGroup);
    profile.setValue(QStringLiteral("FLAG"), m_nFlag);
    profile.setValue(QStringLiteral("SHOWCMD"), m_nShowCmd);
    profile.setValue(QStringLiteral("LEFT"), m_nLeft);
    profile.setValue(QStringLiteral("TOP"), m_nTop);
    profile.setValue(QStringLiteral("RIGHT"), m_nRight);
    profile.setValue(QStringLiteral("BOTTOM"), m_nBottom);
    if (!m_barState.isEmpty())
        profile.setValue(QStringLiteral("BARSTATE"), m_barState);
    if (m_nPanelHeight > 0)
        profile.setValue(QStringLiteral("PANEL"), m_nPanelHeight);
    profile.endGroup();
    profile.sync();
}

int WindowPlacement::PanelHeight(int total, int listHeight, int panelWhole, int saved)
{
    int panel = saved > 0 ? saved : total - listHeight;
    panel = std::max(panel, panelWhole);
    panel = std::min(panel, std::max(total - listHeight, panelWhole));
    panel = std::min(panel, total - std::min(kListLeast, total));
    return std::max(panel, 0);
}

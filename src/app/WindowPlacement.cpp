#include "WindowPlacement.h"

#include <QSettings>

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
    profile.endGroup();
    profile.sync();
}

#include "CTrayIcon.h"

#include "base/AppIcon.h"

CTrayIcon::CTrayIcon(QObject *parent)
    : QObject(parent)
    , m_pTray(new QSystemTrayIcon(this))
{
    connect(m_pTray, &QSystemTrayIcon::activated, this, &CTrayIcon::activated);
}

CTrayIcon::~CTrayIcon()
{
    Remove();
}

bool CTrayIcon::Add()
{
    if (m_icon.isNull() || m_bAdded)
        return false;
    m_pTray->setIcon(m_icon);
    m_pTray->setToolTip(m_strTip);
    // Without a tray show() would only warn; the state is kept all the same.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_pTray->show();
    m_bAdded = true;
    return true;
}

void CTrayIcon::SetIcon(const QIcon &icon)
{
    if (icon.isNull())
        return;
    m_icon = icon;
    if (m_bAdded)
        m_pTray->setIcon(m_icon);
}

void CTrayIcon::SetTip(const QString &tip)
{
    m_strTip = tip;
    if (m_bAdded)
        m_pTray->setToolTip(m_strTip);
}

void CTrayIcon::Notify(const QString &title, const QString &text)
{
    if (IsShown())
        m_pTray->showMessage(title, text, QSystemTrayIcon::Warning);
    emit notified(title, text);
}

void CTrayIcon::Remove()
{
    if (!m_bAdded)
        return;
    m_pTray->hide();
    m_bAdded = false;
}

bool CTrayIcon::IsShown() const
{
    return m_bAdded && m_pTray->isVisible();
}

QIcon CTrayIcon::ConnectedPicture()
{
    return AppIcon::Icon();
}

QIcon CTrayIcon::DisconnectedPicture()
{
    return AppIcon::GreyedIcon();
}

#include "CTrayIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

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

namespace {
QIcon ModemPicture(const QColor &body, const QColor &light)
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        // Antenna.
        p.setPen(QPen(body.darker(140), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(23, 13), QPointF(25, 3));
        // Body of the modem.
        QPainterPath box;
        box.addRoundedRect(QRectF(3, 12, 26, 15), 3.5, 3.5);
        p.setPen(QPen(body.darker(160), 1.2));
        p.setBrush(body);
        p.drawPath(box);
        // Front panel with the indicator lights.
        p.setPen(Qt::NoPen);
        p.setBrush(body.lighter(150));
        p.drawRoundedRect(QRectF(6, 20, 20, 4), 1.5, 1.5);
        p.setBrush(light);
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QPointF(9.5 + i * 4.5, 16), 1.6, 1.6);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
} // namespace

QIcon CTrayIcon::ConnectedPicture()
{
    return ModemPicture(QColor(0x2e, 0x9d, 0x3f), QColor(0xd8, 0xff, 0x6a));
}

QIcon CTrayIcon::DisconnectedPicture()
{
    return ModemPicture(QColor(0x8c, 0x8c, 0x8c), QColor(0x5a, 0x5a, 0x5a));
}

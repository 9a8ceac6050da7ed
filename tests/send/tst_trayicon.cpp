#include "send/CTrayIcon.h"

#include <QApplication>
#include <QImage>
#include <QTest>

class tst_TrayIcon : public QObject
{
    Q_OBJECT
private slots:
    void addNeedsAPicture();
    void addOnce();
    void iconAndTipBeforeAndAfterAdding();
    void removeAndAddAgain();
    void withoutATrayNothingIsShown();
    void pictures();
};

void tst_TrayIcon::addNeedsAPicture()
{
    CTrayIcon tray;
    tray.SetTip(QStringLiteral("电脑与短信猫未连接"));
    QVERIFY(!tray.Add());
    QVERIFY(!tray.IsAdded());
    tray.SetIcon(QIcon()); // a null icon is ignored
    QVERIFY(!tray.Add());
    tray.SetIcon(CTrayIcon::DisconnectedPicture());
    QVERIFY(tray.Add());
    QVERIFY(tray.IsAdded());
    QCOMPARE(tray.SystemTrayIcon()->toolTip(), QStringLiteral("电脑与短信猫未连接"));
}

void tst_TrayIcon::addOnce()
{
    CTrayIcon tray;
    tray.SetIcon(CTrayIcon::DisconnectedPicture());
    QVERIFY(tray.Add());
    QVERIFY(!tray.Add());
    QVERIFY(tray.IsAdded());
}

void tst_TrayIcon::iconAndTipBeforeAndAfterAdding()
{
    CTrayIcon tray;
    const QIcon off = CTrayIcon::DisconnectedPicture();
    const QIcon on = CTrayIcon::ConnectedPicture();
    tray.SetIcon(off);
    tray.SetTip(QStringLiteral("电脑与短信猫未连接"));
    QVERIFY(tray.Add());
    QCOMPARE(tray.SystemTrayIcon()->icon().cacheKey(), off.cacheKey());
    tray.SetIcon(on);
    tray.SetTip(QStringLiteral("电脑与短信猫已连接"));
    QCOMPARE(tray.Icon().cacheKey(), on.cacheKey());
    QCOMPARE(tray.Tip(), QStringLiteral("电脑与短信猫已连接"));
    QCOMPARE(tray.SystemTrayIcon()->icon().cacheKey(), on.cacheKey());
    QCOMPARE(tray.SystemTrayIcon()->toolTip(), QStringLiteral("电脑与短信猫已连接"));
    tray.SetIcon(QIcon());
    QCOMPARE(tray.Icon().cacheKey(), on.cacheKey());
}

void tst_TrayIcon::removeAndAddAgain()
{
    CTrayIcon tray;
    tray.Remove(); // not added: nothing
    tray.SetIcon(CTrayIcon::ConnectedPicture());
    QVERIFY(tray.Add());
    tray.Remove();
    QVERIFY(!tray.IsAdded());
    QVERIFY(!tray.SystemTrayIcon()->isVisible());
    tray.SetTip(QStringLiteral("x")); // kept for the next Add
    QVERIFY(tray.Add());
    QCOMPARE(tray.SystemTrayIcon()->toolTip(), QStringLiteral("x"));
}

void tst_TrayIcon::withoutATrayNothingIsShown()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a system tray");
    CTrayIcon tray;
    tray.SetIcon(CTrayIcon::ConnectedPicture());
    QVERIFY(tray.Add());
    QVERIFY(tray.IsAdded());
    QVERIFY(!tray.IsShown());
}

void tst_TrayIcon::pictures()
{
    // The connected modem is green, the other grey: look at the middle of the body.
    const QImage on = CTrayIcon::ConnectedPicture().pixmap(32, 32).toImage();
    const QImage off = CTrayIcon::DisconnectedPicture().pixmap(32, 32).toImage();
    QCOMPARE(on.size(), QSize(32, 32));
    const QColor green = on.pixelColor(16, 24);
    const QColor grey = off.pixelColor(16, 24);
    QVERIFY(green.alpha() > 200 && grey.alpha() > 200);
    QVERIFY(green.green() > green.red() + 40 && green.green() > green.blue() + 40);
    QVERIFY(qAbs(grey.red() - grey.green()) < 10 && qAbs(grey.green() - grey.blue()) < 10);
    QVERIFY(on.pixelColor(1, 1).alpha() == 0); // a transparent corner
    QVERIFY(!CTrayIcon::ConnectedPicture().pixmap(16, 16).isNull());
}

QTEST_MAIN(tst_TrayIcon)
#include "tst_trayicon.moc"

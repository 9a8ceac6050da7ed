#pragma once
// The application's icon in the system tray: added once with a picture and a tip, then the
// picture and the tip change with the modem link. Where the desktop has no tray the icon
// keeps its state and shows nothing; the program works the same.
#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class CTrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit CTrayIcon(QObject *parent = nullptr);
    ~CTrayIcon() override; // removes the icon

    // Nothing when there is no picture yet or the icon is already added.
    bool Add();
    // A null icon is ignored.
    void SetIcon(const QIcon &icon);
    void SetTip(const QString &tip);
    // A notification beside the icon (where the desktop shows them), and notified in any case.
    void Notify(const QString &title, const QString &text);
    void Remove();

    bool IsAdded() const { return m_bAdded; }
    QIcon Icon() const { return m_icon; }
    QString Tip() const { return m_strTip; }
    // Whether the picture is really on a tray (added, and the desktop has one).
    bool IsShown() const;

    // For the main window: the context menu (setContextMenu) and the clicks (activated).
    QSystemTrayIcon *SystemTrayIcon() const { return m_pTray; }

    // The two pictures: the program's icon while connected, the same in grey while not.
    static QIcon ConnectedPicture();
    static QIcon DisconnectedPicture();

signals:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void notified(const QString &title, const QString &text);

private:
    QSystemTrayIcon *m_pTray;
    QIcon m_icon;
    QString m_strTip;
    bool m_bAdded = false;
};

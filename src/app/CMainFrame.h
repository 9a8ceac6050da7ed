#pragma once
// The application's one top-level window: the records list above the bulk-send panel, the
// menus, tool bar and status bar; it connects and disconnects the modem, hands the engine's
// reports to the list, shows the run's tally on the panel's bar and in the status bar, answers
// the tray icon and, when it closes, saves the send list, the message text, the ring switch
// and its own placement.
#include "EngineSession.h"
#include "LinkNotices.h"
#include "modem/ModemStatus.h"
#include "outbox/RunTally.h"

#include <QDateTime>
#include <QMainWindow>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QVector>
#include <memory>
#include <optional>

class CMyList;
class CQueryDlg;
class CSkevoApp;
class CSkevoView;
class IMessageBox;
class IRingPlayer;
class OrderScheduler;
class QAction;
class QLabel;
class QMenu;
class QSettings;
class QSplitter;
class QTimer;
class QToolBar;
class StatusPane;

class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    // profile: the per-user store of the placement (nullptr: QSettings("Kavrel", "Skevo")).
    CMainFrame(CSkevoApp &app, IMessageBox &messages, IRingPlayer &ring, QSettings *profile = nullptr,
               QWidget *parent = nullptr);
    ~CMainFrame() override;

    CMyList &List() const { return *m_pList; }
    CSkevoView &View() const { return *m_pView; }
    ModemLink &Link() { return m_session.Link(); }
    EngineSession &Session() { return m_session; }
    QMenu *TrayMenu() const { return m_pTrayMenu; }
    bool PlayFlag() const { return m_bPlay; }
    QString RingFile() const { return m_strRingFile; }
    bool IsConnected() const { return m_session.IsConnected(); }
    QTimer *OrderTimer() const { return m_session.OrderTimer(); }

    // Applies the stored placement (or the default one) and shows the window.
    void ShowWithPlacement();

    void OnConnect();
    void OnDisconnect();
    void OnMinimizeToTray();
    void OnShowWindow();
    void OnTogglePlay();
    void OnAccounts();
    void OnDevice();
    void OnRingSettings();
    void OnAbout();
    void OnExit();
    void OnQuery();
    void OnExportLog();
    void OnReply(int row);
    // The 黑名单 dialog; with a row of the records list, that row's number added first.
    void OnOptOut(int row = -1);
    void OnOptOutRecord(int row); // "加入黑名单" of the records list (-1: none chosen)
    void OnResendFailed(const QVector<int> &rows); // "重发失败" of the records list's selection
    CQueryDlg &QueryDialog() const { return *m_pQueryDlg; }
    void OnOrders();
    // The minute timer's work: starts the orders due by now.
    void CheckDueOrder(const QDateTime &now);

signals:
    // The window has closed for good (its closing steps have run).
    void closed();
    // The status bar shows this modem's port and status now (port "" when none is connected).
    void linkStatusShown(const QString &port, const ModemStatus &status);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildTrayMenu();
    void BuildLinkPane();
    void UpdateLinkPane();
    // The connected modems as the panes and the tray show them, each with its short name.
    QVector<LinkStatus::ModemLine> LinkLines() const;
    void OnModemStatus(const ModemStatus &status);
    void OnRunChanged();
    void OnSimsChanged();
    void UpdateTray();
    void UpdateCommandStates();
    void OnReport(const SmsReport &report);
    void OnTried(const ModemLink::Result &result);
    void OnErrorEvent(const QString &text);
    void ShowPendingErrors();
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void OnClockTick();
    void SaveOnClose();
    // The records list and the send panel as WindowPlacement::PanelHeight shares the height.
    void PlaceSplitter();
    void FocusNextPane(bool forward);
    QAction *Command(const QString &text, const QString &prompt, const char *name);

    CSkevoApp &m_app;
    IMessageBox &m_messages;
    IRingPlayer &m_ring;
    std::unique_ptr<QSettings> m_ownedProfile;
    QSettings *m_pProfile;
    EngineSession m_session;

    QSplitter *m_pSplitter = nullptr;
    CMyList *m_pList = nullptr;
    CSkevoView *m_pView = nullptr;
    CQueryDlg *m_pQueryDlg = nullptr;
    QToolBar *m_pToolBar = nullptr;
    QMenu *m_pTrayMenu = nullptr;

    QAction *m_pActConnect = nullptr, *m_pActDisconnect = nullptr, *m_pActExit = nullptr;
    QAction *m_pActToTray = nullptr, *m_pActPlay = nullptr, *m_pActRingSettings = nullptr;
    QAction *m_pActOrders = nullptr, *m_pActAccounts = nullptr, *m_pActDevice = nullptr;
    QAction *m_pActExport = nullptr, *m_pActQuery = nullptr, *m_pActAbout = nullptr;
    QAction *m_pActToolBar = nullptr, *m_pActStatusBar = nullptr, *m_pActOptOut = nullptr;
    QAction *m_pTrayConnect = nullptr;

    StatusPane *m_pPaneMessage = nullptr; // a run's summary never cut: what does not fit is in its tooltip
    QLabel *m_pPaneCaps = nullptr, *m_pPaneNum = nullptr;
    QLabel *m_pPaneUser = nullptr, *m_pPaneClock = nullptr;
    // The one account of the link: each connected modem's port, its status as it last told it
    // and the messages it sent since the connect, shown in the link panes (and the tray) only.
    struct LinkView
    {
        QString port;
        ModemStatus status;
        int sent = 0;
    };
    QVector<LinkView> m_links;
    QVector<StatusPane *> m_linkPanes; // "paneLink", "paneLink2", ...: one a modem
    LinkNotices m_notices;             // what the tray has told of the modems
    RunTally m_shownRun;           // the run whose state the message pane tells
    QString m_strHeldText;         // what the message pane last said of SIMs that all wait
    QTimer *m_pClockTimer = nullptr;

    bool m_bPlay = true;
    QString m_strRingFile;
    QStringList m_pendingErrors;
    bool m_bShowingErrors = false;
    // While an order is being queued (the window only repaints), the session holds the
    // reports back, as they belong to the progress bar the start is about to reset; the
    // worker's complaints wait too, as a box would hold the queueing, and with it the
    // database, until answered.
    bool m_bQueueingOrder = false;
    bool m_bCloseAfterQueueing = false; // a close asked for meanwhile comes after it
    bool m_bClosed = false;
    bool m_bShownOnce = false;
    int m_nSavedPanel = 0; // the panel's height the last run left, 0 none
};

#include "CMainFrame.h"

#include "CDeviceDlg.h"
#include "CRingDlg.h"
#include "CSkevoApp.h"
#include "DeviceSettingsLogic.h"
#include "send/CTrayIcon.h"
#include "base/FrameSettings.h"
#include "base/IMessageBox.h"
#include "IRingPlayer.h"
#include "LinkStatus.h"
#include "WindowPlacement.h"
#include "orders/COrderDlg.h"
#include "orders/OrderForm.h"
#include "orders/OrderScheduler.h"
#include "records/CLogExportCommand.h"
#include "records/CMyList.h"
#include "records/CQueryDlg.h"
#include "records/CReplyDlg.h"
#include "records/RecordsModel.h"
#include "send/CSkevoView.h"
#include "send/LastNumbers.h"
#include "send/NumberRules.h"
#include "users/CPasswordChangeDlg.h"
#include "users/CUserAdminDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// The tool bar's disconnect button: the idle modem with a red cross, so that it does not
// look like the greyed connect button beside it.
QIcon DisconnectIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pixmap = CTrayIcon::DisconnectedPicture().pixmap(size, size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(QPen(QColor(0xd0, 0x2b, 0x2b), 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17, 15), QPointF(29, 27));
        p.drawLine(QPointF(29, 15), QPointF(17, 27));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// Device settings: a gear, the usual sign of settings.
QIcon GearIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.translate(16, 16);
        QPainterPath gear;
        gear.addEllipse(QPointF(0, 0), 11, 11);
        constexpr int kTeeth = 8;
        for (int i = 0; i < kTeeth; ++i) {
            QPainterPath tooth;
            tooth.addRoundedRect(QRectF(-3.4, -15, 6.8, 8), 1.2, 1.2);
            gear = gear.united(QTransform().rotate(i * 360.0 / kTeeth).map(tooth));
        }
        QPainterPath hole;
        hole.addEllipse(QPointF(0, 0), 4.6, 4.6);
        gear = gear.subtracted(hole);
        p.setPen(QPen(QColor(0x2f, 0x4b, 0x74), 1.2));
        p.setBrush(QColor(0x5b, 0x82, 0xb8));
        p.drawPath(gear);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A tool bar picture with a faded grey form for a command that cannot be used now: the
// style's own greying leaves a black-and-white picture looking nearly as usable as before.
QIcon ToolIcon(const QIcon &source)
{
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap normal = source.pixmap(QSize(size, size));
        if (normal.isNull())
            continue;
        if (normal.width() < size && normal.height() < size)
            normal = normal.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        icon.addPixmap(normal, QIcon::Normal);
        QImage faded = normal.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < faded.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(faded.scanLine(y));
            for (int x = 0; x < faded.width(); ++x) {
                const int grey = 150 + qGray(line[x]) * 105 / 255;
                line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 2 / 5);
            }
        }
        icon.addPixmap(QPixmap::fromImage(faded), QIcon::Disabled);
    }
    return icon;
}

constexpr int kOrderCheckMs = 60000;
constexpr int kClockMs = 1000;

QString ClockText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
} // namespace

CMainFrame::CMainFrame(CSkevoApp &app, IMessageBox &messages, IRingPlayer &ring, QSettings *profile, QWidget *parent)
    : QMainWindow(parent)
    , m_app(app)
    , m_messages(messages)
    , m_ring(ring)
    , m_pProfile(profile)
    , m_link(app.Modem())
    , m_pScheduler(std::make_unique<OrderScheduler>(app.Db(), app.Modem()))
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Skevo"));
    setWindowIcon(CTrayIcon::ConnectedPicture());
    if (!m_pProfile) {
        m_ownedProfile = std::make_unique<QSettings>(QStringLiteral("Kavrel"), QStringLiteral("Skevo"));
        m_pProfile = m_ownedProfile.get();
    }

    m_pSplitter = new QSplitter(Qt::Vertical, this);
    m_pSplitter->setObjectName(QStringLiteral("splitter"));
    m_pSplitter->setChildrenCollapsible(false);
    m_pList = new CMyList(app.DbSettingsSource(), messages, m_pSplitter);
    // The panel is a form: in a short window it scrolls rather than squeezing the list.
    auto *form = new QScrollArea(m_pSplitter);
    form->setObjectName(QStringLiteral("viewScrollArea"));
    form->setWidgetResizable(true);
    form->setFrameShape(QFrame::NoFrame);
    m_pView = new CSkevoView(app.Settings(), app.Device(), app.Db(), app.Modem(), messages);
    form->setWidget(m_pView);
    m_pSplitter->addWidget(m_pList);
    m_pSplitter->addWidget(form);
    m_pSplitter->setCollapsible(0, true);
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setSizes({200, 600});
    setCentralWidget(m_pSplitter);

    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    BuildTrayMenu();
    BuildLinkPane();

    m_pClockTimer = new QTimer(this);
    m_pClockTimer->setObjectName(QStringLiteral("clockTimer"));
    m_pClockTimer->setInterval(kClockMs);
    connect(m_pClockTimer, &QTimer::timeout, this, &CMainFrame::OnClockTick);
    m_pClockTimer->start();
    OnClockTick();

    m_pOrderTimer = new QTimer(this);
    m_pOrderTimer->setObjectName(QStringLiteral("orderTimer"));
    m_pOrderTimer->setInterval(kOrderCheckMs);
    connect(m_pOrderTimer, &QTimer::timeout, this, &CMainFrame::dueOrderCheck);
    connect(this, &CMainFrame::dueOrderCheck, this, [this] { CheckDueOrder(QDateTime::currentDateTime()); });

    m_pPaneUser->setText(FrameSettings::UserPaneText(m_app.User()));
    m_bPlay = FrameSettings::ReadPlayFlag(m_app.Settings());
    m_strRingFile = FrameSettings::ReadRingFile(m_app.Settings());
    m_pActPlay->setChecked(m_bPlay);

    // The engine's worker signals from its own thread: one queued call per report, in order.
    connect(&m_app.Modem(), &CSmsModem::reportReady, this, &CMainFrame::OnReport, Qt::QueuedConnection);
    connect(&m_app.Modem(), &CSmsModem::errorEvent, this, &CMainFrame::OnErrorEvent, Qt::QueuedConnection);
    // The worker loses and regains the modem on its own while connected; the status bar and
    // the tray say so. A state that comes in after a disconnect is of no interest any more.
    connect(&m_app.Modem(), &CSmsModem::linkStateChanged, this, [this](CSmsModem::LinkState state) {
        if (!m_link.IsConnected())
            return;
        const QString text = ModemLink::LinkStateText(state);
        statusBar()->clearMessage();
        m_pPaneMessage->setText(text);
        const bool up = state == CSmsModem::LinkState::Connected;
        m_pView->UpdateConnectionState(up);
        if (!up)
            m_pView->Tray().SetTip(text);
    }, Qt::QueuedConnection);
    connect(m_pView, &CSkevoView::statusMessage, this, [this](const QString &text) {
        statusBar()->clearMessage();
        m_pPaneMessage->setText(text);
    });

    m_pView->InitialUpdate();
    CTrayIcon &tray = m_pView->Tray();
    tray.SystemTrayIcon()->setContextMenu(m_pTrayMenu);
    connect(&tray, &CTrayIcon::activated, this, &CMainFrame::OnTrayActivated);
    m_pList->InitialUpdate();

    // The query window lives as long as the main window, hidden until asked for.
    m_pQueryDlg = new CQueryDlg(m_pList->Model(), messages, this);
    connect(m_pList, &CMyList::queryRequested, this, &CMainFrame::OnQuery);
    connect(m_pQueryDlg, &CQueryDlg::queryLoaded, m_pList, &QAbstractItemView::scrollToTop);
    connect(m_pList, &CMyList::exportRequested, this, &CMainFrame::OnExportLog);
    connect(m_pList, &CMyList::replyRequested, this, &CMainFrame::OnReply);

    auto *next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { FocusNextPane(true); });
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { FocusNextPane(false); });

    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    // The worker must not outlive the window that takes its reports.
    if (m_link.IsConnected())
        m_link.Disconnect();
}

QAction *CMainFrame::Command(const QString &text, const QString &prompt, const char *name)
{
    auto *a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    const qsizetype cut = prompt.indexOf(QLatin1Char('\n'));
    a->setStatusTip(cut < 0 ? prompt : prompt.left(cut));
    a->setToolTip(cut < 0 ? prompt : prompt.mid(cut + 1));
    return a;
}

void CMainFrame::BuildActions()
{
    QStyle *s = style();
    m_pActConnect = Command(QStringLiteral("连接短信猫(&L)\tCtrl+Q"), QStringLiteral("连接短信猫\n连接短信猫"), "actionConnect");
    m_pActConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_pActConnect->setIcon(ToolIcon(CTrayIcon::ConnectedPicture()));
    m_pActConnect->setIconText(QStringLiteral("连接短信猫"));
    m_pActDisconnect = Command(QStringLiteral("断开连接(&D)"), QStringLiteral("断开连接短信猫\n断开连接"), "actionDisconnect");
    m_pActDisconnect->setIcon(ToolIcon(DisconnectIcon()));
    m_pActDisconnect->setIconText(QStringLiteral("断开连接"));
    m_pActExit = Command(QStringLiteral("退出(&X)"), QStringLiteral("退出应用程序\n退出"), "actionExit");
    m_pActToTray = Command(QStringLiteral("最小化到系统托盘(&M)"), QStringLiteral("最小化到系统托盘\n最小化到系统托盘"), "actionMinimizeToTray");
    m_pActPlay = Command(QStringLiteral("短信来时播放铃声(&R)"), QStringLiteral("设置是否播放短信铃声\n短信铃声"), "actionPlayRing");
    m_pActPlay->setCheckable(true);
    m_pActRingSettings = Command(QStringLiteral("设置短信铃声(&O)"), QStringLiteral("设置短信铃声\n设置短信铃声"), "actionRingSettings");
    m_pActOrders = Command(QStringLiteral("订单管理(&O)\tCtrl+O"), QStringLiteral("自动发送短信订单管理\n订单管理"), "actionOrders");
    m_pActOrders->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_pActOrders->setIcon(ToolIcon(s->standardIcon(QStyle::SP_FileDialogListView)));
    m_pActAccounts = Command(QStringLiteral("账户管理(&G)\tCtrl+R"), QStringLiteral("管理员账户管理\n账户管理"), "actionAccounts");
    m_pActAccounts->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_pActAccounts->setIcon(ToolIcon(s->standardIcon(QStyle::SP_DirHomeIcon)));
    m_pActDevice = Command(QStringLiteral("设备管理(&S)\tCtrl+T"), QStringLiteral("短信猫设备管理\n设备管理"), "actionDevice");
    m_pActDevice->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_pActDevice->setIcon(ToolIcon(GearIcon()));
    m_pActExport = Command(QStringLiteral("日志导出(&E)\tCtrl+E"), QStringLiteral("短信收发日志导出\n日志导出"), "actionExport");
    m_pActExport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_pActExport->setIcon(ToolIcon(s->standardIcon(QStyle::SP_DialogSaveButton)));
    m_pActQuery = Command(QStringLiteral("查询短信记录(&F)\tCtrl+F"), QStringLiteral("查询短信收发历史记录\n查询短信记录"), "actionQuery");
    m_pActQuery->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_pActQuery->setIcon(ToolIcon(s->standardIcon(QStyle::SP_FileDialogContentsView)));
    m_pActAbout = Command(QStringLiteral("关于 Skevo(&A)..."), QStringLiteral("显示程序信息和版本号\n关于"), "actionAbout");
    m_pActAbout->setIcon(ToolIcon(s->standardIcon(QStyle::SP_MessageBoxInformation)));


    connect(m_pActConnect, &QAction::triggered, this, &CMainFrame::OnConnect);
    connect(m_pActDisconnect, &QAction::triggered, this, &CMainFrame::OnDisconnect);
    connect(m_pActExit, &QAction::triggered, this, &CMainFrame::OnExit);
    connect(m_pActToTray, &QAction::triggered, this, &CMainFrame::OnMinimizeToTray);
    connect(m_pActPlay, &QAction::triggered, this, &CMainFrame::OnTogglePlay);
    connect(m_pActAbout, &QAction::triggered, this, &CMainFrame::OnAbout);
    connect(m_pActQuery, &QAction::triggered, this, &CMainFrame::OnQuery);
    connect(m_pActExport, &QAction::triggered, this, &CMainFrame::OnExportLog);
    connect(m_pActOrders, &QAction::triggered, this, &CMainFrame::OnOrders);
    connect(m_pActAccounts, &QAction::triggered, this, &CMainFrame::OnAccounts);
    connect(m_pActDevice, &QAction::triggered, this, &CMainFrame::OnDevice);
    connect(m_pActRingSettings, &QAction::triggered, this, &CMainFrame::OnRingSettings);
}

void CMainFrame::BuildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addAction(m_pActConnect);
    file->addSeparator();
    file->addAction(m_pActExit);

    QMenu *view = menuBar()->addMenu(QStringLiteral("查看(&V)"));
    view->setObjectName(QStringLiteral("menuView"));
    m_pActToolBar = view->addAction(QStringLiteral("工具栏(&T)"));
    m_pActToolBar->setObjectName(QStringLiteral("actionToolBar"));
    m_pActToolBar->setCheckable(true);
    m_pActToolBar->setChecked(true);
    m_pActToolBar->setStatusTip(QStringLiteral("显示或隐藏工具栏"));
    m_pActStatusBar = view->addAction(QStringLiteral("状态栏(&S)"));
    m_pActStatusBar->setObjectName(QStringLiteral("actionStatusBar"));
    m_pActStatusBar->setCheckable(true);
    m_pActStatusBar->setChecked(true);
    m_pActStatusBar->setStatusTip(QStringLiteral("显示或隐藏状态栏"));
    view->addAction(m_pActToTray);
    view->addAction(m_pActPlay);
    view->addAction(m_pActRingSettings);

    QMenu *manage = menuBar()->addMenu(QStringLiteral("管理(&G)"));
    manage->setObjectName(QStringLiteral("menuManage"));
    manage->addAction(m_pActConnect);
    manage->addAction(m_pActOrders);
    manage->addAction(m_pActAccounts);
    manage->addAction(m_pActDevice);
    manage->addAction(m_pActExport);
    manage->addAction(m_pActQuery);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(m_pActAbout);
}

void CMainFrame::BuildToolBar()
{
    m_pToolBar = addToolBar(QStringLiteral("工具栏"));
    m_pToolBar->setObjectName(QStringLiteral("toolBar"));
    m_pToolBar->setIconSize(QSize(32, 32));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_pToolBar->addAction(m_pActOrders);
    m_pToolBar->addAction(m_pActAccounts);
    m_pToolBar->addAction(m_pActDevice);
    m_pToolBar->addAction(m_pActExport);
    m_pToolBar->addAction(m_pActQuery);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_pActAbout);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_pActConnect);
    m_pToolBar->addAction(m_pActDisconnect);
    connect(m_pActToolBar, &QAction::toggled, m_pToolBar, &QToolBar::setVisible);
    connect(m_pToolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden() || visible)
            m_pActToolBar->setChecked(visible);
    });
}

void CMainFrame::BuildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    auto pane = [bar](const char *name, const QString &text, bool permanent) {
        auto *l = new QLabel(text, bar);
        l->setObjectName(QString::fromLatin1(name));
        if (permanent)
            bar->addPermanentWidget(l);
        else
            bar->addWidget(l, 1);
        return l;
    };
    m_pPaneMessage = pane("paneMessage", QStringLiteral("就绪"), false);
    // The lock keys' state cannot be read portably here: the panes name the keys, dimmed.
    m_pPaneCaps = pane("paneCaps", QStringLiteral("CAP"), true);
    m_pPaneCaps->setEnabled(false);
    m_pPaneNum = pane("paneNum", QStringLiteral("NUM"), true);
    m_pPaneNum->setEnabled(false);
    m_pPaneUser = pane("paneUser", QString(), true);
    m_pPaneClock = pane("paneClock", QString(), true);
    connect(m_pActStatusBar, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void CMainFrame::BuildTrayMenu()
{
    m_pTrayMenu = new QMenu(this);
    m_pTrayMenu->setObjectName(QStringLiteral("trayMenu"));
    auto item = [this](const QString &text, const char *name, QAction *like) {
        QAction *a = m_pTrayMenu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (like) {
            a->setStatusTip(like->statusTip());
            a->setEnabled(like->isEnabled());
            connect(a, &QAction::triggered, like, &QAction::trigger);
        }
        return a;
    };
    m_pTrayConnect = item(QStringLiteral("连接短信猫(&Q)"), "trayConnect", m_pActConnect);
    m_pTrayMenu->setDefaultAction(m_pTrayConnect);
    item(QStringLiteral("连接设置(&L)"), "trayDevice", m_pActDevice);
    QAction *show = item(QStringLiteral("显示窗口(&W)"), "trayShowWindow", nullptr);
    show->setStatusTip(QStringLiteral("显示窗口"));
    connect(show, &QAction::triggered, this, &CMainFrame::OnShowWindow);
    m_pTrayMenu->addSeparator();
    item(QStringLiteral("订单管理(&S)"), "trayOrders", m_pActOrders);
    item(QStringLiteral("账户管理/修改密码(&A)"), "trayAccounts", m_pActAccounts);
    item(QStringLiteral("短信收发日志导出"), "trayExport", m_pActExport);
    item(QStringLiteral("查询短信记录(&F)"), "trayQuery", m_pActQuery);
    m_pTrayMenu->addSeparator();
    item(QStringLiteral("退出(&X)"), "trayExit", m_pActExit);
}

void CMainFrame::UpdateCommandStates()
{
    const bool connected = m_link.IsConnected();
    m_pActConnect->setEnabled(!connected);
    m_pTrayConnect->setEnabled(!connected);
    m_pActDisconnect->setEnabled(connected);
    UpdateLinkPane();
}

// The connection at a glance, beside the lock-key panes, and the counts of each run of
// messages once the queue is empty again.
void CMainFrame::BuildLinkPane()
{
    m_pPaneLink = new QLabel(statusBar());
    m_pPaneLink->setObjectName(QStringLiteral("paneLink"));
    statusBar()->insertPermanentWidget(0, m_pPaneLink);
    ModemTimeouts t = m_app.Modem().Timeouts();
    t.signalIntervalMs = 60000;
    m_app.Modem().SetTimeouts(t);
    // A lost link has no strength to show until the modem answers and is asked again.
    connect(&m_app.Modem(), &CSmsModem::linkStateChanged, this, [this](CSmsModem::LinkState state) {
        if (state != CSmsModem::LinkState::Connected && m_signal) {
            m_signal.reset();
            UpdateLinkPane();
        }
    }, Qt::QueuedConnection);
    connect(&m_app.Modem(), &CSmsModem::signalQualityRead, this, [this](const SignalQuality &q) {
        if (!m_link.IsConnected())
            return;
        m_signal = q;
        UpdateLinkPane();
    }, Qt::QueuedConnection);
    // Over the message pane until the next text there (or a menu's prompt) replaces it.
    connect(&m_app.Modem(), &CSmsModem::sendRunFinished, this, [this](int succeeded, int failed) {
        statusBar()->showMessage(LinkStatus::RunDoneText(succeeded, failed));
    }, Qt::QueuedConnection);
}

void CMainFrame::UpdateLinkPane()
{
    // The port of this connection: the device window may name another for the next one.
    if (!m_link.IsConnected()) {
        m_signal.reset();
        m_strLinkPort.clear();
    } else if (m_strLinkPort.isEmpty()) {
        m_strLinkPort = m_link.PortName(m_app.Device());
    }
    m_pPaneLink->setText(LinkStatus::PaneText(m_strLinkPort, m_signal));
}

void CMainFrame::ShowWithPlacement()
{
    const WindowPlacement p = WindowPlacement::Read(*m_pProfile);
    setGeometry(p.NormalRect());
    if (!p.m_barState.isEmpty())
        restoreState(p.m_barState);
    m_pActToolBar->setChecked(!m_pToolBar->isHidden());
    m_pActStatusBar->setChecked(m_pProfile->value(QStringLiteral("WNDSTATUS/STATUSBAR"), true).toBool());
    statusBar()->setVisible(m_pActStatusBar->isChecked());
    if (p.m_nShowCmd == WindowPlacement::ShowMaximized)
        showMaximized();
    else
        showNormal();
}

void CMainFrame::OnConnect()
{
    if (m_link.IsConnected())
        return;
    const ModemLink::Result r = m_link.Connect(m_app.Device());
    if (!r.m_bOk) {
        m_messages.Show(r.m_strMessage);
        UpdateCommandStates();
        return;
    }
    // What an earlier run left is a run of its own: the bar counts its reports.
    if (r.m_nRestored > 0)
        m_pView->ResetProgress(r.m_nRestored);
    m_pScheduler->Connected(QDateTime::currentDateTime());
    m_pOrderTimer->start();
    m_pView->UpdateConnectionState(true);
    UpdateCommandStates();
}

void CMainFrame::OnDisconnect()
{
    m_link.Disconnect();
    m_pOrderTimer->stop();
    m_pScheduler->Disconnected();
    m_pView->UpdateConnectionState(false);
    UpdateCommandStates();
}

void CMainFrame::OnReport()
{
    const std::optional<SmsReport> report = m_app.Modem().PopReport();
    if (!report)
        return;
    m_pList->AddReportRow(*report);
    if (report->IsArrival()) {
        statusBar()->clearMessage();
        m_pPaneMessage->setText(QStringLiteral("收到消息"));
        if (m_bPlay)
            m_ring.PlayRing(m_strRingFile);
    } else {
        m_pView->StepProgress();
    }
}

// The worker's complaints come one by one; while one box is open, further texts wait, and a
// text already waiting is not queued twice, so a failing database gives one box per kind of
// failure rather than one per message.
void CMainFrame::OnErrorEvent(const QString &text)
{
    if (!m_pendingErrors.contains(text))
        m_pendingErrors.append(text);
    if (m_bShowingErrors)
        return;
    m_bShowingErrors = true;
    while (!m_pendingErrors.isEmpty()) {
        const QString next = m_pendingErrors.first();
        m_messages.Show(next, QString(), IMessageBox::Warning);
        m_pendingErrors.removeFirst();
    }
    m_bShowingErrors = false;
}

void CMainFrame::OnTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        OnShowWindow();
}

void CMainFrame::OnMinimizeToTray()
{
    // Without a tray the window could not be brought back: it is minimised instead.
    if (m_pView->Tray().IsShown())
        hide();
    else
        showMinimized();
}

void CMainFrame::OnShowWindow()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CMainFrame::OnTogglePlay()
{
    m_bPlay = !m_bPlay;
    m_pActPlay->setChecked(m_bPlay);
}

void CMainFrame::OnAccounts()
{
    if (m_app.IsAdmin()) {
        CUserAdminDlg dlg(m_app.DbSettingsSource(), m_messages, this);
        dlg.exec();
        return;
    }
    CPasswordChangeDlg dlg(m_app.Db(), m_messages, m_app.User(), this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_app.SetUser(dlg.UserName(), m_app.IsAdmin());
    m_pPaneUser->setText(FrameSettings::UserPaneText(m_app.User()));
}

void CMainFrame::OnDevice()
{
    CDeviceDlg dlg(m_app.Device(), m_app.Settings(), m_messages, DeviceSettingsLogic::PortEntries(), this);
    dlg.exec();
}

void CMainFrame::OnRingSettings()
{
    CRingDlg dlg(m_app.Settings(), m_ring, m_messages, m_bPlay, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_bPlay = dlg.PlayFlag();
    m_pActPlay->setChecked(m_bPlay);
    m_strRingFile = FrameSettings::ReadRingFile(m_app.Settings());
}

void CMainFrame::OnAbout()
{
    QDialog about(this);
    about.setObjectName(QStringLiteral("aboutDialog"));
    about.setWindowTitle(QStringLiteral("关于 Skevo"));
    auto *icon = new QLabel(&about);
    icon->setPixmap(CTrayIcon::ConnectedPicture().pixmap(32, 32));
    auto *name = new QLabel(QStringLiteral("Skevo 1.0 版"), &about);
    name->setObjectName(QStringLiteral("aboutName"));
    auto *usage = new QLabel(QStringLiteral("使用说明:使用SQLite数据库文件或PostgreSQL数据库服务器\n\n硬件需要:GSM短信猫(串口或USB)"),
                             &about);
    usage->setObjectName(QStringLiteral("aboutUsage"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(usage);
    top->addLayout(texts, 1);
    auto *layout = new QVBoxLayout(&about);
    layout->addLayout(top);
    layout->addWidget(buttons);
    about.exec();
}

void CMainFrame::OnOrders()
{
    COrderDlg dialog(m_app.Db(), m_app.Settings(), m_messages, NumberRules::ReadNumberFile, this);
    dialog.exec();
}

void CMainFrame::CheckDueOrder(const QDateTime &now)
{
    if (!m_link.IsConnected())
        return;
    OrderScheduler::Hooks hooks;
    hooks.confirm = [this](const StoredOrder &) {
        return m_messages.Show(OrderScheduler::QuestionText(), OrderScheduler::QuestionCaption(), IMessageBox::Question,
                               IMessageBox::OkCancel)
            == IMessageBox::AnswerOk;
    };
    hooks.started = [this](int, int messages) {
        statusBar()->clearMessage();
        m_pPaneMessage->setText(OrderScheduler::StartedText());
        m_pView->ResetProgress(messages);
    };
    m_pScheduler->Check(now, OrderForm::ReadReminder(m_app.Settings()), m_app.Device().m_strSMSC, hooks);
}

void CMainFrame::OnExit()
{
    close();
}

void CMainFrame::OnQuery()
{
    m_pQueryDlg->show();
    m_pQueryDlg->raise();
    m_pQueryDlg->activateWindow();
}

void CMainFrame::OnExportLog()
{
    CLogExportCommand::ExportLog(m_pList, m_pList->Model(), m_messages);
}

void CMainFrame::OnReply(int row)
{
    CReplyDlg::Services services{m_app.Modem(), m_messages, [this] { return m_app.Device().m_strSMSC; },
                                 [this] {
                                     m_pView->ResetProgress(2);
                                     m_pView->StepProgress();
                                 }};
    CReplyDlg::ReplyToRow(m_pList->Model(), row, std::move(services), this);
}

void CMainFrame::FocusNextPane(bool forward)
{
    // Two panes: forward and backward both go to the other one.
    Q_UNUSED(forward);
    const bool inList = focusWidget() == m_pList || m_pList->isAncestorOf(focusWidget());
    if (!inList) {
        m_pList->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The panel's first control that takes the keyboard; its labels come before it in the
    // chain and would take the focus and do nothing with it.
    for (QWidget *w = m_pView->nextInFocusChain(); w && w != m_pView; w = w->nextInFocusChain()) {
        if (m_pView->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(m_pView)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CMainFrame::OnClockTick()
{
    m_pPaneClock->setText(ClockText());
}

void CMainFrame::SaveOnClose()
{
    // A failure has been shown by the database layer (the statement's error text); the
    // window closes all the same.
    LastNumbers::SaveLastNumbers(m_app.Db(), m_pView->GetAllNumbers());
    FrameSettings::WriteOnClose(m_app.Settings(), m_pView->Message(), m_bPlay);

    WindowPlacement p;
    p.SetNormalRect(normalGeometry().isValid() ? normalGeometry() : geometry());
    p.m_nShowCmd = isMaximized() ? WindowPlacement::ShowMaximized : WindowPlacement::ShowNormal;
    p.m_barState = saveState();
    p.Write(*m_pProfile);
    m_pProfile->setValue(QStringLiteral("WNDSTATUS/STATUSBAR"), m_pActStatusBar->isChecked());
    m_pProfile->sync();
}

void CMainFrame::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_bShownOnce)
        return;
    m_bShownOnce = true;
    // The list starts 200 pixels high and the panel takes the rest. In a window too short
    // for both, the list gives way (down to 120) so that the whole panel stays in sight;
    // shorter still, the panel scrolls.
    const int total = m_pSplitter->height() - m_pSplitter->handleWidth();
    const int panel = m_pView->minimumSizeHint().height();
    const int list = std::clamp(total - panel, std::min(120, total), 200);
    m_pSplitter->setSizes({list, std::max(0, total - list)});
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    if (m_bClosed) {
        event->accept();
        return;
    }
    SaveOnClose();
    // The closing leaves the queue as it is (kept in the outbox); the worker stops here
    // because it must not outlive the engine it drives.
    if (m_link.IsConnected())
        m_link.Disconnect();
    m_pOrderTimer->stop();
    m_pScheduler->Disconnected();
    m_ring.StopRing();
    m_bClosed = true;
    event->accept();
    emit closed();
}

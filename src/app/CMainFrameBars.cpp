// The main window's commands, menus, tool bar, status bar panes and tray menu.
#include "CMainFrame.h"

#include "CDeviceDlg.h"
#include "records/COptOutDlg.h"
#include "CRingDlg.h"
#include "CSkevoApp.h"
#include "DeviceSettingsLogic.h"
#include "send/CTrayIcon.h"
#include "base/FrameSettings.h"
#include "base/IMessageBox.h"
#include "IRingPlayer.h"
#include "LinkStatus.h"
#include "StatusPane.h"
#include "WindowPlacement.h"
#include "at/CSerialPort.h"
#include "orders/COrderDlg.h"
#include "orders/OrderForm.h"
#include "orders/OrderScheduler.h"
#include "records/CLogExportCommand.h"
#include "records/CMyList.h"
#include "records/CQueryDlg.h"
#include "records/CReplyDlg.h"
#include "records/RecordsModel.h"
#include "records/ResendFailed.h"
#include "send/CSkevoView.h"
#include "send/LastNumbers.h"
#include "base/NumberRules.h"
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

} // namespace

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
    m_pActOptOut = Command(QStringLiteral("黑名单(&B)"), QStringLiteral("群发时跳过的号码\n黑名单"), "actionOptOutList");
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
    connect(m_pActOptOut, &QAction::triggered, this, [this] { OnOptOut(); });
}

void CMainFrame::OnOptOut(int row)
{
    COptOutDlg dialog(m_app.Db(), m_messages, this);
    if (row >= 0 && row < m_pList->Model().rowCount())
        dialog.AddRecordNumber(m_pList->Model().Row(row).m_strNumber);
    dialog.exec();
}

void CMainFrame::OnOptOutRecord(int row)
{
    if (row < 0 || row >= m_pList->Model().rowCount()) {
        m_messages.Show(QStringLiteral("请选中要加入黑名单的短信"), QString(), IMessageBox::Critical);
        return;
    }
    OnOptOut(row);
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
    manage->addAction(m_pActOptOut);

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
    m_pPaneMessage = new StatusPane(QStringLiteral("paneMessage"), bar);
    m_pPaneMessage->setText(QStringLiteral("就绪"));
    bar->addWidget(m_pPaneMessage, 1);
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
    const bool connected = m_session.Link().IsConnected();
    m_pActConnect->setEnabled(!connected);
    m_pTrayConnect->setEnabled(!connected);
    m_pActDisconnect->setEnabled(connected);
    UpdateLinkPane();
    UpdateTray();
}

// The connection at a glance, at the right end after the lock-key panes (the one place that
// tells the link's state): a pane for each modem, with its short name and what it is like, all
// it says in the tooltip. Panes come and go only at the end, so each keeps its modem's place.
void CMainFrame::BuildLinkPane()
{
    auto *pane = new StatusPane(QStringLiteral("paneLink"), statusBar());
    statusBar()->addPermanentWidget(pane);
    m_linkPanes = {pane};
    ModemTimeouts t = m_session.Link().Timeouts();
    t.signalIntervalMs = 60000;
    m_session.Link().SetTimeouts(t);
}

QVector<LinkStatus::ModemLine> CMainFrame::LinkLines() const
{
    // The names of the modems as configured (the ports given for this run in their places); a
    // modem without one goes by its port as it was opened ("COM1", "ttyUSB0").
    QVector<DeviceSettings> devices = m_session.Link().Shown(m_app.Devices());
    for (DeviceSettings &d : devices)
        d.m_strCOM = CSerialPort::DevicePath(d.m_strCOM.trimmed());
    QVector<LinkStatus::ModemLine> out;
    const QVector<SimState> sims = m_app.Queue().Sims();
    for (const LinkView &link : std::as_const(m_links)) {
        LinkStatus::ModemLine line{link.port, link.status, link.sent, QString(), SimState()};
        for (const SimState &sim : sims) {
            if (sim.port == link.port)
                line.sim = sim;
        }
        const QString device = CSerialPort::DevicePath(link.port);
        for (const DeviceSettings &d : std::as_const(devices)) {
            if (d.m_strCOM == device) {
                line.name = d.m_strName.trimmed();
                break;
            }
        }
        out.append(line);
    }
    return out;
}

// The SIMs' counts in their panes; while every SIM is held (a limit, the quiet hours) the
// message pane says until when, then the run's words again.
void CMainFrame::OnSimsChanged()
{
    UpdateLinkPane();
    const QString held = LinkStatus::HeldText(m_app.Queue().Sims(), m_app.Queue().HeldUntil());
    if (held == m_strHeldText)
        return;
    m_strHeldText = held;
    m_pPaneMessage->setText(!held.isEmpty() ? held : LinkStatus::RunText(m_app.Queue().Tally()));
}

void CMainFrame::UpdateLinkPane()
{
    if (!m_session.Link().IsConnected())
        m_links.clear();
    const QVector<LinkStatus::Pane> panes = LinkStatus::Panes(LinkLines());
    while (m_linkPanes.size() < panes.size()) {
        auto *pane = new StatusPane(QStringLiteral("paneLink%1").arg(m_linkPanes.size() + 1), statusBar());
        statusBar()->addPermanentWidget(pane);
        m_linkPanes.append(pane);
    }
    while (m_linkPanes.size() > panes.size())
        delete m_linkPanes.takeLast();
    for (qsizetype i = 0; i < panes.size(); ++i) {
        m_linkPanes[i]->SetDetail(panes[i].toolTip);
        m_linkPanes[i]->setText(panes[i].text);
    }
    if (m_links.isEmpty())
        emit linkStatusShown(QString(), ModemStatus());
    for (const LinkView &link : std::as_const(m_links))
        emit linkStatusShown(link.port, link.status);
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
    CReplyDlg::Services services{m_app.Queue(), m_messages, [this] { return m_app.Device().m_strSMSC; }, {}};
    CReplyDlg::ReplyToRow(m_pList->Model(), row, std::move(services), this);
}

void CMainFrame::OnResendFailed(const QVector<int> &rows)
{
    ResendFailed::Run(m_pList->Model(), rows, m_app.Device().m_strSMSC, m_app.Queue(), m_messages);
}

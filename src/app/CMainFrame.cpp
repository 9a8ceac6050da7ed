#include "CMainFrame.h"

#include "CDeviceDlg.h"
#include "CRingDlg.h"
#include "CSkevoApp.h"
#include "DeviceSettingsLogic.h"
#include "send/CTrayIcon.h"
#include "base/CFileDialog.h"
#include "base/FrameSettings.h"
#include "base/IMessageBox.h"
#include "IRingPlayer.h"
#include "LinkStatus.h"
#include "StatusPane.h"
#include "WindowPlacement.h"
#include "orders/COrderDlg.h"
#include "orders/OrderForm.h"
#include "orders/OrderScheduler.h"
#include "outbox/OptOutList.h"
#include "records/CMyList.h"
#include "records/CQueryDlg.h"
#include "records/RecordsModel.h"
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
#include <memory>
#include <utility>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kOrderCheckMs = 60000;
constexpr int kClockMs = 1000;
constexpr int kListHeight = 200;
// The records list keeps these rows in sight before the send panel grows.
constexpr int kListRows = 8;
// The smallest window in which the send panel stays usable.
constexpr QSize kMinimumSize(640, 480);

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
    , m_session(app)
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Skevo"));
    setWindowIcon(CTrayIcon::ConnectedPicture());
    if (!m_pProfile) {
        m_ownedProfile = std::make_unique<QSettings>(QStringLiteral("Kavrel"), QStringLiteral("Skevo"));
        m_pProfile = m_ownedProfile.get();
    }
    // The file dialogs remember their folders beside the window placement.
    CFileDialog::SetProfile(m_pProfile);

    m_pSplitter = new QSplitter(Qt::Vertical, this);
    m_pSplitter->setObjectName(QStringLiteral("splitter"));
    m_pSplitter->setChildrenCollapsible(false);
    m_pList = new CMyList(app.DbSettingsSource(), messages, m_pSplitter);
    // The panel is a form: in a short window it scrolls rather than squeezing the list.
    auto *form = new QScrollArea(m_pSplitter);
    form->setObjectName(QStringLiteral("viewScrollArea"));
    form->setWidgetResizable(true);
    form->setFrameShape(QFrame::NoFrame);
    m_pView = new CSkevoView(app.Settings(), app.Device(), app.Db(), app.Queue(), messages);
    form->setWidget(m_pView);
    m_pSplitter->addWidget(m_pList);
    m_pSplitter->addWidget(form);
    m_pSplitter->setCollapsible(0, true);
    // A window made smaller or larger changes the records list; the panel keeps the height it
    // has, and never less than it needs to be whole.
    m_pSplitter->setStretchFactor(0, 1);
    m_pSplitter->setStretchFactor(1, 0);
    form->setMinimumHeight(m_pView->minimumSizeHint().height());
    m_pSplitter->setSizes({kListHeight, 600});
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

    // Once a minute while connected: the due-order check.
    m_session.SetOrderCheckInterval(kOrderCheckMs);
    connect(&m_session, &EngineSession::orderCheckDue, this, &CMainFrame::CheckDueOrder);

    m_pPaneUser->setText(FrameSettings::UserPaneText(m_app.User()));
    m_bPlay = FrameSettings::ReadPlayFlag(m_app.Settings());
    m_strRingFile = FrameSettings::ReadRingFile(m_app.Settings());
    m_pActPlay->setChecked(m_bPlay);

    // The session hands on the workers' news in this thread, one call per report, in order.
    connect(&m_session, &EngineSession::reported, this, &CMainFrame::OnReport);
    connect(&m_session, &EngineSession::failed, this,
            [this](const OutboxError &error) { OnErrorEvent(LinkStatus::ErrorText(error)); });
    connect(&m_session, &EngineSession::tried, this, &CMainFrame::OnTried);
    // The bar and the message pane both show the run's tally: they never say different things.
    connect(&m_session, &EngineSession::runChanged, this, &CMainFrame::OnRunChanged);
    // Each worker reaches, loses and regains its modem on its own while connected, and waits
    // for its SIM and its network; the link panes and the tray say so.
    connect(&m_session, &EngineSession::modemStatus, this, &CMainFrame::OnModemStatus);
    connect(&m_session, &EngineSession::simsChanged, this, &CMainFrame::OnSimsChanged);
    // An order deleted in another program while this one had it queued.
    connect(&m_session, &EngineSession::orderWithdrawn, this, [this](int order, int count) {
        statusBar()->clearMessage();
        m_pPaneMessage->setText(OrderForm::WithdrawnElsewhereText(order, count));
    });
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
    connect(m_pList, &CMyList::resendFailedRequested, this, &CMainFrame::OnResendFailed);
    connect(m_pList, &CMyList::optOutRequested, this, &CMainFrame::OnOptOutRecord);

    auto *next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { FocusNextPane(true); });
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { FocusNextPane(false); });

    UpdateCommandStates();
    setMinimumSize(minimumSizeHint().expandedTo(kMinimumSize));
}

CMainFrame::~CMainFrame()
{
    if (CFileDialog::Profile() == m_pProfile)
        CFileDialog::SetProfile(nullptr);
    // The worker must not outlive the window that takes its reports.
    m_session.Disconnect();
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
    m_nSavedPanel = p.m_nPanelHeight;
    if (p.m_nShowCmd == WindowPlacement::ShowMaximized)
        showMaximized();
    else
        showNormal();
    PlaceSplitter();
}

void CMainFrame::PlaceSplitter()
{
    const int total = m_pSplitter->height() - m_pSplitter->handleWidth();
    const int panel = WindowPlacement::PanelHeight(total, m_pList->HeightForRows(kListRows),
                                                   m_pView->minimumSizeHint().height(), m_nSavedPanel);
    m_pSplitter->setSizes({total - panel, panel});
}

void CMainFrame::OnConnect()
{
    if (m_session.IsConnected())
        return;
    // The modems are reached side by side, off this thread: each pane shows how its modem
    // gets on, and the window goes on meanwhile.
    m_session.Connect();
    m_links.clear();
    for (const ModemPort *port : m_session.Link().Ports())
        m_links.append({port->Name(), port->Status(), 0});
    UpdateLinkPane();
    UpdateTray();
    UpdateCommandStates();
}

void CMainFrame::OnTried(const ModemLink::Result &result)
{
    // The modems that did not answer at the first try are tried again like a modem lost
    // later; the others work meanwhile.
    const QString text = LinkStatus::ConnectText(result);
    if (!text.isEmpty() && m_session.IsConnected())
        m_messages.Show(text);
}

void CMainFrame::OnDisconnect()
{
    m_session.Disconnect();
    m_pView->UpdateConnectionState(false);
    UpdateCommandStates();
}

void CMainFrame::OnReport(const SmsReport &report)
{
    m_pList->AddReportRow(report);
    if (report.m_kind == SmsReport::DeliveryChanged)
        return; // a row changed; the run's tally says the rest
    if (report.IsArrival()) {
        statusBar()->clearMessage();
        m_pPaneMessage->setText(QStringLiteral("收到消息"));
        if (m_bPlay)
            m_ring.PlayRing(m_strRingFile);
        return;
    }
    if (report.m_kind == SmsReport::Sent && report.IsSuccess()) {
        for (LinkView &link : m_links) {
            if (link.port == report.m_strPort) {
                ++link.sent;
                UpdateLinkPane();
                break;
            }
        }
    }
}

void CMainFrame::OnRunChanged()
{
    const RunTally t = m_app.Queue().Tally();
    m_pView->ShowRun(t);
    // The message pane changes with the run's state, not at every report: what it says of an
    // arrival meanwhile stays until then. A stopped run's words stay until the next run starts.
    const bool same = t.run == m_shownRun.run && t.state == m_shownRun.state && t.withdrawn == m_shownRun.withdrawn
        && t.delivered == m_shownRun.delivered && t.undelivered == m_shownRun.undelivered;
    m_shownRun = t;
    if (same)
        return;
    const QString text = LinkStatus::RunText(t);
    if (text.isEmpty())
        return;
    statusBar()->clearMessage();
    m_pPaneMessage->setText(text);
}

// The worker's complaints come one by one; while one box is open, further texts wait, and a
// text already waiting is not queued twice, so a failing database gives one box per kind of
// failure rather than one per message.
void CMainFrame::OnErrorEvent(const QString &text)
{
    if (!m_pendingErrors.contains(text))
        m_pendingErrors.append(text);
    ShowPendingErrors();
}

void CMainFrame::ShowPendingErrors()
{
    if (m_bShowingErrors || m_bQueueingOrder)
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
    // The ports in use (or to be used at the next connect), whether configured or given on the
    // command line for this run.
    QVector<DeviceSettings> shown = m_session.Link().Shown(m_app.Devices());
    CDeviceDlg dlg(shown, m_app.Settings(), m_messages, DeviceSettingsLogic::PortEntries(), this);
    for (const LinkView &link : std::as_const(m_links))
        dlg.ShowStatus(link.port, link.status);
    const QMetaObject::Connection live = connect(this, &CMainFrame::linkStatusShown, &dlg, &CDeviceDlg::ShowStatus);
    dlg.ShowSims(m_app.Queue().Sims());
    const QMetaObject::Connection counts
        = connect(&m_session, &EngineSession::simsChanged, &dlg, [this, &dlg] { dlg.ShowSims(m_app.Queue().Sims()); });
    const bool accepted = dlg.exec() == QDialog::Accepted;
    disconnect(live);
    disconnect(counts);
    if (!accepted)
        return;
    // What the dialog saved is the list from now on: the ports given for this run give way to
    // it at the next connect.
    m_app.SetDevices(shown);
    m_session.Link().SetPortOverride(QStringList());
    // A PIN given now is tried at once by a modem that waits for one.
    m_session.Link().ApplyPin(m_app.Devices());
    m_session.Link().ApplyRules(m_app.Devices());
    // A name given now shows at once.
    UpdateLinkPane();
    UpdateTray();
}

void CMainFrame::OnModemStatus(const ModemStatus &status)
{
    for (LinkView &link : m_links) {
        if (link.port == status.port)
            link.status = status;
    }
    UpdateLinkPane();
    UpdateTray();
}

// The tray tells whether messages can go and what each modem is like; a modem lost, a SIM
// that waits for the operator, or a pool that can no longer send is told once.
void CMainFrame::UpdateTray()
{
    const QVector<LinkStatus::ModemLine> lines = LinkLines();
    bool up = false;
    for (const LinkStatus::ModemLine &line : lines) {
        const ModemReadiness readiness = line.status.Readiness();
        up = up || readiness == ModemReadiness::Ready || readiness == ModemReadiness::Starting
            || readiness == ModemReadiness::Connecting || readiness == ModemReadiness::NotConnected;
    }
    m_pView->UpdateConnectionState(up);
    m_pView->Tray().SetTip(LinkNotices::TipText(lines));
    if (lines.isEmpty()) {
        m_notices.Reset();
        return;
    }
    if (const std::optional<LinkNotices::Notice> notice = m_notices.Update(lines))
        m_pView->Tray().Notify(notice->title, notice->text);
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
    dialog.SetWithdraw([this](int order) { m_app.Queue().WithdrawOrder(order); });
    dialog.exec();
}

void CMainFrame::CheckDueOrder(const QDateTime &now)
{
    if (!m_session.IsConnected())
        return;
    OrderScheduler::Hooks hooks;
    hooks.confirm = [this](const StoredOrder &) {
        return m_messages.Show(OrderScheduler::QuestionText(), OrderScheduler::QuestionCaption(), IMessageBox::Question,
                               IMessageBox::OkCancel)
            == IMessageBox::AnswerOk;
    };
    auto optedOut = std::make_shared<int>(0);
    hooks.optedOut = [optedOut](const StoredOrder &, int count) { *optedOut += count; };
    hooks.started = [this, optedOut](int, int) {
        statusBar()->clearMessage();
        m_pPaneMessage->setText(*optedOut > 0 ? OrderScheduler::StartedText() + QStringLiteral(", ") + OptOutList::SkippedText(*optedOut)
                                              : OrderScheduler::StartedText());
    };
    // Told once the check is over, like the worker's complaints: a box open inside the check
    // would hold the scheduler (its retries included) until the operator comes back.
    hooks.databaseTexts = [this](const QStringList &texts) {
        for (const QString &text : texts) {
            if (!m_pendingErrors.contains(text))
                m_pendingErrors.append(text);
        }
    };
    // Queueing a large order takes a moment: the window goes on painting meanwhile, but takes
    // no input, and holds the reports back until the start has reset the progress bar.
    hooks.busy = [this] {
        m_bQueueingOrder = true;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    m_session.CheckOrders(now, OrderForm::ReadReminder(m_app.Settings()), hooks);
    m_bQueueingOrder = false;
    ShowPendingErrors();
    if (std::exchange(m_bCloseAfterQueueing, false))
        close();
}

void CMainFrame::OnExit()
{
    close();
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
    // A failure shows what the database said; the window closes all the same.
    QStringList told;
    LastNumbers::SaveLastNumbers(m_app.Db(), m_pView->GetAllNumbers(), &told);
    for (const QString &text : std::as_const(told))
        m_messages.Show(text);
    FrameSettings::WriteOnClose(m_app.Settings(), m_pView->Message(), m_bPlay);

    WindowPlacement p;
    p.SetNormalRect(normalGeometry().isValid() ? normalGeometry() : geometry());
    p.m_nShowCmd = isMaximized() ? WindowPlacement::ShowMaximized : WindowPlacement::ShowNormal;
    p.m_barState = saveState();
    p.m_nPanelHeight = m_pSplitter->sizes().value(1);
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
    PlaceSplitter();
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    if (m_bClosed) {
        event->accept();
        return;
    }
    if (m_bQueueingOrder) {
        m_bCloseAfterQueueing = true;
        event->ignore();
        return;
    }
    // Quitting in the middle of a run is confirmed; what is not sent stays queued, and the
    // messages in the modems' hands are waited for.
    if (IsConnected() && m_app.Queue().QueuedCount() > 0
        && m_messages.Show(QStringLiteral("正在发送, 确定要退出吗?"), QString(), IMessageBox::Question,
                           IMessageBox::YesNoDefaultNo)
               != IMessageBox::AnswerYes) {
        event->ignore();
        return;
    }
    SaveOnClose();
    // The closing leaves the queue as it is (kept in the outbox); the worker stops here
    // because it must not outlive the engine it drives.
    m_session.Disconnect();
    m_ring.StopRing();
    m_bClosed = true;
    event->accept();
    emit closed();
}

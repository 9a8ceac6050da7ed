#include "CSkevoView.h"

#include "CMessageEdit.h"
#include "CSendPanelDialogs.h"
#include "CTrayIcon.h"
#include "CSourceDialogs.h"
#include "LastNumbers.h"
#include "base/MessageText.h"
#include "base/TextTemplate.h"
#include "SendListLogic.h"
#include "SendListModel.h"
#include "SendRun.h"
#include "TextPreview.h"
#include "base/DeviceSettings.h"
#include "base/FrameSettings.h"
#include "base/IMessageBox.h"
#include "outbox/IOutbox.h"
#include "sms/PduCodec.h"
#include "outbox/RunTally.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// File dialogs may move the working directory, and setting.ini is found through it.
class WorkingDirectoryGuard
{
public:
    WorkingDirectoryGuard() : m_strPath(QDir::currentPath()) {}
    ~WorkingDirectoryGuard() { QDir::setCurrent(m_strPath); }
    WorkingDirectoryGuard(const WorkingDirectoryGuard &) = delete;
    WorkingDirectoryGuard &operator=(const WorkingDirectoryGuard &) = delete;

private:
    QString m_strPath;
};

const QString kDefaultMessage = QStringLiteral("在做一个短信软件,测试短信");

// The send list lays out every entry in one size (a list of 100,000 stays quick), and the
// view takes that size from its last entry, so a short entry added last cut every longer
// one. Here each entry is as wide as the widest, which is kept up to date as rows come
// (only the new ones are measured) and measured anew after anything else.
class WidestEntryDelegate : public QStyledItemDelegate
{
public:
    WidestEntryDelegate(const SendListModel &model, QObject *parent)
        : QStyledItemDelegate(parent), m_model(model)
    {
        connect(&model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
            if (m_nWidest >= 0)
                m_nWidest = std::max(m_nWidest, Measure(first, last + 1));
        });
        const auto measureAnew = [this] { m_nWidest = -1; };
        connect(&model, &QAbstractItemModel::modelReset, this, measureAnew);
        connect(&model, &QAbstractItemModel::layoutChanged, this, measureAnew);
        connect(&model, &QAbstractItemModel::rowsRemoved, this, measureAnew);
        connect(&model, &QAbstractItemModel::dataChanged, this, measureAnew);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (m_nWidest < 0 || option.font != m_font) {
            m_font = option.font;
            m_nWidest = Measure(0, m_model.Count());
        }
        const QFontMetrics fm(m_font);
        size.setWidth(size.width() - fm.horizontalAdvance(index.data().toString()) + m_nWidest);
        return size;
    }

private:
    int Measure(int from, int to) const
    {
        const QFontMetrics fm(m_font);
        int widest = 0;
        for (int row = from; row < to; ++row)
            widest = std::max(widest, fm.horizontalAdvance(m_model.Entry(row)));
        return widest;
    }

    const SendListModel &m_model;
    mutable QFont m_font;
    mutable int m_nWidest = -1;
};
} // namespace

struct CSkevoView::Private
{
    Private(CSettingsFile &s, const DeviceSettings &dev, CDbAccess &database, IOutbox &m, IMessageBox &box)
        : settings(s), device(dev), db(database), modem(m), messages(box), logic(model),
          realSources([path = s.Path()] { return DbSettings::Read(CSettingsFile(path)); }, box) {}

    CSettingsFile &settings;
    const DeviceSettings &device;
    CDbAccess &db;
    IOutbox &modem;
    IMessageBox &messages;
    SendListModel model;
    SendListLogic logic;
    CSendPanelDialogs realDialogs;
    ISendPanelDialogs *dialogs = nullptr;
    CSourceDialogs realSources;
    ISourceDialogs *sources = nullptr;
    CTrayIcon *tray = nullptr;
    QIcon connectedPicture;
    QIcon disconnectedPicture;

    QListView *list = nullptr;
    QPushButton *orderButton = nullptr;
    QLabel *byteCount = nullptr;
    CMessageEdit *edit = nullptr;
    QProgressBar *progress = nullptr;
    QPushButton *sendButton = nullptr;
    QWidget *previewBox = nullptr;
    QLabel *previewLabel = nullptr;
    TextPreview preview;
    QTimer previewTimer;

    QString m_strMessage;
    bool m_bInitialised = false;
};

CSkevoView::CSkevoView(CSettingsFile &settings, const DeviceSettings &device, CDbAccess &db, IOutbox &modem,
                       IMessageBox &messages, QWidget *parent)
    : QWidget(parent)
    , d(new Private(settings, device, db, modem, messages))
{
    setObjectName(QStringLiteral("skevoView"));
    d->tray = new CTrayIcon(this);

    auto button = [this](const char *name, const QString &text, void (CSkevoView::*slot)()) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        // Buttons beside the number list may lose a little height with it, down to their text.
        b->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
        b->setMinimumHeight(b->fontMetrics().height() + 2);
        if (slot)
            connect(b, &QPushButton::clicked, this, slot);
        else
            b->setEnabled(false); // comes with a later piece of the panel
        return b;
    };

    auto *listLabel = new QLabel(QStringLiteral("发送列表:"), this);
    listLabel->setObjectName(QStringLiteral("sendListLabel"));

    d->list = new QListView(this);
    d->list->setObjectName(QStringLiteral("sendList"));
    d->list->setViewMode(QListView::ListMode);
    d->list->setFlow(QListView::TopToBottom);
    d->list->setWrapping(true);
    d->list->setResizeMode(QListView::Adjust);
    d->list->setUniformItemSizes(true);
    d->list->setSelectionMode(QAbstractItemView::MultiSelection);
    d->list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    d->list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    d->list->setModel(&d->model);
    d->list->setItemDelegate(new WidestEntryDelegate(d->model, d->list));
    listLabel->setBuddy(d->list);

    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(button("manualButton", QStringLiteral("手工输入"), &CSkevoView::OnManualEntry));
    buttons->addWidget(button("importButton", QStringLiteral("导入文件"), &CSkevoView::OnImportFile));
    buttons->addWidget(button("phoneBookButton", QStringLiteral("电话本导入"), &CSkevoView::OnPhoneBook));
    buttons->addWidget(button("removeDuplicatesButton", QStringLiteral("清除重号"), &CSkevoView::OnRemoveDuplicates));
    d->orderButton = button("orderButton", d->logic.OrderCaption(), &CSkevoView::OnSortOrShuffle);
    buttons->addWidget(d->orderButton);
    buttons->addWidget(button("moveToFrontButton", QStringLiteral("优先发送"), &CSkevoView::OnMoveToFront));
    buttons->addWidget(button("exportButton", QStringLiteral("导出号码"), &CSkevoView::OnExport));
    buttons->addWidget(button("removeSelectedButton", QStringLiteral("删除选中"), &CSkevoView::OnRemoveSelected));
    buttons->addWidget(button("clearButton", QStringLiteral("清空列表"), &CSkevoView::OnClearList));
    buttons->addWidget(button("generateButton", QStringLiteral("生成号码"), &CSkevoView::OnGenerate));
    buttons->addStretch(1);

    auto *messageLabel = new QLabel(QStringLiteral("群发内容:    字数:"), this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    d->byteCount = new QLabel(MessageText::CountCaption(0, 0), this);
    d->byteCount->setObjectName(QStringLiteral("byteCountLabel"));
    d->byteCount->setMinimumWidth(fontMetrics().horizontalAdvance(MessageText::CountCaption(140, 3)));
    auto *messageLine = new QHBoxLayout;
    messageLine->addWidget(messageLabel);
    messageLine->addWidget(d->byteCount);
    messageLine->addStretch(1);
    messageLine->addWidget(button("insertPhraseButton", QStringLiteral("插入短语"), &CSkevoView::OnInsertPhrase));

    d->edit = new CMessageEdit(this);
    d->edit->setObjectName(QStringLiteral("messageEdit"));
    d->edit->SetMaxBytes(MessageText::kMaxBytes);
    messageLabel->setBuddy(d->edit);
    connect(d->edit, &CMessageEdit::byteCountChanged, this, [this] {
        d->m_strMessage = d->edit->toPlainText();
        // A text without fields is counted as it stands, at once.
        if (TextTemplate(d->m_strMessage).IsPlain() && d->preview.IsPersonal())
            UpdatePreview();
        else
            ShowCount();
        SchedulePreview();
    });

    // A text with fields: one recipient's filled text at a time, under the field.
    d->previewBox = new QWidget(this);
    d->previewBox->setObjectName(QStringLiteral("previewBox"));
    d->previewLabel = new QLabel(d->previewBox);
    d->previewLabel->setObjectName(QStringLiteral("previewLabel"));
    d->previewLabel->setWordWrap(true);
    d->previewLabel->setTextFormat(Qt::PlainText);
    d->previewLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *previewNext = new QPushButton(TextPreview::NextButtonText(), d->previewBox);
    previewNext->setObjectName(QStringLiteral("previewNextButton"));
    previewNext->setAutoDefault(false);
    connect(previewNext, &QPushButton::clicked, this, &CSkevoView::OnPreviewNext);
    auto *previewLine = new QHBoxLayout(d->previewBox);
    previewLine->setContentsMargins(0, 0, 0, 0);
    previewLine->addWidget(d->previewLabel, 1);
    previewLine->addWidget(previewNext, 0, Qt::AlignTop);
    d->previewBox->hide();
    // Filling 100,000 texts takes a moment: done once typing pauses, not at every key.
    d->previewTimer.setSingleShot(true);
    d->previewTimer.setInterval(200);
    connect(&d->previewTimer, &QTimer::timeout, this, &CSkevoView::UpdatePreview);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&d->model, signal, this, &CSkevoView::SchedulePreview);
    connect(&d->model, &QAbstractItemModel::modelReset, this, &CSkevoView::SchedulePreview);

    auto *sendButton = button("sendButton", QStringLiteral("发送"), &CSkevoView::StartSendRun);
    sendButton->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    // A double click is one press: its second press comes as a double-click event, which the
    // button does not take (a button would take it as a press and click again on release).
    sendButton->installEventFilter(this);
    d->sendButton = sendButton;

    d->progress = new QProgressBar(this);
    d->progress->setObjectName(QStringLiteral("progressBar"));
    d->progress->setRange(0, 100);
    d->progress->setValue(0);
    d->progress->setOrientation(Qt::Horizontal);

    auto *grid = new QGridLayout(this);
    grid->addWidget(listLabel, 0, 0, 1, 2);
    grid->addWidget(d->list, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addLayout(messageLine, 2, 0);
    grid->addWidget(d->edit, 3, 0);
    grid->addWidget(sendButton, 3, 1);
    grid->addWidget(d->previewBox, 4, 0, 1, 2);
    grid->addWidget(d->progress, 5, 0);
    grid->addWidget(button("stopButton", QStringLiteral("停止"), &CSkevoView::OnStop), 5, 1);
    // Height comes and goes through the number list; the message field, the bar and "停止"
    // keep theirs, so a lower splitter shrinks the list before anything has to scroll.
    const QMargins frame = d->edit->contentsMargins();
    d->edit->setFixedHeight(4 * d->edit->fontMetrics().lineSpacing() + 2 * int(d->edit->document()->documentMargin())
                            + frame.top() + frame.bottom());
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);
}

CSkevoView::~CSkevoView()
{
    delete d;
}

void CSkevoView::InitialUpdate()
{
    if (d->m_bInitialised)
        return;
    d->m_bInitialised = true;

    QStringList told;
    d->model.Append(LastNumbers::LoadLastNumbers(d->db, nullptr, &told));
    for (const QString &text : std::as_const(told))
        d->messages.Show(text);

    const QString text = FrameSettings::ReadMessage(d->settings, kDefaultMessage);
    // Whatever the field took comes back whole; only a text longer than the field would take
    // (a file edited by hand) is cut, as the field cuts what is set into it.
    d->edit->setPlainText(MessageText::Truncate(text, MessageText::kMaxBytes));
    d->edit->moveCursor(QTextCursor::End);

    d->connectedPicture = CTrayIcon::ConnectedPicture();
    d->disconnectedPicture = CTrayIcon::DisconnectedPicture();
    UpdateConnectionState(false);
    d->tray->Add();

    d->m_strMessage = d->edit->toPlainText();
    ShowCount();
    UpdatePreview();
}

void CSkevoView::SchedulePreview()
{
    // Without a field the text is the same for everyone: nothing to preview.
    if (!TextTemplate(d->edit->toPlainText()).IsPlain())
        d->previewTimer.start();
}

void CSkevoView::UpdatePreview()
{
    d->previewTimer.stop();
    d->preview.Update(d->edit->toPlainText(), d->model.GetAllNumbers(), d->model.Fields(), SendRun::BookOf(d->db));
    d->previewLabel->setText(d->preview.Caption());
    d->previewBox->setVisible(d->preview.IsPersonal());
    ShowCount();
}

void CSkevoView::OnPreviewNext()
{
    d->preview.Next();
    d->previewLabel->setText(d->preview.Caption());
}

void CSkevoView::ShowCount()
{
    // A text with fields counts its longest filled text, what the limit applies to.
    const QString text = d->preview.IsPersonal() && d->preview.Count() > 0 ? d->preview.Longest() : d->m_strMessage;
    const int bytes = d->preview.IsPersonal() && d->preview.Count() > 0 ? d->preview.LongestBytes()
                                                                        : MessageText::ByteCount(text);
    d->byteCount->setText(MessageText::CountCaption(bytes, Pdu::MessageCount(text)));
}

void CSkevoView::UpdateConnectionState(bool connected)
{
    if (d->connectedPicture.isNull()) {
        d->connectedPicture = CTrayIcon::ConnectedPicture();
        d->disconnectedPicture = CTrayIcon::DisconnectedPicture();
    }
    d->tray->SetIcon(connected ? d->connectedPicture : d->disconnectedPicture);
    d->tray->SetTip(connected ? QStringLiteral("电脑与短信猫已连接") : QStringLiteral("电脑与短信猫未连接"));
}

void CSkevoView::ShowRun(const RunTally &tally)
{
    if (tally.state == RunTally::State::None)
        return;
    // A bar with equal bounds would show a busy animation; a run of nothing shows an
    // empty bar instead.
    d->progress->setRange(0, std::max(tally.total, 1));
    d->progress->setValue(std::clamp(tally.Done(), 0, std::max(tally.total, 1)));
}

QProgressBar *CSkevoView::ProgressBar() const
{
    return d->progress;
}

QStringList CSkevoView::GetAllNumbers() const
{
    return d->model.GetAllNumbers();
}

QString CSkevoView::Message() const
{
    return d->m_strMessage;
}

CTrayIcon &CSkevoView::Tray()
{
    return *d->tray;
}

SendListModel &CSkevoView::Model()
{
    return d->model;
}

void CSkevoView::SetDialogs(ISendPanelDialogs *dialogs)
{
    d->dialogs = dialogs;
}

ISendPanelDialogs &CSkevoView::Dialogs()
{
    return d->dialogs ? *d->dialogs : d->realDialogs;
}

void CSkevoView::SetSourceDialogs(ISourceDialogs *dialogs)
{
    d->sources = dialogs;
}

ISourceDialogs &CSkevoView::Sources()
{
    return d->sources ? *d->sources : d->realSources;
}

QList<int> CSkevoView::SelectedRows() const
{
    QList<int> rows;
    const QModelIndexList selected = d->list->selectionModel()->selectedRows();
    rows.reserve(selected.size());
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    return rows;
}

void CSkevoView::StartSendRun()
{
    d->m_strMessage = d->edit->toPlainText();
    SendRunPlan plan = SendRun::Plan(d->m_strMessage, d->model.GetAllNumbers(),
                                           // A modem that is lost for a moment keeps what is queued.
                                           d->modem.CanSend(), d->device.m_strSMSC, d->model.Fields(),
                                           SendRun::BookOf(d->db));
    for (const PanelMessage &message : plan.m_messages)
        message.ShowOn(d->messages);
    if (const std::optional<PanelMessage> skipped = SendRun::LeaveOptedOut(d->db, plan))
        skipped->ShowOn(d->messages);
    if (!plan.m_bQueue)
        return;
    if (d->modem.QueuedCount() > 0 && !plan.m_records.isEmpty()
        && SendRun::AgainQuestion().ShowOn(d->messages) != IMessageBox::AnswerYes)
        return;
    // The list again after 停止 or after the run ended: the operator may send only the rest.
    const RunTally last = d->modem.Tally();
    if (last.state == RunTally::State::Stopped || last.state == RunTally::State::Finished) {
        const QVector<int> sent = SendRun::SentInRun(d->db, qint64(last.run), plan);
        if (!sent.isEmpty()) {
            const IMessageBox::Answer answer
                = SendRun::SentBeforeQuestion(int(sent.size()), int(plan.m_records.size() - sent.size())).ShowOn(d->messages);
            if (answer == IMessageBox::AnswerCancel)
                return;
            if (answer == IMessageBox::AnswerYes)
                SendRun::Leave(plan, sent);
        }
    }
    SendRun::Queue(d->modem, plan);
}

bool CSkevoView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->sendButton && event->type() == QEvent::MouseButtonDblClick)
        return true;
    return QWidget::eventFilter(watched, event);
}

void CSkevoView::OnManualEntry()
{
    const std::optional<QString> typed = Dialogs().AskManualNumber(this);
    if (!typed)
        return;
    if (const auto message = d->logic.ManualEntry(*typed)) {
        message->ShowOn(d->messages);
        return;
    }
    d->list->scrollTo(d->model.index(d->model.Count() - 1));
}

void CSkevoView::OnImportFile()
{
    SendListLogic::ImportNotice().ShowOn(d->messages);
    WorkingDirectoryGuard guard;
    const QString path = Dialogs().OpenNumberFile(this);
    if (path.isEmpty())
        return;
    const SendListLogic::ImportOutcome outcome = d->logic.Import(path);
    if (outcome.m_message)
        outcome.m_message->ShowOn(d->messages);
    else
        emit statusMessage(outcome.m_strStatus);
}

void CSkevoView::OnRemoveDuplicates()
{
    d->logic.RemoveDuplicates();
}

void CSkevoView::OnSortOrShuffle()
{
    d->logic.SortOrShuffle();
    d->orderButton->setText(d->logic.OrderCaption());
}

void CSkevoView::OnMoveToFront()
{
    if (const auto message = d->logic.MoveToFront(SelectedRows()))
        message->ShowOn(d->messages);
    d->list->clearSelection();
}

void CSkevoView::OnExport()
{
    if (const auto message = d->logic.ExportCheck()) {
        message->ShowOn(d->messages);
        return;
    }
    WorkingDirectoryGuard guard;
    const QString path = Dialogs().SaveNumberFile(this);
    if (path.isEmpty())
        return;
    d->logic.Export(path).ShowOn(d->messages);
}

void CSkevoView::OnRemoveSelected()
{
    if (const auto message = d->logic.RemoveSelected(SelectedRows()))
        message->ShowOn(d->messages);
}

void CSkevoView::OnClearList()
{
    if (SendListLogic::ClearQuestion().ShowOn(d->messages) == IMessageBox::AnswerOk)
        d->logic.Clear();
}

void CSkevoView::OnStop()
{
    // Everything not yet handed to a modem is withdrawn; the send list stays as it is, so the
    // operator can send again. The run's tally says so (the bar and the status bar). A refused
    // withdrawal leaves the run going: the operator is told, and nothing says 已停止.
    const IOutbox::Withdrawn withdrawn = d->modem.Withdraw();
    if (!withdrawn.ok)
        d->messages.Show(QStringLiteral("停止失败: %1").arg(withdrawn.error), QString(), IMessageBox::Warning);
}

void CSkevoView::OnGenerate()
{
    const std::optional<QStringList> numbers = Sources().AskGeneratedNumbers(this);
    if (!numbers)
        return;
    // Thousands of numbers may come at once: the operator is told how many, as after an import.
    d->logic.AppendNumbers(*numbers);
    if (!numbers->isEmpty())
        d->list->scrollTo(d->model.index(d->model.Count() - 1));
    emit statusMessage(QStringLiteral("已生成 %1 个号码").arg(numbers->size()));
}

void CSkevoView::OnPhoneBook()
{
    const std::optional<QStringList> numbers = Sources().AskPhoneBookNumbers(this);
    if (!numbers || numbers->isEmpty())
        return;
    d->logic.AppendNumbers(*numbers);
    d->list->scrollTo(d->model.index(d->model.Count() - 1));
}

void CSkevoView::OnInsertPhrase()
{
    // The field's own insertion keeps the 140-byte limit and makes one undoable step.
    if (const std::optional<QString> text = Sources().AskPhrase(this); text && !d->edit->InsertText(*text))
        QApplication::beep();
    d->edit->setFocus();
}

#include "COrderDlg.h"

#include "OrderListModel.h"
#include "base/CFileDialog.h"
#include "base/CSettingsFile.h"
#include "base/DialogButtons.h"
#include "base/IMessageBox.h"
#include "base/MessageText.h"
#include "sms/PduCodec.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>
#include <QItemSelectionModel>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kStartsRefreshMs = 15000;

// The program's one file dialog: it leaves the database's files alone.
QString ChooseNumberFile(QWidget *parent)
{
    return CFileDialog::GetOpenFileName(parent, CFileDialog::NumberFile,
                                        {QStringLiteral("电话号码文件 (*.txt *.csv)"), CFileDialog::AllFiles()});
}
} // namespace

COrderDlg::COrderDlg(CDbAccess &db, CSettingsFile &settings, IMessageBox &messages, NumberFileReader reader,
                     QWidget *parent)
    : QDialog(parent)
    , m_store(db)
    , m_settings(settings)
    , m_messages(messages)
    , m_reader(std::move(reader))
    , m_chooser(ChooseNumberFile)
{
    setObjectName(QStringLiteral("orderDialog"));
    setWindowTitle(QStringLiteral("短信发送订单管理"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    m_pModel = new OrderListModel(this);
    m_pList = new QTableView(this);
    m_pList->setObjectName(QStringLiteral("orderList"));
    m_pList->setModel(m_pModel);
    m_pList->setShowGrid(true);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->verticalHeader()->hide();
    m_pList->horizontalHeader()->setSectionsMovable(true);
    m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->setWordWrap(false);
    const int widths[OrderListModel::ColumnCount] = {100, 200, 200, 220, 500};
    for (int c = 0; c < OrderListModel::ColumnCount; ++c)
        m_pList->setColumnWidth(c, widths[c]);

    m_pText = new QPlainTextEdit(this);
    m_pText->setObjectName(QStringLiteral("orderText"));
    m_pText->setTabChangesFocus(true);
    m_pText->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pCount = new QLabel(MessageText::CountCaption(0, 0), this);
    m_pCount->setObjectName(QStringLiteral("byteCount"));
    connect(m_pText, &QPlainTextEdit::textChanged, this, &COrderDlg::OnTextChanged);

    const QDateTime now = QDateTime::currentDateTime();
    const auto dateEdit = [this, &now](const char *name) {
        auto *e = new QDateEdit(now.date(), this);
        e->setObjectName(QString::fromLatin1(name));
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        return e;
    };
    const auto timeEdit = [this, &now](const char *name) {
        auto *e = new QTimeEdit(now.time(), this);
        e->setObjectName(QString::fromLatin1(name));
        e->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        return e;
    };
    m_pStartDate = dateEdit("startDate");
    m_pStartTime = timeEdit("startTime");
    m_pEndDate = dateEdit("endDate");
    m_pEndTime = timeEdit("endTime");

    // The order the operator picks (a click, or the arrow keys) comes into the fields, so that
    // "修改(&S)" starts from what it holds.
    connect(m_pList->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &index) {
        if (index.isValid())
            ShowOrder(m_pModel->At(index.row()));
    });

    m_pReminder = new QCheckBox(QStringLiteral("当有订单发送时间到时,弹出确认框提醒"), this);
    m_pReminder->setObjectName(QStringLiteral("reminderCheck"));
    m_pReminder->setChecked(OrderForm::ReadReminder(m_settings));
    connect(m_pReminder, &QCheckBox::clicked, this,
            [this](bool checked) { OrderForm::WriteReminder(m_settings, checked); });

    const auto button = [this](const QString &text, const char *name, void (COrderDlg::*slot)()) {
        auto *b = NamedButton(text, name, this);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    QPushButton *add = button(QStringLiteral("增加(&A)"), "addButton", &COrderDlg::AddOrder);
    QPushButton *modify = button(QStringLiteral("修改(&S)"), "modifyButton", &COrderDlg::ModifyOrder);
    QPushButton *remove = button(QStringLiteral("删除(&D)"), "deleteButton", &COrderDlg::DeleteOrder);
    QPushButton *import = button(QStringLiteral("发送号码导入"), "importButton", &COrderDlg::ImportOrderNumbers);
    QPushButton *cancel = button(QStringLiteral("取消(&C)"), "cancelButton", &COrderDlg::reject);

    auto *times = new QGroupBox(QStringLiteral("设置自动工作时间段(不限制人工操作)"), this);
    times->setObjectName(QStringLiteral("timesBox"));
    auto *grid = new QGridLayout(times);
    grid->addWidget(new QLabel(QStringLiteral("起始工作时间:"), times), 0, 0);
    grid->addWidget(m_pStartDate, 0, 1);
    grid->addWidget(m_pStartTime, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("结束工作时间:"), times), 1, 0);
    grid->addWidget(m_pEndDate, 1, 1);
    grid->addWidget(m_pEndTime, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("(仅精确到分钟)"), times), 2, 2);

    // The count follows its caption, as on the send panel, well apart from the caption of the
    // times beside it.
    auto *count = new QHBoxLayout;
    count->addWidget(new QLabel(QStringLiteral("订单内容:"), this));
    count->addSpacing(fontMetrics().horizontalAdvance(QStringLiteral("订单")));
    count->addWidget(new QLabel(QStringLiteral("字数:"), this));
    count->addWidget(m_pCount);
    count->addStretch(1);
    auto *left = new QVBoxLayout;
    left->addLayout(count);
    left->addWidget(m_pText, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(times);
    right->addWidget(m_pReminder);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {add, modify, remove, import, cancel})
        buttons->addWidget(b);
    right->addLayout(buttons);
    auto *form = new QHBoxLayout;
    form->addLayout(left, 1);
    form->addSpacing(fontMetrics().horizontalAdvance(QStringLiteral("订单")));
    form->addLayout(right);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addLayout(form);
    resize(1260, 560);

    LoadOrders();

    // Orders start while the dialog is open, in this program or another on the database.
    auto *refresh = new QTimer(this);
    refresh->setObjectName(QStringLiteral("startsTimer"));
    refresh->setInterval(kStartsRefreshMs);
    connect(refresh, &QTimer::timeout, this, &COrderDlg::RefreshStarts);
    refresh->start();
}

COrderDlg::~COrderDlg() = default;

void COrderDlg::LoadOrders()
{
    QVector<StoredOrder> orders;
    QString error;
    const bool ok = m_store.Load(&orders, &error);
    // What was read before a failure is listed; the dialog stays usable.
    m_pModel->SetOrders(orders);
    if (ok)
        return;
    for (const QString &text : m_store.DatabaseTexts())
        m_messages.Show(text);
    if (!error.isEmpty())
        m_messages.Show(error, QString(), IMessageBox::Warning);
}

void COrderDlg::RefreshStarts()
{
    // Read quietly: a failure here leaves the states as they were, and the operator's next
    // command tells of the database.
    QVector<StoredOrder> orders;
    if (m_store.Load(&orders))
        m_pModel->UpdateStarts(orders);
}

void COrderDlg::ShowOrder(const StoredOrder &order)
{
    const QDateTime start = QDateTime::fromString(order.m_strStart, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QDateTime end = QDateTime::fromString(order.m_strEnd, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_pStartDate->setDate(start.date());
    m_pStartTime->setTime(start.time());
    m_pEndDate->setDate(end.date());
    m_pEndTime->setTime(end.time());
    m_pText->setPlainText(order.m_strText);
}

void COrderDlg::OnTextChanged()
{
    const QString text = m_pText->toPlainText();
    if (MessageText::ByteCount(text) > MessageText::kMaxBytes) {
        // Whatever would pass the limit is refused as a whole, as a full edit field does.
        const int position = m_pText->textCursor().position() - int(text.size() - m_strAccepted.size());
        QSignalBlocker block(m_pText);
        m_pText->setPlainText(m_strAccepted);
        QTextCursor cursor = m_pText->textCursor();
        cursor.setPosition(std::clamp(position, 0, int(m_strAccepted.size())));
        m_pText->setTextCursor(cursor);
    } else {
        m_strAccepted = text;
    }
    m_pCount->setText(MessageText::CountCaption(MessageText::ByteCount(m_strAccepted), Pdu::MessageCount(m_strAccepted)));
}

void COrderDlg::TakeControls()
{
    m_form.m_strText = m_pText->toPlainText();
    m_form.m_start = QDateTime(m_pStartDate->date(), m_pStartTime->time());
    m_form.m_end = QDateTime(m_pEndDate->date(), m_pEndTime->time());
}

int COrderDlg::SelectedRow() const
{
    const QModelIndex current = m_pList->currentIndex();
    return current.isValid() && m_pList->selectionModel()->isRowSelected(current.row(), QModelIndex())
        ? current.row()
        : -1;
}

void COrderDlg::ImportOrderNumbers()
{
    OrderForm::ImportHint().ShowOn(m_messages);
    const QString path = m_chooser(this);
    if (path.isEmpty())
        return;
    // A CSV file brings each number's fields; a number file goes to the reader given.
    if (QFile file(path); file.open(QIODevice::ReadOnly) && !NumberFile::IsStartFile(file.peek(5))) {
        m_form.TakeImport(NumberFile::Read(path)).ShowOn(m_messages);
        return;
    }
    QStringList numbers;
    int failures = 0;
    const bool valid = m_reader(path, &numbers, &failures);
    m_form.TakeImport(valid, numbers, failures).ShowOn(m_messages);
}

void COrderDlg::AddOrder()
{
    TakeControls();
    const QString text = m_form.m_strText;
    const OrderForm::Outcome out = m_form.Add(m_store, QDateTime::currentDateTime());
    if (out.m_bOk)
        m_pModel->InsertTop({out.m_nId, out.m_strStart, out.m_strEnd, text, QString()});
    out.ShowOn(m_messages);
}

void COrderDlg::ModifyOrder()
{
    const int row = SelectedRow();
    if (row < 0) {
        OrderForm::NothingToModify().ShowOn(m_messages);
        return;
    }
    TakeControls();
    const OrderForm::Outcome out = m_form.Modify(m_store, m_pModel->At(row).m_nId, QDateTime::currentDateTime());
    if (out.m_bOk) {
        // A new start is a start still to come; the same one keeps its state.
        const StoredOrder &was = m_pModel->At(row);
        const QString started = was.m_strStart == out.m_strStart ? was.m_strStarted : QString();
        m_pModel->ReplaceAt(row, {out.m_nId, out.m_strStart, out.m_strEnd, m_form.m_strText, started});
    }
    out.ShowOn(m_messages);
}

void COrderDlg::DeleteOrder()
{
    const int row = SelectedRow();
    if (row < 0) {
        OrderForm::NothingToDelete().ShowOn(m_messages);
        return;
    }
    const OrderForm::Outcome out = OrderForm::Delete(m_store, m_pModel->At(row).m_nId);
    // What of it this program holds queued leaves the queue at once (the database said how
    // many messages of it, in any program, will not be sent).
    if (out.m_bOk && m_withdraw)
        m_withdraw(out.m_nId);
    if (out.m_bOk || out.m_bGone) {
        m_pModel->RemoveAt(row);
        m_pList->setCurrentIndex(QModelIndex());
        m_pList->clearSelection();
    }
    out.ShowOn(m_messages);
}

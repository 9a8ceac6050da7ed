#include "CMyList.h"

#include "RecordsModel.h"
#include "base/IMessageBox.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {
// 16x16 envelope with an arrow: out of it (sent, blue) or into it (received, green).
QIcon EnvelopeIcon(bool received)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor tone = received ? QColor(0x2e, 0x8b, 0x3a) : QColor(0x1f, 0x5f, 0xbf);
    p.setPen(QPen(tone.darker(130), 1));
    p.setBrush(QColor(0xff, 0xfb, 0xea));
    p.drawRect(QRectF(0.5, 4.5, 12, 9));
    p.drawLine(QPointF(0.5, 4.5), QPointF(6.5, 9.5));
    p.drawLine(QPointF(12.5, 4.5), QPointF(6.5, 9.5));
    QPainterPath arrow;
    if (received) {
        arrow.moveTo(15.5, 0.5);
        arrow.lineTo(15.5, 6);
        arrow.lineTo(10, 6);
        arrow.closeSubpath();
        p.setPen(QPen(tone, 1.6));
        p.drawLine(QPointF(15, 1), QPointF(9.5, 6.5));
    } else {
        arrow.moveTo(15.5, 0.5);
        arrow.lineTo(10, 0.5);
        arrow.lineTo(15.5, 6);
        arrow.closeSubpath();
        p.setPen(QPen(tone, 1.6));
        p.drawLine(QPointF(8.5, 7.5), QPointF(14.5, 1.5));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(tone);
    p.drawPath(arrow);
    return QIcon(pm);
}

// Puts the sent or received picture before the time text.
class RecordIconDelegate : public QStyledItemDelegate
{
public:
    explicit RecordIconDelegate(QObject *parent)
        : QStyledItemDelegate(parent), m_sent(EnvelopeIcon(false)), m_received(EnvelopeIcon(true))
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != RecordsModel::TimeColumn)
            return;
        option->icon = index.data(RecordsModel::ImageRole).toInt() == 1 ? m_received : m_sent;
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }

private:
    QIcon m_sent, m_received;
};
} // namespace

CMyList::CMyList(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent)
    : QTableView(parent)
    , m_messages(messages)
{
    setObjectName(QStringLiteral("recordsList"));
    m_pModel = new RecordsModel(std::move(settings), this);
    setModel(m_pModel);
    connect(m_pModel, &RecordsModel::databaseMessage, this, [this](const QString &text) { m_messages.Show(text); });
    setItemDelegate(new RecordIconDelegate(this));
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setIconSize(QSize(16, 16));
    verticalHeader()->hide();
    // Fixed row heights keep a million rows as cheap as a hundred.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    // The widths the list was laid out with, widened where this font needs more room for a
    // whole time (after the picture) or a whole number with country code.
    const QFontMetrics fm = fontMetrics();
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    const int widths[RecordsModel::ColumnCount] = {
        std::max(150, fm.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16 + 2 * padding),
        std::max(100, fm.horizontalAdvance(QStringLiteral("8613800000000")) + padding),
        100, 100, 500, 80,
        std::max(100, fm.horizontalAdvance(QStringLiteral("/dev/ttyUSB10")) + padding),
    };
    for (int c = 0; c < RecordsModel::ColumnCount; ++c)
        setColumnWidth(c, widths[c]);
    // Rows arrive on top. Scrolled away from the top, the operator reads older rows: the view
    // moves with the new rows so those stay where they are. At the top, they see each new one.
    connect(m_pModel, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex &, int first, int) {
        m_bKeepPlace = first == 0 && verticalScrollBar()->value() > verticalScrollBar()->minimum();
    });
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (!m_bKeepPlace)
            return;
        m_bKeepPlace = false;
        const int rows = last - first + 1;
        updateGeometries(); // the scroll bar's range must already count the new rows
        verticalScrollBar()->setValue(verticalScrollBar()->value()
                                      + (verticalScrollMode() == ScrollPerItem ? rows : rows * rowHeight(0)));
    });
    m_nLastColumnWidth = widths[RecordsModel::ContentColumn];
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (column != RecordsModel::ContentColumn)
            FitLastColumn();
    });

    m_pMenu = new QMenu(this);
    m_pMenu->setObjectName(QStringLiteral("recordsMenu"));
    QAction *reply = AddAction(m_pMenu, QStringLiteral("发送/回复(&S)"), QStringLiteral("发送/回复"), "actionReply");
    QAction *optOut = AddAction(m_pMenu, QStringLiteral("加入黑名单(&B)"), QStringLiteral("把这个号码加入黑名单, 群发时跳过"), "actionOptOut");
    QAction *del = AddAction(m_pMenu, QStringLiteral("永远删除这条记录(&D)"), QStringLiteral("永远删除这条记录"), "actionDelete");
    QAction *clear = AddAction(m_pMenu, QStringLiteral("清空列表(&R)"), QStringLiteral("清空列表"), "actionClear");
    m_pMenu->addSeparator();
    QMenu *go = m_pMenu->addMenu(QStringLiteral("转到(&T)"));
    go->setObjectName(QStringLiteral("recordsGoToMenu"));
    QAction *rec = AddAction(go, QStringLiteral("收信记录(&R)"), QStringLiteral("收信记录"), "actionLoadReceived");
    QAction *sent = AddAction(go, QStringLiteral("发信记录(&S)"), QStringLiteral("发信记录"), "actionLoadSent");
    go->addSeparator();
    QAction *all = AddAction(go, QStringLiteral("显示全部(&A)"), QStringLiteral("显示全部"), "actionLoadAll");
    QAction *query = AddAction(m_pMenu, QStringLiteral("查询短信记录(&F)"), QStringLiteral("查询短信记录"), "actionQuery");
    QAction *exp = AddAction(m_pMenu, QStringLiteral("导出(&E)"), QStringLiteral("导出"), "actionExport");
    QAction *resend = AddAction(m_pMenu, QStringLiteral("重发失败(&W)"), QStringLiteral("重发选中记录中发送失败的短信"),
                                "actionResendFailed");

    // A popup that no menu bar opened sends its entries' prompts to itself, a window of its
    // own, where no status bar sees them: they are handed to the list, whose main window
    // shows them, and taken away when the menu closes.
    for (QMenu *menu : {m_pMenu, go}) {
        connect(menu, &QMenu::hovered, this, [this](QAction *a) { ShowPrompt(a->statusTip()); });
        connect(menu, &QMenu::aboutToHide, this, [this] { ShowPrompt(QString()); });
    }
    connect(reply, &QAction::triggered, this, [this] { emit replyRequested(SelectionMark()); });
    connect(resend, &QAction::triggered, this, [this] {
        QVector<int> rows;
        for (const QModelIndex &i : selectionModel()->selectedRows())
            rows.append(i.row());
        emit resendFailedRequested(rows);
    });
    connect(optOut, &QAction::triggered, this, [this] { emit optOutRequested(SelectionMark()); });
    connect(query, &QAction::triggered, this, &CMyList::queryRequested);
    connect(exp, &QAction::triggered, this, &CMyList::exportRequested);
    connect(del, &QAction::triggered, this, &CMyList::DeleteSelected);
    connect(clear, &QAction::triggered, this, &CMyList::ClearRows);
    connect(rec, &QAction::triggered, this, &CMyList::LoadReceived);
    connect(sent, &QAction::triggered, this, &CMyList::LoadSent);
    connect(all, &QAction::triggered, this, &CMyList::LoadAll);
}

CMyList::~CMyList() = default;

QAction *CMyList::AddAction(QMenu *menu, const QString &text, const QString &prompt, const char *name)
{
    QAction *a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    a->setStatusTip(prompt);
    return a;
}

void CMyList::ShowPrompt(const QString &text)
{
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(this, &tip);
}

int CMyList::HeightForRows(int rows) const
{
    return horizontalHeader()->sizeHint().height() + rows * verticalHeader()->defaultSectionSize()
        + horizontalScrollBar()->sizeHint().height() + 2 * frameWidth();
}

QSize CMyList::sizeHint() const
{
    return QSize(150, 120);
}

void CMyList::InitialUpdate() { LoadAll(); }
// A view loaded anew is shown from its top, its newest rows.
void CMyList::LoadReceived()
{
    m_pModel->LoadReceived();
    scrollToTop();
}

void CMyList::LoadSent()
{
    m_pModel->LoadSent();
    scrollToTop();
}

void CMyList::LoadAll()
{
    m_pModel->LoadAll();
    scrollToTop();
}
void CMyList::ClearRows() { m_pModel->ClearRows(); }
void CMyList::AddReportRow(const SmsReport &report) { m_pModel->AddReportRow(report); }

int CMyList::SelectionMark() const
{
    // The current row alone is no mark: after a delete it moves to the row that followed,
    // which nobody selected. It counts while it is selected; else a single selected row
    // does (the current one was taken out of a selection with Ctrl).
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent()))
        return current.row();
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.constFirst().row() : -1;
}

void CMyList::DeleteSelected()
{
    DeleteRow(SelectionMark());
}

bool CMyList::DeleteRow(int row)
{
    const RecordsModel::DeleteRequest request = m_pModel->AskDelete(row);
    const IMessageBox::Answer answer = request.m_message.ShowOn(m_messages);
    if (!request.m_bValid || answer != IMessageBox::AnswerOk)
        return false;
    const RecordsModel::DeleteOutcome outcome = m_pModel->Delete(request);
    for (const OperatorMessage &m : outcome.m_messages)
        m.ShowOn(m_messages);
    return outcome.m_bDeleted;
}

void CMyList::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    FitLastColumn();
}

void CMyList::FitLastColumn()
{
    if (m_bFitting)
        return;
    m_bFitting = true;
    // The text takes the room the other columns leave (the modem's port stands after it).
    const int stretch = RecordsModel::ContentColumn;
    int others = 0;
    for (int c = 0; c < RecordsModel::ColumnCount; ++c)
        others += c == stretch ? 0 : columnWidth(c);
    setColumnWidth(stretch, std::max(m_nLastColumnWidth, viewport()->width() - others));
    m_bFitting = false;
}

void CMyList::contextMenuEvent(QContextMenuEvent *event)
{
    m_pMenu->popup(event->globalPos());
    event->accept();
}

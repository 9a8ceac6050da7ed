#include "COptOutDlg.h"

#include "base/CFileDialog.h"
#include "base/IMessageBox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// The program's one file dialog: it leaves the database's files alone.
QString ChooseFile(QWidget *parent, bool save)
{
    const QStringList filters{QStringLiteral("CSV 文件(*.csv)"), CFileDialog::AllFiles()};
    if (save)
        return CFileDialog::GetSaveFileName(parent, CFileDialog::OptOutFile, QStringLiteral("黑名单.csv"), filters,
                                            QStringLiteral("csv"));
    return CFileDialog::GetOpenFileName(parent, CFileDialog::OptOutFile, filters);
}

QPushButton *Button(QLayout *row, const QString &text, const char *name)
{
    auto *b = new QPushButton(text);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    row->addWidget(b);
    return b;
}
} // namespace

COptOutDlg::COptOutDlg(CDbAccess &db, IMessageBox &messages, QWidget *parent)
    : QDialog(parent)
    , m_logic(db)
    , m_messages(messages)
    , m_chooseFile(ChooseFile)
{
    setWindowTitle(QStringLiteral("黑名单"));
    resize(640, 460);
    auto *layout = new QVBoxLayout(this);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("筛选:")));
    m_pFilter = new QLineEdit;
    m_pFilter->setObjectName(QStringLiteral("filter"));
    m_pFilter->setPlaceholderText(QStringLiteral("号码的一部分"));
    filterRow->addWidget(m_pFilter, 1);
    layout->addLayout(filterRow);

    m_pTable = new QTableWidget(0, int(OptOutLogic::Headers().size()));
    m_pTable->setObjectName(QStringLiteral("table"));
    m_pTable->setHorizontalHeaderLabels(OptOutLogic::Headers());
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->verticalHeader()->hide();
    layout->addWidget(m_pTable, 1);
    m_pCount = new QLabel;
    m_pCount->setObjectName(QStringLiteral("count"));
    layout->addWidget(m_pCount);

    auto *addRow = new QHBoxLayout;
    m_pNumber = new QLineEdit;
    m_pNumber->setObjectName(QStringLiteral("number"));
    m_pNumber->setPlaceholderText(QStringLiteral("手机号码"));
    addRow->addWidget(m_pNumber, 1);
    QPushButton *add = Button(addRow, QStringLiteral("增加(&A)"), "add");
    QPushButton *del = Button(addRow, QStringLiteral("删除(&D)"), "delete");
    QPushButton *imp = Button(addRow, QStringLiteral("导入(&I)"), "import");
    QPushButton *exp = Button(addRow, QStringLiteral("导出(&E)"), "export");
    QPushButton *close = Button(addRow, QStringLiteral("关闭(&C)"), "close");
    layout->addLayout(addRow);

    // Each reading counts the whole list: it waits until typing pauses, or Enter.
    m_pFilterDelay = new QTimer(this);
    m_pFilterDelay->setSingleShot(true);
    m_pFilterDelay->setInterval(300);
    connect(m_pFilter, &QLineEdit::textChanged, m_pFilterDelay, qOverload<>(&QTimer::start));
    connect(m_pFilterDelay, &QTimer::timeout, this, &COptOutDlg::OnFilter);
    connect(m_pFilter, &QLineEdit::returnPressed, this, [this] {
        m_pFilterDelay->stop();
        OnFilter();
    });
    connect(m_pNumber, &QLineEdit::returnPressed, this, &COptOutDlg::OnAdd);
    connect(add, &QPushButton::clicked, this, &COptOutDlg::OnAdd);
    connect(del, &QPushButton::clicked, this, &COptOutDlg::OnDelete);
    connect(imp, &QPushButton::clicked, this, &COptOutDlg::OnImport);
    connect(exp, &QPushButton::clicked, this, &COptOutDlg::OnExport);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    if (!m_logic.Load(QString()))
        Show(m_logic.LastMessage());
    Fill();
}

void COptOutDlg::Show(const RecordsMessage &message)
{
    if (!message.m_strText.isEmpty())
        message.ShowOn(m_messages);
}

void COptOutDlg::Fill()
{
    const QVector<OptOutList::Entry> &rows = m_logic.Rows();
    m_pTable->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const OptOutList::Entry &e = rows.at(i);
        const QStringList cells{e.number, e.time, OptOutList::SourceText(e.source), e.text};
        for (int c = 0; c < cells.size(); ++c)
            m_pTable->setItem(i, c, new QTableWidgetItem(cells.at(c)));
    }
    m_pCount->setText(m_logic.CountText());
}

void COptOutDlg::AddRecordNumber(const QString &number)
{
    const RecordsMessage said = m_logic.AddRecordNumber(number);
    const QSignalBlocker quiet(m_pFilter);
    m_pFilter->setText(m_logic.Filter());
    Fill();
    Show(said);
}

void COptOutDlg::OnFilter()
{
    if (!m_logic.Load(m_pFilter->text()))
        Show(m_logic.LastMessage());
    Fill();
}

void COptOutDlg::OnAdd()
{
    const RecordsMessage said = m_logic.Add(m_pNumber->text());
    if (said.m_icon != IMessageBox::Warning && said.m_icon != IMessageBox::Critical)
        m_pNumber->clear();
    Fill();
    Show(said);
}

void COptOutDlg::OnDelete()
{
    QStringList numbers;
    for (const QModelIndex &index : m_pTable->selectionModel()->selectedRows())
        numbers.append(m_logic.Rows().value(index.row()).number);
    const RecordsMessage said = m_logic.Delete(numbers);
    Fill();
    Show(said);
}

void COptOutDlg::OnImport()
{
    const QString path = m_chooseFile(this, false);
    if (path.isEmpty())
        return;
    const RecordsMessage said = m_logic.Import(path);
    Fill();
    Show(said);
}

void COptOutDlg::OnExport()
{
    const QString path = m_chooseFile(this, true);
    if (path.isEmpty())
        return;
    Show(m_logic.Export(path));
}

#include "CPhraseDlg.h"

#include "PhraseBook.h"
#include "base/DialogButtons.h"
#include "base/IMessageBox.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CPhraseDlg::CPhraseDlg(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent)
    : QDialog(parent, Qt::Tool)
    , m_messages(messages)
    , m_db(std::move(settings))
    , m_book(std::make_unique<PhraseBook>(m_db))
    , m_pList(new QListWidget(this))
    , m_pEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("插入常用短语"));
    setObjectName(QStringLiteral("phraseDialog"));

    m_pList->setObjectName(QStringLiteral("phraseList"));
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSortingEnabled(false);
    m_pEdit->setObjectName(QStringLiteral("phraseEdit"));

    auto button = [this](const char *name, const QString &text, void (CPhraseDlg::*slot)()) {
        auto *b = NamedButton(text, name, this);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto *change = button("changeButton", QStringLiteral("修改(&S)"), &CPhraseDlg::OnChange);
    auto *remove = button("deleteButton", QStringLiteral("删除(&D)"), &CPhraseDlg::OnDelete);
    auto *add = button("addButton", QStringLiteral("增加(&A)"), &CPhraseDlg::OnAdd);
    auto *insert = new QPushButton(QStringLiteral("插入"), this);
    insert->setObjectName(QStringLiteral("insertButton"));
    insert->setDefault(true);
    connect(insert, &QPushButton::clicked, this, &QDialog::accept);
    auto *cancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(m_pList, &QListWidget::itemSelectionChanged, this, &CPhraseDlg::OnSelectionChanged);
    // A click picks the entry even when it is selected already (the first one is, at opening).
    connect(m_pList, &QListWidget::itemClicked, this, &CPhraseDlg::OnSelectionChanged);
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto *buttons = new QGridLayout;
    buttons->addWidget(change, 0, 0);
    buttons->addWidget(remove, 0, 1);
    buttons->addWidget(add, 0, 2);
    buttons->addWidget(insert, 1, 1);
    buttons->addWidget(cancel, 1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addWidget(m_pEdit);
    layout->addLayout(buttons);
    resize(360, 300);

    Fill();
}

CPhraseDlg::~CPhraseDlg() = default;

QString CPhraseDlg::Text() const
{
    return m_pEdit->text();
}

void CPhraseDlg::Fill()
{
    const QString failure = m_book->Load();
    Refill();
    ShowDatabaseTexts();
    if (!failure.isEmpty())
        m_messages.Show(failure);
    // The first entry is marked, but the field stays empty until the operator picks one.
    m_bQuiet = true;
    m_pList->setCurrentRow(0);
    m_bQuiet = false;
}

void CPhraseDlg::Refill()
{
    m_bQuiet = true;
    m_pList->clear();
    m_pList->addItems(m_book->Phrases());
    m_pList->setCurrentRow(-1);
    m_pList->clearSelection();
    m_bQuiet = false;
}

int CPhraseDlg::SelectedRow() const
{
    const QList<QListWidgetItem *> selected = m_pList->selectedItems();
    return selected.isEmpty() ? -1 : m_pList->row(selected.first());
}

void CPhraseDlg::OnSelectionChanged()
{
    if (m_bQuiet)
        return;
    const int row = SelectedRow();
    if (row >= 0)
        m_pEdit->setText(m_pList->item(row)->text());
}

void CPhraseDlg::OnChange()
{
    const int row = SelectedRow();
    if (const auto message = m_book->Change(row, m_pEdit->text())) {
        if (row >= 0) // changed; a refusal leaves the list alone
            Refill();
        message->ShowOn(m_messages);
    } else {
        ShowDatabaseTexts();
    }
}

void CPhraseDlg::OnDelete()
{
    const int row = SelectedRow();
    if (const auto message = m_book->Delete(row)) {
        if (row >= 0)
            Refill();
        message->ShowOn(m_messages);
    } else {
        ShowDatabaseTexts();
    }
}

void CPhraseDlg::OnAdd()
{
    if (const auto message = m_book->Add(m_pEdit->text())) {
        m_bQuiet = true;
        m_pList->addItem(m_book->Phrases().constLast());
        m_bQuiet = false;
        message->ShowOn(m_messages);
    } else {
        ShowDatabaseTexts();
    }
}

void CPhraseDlg::ShowDatabaseTexts()
{
    for (const QString &text : m_db.LastMessages())
        m_messages.Show(text);
}

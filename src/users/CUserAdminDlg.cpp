#include "CUserAdminDlg.h"

#include "base/DialogButtons.h"
#include "base/IMessageBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CUserAdminDlg::CUserAdminDlg(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent)
    : QDialog(parent)
    , m_messages(messages)
    , m_db(std::move(settings))
    , m_logic(m_db)
{
    setObjectName(QStringLiteral("userAdminDialog"));
    setWindowTitle(QStringLiteral("账户管理"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // No password column: the table keeps only hashes, which tell the operator nothing.
    m_pList = new QTableWidget(0, 3, this);
    m_pList->setObjectName(QStringLiteral("accountList"));
    m_pList->setHorizontalHeaderLabels({QStringLiteral("用户名"), QStringLiteral("权限"), QStringLiteral("创建时间")});
    m_pList->setColumnWidth(0, 100);
    m_pList->setColumnWidth(1, 100);
    m_pList->setColumnWidth(2, 150);
    m_pList->horizontalHeader()->setSectionsMovable(true);
    m_pList->horizontalHeader()->setStretchLastSection(true);
    m_pList->verticalHeader()->hide();
    m_pList->setShowGrid(true);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("nameEdit"));
    m_pPassword = new QLineEdit(this);
    m_pPassword->setObjectName(QStringLiteral("passwordEdit"));
    m_pPassword->setPlaceholderText(QStringLiteral("修改时留空则不改密码"));
    m_pLevel = new QComboBox(this);
    m_pLevel->setObjectName(QStringLiteral("levelCombo"));
    m_pLevel->addItem(UserAdminLogic::LevelText(UserAdminLogic::Administrator));
    m_pLevel->addItem(UserAdminLogic::LevelText(UserAdminLogic::NormalUser));
    m_pLevel->setCurrentIndex(-1);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("用户名:"), m_pName);
    form->addRow(QStringLiteral("密码:"), m_pPassword);
    form->addRow(QStringLiteral("权限:"), m_pLevel);

    m_pChange = NamedButton(QStringLiteral("修改"), "changeButton", this);
    m_pAdd = NamedButton(QStringLiteral("增加"), "addButton", this);
    m_pDelete = NamedButton(QStringLiteral("删除"), "deleteButton", this);
    auto *actions = new QVBoxLayout;
    actions->addWidget(m_pChange);
    actions->addWidget(m_pAdd);
    actions->addWidget(m_pDelete);
    actions->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addLayout(form, 1);
    middle->addLayout(actions);

    m_pOk = NamedButton(QStringLiteral("确定(&O)"), "okButton", this);
    m_pOk->setDefault(true);
    m_pCancel = NamedButton(QStringLiteral("取消(&C)"), "cancelButton", this);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_pOk);
    bottom->addWidget(m_pCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addLayout(middle);
    layout->addLayout(bottom);
    resize(420, 420);

    connect(m_pList, &QTableWidget::cellClicked, this, [this](int row, int) { OnRowClicked(row); });
    connect(m_pList, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (row >= 0)
            OnRowClicked(row);
    });
    connect(m_pAdd, &QPushButton::clicked, this, &CUserAdminDlg::OnAdd);
    connect(m_pChange, &QPushButton::clicked, this, &CUserAdminDlg::OnChange);
    connect(m_pDelete, &QPushButton::clicked, this, &CUserAdminDlg::OnDelete);
    // Every action is written at once: both buttons only close the window.
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_logic.Load().ShowOn(m_messages);
    Fill();
}

CUserAdminDlg::~CUserAdminDlg() = default;

void CUserAdminDlg::Fill()
{
    const QSignalBlocker quiet(m_pList);
    const QList<UserAdminLogic::Account> &accounts = m_logic.Accounts();
    m_pList->setRowCount(int(accounts.size()));
    for (int row = 0; row < accounts.size(); ++row) {
        const UserAdminLogic::Account &a = accounts.at(row);
        const QString texts[] = {a.m_strName, a.LevelText(), a.m_strCreated};
        for (int column = 0; column < 3; ++column)
            m_pList->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    if (m_nMarked >= m_pList->rowCount())
        m_nMarked = -1;
    if (m_nMarked >= 0)
        m_pList->selectRow(m_nMarked);
    else
        m_pList->clearSelection();
}

void CUserAdminDlg::OnRowClicked(int row)
{
    if (row < 0 || row >= m_logic.Accounts().size())
        return;
    m_nMarked = row;
    m_logic.Mark(row);
    m_pName->setText(m_logic.m_strName);
    m_pPassword->clear();
    m_pLevel->setCurrentIndex(m_logic.m_nLevel);
}

void CUserAdminDlg::TakeForm()
{
    m_logic.m_strName = m_pName->text();
    m_logic.m_strPassword = m_pPassword->text();
    m_logic.m_nLevel = m_pLevel->currentIndex();
}

void CUserAdminDlg::OnAdd()
{
    TakeForm();
    const AccountMessage r = m_logic.Add();
    if (r.m_bOk)
        Fill();
    r.ShowOn(m_messages);
}

void CUserAdminDlg::OnChange()
{
    TakeForm();
    const AccountMessage r = m_logic.Change(m_nMarked);
    if (r.m_bOk)
        Fill();
    r.ShowOn(m_messages);
}

void CUserAdminDlg::OnDelete()
{
    const AccountMessage ask = m_logic.AskDelete(m_nMarked);
    if (!ask.m_bOk) {
        ask.ShowOn(m_messages);
        return;
    }
    if (ask.ShowOn(m_messages) != IMessageBox::AnswerOk)
        return;
    const AccountMessage r = m_logic.Delete(m_nMarked);
    if (r.m_bOk) {
        m_nMarked = -1;
        Fill();
    }
    r.ShowOn(m_messages);
}

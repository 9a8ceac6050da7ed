#include "CPasswordChangeDlg.h"

#include "PasswordChangeLogic.h"
#include "base/IMessageBox.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPasswordChangeDlg::CPasswordChangeDlg(CDbAccess &db, IMessageBox &messages, const QString &user, QWidget *parent)
    : QDialog(parent)
    , m_db(db)
    , m_messages(messages)
    , m_strCurrentUser(user)
    , m_strUserName(user)
{
    setObjectName(QStringLiteral("passwordChangeDialog"));
    setWindowTitle(QStringLiteral("一般用户修改密码"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto edit = [this](const char *name, bool masked) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        if (masked)
            e->setEchoMode(QLineEdit::Password);
        return e;
    };
    m_pName = edit("nameEdit", false);
    m_pName->setText(user);
    m_pPassword = edit("passwordEdit", true);
    m_pRepeat = edit("repeatEdit", true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("用户名:"), m_pName);
    form->addRow(QStringLiteral("新密码:"), m_pPassword);
    form->addRow(QStringLiteral("再次输入新密码:"), m_pRepeat);

    m_pOk = new QPushButton(QStringLiteral("确定(&O)"), this);
    m_pOk->setObjectName(QStringLiteral("okButton"));
    m_pOk->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    m_pCancel->setObjectName(QStringLiteral("cancelButton"));
    m_pCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_pOk, &QPushButton::clicked, this, &CPasswordChangeDlg::OnOk);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    m_pPassword->setFocus();
}

void CPasswordChangeDlg::OnOk()
{
    PasswordChangeLogic logic;
    logic.m_strName = m_pName->text();
    logic.m_strPassword = m_pPassword->text();
    logic.m_strRepeat = m_pRepeat->text();
    const AccountMessage r = logic.Apply(m_db, m_strCurrentUser);
    r.ShowOn(m_messages);
    if (r.m_bOk) {
        m_strUserName = logic.m_strName;
        accept();
    } else if (!logic.m_bKeepOpen) {
        // The database failed or the account is gone: the window has nothing more to offer.
        reject();
    }
}

#include "CLoginDlg.h"

#include "base/CSettingsFile.h"
#include "base/IMessageBox.h"
#include "base/SqlSettings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kFoldedCaption = QStringLiteral("设置↓");
const QString kUnfoldedCaption = QStringLiteral("设置↑");

QPixmap Banner()
{
    QPixmap pm(380, 64);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, pm.width(), 0);
    g.setColorAt(0, QColor(0x1f, 0x4e, 0x9c));
    g.setColorAt(1, QColor(0x4f, 0x9f, 0xe0));
    p.fillRect(pm.rect(), g);
    // A small phone with a speech bubble.
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(18, 10, 24, 44), 4, 4);
    p.drawLine(QPointF(26, 48), QPointF(34, 48));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(46, 8, 26, 16), 5, 5);
    QFont f = p.font();
    f.setPointSize(18);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(86, 0, 290, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Skevo"));
    f.setPointSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRectF(86, 36, 290, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("短信群发与收发管理"));
    return pm;
}

QLineEdit *Edit(const char *name, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}
} // namespace

CLoginDlg::CLoginDlg(CSettingsFile &settings, CDbAccess &db, QString &user, bool &admin, IMessageBox &messages,
                     QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_db(db)
    , m_strUser(user)
    , m_bAdmin(admin)
    , m_messages(messages)
{
    setObjectName(QStringLiteral("loginDialog"));
    setWindowTitle(QStringLiteral("登录"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setPixmap(Banner());

    m_pName = Edit("nameEdit", this);
    m_pPassword = Edit("passwordEdit", this);
    m_pPassword->setEchoMode(QLineEdit::Password);
    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("用户名:"), m_pName);
    fields->addRow(QStringLiteral("密码:"), m_pPassword);

    m_pLogin = new QPushButton(QStringLiteral("登录(&O)"), this);
    m_pLogin->setObjectName(QStringLiteral("loginButton"));
    m_pLogin->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    m_pCancel->setObjectName(QStringLiteral("cancelButton"));
    m_pCancel->setAutoDefault(false);
    m_pFold = new QPushButton(kFoldedCaption, this);
    m_pFold->setObjectName(QStringLiteral("foldButton"));
    m_pFold->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pFold);
    buttons->addStretch();
    buttons->addWidget(m_pLogin);
    buttons->addWidget(m_pCancel);

    auto *hint = new QLabel(LoginLogic::FirstAdministratorHint(), this);
    hint->setObjectName(QStringLiteral("hintLabel"));

    auto *separator = new QFrame(this);
    separator->setObjectName(QStringLiteral("separator"));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    m_pPanel = new QGroupBox(QStringLiteral("SQL数据库设置"), this);
    m_pPanel->setObjectName(QStringLiteral("sqlGroup"));
    m_pDriver = new QComboBox(m_pPanel);
    m_pDriver->setObjectName(QStringLiteral("driverCombo"));
    m_pDriver->addItem(QStringLiteral("SQLite (本机文件)"), QStringLiteral("sqlite"));
    m_pDriver->addItem(QStringLiteral("PostgreSQL"), QStringLiteral("postgres"));
    m_pHost = Edit("hostEdit", m_pPanel);
    m_pPort = Edit("portEdit", m_pPanel);
    m_pSqlUser = Edit("sqlUserEdit", m_pPanel);
    m_pSqlPsw = Edit("sqlPasswordEdit", m_pPanel);
    m_pData = Edit("dataEdit", m_pPanel);
    auto *panelFields = new QFormLayout;
    panelFields->addRow(QStringLiteral("数据库类型:"), m_pDriver);
    panelFields->addRow(QStringLiteral("主机名:"), m_pHost);
    panelFields->addRow(QStringLiteral("端口:"), m_pPort);
    panelFields->addRow(QStringLiteral("SQL用户名:"), m_pSqlUser);
    panelFields->addRow(QStringLiteral("密码:"), m_pSqlPsw);
    panelFields->addRow(QStringLiteral("数据库名:"), m_pData);
    m_pSave = new QPushButton(QStringLiteral("保存修改(&S)"), m_pPanel);
    m_pSave->setObjectName(QStringLiteral("saveButton"));
    m_pSave->setAutoDefault(false);
    auto *saveRow = new QHBoxLayout;
    auto *takesEffect = new QLabel(QStringLiteral("SQL设置修改保存后生效："), m_pPanel);
    takesEffect->setObjectName(QStringLiteral("takesEffectLabel"));
    saveRow->addWidget(takesEffect);
    saveRow->addStretch();
    saveRow->addWidget(m_pSave);
    auto *panelLayout = new QVBoxLayout(m_pPanel);
    panelLayout->addLayout(panelFields);
    panelLayout->addLayout(saveRow);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(banner);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(hint);
    layout->addWidget(separator);
    layout->addWidget(m_pPanel);
    m_pPanel->setVisible(false);

    const SqlSettings s = SqlSettings::Read(m_settings);
    m_pDriver->setCurrentIndex(qMax(0, m_pDriver->findData(s.m_strDriver)));
    m_pHost->setText(s.m_strHost);
    m_pPort->setText(s.m_strPort);
    m_pSqlUser->setText(s.m_strUser);
    m_pSqlPsw->setText(s.m_strPsw);
    m_pData->setText(s.m_strData);

    connect(m_pLogin, &QPushButton::clicked, this, &CLoginDlg::OnLogin);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pFold, &QPushButton::clicked, this, &CLoginDlg::OnFold);
    connect(m_pSave, &QPushButton::clicked, this, &CLoginDlg::OnSave);
    m_pName->setFocus();
}

bool CLoginDlg::IsUnfolded() const
{
    return m_pFold->text() == kUnfoldedCaption;
}

void CLoginDlg::OnLogin()
{
    LoginLogic logic;
    logic.m_strName = m_pName->text();
    logic.m_strPassword = m_pPassword->text();
    const LoginLogic::Result r = logic.Login(m_db);
    for (const QString &text : r.m_databaseTexts)
        m_messages.Show(text);
    if (r.m_bOk) {
        m_strUser = logic.m_strUserFound;
        m_bAdmin = logic.m_bAdminFound;
        accept();
        return;
    }
    if (!r.m_strMessage.isEmpty())
        m_messages.Show(r.m_strMessage, QString(), r.m_icon);
}

void CLoginDlg::OnFold()
{
    const bool unfold = !IsUnfolded();
    m_pFold->setText(unfold ? kUnfoldedCaption : kFoldedCaption);
    m_pPanel->setVisible(unfold);
}

void CLoginDlg::OnSave()
{
    SqlSettings s;
    s.m_strDriver = m_pDriver->currentData().toString();
    s.m_strHost = m_pHost->text();
    s.m_strPort = m_pPort->text();
    s.m_strUser = m_pSqlUser->text();
    s.m_strPsw = m_pSqlPsw->text();
    s.m_strData = m_pData->text();
    const LoginLogic::Result r = LoginLogic::SaveSqlSettings(m_settings, s);
    m_messages.Show(r.m_strMessage, QString(), r.m_icon);
}

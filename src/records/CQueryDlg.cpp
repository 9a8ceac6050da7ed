#include "CQueryDlg.h"

#include "RecordsModel.h"
#include "base/IMessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QVBoxLayout>

#include <utility>

namespace {
template <typename W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

CQueryDlg::CQueryDlg(RecordsModel &list, IMessageBox &messages, QWidget *parent)
    : QDialog(parent)
    , m_list(list)
    , m_messages(messages)
{
    setObjectName(QStringLiteral("queryDialog"));
    setWindowTitle(QStringLiteral("短信收发日志查询"));
    setModal(false);

    m_pSent = Named(new QRadioButton(QStringLiteral("发信记录查询"), this), "radioSent");
    m_pReceived = Named(new QRadioButton(QStringLiteral("收信记录查询"), this), "radioReceived");
    auto *group = new QButtonGroup(this);
    group->addButton(m_pSent, RecordQuery::Sent);
    group->addButton(m_pReceived, RecordQuery::Received);
    m_pSent->setChecked(true);

    m_pNumberBox = Named(new QCheckBox(QStringLiteral("对方号码:"), this), "checkNumber");
    m_pNumber = Named(new QLineEdit(this), "editNumber");
    m_pNumber->setMaxLength(RecordQuery::kMaxNumberInput);
    m_pDayBox = Named(new QCheckBox(QStringLiteral("发送时间:"), this), "checkDay");
    m_pDay = Named(new QDateEdit(QDate::currentDate(), this), "dateDay");
    m_pDay->setCalendarPopup(true);
    m_pDay->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_pTextBox = Named(new QCheckBox(QStringLiteral("内容:"), this), "checkText");
    m_pText = Named(new QLineEdit(this), "editText");
    m_pOrderBox = Named(new QCheckBox(QStringLiteral("订单号:"), this), "checkOrder");
    m_pOrder = Named(new QLineEdit(this), "editOrder");
    m_pOrder->setMaxLength(RecordQuery::kMaxOrderInput);
    m_pSucceeded = Named(new QCheckBox(QStringLiteral("发送状态:成功"), this), "checkSucceeded");
    m_pSucceeded->setChecked(true);
    m_pReportBox = Named(new QCheckBox(QStringLiteral("回执:"), this), "checkReport");
    m_pReport = Named(new QComboBox(this), "comboReport");
    for (const int state : {SqlCatalogue::kReportDelivered, SqlCatalogue::kReportFailed, SqlCatalogue::kReportWaiting})
        m_pReport->addItem(ReportText::Delivery(state), state);
    m_pModemBox = Named(new QCheckBox(QStringLiteral("短信猫:"), this), "checkModem");
    m_pModem = Named(new QLineEdit(this), "editModem");
    m_pModem->setPlaceholderText(QStringLiteral("端口, 或SIM卡号(IMSI)的末4位以上"));
    m_pModem->setMaxLength(64);
    m_pRun = Named(new QPushButton(QStringLiteral("查询(&S)"), this), "buttonQuery");
    m_pRun->setDefault(true);
    m_pRun->setAutoDefault(true);

    auto *tables = new QHBoxLayout;
    tables->addWidget(m_pSent);
    tables->addWidget(m_pReceived);
    tables->addStretch(1);
    auto *grid = new QGridLayout;
    int row = 0;
    const std::pair<QWidget *, QWidget *> fields[] = {
        {m_pNumberBox, m_pNumber}, {m_pDayBox, m_pDay}, {m_pTextBox, m_pText}, {m_pOrderBox, m_pOrder},
        {m_pReportBox, m_pReport}, {m_pModemBox, m_pModem}};
    for (const auto &[box, field] : fields) {
        grid->addWidget(box, row, 0);
        grid->addWidget(field, row++, 1);
    }
    grid->addWidget(m_pSucceeded, row, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pRun);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(tables);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            OnTableChosen();
    });
    connect(m_pRun, &QPushButton::clicked, this, &CQueryDlg::RunQuery);
}

// Disabling keeps a box's tick: switching back finds it as it was.
void CQueryDlg::OnTableChosen()
{
    const bool sent = m_pSent->isChecked();
    m_pSucceeded->setEnabled(sent);
    m_pOrderBox->setEnabled(sent);
    m_pOrder->setEnabled(sent);
    m_pReportBox->setEnabled(sent);
    m_pReport->setEnabled(sent);
    m_pDayBox->setText(sent ? QStringLiteral("发送时间") : QStringLiteral("接收时间"));
}

RecordQuery CQueryDlg::Inputs() const
{
    RecordQuery q;
    q.m_nTable = m_pSent->isChecked() ? RecordQuery::Sent : RecordQuery::Received;
    q.m_bNumber = m_pNumberBox->isChecked();
    q.m_strNumber = m_pNumber->text();
    q.m_bDay = m_pDayBox->isChecked();
    q.m_day = m_pDay->date();
    q.m_bText = m_pTextBox->isChecked();
    q.m_strText = m_pText->text();
    q.m_bOrder = m_pOrderBox->isChecked();
    q.m_strOrder = m_pOrder->text();
    q.m_bSucceeded = m_pSucceeded->isChecked();
    q.m_bReport = m_pReportBox->isChecked();
    q.m_nReport = m_pReport->currentData().toInt();
    q.m_bModem = m_pModemBox->isChecked();
    q.m_strModem = m_pModem->text();
    return q;
}

void CQueryDlg::RunQuery()
{
    const RecordQuery::Built built = Inputs().Build();
    if (built.m_message) {
        built.m_message->ShowOn(m_messages);
        return;
    }
    m_list.LoadQuery(built);
    emit queryLoaded();
}

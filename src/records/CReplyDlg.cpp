#include "CReplyDlg.h"

#include "base/IMessageBox.h"
#include "base/MessageText.h"
#include "base/TextTemplate.h"
#include "db/PhoneBookIndex.h"
#include "outbox/IOutbox.h"
#include "outbox/OptOutList.h"
#include "sms/PduCodec.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

CReplyDlg::CReplyDlg(const ReplyLogic &logic, Services services, QWidget *parent)
    : QDialog(parent)
    , m_logic(logic)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("replyDialog"));
    setWindowTitle(m_logic.Title());

    auto *time = new QLineEdit(m_logic.m_strTime, this);
    time->setObjectName(QStringLiteral("editTime"));
    time->setReadOnly(true);
    auto *number = new QLineEdit(m_logic.m_strNumber, this);
    number->setObjectName(QStringLiteral("editNumber"));
    number->setReadOnly(true);
    auto *original = new QPlainTextEdit(m_logic.m_strOriginal, this);
    original->setObjectName(QStringLiteral("editOriginal"));
    original->setReadOnly(true);
    original->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pReply = new QPlainTextEdit(this);
    m_pReply->setObjectName(QStringLiteral("editReply"));
    m_pReply->setTabChangesFocus(true);
    m_pReply->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pCount = new QLabel(MessageText::CountCaption(0, 0), this);
    m_pCount->setObjectName(QStringLiteral("labelCount"));
    auto *send = new QPushButton(QStringLiteral("发送(&S)"), this);
    send->setObjectName(QStringLiteral("buttonSend"));
    send->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cancel->setObjectName(QStringLiteral("buttonCancel"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("时间:"), this), 0, 0);
    grid->addWidget(time, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("电话号码:"), this), 0, 2);
    grid->addWidget(number, 0, 3);
    grid->addWidget(original, 1, 0, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("发送/回复短信内容:"), this), 2, 0, 1, 4);
    grid->addWidget(m_pReply, 3, 0, 1, 4);
    m_pPreview = new QLabel(this);
    m_pPreview->setObjectName(QStringLiteral("labelPreview"));
    m_pPreview->setWordWrap(true);
    m_pPreview->setTextFormat(Qt::PlainText);
    m_pPreview->hide();
    grid->addWidget(m_pPreview, 4, 0, 1, 4);
    auto *from = new QLabel(m_logic.FromText(), this);
    from->setObjectName(QStringLiteral("labelFrom"));
    from->setTextFormat(Qt::PlainText);
    from->setWordWrap(true);
    grid->addWidget(from, 5, 0, 1, 4);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("字数:"), this));
    bottom->addWidget(m_pCount);
    bottom->addStretch(1);
    bottom->addWidget(send);
    bottom->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    resize(460, 320);

    connect(m_pReply, &QPlainTextEdit::textChanged, this, &CReplyDlg::OnTextChanged);
    connect(send, &QPushButton::clicked, this, &CReplyDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CReplyDlg::reject);
}

// The field holds at most 140 bytes (MessageText): a change that would go beyond is taken back whole.
void CReplyDlg::OnTextChanged()
{
    const QString text = m_pReply->toPlainText();
    if (MessageText::ByteCount(text) > MessageText::kMaxBytes) {
        const int caret = m_pReply->textCursor().position();
        const int over = int(text.size() - m_strAccepted.size());
        const QSignalBlocker block(m_pReply);
        m_pReply->setPlainText(m_strAccepted);
        QTextCursor c = m_pReply->textCursor();
        c.setPosition(std::clamp(caret - over, 0, int(m_strAccepted.size())));
        m_pReply->setTextCursor(c);
    } else {
        m_strAccepted = text;
    }
    // A reply with fields is counted, and shown, as it goes out.
    m_logic.m_strReply = m_strAccepted;
    const QString filled = m_logic.Filled();
    m_pCount->setText(MessageText::CountCaption(MessageText::ByteCount(filled), Pdu::MessageCount(filled)));
    const bool personal = !TextTemplate(m_strAccepted).IsPlain();
    m_pPreview->setText(personal ? QStringLiteral("预览: ") + filled : QString());
    m_pPreview->setVisible(personal);
}

void CReplyDlg::SetBook(const BookIndex &book)
{
    m_logic.m_book = book;
    OnTextChanged();
}

void CReplyDlg::accept()
{
    m_logic.m_strReply = m_pReply->toPlainText();
    if (const std::optional<RecordsMessage> failed = m_logic.Validate(m_services.m_engine.CanSend())) {
        failed->ShowOn(m_services.m_messages);
        if (!ReplyLogic::KeepsDialogOpen(*failed))
            reject();
        return;
    }
    // The recipient asked for no more bulk messages; the operator may still answer.
    if (m_services.m_listed && m_services.m_listed(m_logic.m_strNumber)
        && OptOutList::ReplyQuestion().ShowOn(m_services.m_messages) != IMessageBox::AnswerYes)
        return;
    if (m_services.m_progressStart)
        m_services.m_progressStart();
    IOutbox::Options options;
    options.kind = IOutbox::RunKind::Reply;
    options.wantSim = m_logic.m_strSim;
    m_services.m_engine.Enqueue(QVector<SmsRecord>{m_logic.Record(m_services.m_smsc ? m_services.m_smsc() : QString())},
                                options);
    QDialog::accept();
}

void CReplyDlg::ReplyToRow(RecordsModel &list, int row, Services services, QWidget *parent)
{
    if (row < 0 || row >= list.rowCount()) {
        ReplyLogic::NoSelection().ShowOn(services.m_messages);
        return;
    }
    if (!services.m_listed) {
        services.m_listed = [&db = list.Db()](const QString &number) {
            OptOutList optOut(db);
            return optOut.IsListed(number);
        };
    }
    CReplyDlg dialog(ReplyLogic::FromRow(list.Row(row)), std::move(services), parent);
    // Without the book a name stays empty, which the preview shows before anything is sent.
    BookIndex book;
    QString error;
    if (PhoneBookIndex::Read(list.Db(), &book, &error))
        dialog.SetBook(book);
    dialog.exec();
}

#pragma once
// The send and reply dialog: a row of the records list answered (a received message) or sent
// again (a sent one), to the same number. Confirming hands exactly one message to the engine.
#include "ReplyLogic.h"

#include <QDialog>
#include <functional>

class IOutbox;
class IMessageBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CReplyDlg : public QDialog
{
    Q_OBJECT
public:
    struct Services
    {
        IOutbox &m_engine;
        IMessageBox &m_messages;
        std::function<QString()> m_smsc;      // the configured service centre, read when confirming
        std::function<void()> m_progressStart; // called before the message is queued; may be empty
        // Whether the number is on the opt-out list: a reply to it asks first. Empty: none is.
        std::function<bool(const QString &number)> m_listed;
    };

    CReplyDlg(const ReplyLogic &logic, Services services, QWidget *parent = nullptr);

    // The popup command "发送/回复(&S)" on a row of the list (-1: no selection mark). The
    // phone book is read from the list's database, for a reply with fields, and the opt-out
    // list asked there unless services say otherwise.
    static void ReplyToRow(RecordsModel &list, int row, Services services, QWidget *parent);
    // The phone book that fills {名字} and {关系}.
    void SetBook(const BookIndex &book);

    const ReplyLogic &Logic() const { return m_logic; }
    // "发送(&S)": the checks, then the message.
    void accept() override;

private:
    void OnTextChanged();

    ReplyLogic m_logic;
    Services m_services;
    QPlainTextEdit *m_pReply = nullptr;
    QLabel *m_pCount = nullptr;
    QLabel *m_pPreview = nullptr; // the reply filled in, when it has fields
    QString m_strAccepted; // the reply within the limit, before the last change
};

#pragma once
#include <QString>
#include <QMetaType>

// One message of the modem link, copied by value through the engine's queues.
struct SmsRecord
{
    QString m_strSCA;   // service centre, digits without "+" ("" when the PDU carries none)
    QString m_strTPA;   // destination (outgoing) or originating (received) number / alphanumeric text
    quint8 m_nPID = 0;
    quint8 m_nDCS = 8;  // 8 = UCS2; MakeRecord chooses 0 (7-bit) for a text of the GSM alphabet
    QString m_strSCTS;  // received only: 14 digits YYMMDDhhmmsszz as the PDU holds them
    QString m_strUD;    // message text
    qint32 m_nID = -1;  // order identifier, -1 for a message of no order
};

// The direction and result texts of a report, as the records list shows them.
namespace ReportText {
inline const QString kSend = QStringLiteral("发送");
inline const QString kReceive = QStringLiteral("接收");
inline const QString kSuccess = QStringLiteral("成功");
inline const QString kFailure = QStringLiteral("失败");
} // namespace ReportText

// What the worker tells the main window about one sent or received message.
struct SmsReport
{
    enum Direction { Sent, Received };

    // The direction and the text the records list shows for it, set together.
    void SetDirection(Direction direction)
    {
        m_direction = direction;
        m_strDirection = direction == Received ? ReportText::kReceive : ReportText::kSend;
    }
    bool IsArrival() const { return m_direction == Received; }

    QString m_strTime;      // "%Y-%m-%d %H:%M:%S"
    QString m_strNumber;
    QString m_strDirection; // "发送" or "接收", for display only
    QString m_strResult;    // "成功" or "失败"
    QString m_strContent;
    qint64 m_nRecordNo = 0; // D_NO of its journal row; 0 while the row is not written
    Direction m_direction = Sent;
};

Q_DECLARE_METATYPE(SmsRecord)
Q_DECLARE_METATYPE(SmsReport)

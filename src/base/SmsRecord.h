#pragma once
#include <QString>
#include <QMetaType>

// One message of the modem link, copied by value through the engine's queues.
struct SmsRecord
{
    QString m_strSCA;   // service centre, digits without "+" ("" when the PDU carries none)
    QString m_strTPA;   // destination (outgoing) or originating (received) number / alphanumeric text
    quint8 m_nPID = 0;
    quint8 m_nDCS = 8;  // 8 = UCS2; Pdu::MakeRecord chooses 0 (7-bit) for a text of the GSM alphabet
    QString m_strSCTS;  // received only: 14 digits YYMMDDhhmmsszz as the PDU holds them
    QString m_strUD;    // message text
    qint32 m_nID = -1;  // order identifier, -1 for a message of no order
};

// What the engine tells the main window about one message: a send attempt that ended, an
// arrival, or (later) a change of a sent message's delivery. The engine says what happened;
// the words the operator reads are made where they are shown (ReportText).
struct SmsReport
{
    enum Kind { Sent, Received, DeliveryChanged };
    enum class Outcome { Success, Failure };

    bool IsArrival() const { return m_kind == Received; }
    bool IsSuccess() const { return m_outcome == Outcome::Success; }

    Kind m_kind = Sent;
    Outcome m_outcome = Outcome::Success;
    QString m_strTime;      // "%Y-%m-%d %H:%M:%S"
    QString m_strNumber;
    QString m_strContent;
    QString m_strPort;      // the modem's port (as configured, e.g. "COM1"); "" when not known
    QString m_strSim;       // its SIM (IMSI); "" when not known
    qint64 m_nRecordNo = 0; // D_NO of its journal row; 0 while the row is not written
    // Delivery of a sent message: 0 no report asked for, 1 waiting, 2 delivered, 3 not
    // delivered (the journal's D_REPORT). DeliveryChanged: the new state, of row m_nRecordNo.
    int m_nDelivery = 0;
};

// The direction and result texts of a report, as the records list shows them.
namespace ReportText {
inline const QString kSend = QStringLiteral("发送");
inline const QString kReceive = QStringLiteral("接收");
inline const QString kSuccess = QStringLiteral("成功");
inline const QString kFailure = QStringLiteral("失败");
// "接收" for an arrival, "发送" for anything about a sent message.
inline QString Direction(SmsReport::Kind kind)
{
    return kind == SmsReport::Received ? kReceive : kSend;
}
inline QString Result(SmsReport::Outcome outcome)
{
    return outcome == SmsReport::Outcome::Success ? kSuccess : kFailure;
}
// The records list's 回执 column: "" when no report was asked for.
inline QString Delivery(int state)
{
    switch (state) {
    case 1: return QStringLiteral("等待回执");
    case 2: return QStringLiteral("已送达");
    case 3: return QStringLiteral("未送达");
    }
    return QString();
}
// The records list's and the export's modem: the port as it was, and the last four digits of
// its SIM's IMSI when known ("/dev/ttyUSB0 SIM…7890"), which stay when USB devices are
// renumbered or the SIM moves to another modem.
inline QString Modem(const QString &port, const QString &sim)
{
    if (sim.isEmpty())
        return port;
    const QString tail = QStringLiteral("SIM…") + sim.right(4);
    return port.isEmpty() ? tail : port + QLatin1Char(' ') + tail;
}
inline QString Direction(const SmsReport &r) { return Direction(r.m_kind); }
inline QString Result(const SmsReport &r) { return Result(r.m_outcome); }
} // namespace ReportText

Q_DECLARE_METATYPE(SmsRecord)
Q_DECLARE_METATYPE(SmsReport)

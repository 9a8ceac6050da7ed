#pragma once
// What the tray tells of the modems, without the tray: its tooltip (whether messages can go,
// then each modem's state) and which changes deserve a notification. A modem lost, a SIM that
// waits for the operator (its PIN, its PUK, no SIM) and, in a pool, every modem waiting at once
// are told once each: a worker that tries again and again, and reports the same trouble at
// every try, gives no second notice until the modem has been ready in between.
#include "LinkStatus.h"

#include <QMap>
#include <QString>
#include <QVector>
#include <optional>

class LinkNotices
{
public:
    struct Notice
    {
        QString title;
        QString text; // one line a change
        bool operator==(const Notice &) const = default;
    };

    // "电脑与短信猫未连接" with no modem; else "电脑与短信猫已连接" (or, when none can send,
    // "短信猫都未就绪, 暂时不能发送") and a line a modem: "<name>: <state>".
    static QString TipText(const QVector<LinkStatus::ModemLine> &modems);

    // The modems as they are now (the connected ones, in the order of the list); the notice
    // their changes since the last call deserve, nullopt for none.
    std::optional<Notice> Update(const QVector<LinkStatus::ModemLine> &modems);
    // After a disconnect: the next connect starts with nothing told.
    void Reset();

private:
    QMap<QString, ModemReadiness> m_told; // by port: the trouble told, until the modem is ready
    bool m_bServed = false;               // a modem has been ready since the connect
    bool m_bAllWaitingTold = false;
};

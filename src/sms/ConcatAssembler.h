#pragma once
// Gathers the parts of concatenated short messages (3GPP TS 23.040 9.2.3.24.1/.8) until a
// message is whole. Parts are matched by originating number, reference and part count;
// each part remembers where the modem stores it, so that the stored copies are deleted
// only once the whole message has been journalled.
#include "base/SmsRecord.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <map>
#include <optional>
#include <tuple>

class ConcatAssembler
{
public:
    struct Whole
    {
        SmsRecord record;       // joined text; number, time stamp and the rest from the first part
        QVector<int> indexes;   // storage indexes of every part and repeated part (-1 left out)
        bool complete = true;   // false when given up on after too long
        QStringList pdus;       // the parts' PDUs as the modem gave them, in part order
    };

    // Adds one part (1-based number of count). Returns the message when it is complete.
    std::optional<Whole> Add(int ref, int part, int count, const SmsRecord &record, int index, qint64 nowMs,
                             const QString &pdu = QString());
    // Messages whose first part came more than maxAgeMs ago, joined from the parts there are.
    QVector<Whole> TakeExpired(qint64 nowMs, qint64 maxAgeMs);

    bool HoldsIndex(int index) const;
    void ForgetIndex(int index);
    int PendingCount() const { return int(m_sets.size()); }

private:
    struct Set
    {
        int count = 0;
        qint64 firstSeenMs = 0;
        std::map<int, SmsRecord> parts;   // by part number
        std::map<int, QString> pdus;      // by part number
        QVector<int> indexes;
    };
    using Key = std::tuple<QString, int, int>; // number, reference, count
    static Whole Join(const Set &set, bool complete);

    std::map<Key, Set> m_sets;
};

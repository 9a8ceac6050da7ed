#pragma once
// The receiving job of one modem's worker: what the modem announces (+CMTI, +CDSI) or hands
// over (+CMT, +CDS), what it stores (listed now and then, SM and ME both), read, decoded,
// joined when it comes in parts, handed to the desk, and deleted from the modem once the desk
// has journalled it (TS 27.005 3.4.2, 3.4.3, 3.5.4). An arrival whose delete went unanswered is
// never simply deleted again: the modem gives a freed place to the next arrival.
#include "WorkerContext.h"

#include <QStringList>
#include <deque>
#include <map>

class StoredMessages
{
public:
    explicit StoredMessages(WorkerContext &context);

    // The storages the set-up found (TS 27.005 3.2.2 <mem1>); empty: the modem's own choice.
    void SetStorages(const QStringList &storages);
    // A notice that names a place (+CMTI, +CDSI), or a message handed over (+CMT, +CDS).
    void Notice(const AtResponseParser::Notice &notice);
    // Reads the next place a notice named; false when none is waiting.
    bool ReadNext();
    // Lists every storage and handles what is there.
    void List();
    // Deletes the places of rows the desk has written since the last call.
    void DeleteWritten();
    // A delete that went unanswered: the storage is listed again once its time has come.
    void RetryDeletes();
    // A concatenated message whose other parts never came is journalled with what came.
    void GiveUpIncomplete();
    // When the next of these is due (steady clock); nowMs + limit when none is.
    qint64 NextDueMs(qint64 nowMs, qint64 limit) const;

private:
    int Place(const QString &memory, int index);
    bool SelectStorage(const QString &memory);
    void Read(int place);
    void Handle(int place, const QString &pdu);
    void Deliver(const SmsRecord &record, const QVector<int> &places, const QStringList &pdus);
    void HandleStatusReport(int place, const QString &pdu);
    void Delete(int place);

    WorkerContext &m_ctx;
    QStringList m_storages;             // as the set-up found them
    QString m_strSelected;              // the storage AT+CPMS selected last; "" not known
    std::deque<int> m_pendingPlaces;    // announced, not read yet
    std::map<int, QString> m_badPlaces; // undecodable: left alone until their content changes
    qint64 m_nNextDeleteMs = 0;
};

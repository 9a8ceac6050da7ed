#pragma once
// What one modem's worker keeps over a disconnect and a connect: parts of concatenated
// arrivals, the storage places they stand in, the arrivals handled but not yet deleted from
// the modem, the next concatenation reference, a PIN the SIM refused and the status last seen.
// It belongs to the modem's port; the worker uses it while it runs.
#include "ModemStatus.h"
#include "at/AtResponseParser.h"
#include "sms/ConcatAssembler.h"

#include <QString>
#include <QVector>
#include <map>
#include <utility>

// Places in the modem's storages (TS 27.005 <mem>, <index>), numbered once for the life of
// the port: the desk and the assembler know an arrival's places by these numbers.
class StoragePlaces
{
public:
    int Id(const QString &memory, int index);
    QString Memory(int id) const { return m_places.value(id).first; }
    int Index(int id) const { return m_places.value(id).second; }

private:
    QVector<std::pair<QString, int>> m_places;
};

struct WorkerState
{
    struct Stored
    {
        QString pdu;
        bool written = false; // journalled; only the delete is left to do
    };
    ConcatAssembler assembler;
    StoragePlaces places;
    std::map<int, Stored> stored; // place -> an arrival already handled, still in the modem
    QVector<AtResponseParser::Notice> notices; // seen during a handshake run before the worker
    quint8 concatRef = 0;
    QString refusedPin; // refused while this port lived: never entered again by it
    ModemStatus status;
};

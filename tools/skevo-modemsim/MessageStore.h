#pragma once
// A message memory of the simulated modem ("SM" on the SIM, "ME" in the phone): numbered
// places, each holding one PDU with its TS 27.005 3.1 <stat> (0 received unread, 1 received
// read). Called with the simulator's mutex held.
#include "ModemSimulator.h"

#include <QVector>
#include <optional>

class MessageStore
{
public:
    using Message = ModemSimulator::Stored;

    int Capacity() const { return int(m_places.size()); }
    // Never below the highest place in use.
    void SetCapacity(int count);
    int Used() const;
    // The place the PDU went to (1-based), nullopt when every place is taken.
    std::optional<int> Put(const QString &pdu);
    // The message at index, nullptr when the place is empty or does not exist.
    Message *At(int index);
    // False when the place does not exist.
    bool Delete(int index);
    // TS 27.005 3.5.4 <delflag> 1..3: every read message; 4: every message.
    void DeleteMany(int flag);
    // The messages of the given <stat> (4: all), in place order; unread ones become read.
    QVector<Message> List(int stat);
    QVector<Message> Held() const;

private:
    QVector<std::optional<Message>> m_places = QVector<std::optional<Message>>(50);
};

// The memories of the modem (TS 27.005 3.2.2): "SM" always, "ME" when it has a phone storage;
// <mem1>, where messages are read and deleted, and the memory arrivals go to.
struct Storages
{
    MessageStore sm;
    MessageStore me;
    bool phone = false;
    QByteArray selected = "SM";
    QByteArray arrivals = "SM";

    // nullptr for a memory the modem does not have.
    MessageStore *Find(const QByteArray &name)
    {
        if (name == "SM")
            return &sm;
        return name == "ME" && phone ? &me : nullptr;
    }
    MessageStore &Selected()
    {
        MessageStore *s = Find(selected);
        return s ? *s : sm;
    }
};

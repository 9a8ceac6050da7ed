#pragma once
// What went wrong in the queue or the journal, for whoever shows it to the operator: the kind,
// and for a database failure the database's own words. The engine chooses no words of its own.
#include <QMetaType>
#include <QString>

struct OutboxError
{
    enum class Kind {
        Database,              // a statement failed: text says what the database said
        SentNotJournalled,     // a sent message's row is kept, to be written when it can be
        ReceivedNotJournalled, // the same for an arrival (it stays in the modem meanwhile)
    };
    Kind kind = Kind::Database;
    QString text;
    bool operator==(const OutboxError &) const = default;
};

Q_DECLARE_METATYPE(OutboxError)

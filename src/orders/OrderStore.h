#pragma once
// The order book in the database: each order (T_ORDER) with its numbers (T_PHONENUMBER).
// Whatever belongs together runs in one transaction, and a new order's number is its own
// row's key. A result says only whether it worked; what the database said of a failure is
// kept for the window to show (DatabaseTexts).
#include "base/PersonalTexts.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class CDbAccess;

struct StoredOrder
{
    int m_nId = 0;
    QString m_strStart; // "YYYY-MM-DD HH:MM:SS", as every reader gets it back
    QString m_strEnd;
    QString m_strText;
    QString m_strStarted; // when its present start began to be sent, "" while it has not
};

class OrderStore
{
public:
    explicit OrderStore(CDbAccess &db);

    // Every order, by number, with when it started. False when reading failed: *error holds the description of a
    // failure met while reading (one of the statement itself is in DatabaseTexts).
    bool Load(QVector<StoredOrder> *orders, QString *error = nullptr);
    // Stores the order and its numbers in file order, each with its fields (those of a CSV
    // number file); its number, 0 when nothing was stored. Times in any form DbTime::Canonical
    // reads.
    int Add(const QString &start, const QString &end, const QString &text, const QStringList &numbers,
            const RecipientFields &fields = RecipientFields());
    // New times and text; the number and the numbers stay.
    bool Modify(int id, const QString &start, const QString &end, const QString &text);
    // The order, its numbers and the record of its starts, and every message of it that a
    // program keeps queued and has not yet handed to its modem (*withdrawn: how many). A
    // program that holds such a message in its queue finds it gone and drops it.
    enum class Deleted { Yes, NoSuchOrder, Failed };
    Deleted Delete(int id, int *withdrawn = nullptr);
    // The numbers as stored, in the order they were stored, and their fields when fields is
    // given. False when reading failed.
    bool Numbers(int id, QStringList *numbers, QString *error = nullptr, RecipientFields *fields = nullptr);
    // The phone book as it is now, for the orders' personal texts. False when reading failed.
    bool Book(BookIndex *book, QString *error);
    // The positions in numbers of those on the opt-out list; nullopt (*error what the database
    // said) when it could not be read.
    std::optional<QVector<int>> OptedOut(const QStringList &numbers, QString *error);

    // What the database said of the last call above that failed, for the operator; empty
    // after one that worked.
    QStringList DatabaseTexts() const;

private:
    CDbAccess &m_db;
};

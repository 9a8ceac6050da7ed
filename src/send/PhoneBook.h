#pragma once
// The phone book (T_BOOK) behind its dialog and "skevo-cli phonebook": reading it once into
// the model, the commands on it, and the CSV form it is imported and exported in. The number
// identifies an entry: no two entries share one. Single quotes are taken out of what the
// operator types. Each command returns what the operator is to be told; a statement that
// fails leaves the list as it was, and what the database said of it is the connection's
// LastMessages.
#include "PanelMessage.h"
#include "PhoneBookModel.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

class CDbAccess;

class PhoneBook
{
public:
    PhoneBook(CDbAccess &db, PhoneBookModel &model);

    // Every entry, by relation, into the model, and the relations in use. "" when all was
    // read; otherwise the description of the failure (what was read before it stays).
    QString Load();
    const QStringList &Groups() const { return m_groups; }

    // What the three fields may hold: quotes removed.
    static PhoneBookEntry WithoutQuotes(const PhoneBookEntry &typed);
    // The number field takes the digits 0 to 9 only, at most 24 of them (none is allowed).
    static bool IsNumberFieldText(const QString &number);
    static constexpr int kMaxNumberLength = 24;

    // "增加(&A)".
    std::optional<PanelMessage> Add(const PhoneBookEntry &typed);
    // "修改(&S)" on the shown row (the marked one); -1 does nothing.
    std::optional<PanelMessage> Modify(int row, const PhoneBookEntry &typed);
    // "删除(&D)" of the shown row; -1 does nothing.
    std::optional<PanelMessage> Delete(int row);

    // The numbers of every chosen entry, those the filter hides included, top to bottom.
    QStringList ChosenNumbers() const;

    // The program's CSV form (CsvText): a heading line, then name, number, relation per line.
    QByteArray ExportCsv() const;
    struct ImportOutcome
    {
        int m_nAdded = 0;
        int m_nExisting = 0;
        int m_nRefused = 0;
        struct Refusal
        {
            int m_nLine = 0;  // 1-based line of the file where the refused entry starts
            QString m_strText; // that line's text and why it was refused
        };
        QList<Refusal> m_refused; // in file order
        bool m_bStored = true;    // false when the database refused the import (nothing added)
        QString m_strError;       // a read failure's description (a failed statement's
                                  // texts are the connection's LastMessages)
        QList<int> RefusedLines() const;
        PanelMessage Summary() const;
    };
    // Every row is checked as "增加" checks it; the rows are stored in one transaction and
    // appended to the model. Each line is read as UTF-8 where it is valid UTF-8, else as
    // GBK; a line that is neither is refused. With or without a byte-order mark, LF or CR LF
    // line ends. A first line that is not an entry (its number field holds more than digits)
    // is taken as the heading.
    ImportOutcome Import(const QByteArray &csv);

private:
    CDbAccess &m_db;
    PhoneBookModel &m_model;
    QStringList m_groups;
};

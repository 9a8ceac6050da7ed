#pragma once
// The opt-out list (黑名单) in the database (T_OPTOUT), shared by every program on it: the phones
// that get no more bulk messages. A phone is its number rule's key, the one the journal
// matches arrivals and reports by (CJournal::NumberKey), so 13900000001, 8613900000001 and
// +8613900000001 are one entry. Every way a list is sent (the send panel, orders, number
// files, skevo-cli) asks Listed() for the numbers to leave out and tells SkippedText(); a
// reply to a listed number asks first. The journal puts a sender on the list itself, in the
// transaction of the arrival whose text is an opt-out word (OptOutWords).
//
// A call that fails says so by its result; what the database said is in Error().
#include "base/OperatorMessage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class CDbAccess;

class OptOutList
{
public:
    // T_OPTOUT.D_SOURCE
    enum class Source { Manual = 0, Reply = 1, Import = 2 };
    static QString SourceText(Source source); // 手动, 回复, 导入
    static std::optional<Source> SourceOf(const QString &text);

    struct Entry
    {
        QString number; // as it was given (an arrival's sender as the network wrote it)
        QString time;   // "YYYY-MM-DD HH:MM:SS"
        Source source = Source::Manual;
        QString text;   // the reply that put it there
        bool operator==(const Entry &) const = default;
    };

    explicit OptOutList(CDbAccess &db);

    // The key a number is listed by: the number rule's for a valid number, else the text itself
    // (an alphanumeric sender).
    static QString Key(const QString &number);

    // Puts a number on the list (an invalid number is refused: false, Error() says why).
    // *added: false when it was listed already (its row stays as it was).
    bool Add(const QString &number, Source source, const QString &text = QString(), bool *added = nullptr);
    bool Delete(const QString &number);
    // The rows whose number holds filter ("" every row), newest first, at most limit of them,
    // and how many there are in all.
    bool Load(const QString &filter, int limit, QVector<Entry> *entries, int *total);
    bool IsListed(const QString &number);
    // The positions in numbers of those listed: one statement, however long the list.
    std::optional<QVector<int>> Listed(const QStringList &numbers);

    // CSV in the house's form: 号码,时间,来源,内容, oldest first.
    std::optional<QByteArray> ExportCsv();
    struct Imported
    {
        bool ok = false;
        int added = 0;
        int existing = 0;
        QVector<int> refusedLines; // 1-based lines of the file that hold no number
    };
    // A CSV file of that form (its time, source and text kept where they are given; a row
    // without them came 导入 now), or any CSV whose first column, or whose column "号码"
    // ("手机号码", "电话号码"), holds the numbers. One transaction: all or nothing.
    Imported ImportCsv(const QByteArray &csv);
    static OperatorMessage ImportedText(const Imported &imported);

    // "已跳过黑名单号码 N 个": what every sender says when it left listed numbers out.
    static QString SkippedText(int count);
    // "该号码在黑名单中, 确定要发送吗?": a reply to a listed number, No the default.
    static OperatorMessage ReplyQuestion();
    static QString InvalidNumberText();

    QString Error() const { return m_strError; }

private:
    bool Fail(const QString &error);

    CDbAccess &m_db;
    QString m_strError;
};

#pragma once
// A result of CDbAccess, and the error its reads raise.
#include <QString>
#include <QVariant>
#include <memory>

// Raised by recordset reads (a failed cursor, a NULL value, an unknown column).
class CDbError
{
public:
    // cause: what the database (or this layer) said.
    explicit CDbError(QString cause);
    // What the operator is shown: a Chinese sentence saying that reading the database failed,
    // then the cause.
    const QString &Description() const { return m_strDescription; }
    const QString &Cause() const { return m_strCause; }

private:
    QString m_strCause;
    QString m_strDescription;
};

// A forward-only result. A caller may keep it after the owner has opened a newer one, and
// after the owner is gone; it reads the rows as they were when it was opened. Column names
// are matched without regard to case; date-times read as "YYYY-MM-DD HH:MM:SS".
class CRecordset
{
public:
    CRecordset();
    ~CRecordset();
    bool IsOpen() const;
    bool IsEOF() const;  // past the last row; throws CDbError when the recordset did not open
    bool IsBOF() const;  // before the first row (true only for an empty result)
    void MoveNext();
    QString GetFieldText(const QString &column) const; // throws CDbError on NULL or unknown column
    QString GetFieldText(int index) const;
    QVariant GetFieldValue(int index) const;           // no NULL check

private:
    friend class CDbAccess;
    struct Private;
    std::unique_ptr<Private> d;
};
using RecordsetPtr = std::shared_ptr<CRecordset>;

#include "CRecordset.h"

#include "RecordsetState.h"

CDbError::CDbError(QString cause)
    : m_strCause(std::move(cause))
    , m_strDescription(DbDetail::ReadPrefix() + m_strCause)
{
}

CRecordset::CRecordset() : d(std::make_unique<Private>()) {}
CRecordset::~CRecordset() = default;

bool CRecordset::IsOpen() const
{
    return d->m_bOpen;
}

bool CRecordset::IsEOF() const
{
    d->CheckOpen();
    return d->m_bEOF;
}

bool CRecordset::IsBOF() const
{
    d->CheckOpen();
    return d->m_bBOF;
}

void CRecordset::MoveNext()
{
    d->CheckRow();
    d->m_bBOF = false;
    d->Advance();
}

QString CRecordset::GetFieldText(const QString &column) const
{
    d->CheckRow();
    auto it = d->m_columns.constFind(column);
    if (it == d->m_columns.constEnd())
        it = d->m_columns.constFind(column.toUpper());
    if (it == d->m_columns.constEnd())
        throw CDbError(QStringLiteral("No column %1 in the recordset").arg(column));
    return d->Text(it.value(), &column);
}

QString CRecordset::GetFieldText(int index) const
{
    return d->Text(index, nullptr);
}

QVariant CRecordset::GetFieldValue(int index) const
{
    return d->Value(index);
}

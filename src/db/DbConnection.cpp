#include "DbConnection.h"

#include "RecordsetState.h"

namespace DbDetail {

void Connection::SettleReads()
{
    while (!m_active.isEmpty())
        m_active.first()->Settle();
}

} // namespace DbDetail

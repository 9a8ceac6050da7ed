// The records list's rows held still for the log export, and their texts read many at a time.
#include "RecordsModel.h"

#include <algorithm>
#include <optional>

RecordsModel::Snapshot RecordsModel::TakeSnapshot()
{
    FinishLoading();
    Snapshot snap;
    snap.m_view = m_view;
    snap.m_keys = m_keys;
    snap.m_reports.reserve(m_reports.size());
    for (int row = 0; row < m_reports.size(); ++row)
        snap.m_reports.append(Texts(row));
    return snap;
}

QVector<RecordsModel::RowTexts> RecordsModel::SnapshotRows(const Snapshot &snapshot, int first, int count,
                                                           bool *failed) const
{
    QVector<RowTexts> out;
    const int last = std::min(snapshot.Count(), first + count);
    out.reserve(std::max(0, last - first));
    const int reports = int(snapshot.m_reports.size());
    for (int row = std::max(first, 0); row < std::min(last, reports); ++row)
        out.append(snapshot.m_reports.at(row));
    const int keyFirst = std::max(first, reports) - reports;
    const int keyLast = last - reports;
    if (keyFirst >= keyLast)
        return out;

    // The records of a run of rows lie close together by D_NO in each journal: a few range
    // statements read them, in key order, beside the sorted keys wanted (the list's cache is
    // left as it is).
    struct Wanted
    {
        qint64 m_nNo;
        int m_nIndex; // position in the snapshot's keys
    };
    QVector<std::optional<RowTexts>> texts(keyLast - keyFirst);
    bool readFailed = false;
    bool said = false; // the database layer told why a statement failed
    for (const bool send : {false, true}) {
        QVector<Wanted> nos;
        for (int i = keyFirst; i < keyLast; ++i) {
            const qint64 key = snapshot.m_keys.at(i);
            if (bool(key & kSendBit) == send)
                nos.append({key & ~kSendBit, i - keyFirst});
        }
        std::sort(nos.begin(), nos.end(), [](const Wanted &a, const Wanted &b) { return a.m_nNo < b.m_nNo; });
        int i = 0;
        while (i < nos.size() && !readFailed) {
            int j = i;
            while (j + 1 < nos.size() && nos.at(j + 1).m_nNo - nos.at(j).m_nNo <= 4 * m_nPageSize)
                ++j;
            const RecordsetPtr rs = m_db->OpenRecordset(send ? Sql::SendRowsByNo : Sql::RecRowsByNo,
                                                        {nos.at(i).m_nNo, nos.at(j).m_nNo});
            const QStringList told = m_db->LastMessages();
            if (!told.isEmpty()) {
                m_pendingMessages.append(told);
                said = true;
            }
            try {
                int w = i;
                while (!rs->IsEOF() && w <= j) {
                    const qint64 no = rs->GetFieldValue(0).toLongLong();
                    while (w <= j && nos.at(w).m_nNo < no)
                        ++w; // gone from the journal
                    for (; w <= j && nos.at(w).m_nNo == no; ++w) {
                        CachedRow c;
                        c.m_strTime = rs->GetFieldText(1);
                        c.m_strNumber = rs->GetFieldText(2);
                        c.m_strContent = rs->GetFieldText(3);
                        c.m_bState = send ? rs->GetFieldValue(4).toLongLong() != 0 : true;
                        c.m_strPort = rs->GetFieldText(send ? 5 : 4);
                        c.m_nReport = send ? rs->GetFieldValue(6).toInt() : 0;
                        c.m_strSim = rs->GetFieldText(send ? 7 : 5);
                        texts[nos.at(w).m_nIndex] = TextsOf(no | (send ? kSendBit : 0), c, snapshot.m_view);
                    }
                    rs->MoveNext();
                }
            } catch (const CDbError &e) {
                if (!said)
                    m_pendingMessages.append(e.Description());
                readFailed = true;
            }
            i = j + 1;
        }
    }
    if (failed)
        *failed = readFailed || said;
    SendPendingMessages();
    for (const std::optional<RowTexts> &t : std::as_const(texts)) {
        if (t)
            out.append(*t);
    }
    return out;
}

#include "RecordsModel.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace {
const QString kFailedAll = QStringLiteral("失败!");
// A query's keys come from a walk over the time index that also passes the rows that do not
// match: a slice reads what it finds in about this time, so the window keeps answering,
// and its statements start small so that the first screen comes at once.
constexpr qint64 kQuerySliceNs = 40 * 1000 * 1000;
constexpr int kQueryFirstFetch = 512;
} // namespace

// Keys of one journal, read newest first in slices, each slice starting below the last key
// read. A journal alone is in the order it was written (D_NO); for the all view both are read
// by time (then D_NO) and merged, the order in which the all view's statement lists them.
struct RecordsModel::Stream
{
    bool m_bSend = false;
    bool m_bByTime = false;
    bool m_bExhausted = false;
    qint64 m_nBefore = std::numeric_limits<qint64>::max();
    QString m_strBeforeTime = QStringLiteral("9999-12-31 23:59:59");
    QVector<qint64> m_nos;
    QStringList m_times;
    int m_nHead = 0;
    // A record query's conditions (keys read by time), and the rows its next statement asks for.
    std::optional<RecordQuery::Built> m_query;
    int m_nFetch = 0;

    bool HasHead() const { return m_nHead < m_nos.size(); }
};

RecordsModel::RecordsModel(CDbAccess::SettingsSource settings, QObject *parent)
    : QAbstractTableModel(parent)
    , m_db(std::make_unique<CDbAccess>(std::move(settings)))
{
    m_pSliceTimer = new QTimer(this);
    m_pSliceTimer->setSingleShot(true);
    m_pSliceTimer->setInterval(0);
    connect(m_pSliceTimer, &QTimer::timeout, this, [this] {
        if (!LoadSlice(m_nSliceSize))
            ScheduleSlice();
    });
}

RecordsModel::~RecordsModel() = default;

int RecordsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_reports.size() + m_keys.size());
}

int RecordsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole) {
        static const QString headings[ColumnCount] = {
            QStringLiteral("时间"), QStringLiteral("号码"), QStringLiteral("动作"),
            QStringLiteral("状态"), QStringLiteral("内容"), QStringLiteral("回执"), QStringLiteral("短信猫"),
        };
        return headings[section];
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return QVariant();
}

QVariant RecordsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const RowTexts t = Texts(row);
        switch (index.column()) {
        case TimeColumn: return t.m_strTime;
        case NumberColumn: return t.m_strNumber;
        case ActionColumn: return t.m_strAction;
        case StateColumn: return t.m_strResult;
        case ContentColumn: return t.m_strContent;
        case ReportColumn: return t.m_strReport;
        case PortColumn: return t.m_strPort;
        }
        return QVariant();
    }
    case ImageRole:
        if (IsReportRow(row))
            return ReportAt(row).m_report.IsArrival() ? 1 : 0;
        return (m_keys.at(row - m_reports.size()) & kSendBit) ? 0 : 1;
    case RecordKeyRole:
        return IsReportRow(row) ? qint64(0) : (m_keys.at(row - m_reports.size()) & ~kSendBit);
    case RecordTableRole: {
        bool send;
        if (IsReportRow(row))
            send = !ReportAt(row).m_report.IsArrival();
        else
            send = m_keys.at(row - m_reports.size()) & kSendBit;
        return send ? QStringLiteral("T_SEND") : QStringLiteral("T_REC");
    }
    }
    return QVariant();
}

RecordsModel::RowTexts RecordsModel::Row(int row) const
{
    if (row < 0 || row >= rowCount())
        return RowTexts();
    return Texts(row);
}

RecordsModel::RowTexts RecordsModel::Texts(int row) const
{
    RowTexts t;
    if (IsReportRow(row)) {
        const SmsReport &r = ReportAt(row).m_report;
        t.m_strTime = r.m_strTime;
        t.m_strNumber = r.m_strNumber;
        t.m_strAction = ReportText::Direction(r);
        t.m_strResult = ReportText::Result(r);
        t.m_strContent = r.m_strContent;
        t.m_strPort = ReportText::Modem(r.m_strPort, r.m_strSim);
        t.m_strSim = r.m_strSim;
        t.m_strReport = r.IsArrival() ? QString() : ReportText::Delivery(r.m_nDelivery);
        t.m_nImage = r.IsArrival() ? 1 : 0;
        return t;
    }
    const qint64 key = m_keys.at(row - m_reports.size());
    if (!m_cache.contains(key))
        FetchAround(row);
    return TextsOf(key, m_cache.value(key), m_view);
}

RecordsModel::RowTexts RecordsModel::TextsOf(qint64 key, const CachedRow &c, View view) const
{
    RowTexts t;
    const bool send = key & kSendBit;
    t.m_nImage = send ? 0 : 1;
    t.m_strAction = send ? ReportText::kSend : ReportText::kReceive;
    if (c.m_bMissing)
        return t;
    t.m_strTime = c.m_strTime;
    t.m_strNumber = c.m_strNumber;
    t.m_strContent = c.m_strContent;
    t.m_strPort = ReportText::Modem(c.m_strPort, c.m_strSim);
    t.m_strSim = c.m_strSim;
    t.m_strReport = send ? ReportText::Delivery(c.m_nReport) : QString();
    if (!send)
        t.m_strResult = ReportText::kSuccess;
    else if (c.m_bState)
        t.m_strResult = ReportText::kSuccess;
    else
        t.m_strResult = view == View::All || view == View::Query ? kFailedAll : ReportText::kFailure;
    return t;
}

// Reads the texts of a page of loaded rows around row. A page's records of one journal lie
// close together by D_NO, so they are read with a few range statements on the key.
void RecordsModel::FetchAround(int row) const
{
    const int first = int(m_reports.size());
    const int last = rowCount() - 1;
    const int from = std::max(first, row - m_nPageSize / 4);
    const int to = std::min(last, from + m_nPageSize - 1);

    if (m_cache.size() > 8 * m_nPageSize)
        m_cache.clear();

    QVector<qint64> rec, send;
    for (int r = from; r <= to; ++r) {
        const qint64 key = m_keys.at(r - first);
        if (m_cache.contains(key))
            continue;
        (key & kSendBit ? send : rec).append(key & ~kSendBit);
    }

    const bool pending = !m_pendingMessages.isEmpty();
    for (int table = 0; table < 2; ++table) {
        QVector<qint64> &nos = table ? send : rec;
        std::sort(nos.begin(), nos.end());
        const qint64 bit = table ? kSendBit : 0;
        int i = 0;
        while (i < nos.size()) {
            int j = i;
            while (j + 1 < nos.size() && nos.at(j + 1) - nos.at(j) <= m_nPageSize)
                ++j;
            QSet<qint64> wanted;
            for (int k = i; k <= j; ++k)
                wanted.insert(nos.at(k));
            FetchRange(table == 1, nos.at(i), nos.at(j), wanted, m_cache);
            for (qint64 no : std::as_const(wanted)) {
                CachedRow gone;
                gone.m_bMissing = true;
                m_cache.insert(no | bit, gone);
            }
            i = j + 1;
        }
    }
    // The texts are asked for while the list paints: a box shown now would run the event
    // loop in the middle of a paint, so the message waits for the event loop.
    if (!pending && !m_pendingMessages.isEmpty())
        QMetaObject::invokeMethod(const_cast<RecordsModel *>(this), [this] { SendPendingMessages(); },
                                  Qt::QueuedConnection);
}

void RecordsModel::SendPendingMessages() const
{
    QStringList texts = m_pendingMessages;
    m_pendingMessages.clear();
    texts.removeDuplicates();
    for (const QString &t : std::as_const(texts))
        emit const_cast<RecordsModel *>(this)->databaseMessage(t);
}

// Reads the records of one journal with from <= D_NO <= to; those in wanted go to the cache
// and leave wanted.
void RecordsModel::FetchRange(bool send, qint64 from, qint64 to, QSet<qint64> &wanted,
                              QHash<qint64, CachedRow> &into) const
{
    const RecordsetPtr rs = m_db->OpenRecordset(send ? Sql::SendRowsByNo : Sql::RecRowsByNo, {from, to});
    m_pendingMessages.append(m_db->LastMessages());
    const qint64 bit = send ? kSendBit : 0;
    try {
        while (!rs->IsEOF()) {
            const qint64 no = rs->GetFieldValue(0).toLongLong();
            if (wanted.remove(no)) {
                CachedRow c;
                c.m_strTime = rs->GetFieldText(1);
                c.m_strNumber = rs->GetFieldText(2);
                c.m_strContent = rs->GetFieldText(3);
                c.m_bState = send ? rs->GetFieldValue(4).toLongLong() != 0 : true;
                c.m_strPort = rs->GetFieldText(send ? 5 : 4);
                c.m_nReport = send ? rs->GetFieldValue(6).toInt() : 0;
                c.m_strSim = rs->GetFieldText(send ? 7 : 5);
                into.insert(no | bit, c);
            }
            rs->MoveNext();
        }
    } catch (const CDbError &e) {
        if (m_pendingMessages.isEmpty())
            m_pendingMessages.append(e.Description());
    }
}

void RecordsModel::LoadReceived() { StartLoad(View::Received); }
void RecordsModel::LoadSent() { StartLoad(View::Sent); }
void RecordsModel::LoadAll() { StartLoad(View::All); }

bool RecordsModel::IsLoading() const { return m_rec || m_send; }

void RecordsModel::LoadQuery(const RecordQuery::Built &query) { StartLoad(View::Query, &query); }

void RecordsModel::StartLoad(View view, const RecordQuery::Built *query)
{
    StopLoad();
    beginResetModel();
    m_reports.clear();
    m_keys.clear();
    m_cache.clear();
    m_view = view;
    if (view == View::Received || view == View::All) {
        m_rec = std::make_unique<Stream>();
        m_rec->m_bByTime = view == View::All;
    }
    if (view == View::Sent || view == View::All) {
        m_send = std::make_unique<Stream>();
        m_send->m_bSend = true;
        m_send->m_bByTime = view == View::All;
    }
    if (query && !query->m_message) {
        auto &s = query->m_bSend ? m_send : m_rec;
        s = std::make_unique<Stream>();
        s->m_bSend = query->m_bSend;
        s->m_bByTime = true;
        s->m_query = *query;
        s->m_nFetch = std::min(kQueryFirstFetch, m_nSliceSize);
    }
    endResetModel();
    if (!LoadSlice(m_nSliceSize))
        ScheduleSlice();
}

void RecordsModel::StopLoad()
{
    m_pSliceTimer->stop();
    m_rec.reset();
    m_send.reset();
}

void RecordsModel::ScheduleSlice()
{
    if (IsLoading())
        m_pSliceTimer->start();
}

void RecordsModel::FinishLoading()
{
    while (IsLoading() && !LoadSlice(m_nSliceSize)) {
    }
}

// Appends up to maxRows keys. True when the load has ended (all read, or a failure: the rows
// read so far stay and the list stays usable).
bool RecordsModel::LoadSlice(int maxRows)
{
    if (!IsLoading())
        return true;

    // Fills a stream's buffer when it has run dry; false on a database failure.
    auto refill = [this](Stream &s) -> bool {
        if (s.HasHead() || s.m_bExhausted)
            return true;
        s.m_nos.clear();
        s.m_times.clear();
        s.m_nHead = 0;
        const int limit = s.m_query ? s.m_nFetch : m_nSliceSize;
        QElapsedTimer took;
        took.start();
        bool ok = true;
        QStringList said;
        try {
            const RecordsetPtr rs = s.m_query
                ? m_db->OpenRecordsetText(SqlCatalogue::RecordQueryKeys(s.m_bSend, s.m_query->m_conditions, m_db->Dialect()),
                                          SqlCatalogue::RecordQueryValues(s.m_query->m_conditions, m_db->Dialect())
                                              + QVariantList{s.m_strBeforeTime, s.m_nBefore, limit})
                : s.m_bByTime
                ? m_db->OpenRecordset(s.m_bSend ? Sql::SendKeysByTime : Sql::RecKeysByTime,
                                      {s.m_strBeforeTime, s.m_nBefore, m_nSliceSize})
                : m_db->OpenRecordset(s.m_bSend ? Sql::SendKeysBefore : Sql::RecKeysBefore,
                                      {s.m_nBefore, m_nSliceSize});
            said = m_db->LastMessages();
            m_pendingMessages.append(said);
            while (!rs->IsEOF()) {
                s.m_nos.append(rs->GetFieldValue(0).toLongLong());
                if (s.m_bByTime)
                    s.m_times.append(rs->GetFieldText(1));
                rs->MoveNext();
            }
        } catch (const CDbError &e) {
            // The database layer has said why the statement failed; a failed read has not.
            if (said.isEmpty())
                m_pendingMessages.append(e.Description());
            ok = false;
        }
        if (s.m_nos.size() < limit)
            s.m_bExhausted = true;
        // A quick statement asks for more next time, a slow one for less.
        if (s.m_query) {
            const qint64 ns = std::max<qint64>(took.nsecsElapsed(), 1);
            const qint64 next = qint64(limit) * (kQuerySliceNs / 2) / ns;
            s.m_nFetch = int(std::clamp<qint64>(next, 64, std::max(64, m_nSliceSize)));
            s.m_nFetch = std::min(s.m_nFetch, 4 * limit);
        }
        if (!s.m_nos.isEmpty()) {
            s.m_nBefore = s.m_nos.last();
            if (s.m_bByTime)
                s.m_strBeforeTime = s.m_times.last();
        }
        return ok;
    };

    QElapsedTimer sliceTime;
    sliceTime.start();
    const bool timed = m_view == View::Query;
    QVector<qint64> batch;
    batch.reserve(std::min(maxRows, 65536));
    bool failed = false;
    bool done = false;
    while (batch.size() < maxRows) {
        if ((m_rec && !refill(*m_rec)) || (m_send && !refill(*m_send))) {
            failed = true;
            break;
        }
        Stream *rec = m_rec && m_rec->HasHead() ? m_rec.get() : nullptr;
        Stream *send = m_send && m_send->HasHead() ? m_send.get() : nullptr;
        if (!rec && !send) {
            done = true;
            break;
        }
        Stream *pick;
        if (rec && send) {
            // Newer time first, then the higher D_NO.
            const int c = rec->m_times.at(rec->m_nHead).compare(send->m_times.at(send->m_nHead));
            pick = c > 0 || (c == 0 && rec->m_nos.at(rec->m_nHead) > send->m_nos.at(send->m_nHead)) ? rec : send;
        } else {
            pick = rec ? rec : send;
        }
        batch.append(pick->m_nos.at(pick->m_nHead++) | (pick->m_bSend ? kSendBit : 0));
        if (timed && !pick->HasHead() && sliceTime.nsecsElapsed() > kQuerySliceNs)
            break;
    }

    if (!batch.isEmpty()) {
        const int first = rowCount();
        beginInsertRows(QModelIndex(), first, first + int(batch.size()) - 1);
        m_keys.append(batch);
        endInsertRows();
    }
    const bool ended = failed || done;
    if (ended)
        StopLoad();
    if (ended)
        emit loadFinished();
    // Sent once the rows are in place: a window that shows one in a box runs the event loop.
    SendPendingMessages();
    return ended;
}

void RecordsModel::AddReportRow(const SmsReport &report)
{
    if (report.m_kind == SmsReport::DeliveryChanged) {
        if (report.m_nRecordNo <= 0)
            return;
        for (ReportRow &r : m_reports) {
            if (r.m_report.m_kind == SmsReport::Sent && r.m_report.m_nRecordNo == report.m_nRecordNo)
                r.m_report.m_nDelivery = report.m_nDelivery;
        }
        const auto cached = m_cache.find(report.m_nRecordNo | kSendBit);
        if (cached != m_cache.end())
            cached->m_nReport = report.m_nDelivery;
        // Where the row stands is not looked for among a million keys: the column repaints.
        if (rowCount() > 0)
            emit dataChanged(index(0, ReportColumn), index(rowCount() - 1, ReportColumn), {Qt::DisplayRole});
        return;
    }
    beginInsertRows(QModelIndex(), 0, 0);
    m_reports.append(ReportRow{m_nNextSerial++, report});
    endInsertRows();
}

void RecordsModel::ClearRows()
{
    StopLoad();
    beginResetModel();
    m_reports.clear();
    m_keys.clear();
    m_cache.clear();
    m_view = View::Empty;
    endResetModel();
}

int RecordsModel::FindRow(qint64 key, qint64 reportSerial) const
{
    if (reportSerial) {
        for (int i = 0; i < m_reports.size(); ++i) {
            if (m_reports.at(i).m_nSerial == reportSerial)
                return int(m_reports.size()) - 1 - i;
        }
        return -1;
    }
    const int i = int(m_keys.indexOf(key));
    return i < 0 ? -1 : int(m_reports.size()) + i;
}

namespace {
void AddDatabaseMessages(QVector<OperatorMessage> &to, const QStringList &texts)
{
    for (const QString &t : texts)
        to.append({t});
}
} // namespace

// A report names its record when the journal row was written at once. One whose row was
// kept during a database outage does not: its record is the newest one of its journal with
// the same time, number, text and modem (a report is always newer than what was loaded before it).
qint64 RecordsModel::ResolveReportKey(const SmsReport &report, bool &failed, QVector<OperatorMessage> &messages)
{
    const bool send = !report.IsArrival();
    failed = false;
    if (report.m_nRecordNo > 0)
        return report.m_nRecordNo | (send ? kSendBit : 0);
    const RecordsetPtr rs = m_db->OpenRecordset(send ? Sql::SendFindNewest : Sql::RecFindNewest,
                                                {report.m_strTime, report.m_strNumber, report.m_strContent, report.m_strPort});
    AddDatabaseMessages(messages, m_db->LastMessages());
    try {
        if (rs->IsEOF())
            return 0;
        return rs->GetFieldValue(0).toLongLong() | (send ? kSendBit : 0);
    } catch (const CDbError &) {
        failed = true;
        return 0;
    }
}

RecordsModel::DeleteRequest RecordsModel::AskDelete(int row) const
{
    DeleteRequest r;
    if (row < 0 || row >= rowCount()) {
        r.m_message = {QStringLiteral("请选中要删除的短信"), QString(), IMessageBox::Critical};
        return r;
    }
    r.m_bValid = true;
    r.m_message = {QStringLiteral("您真的要永远删除这条短信?"), QStringLiteral("提示"), IMessageBox::Question,
                   IMessageBox::OkCancel};
    const bool report = IsReportRow(row);
    r.m_nSerial = report ? ReportAt(row).m_nSerial : 0;
    r.m_nKey = report ? 0 : m_keys.at(row - m_reports.size());
    if (report)
        r.m_report = ReportAt(row).m_report;
    return r;
}

RecordsModel::DeleteOutcome RecordsModel::Delete(const DeleteRequest &request)
{
    DeleteOutcome out;
    if (!request.m_bValid || FindRow(request.m_nKey, request.m_nSerial) < 0)
        return out; // the list was replaced meanwhile

    const bool report = request.m_nSerial != 0;
    qint64 key = request.m_nKey;
    bool ok = true;
    if (report) {
        bool failed = false;
        key = ResolveReportKey(request.m_report, failed, out.m_messages);
        ok = !failed;
    }
    if (ok && key != 0) {
        ok = m_db->Execute(key & kSendBit ? Sql::SendDelete : Sql::RecDelete, {key & ~kSendBit});
        AddDatabaseMessages(out.m_messages, m_db->LastMessages());
    }
    if (!ok) {
        out.m_messages.append({QStringLiteral("删除失败!SQL数据库错误"), QString(), IMessageBox::Critical});
        return out;
    }

    out.m_bDeleted = true;
    // A record no longer in the journal (deleted elsewhere) leaves its row as well.
    const int pos = FindRow(report ? 0 : key, request.m_nSerial);
    if (pos < 0)
        return out;
    beginRemoveRows(QModelIndex(), pos, pos);
    if (report)
        m_reports.remove(int(m_reports.size()) - 1 - pos);
    else
        m_keys.remove(pos - int(m_reports.size()));
    endRemoveRows();
    if (key)
        m_cache.remove(key);
    return out;
}

void RecordsModel::SetSliceSize(int keys) { m_nSliceSize = std::max(1, keys); }
void RecordsModel::SetPageSize(int rows) { m_nPageSize = std::max(1, rows); }

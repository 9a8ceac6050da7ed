#pragma once
// The records list: sent and received messages as text columns, newest on top: time,
// number, action, state, text and the modem (its port) that sent or received it.
//
// One row is one record (T_REC or T_SEND, by D_NO), so deleting a row deletes exactly that
// record. A journal of a million rows must show at once and stay small, so the model never
// holds the texts of all rows: a load reads only the keys (table + D_NO), newest first, in
// slices between which the event loop runs, and the texts of the rows on screen are read on
// demand, a page at a time, into a bounded cache. Rows added from engine reports are held
// whole on top of whatever was loaded.
#include "RecordQuery.h"
#include "db/CDbAccess.h"
#include "base/OperatorMessage.h"
#include "base/SmsRecord.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>

class QTimer;

class RecordsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The five columns the log export writes come first; then the delivery report of a sent
    // message ("回执") and the modem (its port).
    enum Column { TimeColumn, NumberColumn, ActionColumn, StateColumn, ContentColumn, ReportColumn, PortColumn, ColumnCount };
    enum Role {
        ImageRole = Qt::UserRole + 1, // int: 0 sent, 1 received (the list's two icons)
        RecordKeyRole,                // qint64 D_NO of the record, 0 when not known yet (report row)
        RecordTableRole,              // QString "T_SEND" or "T_REC"
    };
    enum class View { Empty, Received, Sent, All, Query };

    struct RowTexts
    {
        QString m_strTime, m_strNumber, m_strAction, m_strResult, m_strContent, m_strPort;
        QString m_strReport; // 已送达 / 未送达 / 等待回执; "" when none was asked for
        QString m_strSim;    // the IMSI of the modem's SIM; "" not known
        int m_nImage = 0;
    };

    // The delete command on one row, in two steps around the question the window asks.
    // A request that names no row carries the refusal to show instead of a question.
    struct DeleteRequest
    {
        OperatorMessage m_message; // the question, or the refusal when !m_bValid
        bool m_bValid = false;
        qint64 m_nKey = 0;         // loaded row: its key; report row: 0
        qint64 m_nSerial = 0;      // report row: its serial
        SmsReport m_report;
    };
    struct DeleteOutcome
    {
        bool m_bDeleted = false;              // the record is gone (its row too, if still shown)
        QVector<OperatorMessage> m_messages;  // to show, in order
    };

    // The list has its own database instance, built from the same settings as the
    // application's. What the operator must see of a failed load comes as databaseMessage.
    explicit RecordsModel(CDbAccess::SettingsSource settings, QObject *parent = nullptr);
    ~RecordsModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Replace every row by one journal (or both). The first slice of keys is read before
    // the call returns; the rest follow from the event loop (IsLoading, loadFinished).
    void LoadReceived();
    void LoadSent();
    void LoadAll();
    // Replaces every row by the hits of a query (built without a message), newest first,
    // read the same way.
    void LoadQuery(const RecordQuery::Built &query);
    bool IsLoading() const;
    // Reads the remaining slices now (the log export needs every row).
    void FinishLoading();

    // A new row 0 from an engine report, whatever is shown; a report of a delivery changes
    // the 回执 of the row it names instead.
    void AddReportRow(const SmsReport &report);
    // Empties the display; the database is not touched.
    void ClearRows();
    // "请选中要删除的短信" when row is not a row, else the question to ask about it.
    DeleteRequest AskDelete(int row) const;
    // Deletes the record asked about, found again by what it is (the question let the event
    // loop run: reports and loads may have moved or replaced it). Nothing is deleted when
    // it is no longer listed; a failure gives the database's text, then "删除失败!SQL数据库错误".
    DeleteOutcome Delete(const DeleteRequest &request);

    RowTexts Row(int row) const;

    // The rows shown now, held still: rows that arrive later do not move it (the log export
    // reads it while its progress dialog lets the event loop run). Finishes the loading.
    struct Snapshot
    {
        QVector<RowTexts> m_reports; // the report rows, top first
        QVector<qint64> m_keys;
        View m_view = View::Empty;
        int Count() const { return int(m_reports.size() + m_keys.size()); }
    };
    Snapshot TakeSnapshot();
    // Rows first .. first+count-1 of a snapshot, their texts read many at a time; a record
    // gone from the database meanwhile is left out. Database failures go to the messages,
    // and *failed is set.
    QVector<RowTexts> SnapshotRows(const Snapshot &snapshot, int first, int count, bool *failed = nullptr) const;
    View CurrentView() const { return m_view; }
    CDbAccess &Db() { return *m_db; }

    // Rows read per slice of a load and per page of texts (tests make them small).
    void SetSliceSize(int keys);
    void SetPageSize(int rows);

signals:
    void loadFinished();
    // A statement of a load or of a page read failed: its text, to show. Sent when the model
    // is consistent again, and for page reads (which happen while the list paints) from the
    // event loop; one text once per failure burst.
    void databaseMessage(const QString &text);

private:
    // A loaded row: bit 62 set for T_SEND, the rest D_NO.
    static constexpr qint64 kSendBit = qint64(1) << 62;
    struct CachedRow
    {
        QString m_strTime, m_strNumber, m_strContent, m_strPort, m_strSim;
        bool m_bState = true;
        int m_nReport = 0;
        bool m_bMissing = false; // record gone (deleted elsewhere) or page read failed
    };
    struct ReportRow
    {
        qint64 m_nSerial = 0;
        SmsReport m_report;
    };
    struct Stream; // keys of one table being read newest first

    void StartLoad(View view, const RecordQuery::Built *query = nullptr);
    void StopLoad();
    bool LoadSlice(int maxRows);
    void ScheduleSlice();
    bool IsReportRow(int row) const { return row < m_reports.size(); }
    const ReportRow &ReportAt(int row) const { return m_reports.at(m_reports.size() - 1 - row); }
    const CachedRow &Cached(qint64 key) const;
    void FetchAround(int row) const;
    void FetchRange(bool send, qint64 from, qint64 to, QSet<qint64> &wanted, QHash<qint64, CachedRow> &into) const;
    RowTexts Texts(int row) const;
    RowTexts TextsOf(qint64 key, const CachedRow &c, View view) const;
    // Position of a row identity after the event loop ran (a question box): -1 when gone.
    int FindRow(qint64 key, qint64 reportSerial) const;
    // The record of a report row; 0 when not found. What a failed statement said goes to
    // messages.
    qint64 ResolveReportKey(const SmsReport &report, bool &failed, QVector<OperatorMessage> &messages);
    void SendPendingMessages() const;

    std::unique_ptr<CDbAccess> m_db;
    View m_view = View::Empty;
    QVector<ReportRow> m_reports;   // in arrival order; the last one is row 0
    QVector<qint64> m_keys;         // loaded rows in display order (newest first)
    qint64 m_nNextSerial = 1;

    std::unique_ptr<Stream> m_rec, m_send;
    QTimer *m_pSliceTimer = nullptr;
    int m_nSliceSize = 50000;
    int m_nPageSize = 256;

    mutable QHash<qint64, CachedRow> m_cache;
    mutable QStringList m_pendingMessages; // failures not yet sent as databaseMessage
};

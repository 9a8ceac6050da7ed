#pragma once
// The log export without its window: the rows the records list shows, in display order,
// written to a file that appears whole or not at all.
//
// Text format (what the older program's readers expect): GBK (written as GB18030, which
// gives every GBK character the same bytes), no byte-order mark, the fixed heading line,
// each of the five fields followed by a tab, CR LF after every line, nothing quoted.
// CSV format (what spreadsheets open directly): the five fields and the modem (its port),
// UTF-8 with a byte-order mark, comma separated, CR LF, a field quoted when it holds a comma, a quote or a line break, with its
// quotes doubled (RFC 4180).
#include "RecordsMessage.h"
#include "RecordsModel.h"

#include <QByteArray>
#include <QString>
#include <functional>

class QIODevice;

class LogExport
{
public:
    enum Format { Text, Csv };
    // done rows of total so far; false cancels the export.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    struct Result
    {
        bool m_bOk = false;
        bool m_bCancelled = false;
        std::optional<RecordsMessage> m_message; // to show: success, or what went wrong
    };

    static QByteArray Heading(Format format);
    // One line of the file, line end included.
    static QByteArray Line(const RecordsModel::RowTexts &row, Format format);

    // Writes the snapshot's rows to path through a temporary file in the same folder that
    // replaces path only when everything is written; a failure or a cancel leaves path as
    // it was. "-" writes to standard output.
    static Result Write(const RecordsModel &model, const RecordsModel::Snapshot &rows, const QString &path,
                        Format format, const Progress &progress = {});
    // The same into an open device (no replacing, no messages but the database's).
    static bool WriteTo(QIODevice &out, const RecordsModel &model, const RecordsModel::Snapshot &rows, Format format,
                        const Progress &progress, QString *error, bool *cancelled);

    // The format a chosen file name asks for: .csv gives CSV, anything else text.
    static Format FormatOf(const QString &path);

    static RecordsMessage NothingToExport();
    static RecordsMessage Done();
    static RecordsMessage CannotWrite(const QString &path, const QString &reason);
    static RecordsMessage ReadFailed();
};

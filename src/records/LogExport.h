#pragma once
// The log export without its window: the rows the records list shows, in display order,
// written to a file that appears whole or not at all.
//
// Text format (what the older program's readers expect): GBK, a character GBK lacks written as
// "?" and counted; no byte-order mark, the fixed heading line, each of the five fields
// followed by a tab, CR LF after every line and for every line break inside a text, nothing
// quoted.
// CSV format (what spreadsheets open directly): the program's one CSV form (CsvText), every
// character kept: the five fields and the modem (its port).
#include "RecordsMessage.h"
#include "RecordsModel.h"

#include <QByteArray>
#include <QString>
#include <functional>

class FileWriter;

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
        qsizetype m_nReplaced = 0;               // characters written as "?" (text format)
        std::optional<RecordsMessage> m_message; // to show: success, or what went wrong
    };

    static QByteArray Heading(Format format);
    // One line of the file, line end included; characters written as "?" are added to *replaced.
    static QByteArray Line(const RecordsModel::RowTexts &row, Format format, qsizetype *replaced = nullptr);

    // Writes the snapshot's rows to path through a temporary file in the same folder that
    // replaces path only when everything is written; a failure or a cancel leaves path as
    // it was. "-" writes to standard output.
    static Result Write(const RecordsModel &model, const RecordsModel::Snapshot &rows, const QString &path,
                        Format format, const Progress &progress = {});
    // The same into an open file; false when cancelled, when a write failed (out.Error())
    // or when the rows could not be read.
    static bool WriteTo(FileWriter &out, const RecordsModel &model, const RecordsModel::Snapshot &rows, Format format,
                        const Progress &progress, bool *cancelled, qsizetype *replaced);

    // The format a chosen file name asks for: .csv gives CSV, anything else text.
    static Format FormatOf(const QString &path);

    static RecordsMessage NothingToExport();
    static RecordsMessage Done(qsizetype replaced = 0);
    // What is said after a text export that wrote characters as "?".
    static QString ReplacedText(qsizetype replaced);
    static RecordsMessage CannotWrite(const FileWriter &file);
    static RecordsMessage ReadFailed();
};

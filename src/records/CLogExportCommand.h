#pragma once
// "导出(&E)" / "日志导出": the rows the records list shows, to a file the operator chooses,
// with a progress dialog that can cancel (a cancelled export leaves no file).
class IMessageBox;
class RecordsModel;
class QString;
class QWidget;

namespace CLogExportCommand {
// Asks for the file, writes it, says how it went. The working directory (where setting.ini
// is found) is the same afterwards whatever happened.
void ExportLog(QWidget *parent, RecordsModel &list, IMessageBox &messages);
// The save dialog: the file chosen, "" when cancelled; *csv when the CSV type was chosen.
QString AskExportFile(QWidget *parent, bool *csv);
} // namespace CLogExportCommand

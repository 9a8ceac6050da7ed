#include "CLogExportCommand.h"

#include "LogExport.h"
#include "RecordsModel.h"
#include "base/IMessageBox.h"
#include "base/CFileDialog.h"

#include <QDir>
#include <QProgressDialog>

namespace {
const QString kTextFilter = QStringLiteral("Txt 文件(*.txt)");
const QString kCsvFilter = QStringLiteral("CSV 文件, UTF-8(*.csv)");
} // namespace

namespace CLogExportCommand {

QString AskExportFile(QWidget *parent, bool *csv)
{
    // The program's one file dialog: it leaves the database's files alone.
    CFileDialog dialog(parent, CFileDialog::LogExport, {kTextFilter, kCsvFilter});
    dialog.setAcceptMode(CFileDialog::AcceptSave);
    dialog.setFileMode(CFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QStringLiteral("短信收发日志"));
    QObject::connect(&dialog, &CFileDialog::filterSelected, &dialog, [&dialog](const QString &f) {
        dialog.setDefaultSuffix(f == kCsvFilter ? QStringLiteral("csv") : QStringLiteral("txt"));
    });
    const QString path = dialog.Choose();
    *csv = dialog.selectedNameFilter() == kCsvFilter;
    return path;
}

void ExportLog(QWidget *parent, RecordsModel &list, IMessageBox &messages)
{
    if (list.rowCount() == 0) {
        LogExport::NothingToExport().ShowOn(messages);
        return;
    }
    const QString workingDir = QDir::currentPath();
    bool csv = false;
    const QString path = AskExportFile(parent, &csv);
    QDir::setCurrent(workingDir);
    if (path.isEmpty())
        return;

    const RecordsModel::Snapshot rows = list.TakeSnapshot();
    QProgressDialog progress(QStringLiteral("正在导出短信收发日志..."), QStringLiteral("取消"), 0, 1000, parent);
    progress.setObjectName(QStringLiteral("exportProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoReset(false);
    progress.setValue(0);
    const LogExport::Result r = LogExport::Write(
        list, rows, path, csv || LogExport::FormatOf(path) == LogExport::Csv ? LogExport::Csv : LogExport::Text,
        [&progress](qint64 done, qint64 total) {
            progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
            return !progress.wasCanceled();
        });
    progress.close();
    QDir::setCurrent(workingDir);
    if (r.m_message)
        r.m_message->ShowOn(messages);
}

} // namespace CLogExportCommand

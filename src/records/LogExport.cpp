#include "LogExport.h"

#include "base/CsvText.h"
#include "base/FileWriter.h"
#include "base/GbkText.h"

#include <QDir>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {
// Rows read and encoded together: few statements, few encoder calls, little memory.
constexpr int kChunkRows = 4096;

// A line break inside a text becomes the file's own line end, so a text of several lines
// reads as several lines in the text file, whatever its breaks were.
void AppendTextField(QString &out, const QString &field)
{
    if (!field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r'))) {
        out += field;
        return;
    }
    QString broken = field;
    broken.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    broken.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    broken.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    out += broken;
}

void AppendLine(QString &out, const RecordsModel::RowTexts &row, LogExport::Format format)
{
    // The text file keeps its five fields; the CSV adds the delivery report and the modem.
    const QString *fields[] = {&row.m_strTime,    &row.m_strNumber, &row.m_strAction, &row.m_strResult,
                               &row.m_strContent, &row.m_strReport, &row.m_strPort};
    if (format == LogExport::Text) {
        for (int i = 0; i < 5; ++i) {
            AppendTextField(out, *fields[i]);
            out += QLatin1Char('\t');
        }
    } else {
        for (int i = 0; i < 7; ++i) {
            if (i)
                out += QLatin1Char(',');
            CsvText::AppendField(out, *fields[i]);
        }
    }
    out += QLatin1String("\r\n");
}

QByteArray Encode(const QString &text, LogExport::Format format, qsizetype *replaced)
{
    if (format == LogExport::Csv)
        return text.toUtf8();
    return GbkText::ToStrictGbk(text, replaced);
}
} // namespace

QByteArray LogExport::Heading(Format format)
{
    qsizetype replaced = 0;
    if (format == Csv)
        return CsvText::Bom()
            + CsvText::Line({QStringLiteral("时间"), QStringLiteral("号码"), QStringLiteral("动作"), QStringLiteral("状态"),
                             QStringLiteral("内容"), QStringLiteral("回执"), QStringLiteral("短信猫")})
                  .toUtf8();
    return Encode(QStringLiteral("时间\t\t\t号码\t\t动作\t状态\t内容\r\n"), Text, &replaced);
}

QByteArray LogExport::Line(const RecordsModel::RowTexts &row, Format format, qsizetype *replaced)
{
    qsizetype none = 0;
    QString line;
    AppendLine(line, row, format);
    return Encode(line, format, replaced ? replaced : &none);
}

LogExport::Format LogExport::FormatOf(const QString &path)
{
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? Csv : Text;
}

RecordsMessage LogExport::NothingToExport()
{
    return {QStringLiteral("没有发送日志内容需要导出"), QString(), IMessageBox::NoIcon};
}

RecordsMessage LogExport::Done(qsizetype replaced)
{
    QString text = QStringLiteral("导出到文件成功！");
    if (replaced > 0)
        text += u'\n' + ReplacedText(replaced);
    return {text, QString(), IMessageBox::NoIcon};
}

QString LogExport::ReplacedText(qsizetype replaced)
{
    return QStringLiteral("%1个字符不属于GBK字符集,已写成\"?\"").arg(replaced);
}

RecordsMessage LogExport::CannotWrite(const FileWriter &file)
{
    if (file.IsStandardOutput())
        return {file.ErrorText(), QString(), IMessageBox::Critical};
    return {QStringLiteral("无法写入文件 %1\n%2").arg(QDir::toNativeSeparators(file.Path()), file.ErrorText()), QString(),
            IMessageBox::Critical};
}

RecordsMessage LogExport::ReadFailed()
{
    return {QStringLiteral("读取短信记录失败,没有导出文件"), QString(), IMessageBox::Critical};
}

// The rows are read here, where the list's database connection lives; their lines are
// made, encoded and written by a second thread meanwhile, so the two halves of the work
// overlap.
bool LogExport::WriteTo(FileWriter &out, const RecordsModel &model, const RecordsModel::Snapshot &rows, Format format,
                        const Progress &progress, bool *cancelled, qsizetype *replaced)
{
    *cancelled = false;
    const qint64 total = rows.Count();
    if (progress && !progress(0, total)) {
        *cancelled = true;
        return false;
    }
    if (!out.Write(Heading(format)))
        return false;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QVector<RecordsModel::RowTexts>> queue;
    bool finished = false; // no more chunks
    bool stop = false;     // the writer failed, or the export was given up
    bool writeFailed = false;
    std::thread writer([&] {
        QString chunk;
        for (;;) {
            QVector<RecordsModel::RowTexts> texts;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return !queue.empty() || finished || stop; });
                if (stop || queue.empty())
                    return;
                texts = std::move(queue.front());
                queue.pop_front();
            }
            changed.notify_all();
            chunk.clear();
            for (const RecordsModel::RowTexts &row : std::as_const(texts))
                AppendLine(chunk, row, format);
            if (!out.Write(Encode(chunk, format, replaced))) {
                std::lock_guard<std::mutex> lock(mutex);
                writeFailed = true;
                stop = true;
                changed.notify_all();
                return;
            }
        }
    });

    bool readFailed = false;
    for (qint64 first = 0; first < total; first += kChunkRows) {
        QVector<RecordsModel::RowTexts> texts = model.SnapshotRows(rows, int(first), kChunkRows, &readFailed);
        if (readFailed)
            break;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return queue.size() < 3 || stop; });
            if (stop)
                break;
            queue.push_back(std::move(texts));
        }
        changed.notify_all();
        if (progress && !progress(std::min<qint64>(total, first + kChunkRows), total)) {
            *cancelled = true;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        if (readFailed || *cancelled)
            stop = true;
    }
    changed.notify_all();
    writer.join();
    if (writeFailed) {
        *cancelled = false;
        return false;
    }
    return !readFailed && !*cancelled;
}

LogExport::Result LogExport::Write(const RecordsModel &model, const RecordsModel::Snapshot &rows, const QString &path,
                                   Format format, const Progress &progress)
{
    Result r;
    // The old content stays until the new one is complete; a half-written file never takes
    // its place.
    FileWriter file(path);
    if (!file.Open()) {
        r.m_message = CannotWrite(file);
        return r;
    }
    if (!WriteTo(file, model, rows, format, progress, &r.m_bCancelled, &r.m_nReplaced)) {
        file.Cancel();
        if (!r.m_bCancelled)
            r.m_message = file.Error() == 0 ? ReadFailed() : CannotWrite(file);
        return r;
    }
    if (!file.Commit()) {
        r.m_message = CannotWrite(file);
        return r;
    }
    r.m_bOk = true;
    r.m_message = Done(r.m_nReplaced);
    return r;
}

#include "LogExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace {
// Rows read and encoded together: few statements, few encoder calls, little memory.
constexpr int kChunkRows = 4096;

void AppendCsvField(QString &out, const QString &field)
{
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\r'))
        || field.contains(QLatin1Char('\n'))) {
        out += QLatin1Char('"');
        QString doubled = field;
        doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
        out += doubled;
        out += QLatin1Char('"');
    } else {
        out += field;
    }
}

void AppendLine(QString &out, const RecordsModel::RowTexts &row, LogExport::Format format)
{
    // The text file keeps its five fields; the CSV adds the modem.
    const QString *fields[] = {&row.m_strTime,   &row.m_strNumber,  &row.m_strAction,
                               &row.m_strResult, &row.m_strContent, &row.m_strPort};
    if (format == LogExport::Text) {
        for (int i = 0; i < 5; ++i) {
            out += *fields[i];
            out += QLatin1Char('\t');
        }
    } else {
        for (int i = 0; i < 6; ++i) {
            if (i)
                out += QLatin1Char(',');
            AppendCsvField(out, *fields[i]);
        }
    }
    out += QLatin1String("\r\n");
}

QByteArray Encode(const QString &text, LogExport::Format format)
{
    if (format == LogExport::Csv)
        return text.toUtf8();
    QStringEncoder gbk("GB18030");
    return gbk.encode(text);
}
} // namespace

QByteArray LogExport::Heading(Format format)
{
    if (format == Csv)
        return QByteArray("\xEF\xBB\xBF") + QStringLiteral("时间,号码,动作,状态,内容,短信猫\r\n").toUtf8();
    return Encode(QStringLiteral("时间\t\t\t号码\t\t动作\t状态\t内容\r\n"), Text);
}

QByteArray LogExport::Line(const RecordsModel::RowTexts &row, Format format)
{
    QString line;
    AppendLine(line, row, format);
    return Encode(line, format);
}

LogExport::Format LogExport::FormatOf(const QString &path)
{
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? Csv : Text;
}

RecordsMessage LogExport::NothingToExport()
{
    return {QStringLiteral("没有发送日志内容需要导出"), QString(), IMessageBox::NoIcon};
}

RecordsMessage LogExport::Done()
{
    return {QStringLiteral("导出到文件成功！"), QString(), IMessageBox::NoIcon};
}

RecordsMessage LogExport::CannotWrite(const QString &path, const QString &reason)
{
    return {QStringLiteral("无法写入文件 %1\n%2").arg(QDir::toNativeSeparators(path), reason), QString(),
            IMessageBox::Critical};
}

RecordsMessage LogExport::ReadFailed()
{
    return {QStringLiteral("读取短信记录失败,没有导出文件"), QString(), IMessageBox::Critical};
}

// The rows are read here, where the list's database connection lives; their lines are
// made, encoded and written by a second thread meanwhile, so the two halves of the work
// overlap.
bool LogExport::WriteTo(QIODevice &out, const RecordsModel &model, const RecordsModel::Snapshot &rows, Format format,
                        const Progress &progress, QString *error, bool *cancelled)
{
    *cancelled = false;
    error->clear();
    const qint64 total = rows.Count();
    if (progress && !progress(0, total)) {
        *cancelled = true;
        return false;
    }
    if (out.write(Heading(format)) < 0) {
        *error = out.errorString();
        return false;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QVector<RecordsModel::RowTexts>> queue;
    bool finished = false; // no more chunks
    bool stop = false;     // the writer failed, or the export was given up
    QString writeError;
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
            if (out.write(Encode(chunk, format)) < 0) {
                std::lock_guard<std::mutex> lock(mutex);
                writeError = out.errorString();
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
    if (!writeError.isEmpty()) {
        *error = writeError;
        *cancelled = false;
        return false;
    }
    return !readFailed && !*cancelled;
}

LogExport::Result LogExport::Write(const RecordsModel &model, const RecordsModel::Snapshot &rows, const QString &path,
                                   Format format, const Progress &progress)
{
    Result r;
    QString error;
    if (path == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly)) {
            r.m_message = CannotWrite(path, out.errorString());
            return r;
        }
        r.m_bOk = WriteTo(out, model, rows, format, progress, &error, &r.m_bCancelled) && out.flush();
        if (!r.m_bOk && !r.m_bCancelled)
            r.m_message = error.isEmpty() ? ReadFailed() : CannotWrite(path, error);
        else if (r.m_bOk)
            r.m_message = Done();
        return r;
    }

    // The old content stays until the new one is complete; a half-written file never
    // takes its place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        r.m_message = CannotWrite(path, file.errorString());
        return r;
    }
    if (!WriteTo(file, model, rows, format, progress, &error, &r.m_bCancelled)) {
        file.cancelWriting();
        if (!r.m_bCancelled)
            r.m_message = error.isEmpty() ? ReadFailed() : CannotWrite(path, error);
        return r;
    }
    if (!file.commit()) {
        r.m_message = CannotWrite(path, file.errorString());
        return r;
    }
    r.m_bOk = true;
    r.m_message = Done();
    return r;
}

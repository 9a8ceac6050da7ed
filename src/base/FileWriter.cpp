#include "FileWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Why a file could not be opened for writing. QSaveFile refuses some cases itself (a folder,
// a file it may not replace) before any system call, so errno alone would mislead; the
// folder and the file are asked directly.
int OpenFailureCause(const QString &path, int seen)
{
    if (path.isEmpty())
        return ENOENT;
    const QFileInfo info(path);
    if (info.isDir())
        return EISDIR;
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    struct stat st;
    if (::stat(folder.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return errno;
    if (info.exists() && ::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return errno;
    return seen != 0 ? seen : EIO;
}
} // namespace

FileWriter::FileWriter(QString path) : m_strPath(std::move(path)) {}

FileWriter::~FileWriter()
{
    Cancel();
}

bool FileWriter::Fail(int errorNumber)
{
    if (m_nError == 0)
        m_nError = errorNumber != 0 ? errorNumber : EIO;
    return false;
}

bool FileWriter::Open()
{
    m_nError = 0;
    if (IsStandardOutput()) {
        // What stdio holds goes first, then every write goes straight to the descriptor.
        std::fflush(stdout);
        auto out = std::make_unique<QFile>();
        errno = 0;
        if (!out->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
            return Fail(errno != 0 ? errno : EBADF);
        m_pDevice = std::move(out);
        return true;
    }
    auto file = std::make_unique<QSaveFile>(m_strPath);
    errno = 0;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Fail(OpenFailureCause(m_strPath, errno));
    m_pDevice = std::move(file);
    return true;
}

bool FileWriter::Write(const QByteArray &bytes)
{
    if (!m_pDevice || m_nError != 0)
        return Fail(EBADF);
    qsizetype done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = m_pDevice->write(bytes.constData() + done, bytes.size() - done);
        if (n < 0)
            return Fail(errno);
        if (n == 0) // a short write the next call would not explain
            return Fail(ENOSPC);
        done += n;
    }
    return true;
}

bool FileWriter::Commit()
{
    if (!m_pDevice || m_nError != 0)
        return Fail(EBADF);
    if (auto *file = qobject_cast<QSaveFile *>(m_pDevice.get())) {
        errno = 0;
        const bool ok = file->commit();
        const int cause = errno;
        m_pDevice.reset();
        return ok || Fail(cause);
    }
    m_pDevice.reset();
    return true;
}

void FileWriter::Cancel()
{
    if (auto *file = qobject_cast<QSaveFile *>(m_pDevice.get()))
        file->cancelWriting();
    m_pDevice.reset();
}

QString FileWriter::ErrorText() const
{
    return ErrorText(m_nError, m_strPath);
}

QString FileWriter::WriteWhole(const QString &path, const QByteArray &bytes)
{
    FileWriter file(path);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return {};
    return file.ErrorText();
}

QString FileWriter::ErrorText(int errorNumber, const QString &path)
{
    if (path == QLatin1String("-"))
        return QStringLiteral("写入标准输出失败: ") + ErrorText(errorNumber, QStringLiteral("标准输出"));
    QString text;
    switch (errorNumber) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        text = QStringLiteral("对 %1 的存取被拒绝。");
        break;
    case ENOENT:
    case ENOTDIR:
        text = QStringLiteral("未能找到 %1 的一部分路径。");
        break;
    case ENAMETOOLONG:
    case EINVAL:
        text = QStringLiteral("%1 包含不正确的路径。");
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        text = QStringLiteral("%1 所在的磁盘已满。");
        break;
    case EMFILE:
    case ENFILE:
        text = QStringLiteral("由于打开的文件太多，无法打开 %1。");
        break;
    case EIO:
        text = QStringLiteral("读写 %1 时出现硬件 I/O 错误。");
        break;
    case EPIPE:
        text = QStringLiteral("%1 的读取端已经关闭。");
        break;
    default:
        text = QStringLiteral("访问 %1 时发生未知错误。");
        break;
    }
    return text.arg(path);
}

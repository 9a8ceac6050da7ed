#pragma once
// What the file dialog tests share: which files of a folder were opened (inotify), the POSIX
// locks a process holds on given files (/proc/locks), and a dialog shown on a folder until
// every entry of its list has its type, as the operator sees it; and the rows the other
// program of such a test writes and counts.
#include "db/CDbAccess.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSet>
#include <QStringList>
#include <QTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

// Names of the files in a folder opened while it is watched.
class OpenWatch
{
public:
    explicit OpenWatch(const QString &dir) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_OPEN);
    }
    ~OpenWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool IsValid() const { return m_fd >= 0; }
    QSet<QString> Opened()
    {
        QSet<QString> names;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return names;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
                if (e->len > 0)
                    names.insert(QFile::decodeName(e->name));
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int m_fd;
};

// The POSIX locks process pid holds on the given files, one "file kind start end" each
// (e.g. "MYSKEVO.db-shm READ 128 128"), sorted.
inline QStringList LocksOf(qint64 pid, const QStringList &paths)
{
    QStringList held;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return {QStringLiteral("/proc/locks unreadable")};
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QString &path : paths) {
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        const QByteArray inode = ':' + QByteArray::number(quint64(st.st_ino));
        for (const QByteArray &line : lines) {
            // "1: POSIX  ADVISORY  READ 4711 fd:01:1234 128 128"
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() < 8 || f.at(1) != "POSIX" || f.at(4).toLongLong() != pid || !f.at(5).endsWith(inode))
                continue;
            held << QStringLiteral("%1 %2 %3 %4")
                        .arg(path.section(u'/', -1), QString::fromLatin1(f.at(3)), QString::fromLatin1(f.at(6)),
                             QString::fromLatin1(f.at(7)));
        }
    }
    held.sort();
    return held;
}

// Shows dlg (again) on dir in the detail view and waits until each of the folder's entries
// shows its type, the point where a dialog that guesses types from contents has read them.
// entries -1: as many as the selected filter lets through.
inline bool ShowFilled(QFileDialog &dlg, const QString &dir, int entries = -1)
{
    if (entries < 0) {
        const QString filter = dlg.selectedNameFilter();
        const qsizetype open = filter.lastIndexOf(u'(');
        const QStringList patterns = filter.mid(open + 1, filter.lastIndexOf(u')') - open - 1).split(u' ', Qt::SkipEmptyParts);
        entries = int(QDir(dir).entryList(patterns, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot).size());
    }
    dlg.setViewMode(QFileDialog::Detail);
    dlg.setDirectory(dir);
    if (!dlg.isVisible())
        dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg))
        return false;
    auto *model = dlg.findChild<QFileSystemModel *>();
    if (!model)
        return false;
    return QTest::qWaitFor([&] {
        const QModelIndex root = model->index(dir);
        if (model->rowCount(root) != entries)
            return false;
        for (int r = 0; r < entries; ++r)
            if (model->type(model->index(r, 0, root)).isEmpty())
                return false;
        return true;
    }, 10000);
}

// A T_SEND row written by whoever calls it; the key, or 0.
inline qint64 WriteRow(CDbAccess &db, const QString &text)
{
    return db.Insert(Sql::SendInsert, {-1, QStringLiteral("2024-03-01 10:00:00"), 1, QStringLiteral("8613900000001"), text, QString()});
}

// The T_SEND rows as a reader sees them.
inline int SentRowCount(CDbAccess &db)
{
    const RecordsetPtr rows = db.OpenRecordsetText(QStringLiteral("SELECT D_NO FROM T_SEND"));
    int count = 0;
    for (; rows && rows->IsOpen() && !rows->IsEOF(); rows->MoveNext())
        ++count;
    return count;
}

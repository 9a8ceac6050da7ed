#include "PseudoTerminal.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

constexpr int kMaxPendingOut = 64 * 1024;
constexpr int kHangUpRetryMs = 50;

QString SystemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

PseudoTerminal::PseudoTerminal(std::mutex &mutex, Receiver receiver) : m_mutex(mutex), m_receiver(std::move(receiver)) {}

PseudoTerminal::~PseudoTerminal()
{
    if (IsOpen()) {
        std::unique_lock lock(m_mutex);
        Close(lock);
    }
}

bool PseudoTerminal::Open(QString &error)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(SystemError());
        if (master >= 0)
            ::close(master);
        return false;
    }
    // Raw line on the device side (on Linux the termios calls on the master act on the
    // slave): no echo by the line discipline, no CR/LF translation, until a client sets
    // its own.
    termios t {};
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = QStringLiteral("cannot make a pipe: %1").arg(SystemError());
        ::close(master);
        return false;
    }
    m_master = master;
    m_device = QString::fromLocal8Bit(name);
    m_stop = false;
    m_hungUp = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void PseudoTerminal::Close(std::unique_lock<std::mutex> &lock)
{
    if (!IsOpen())
        return;
    m_stop = true;
    Wake();
    std::thread t = std::move(m_thread);
    lock.unlock();
    t.join();
    lock.lock();
    ::close(m_master);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_master = m_wake[0] = m_wake[1] = -1;
    m_schedule.clear();
    m_out.clear();
    if (!m_link.isEmpty()) {
        const QFileInfo fi(m_link);
        if (fi.isSymLink() && fi.symLinkTarget() == m_device)
            QFile::remove(m_link);
        m_link.clear();
    }
    m_device.clear();
}

bool PseudoTerminal::MakeLink(const QString &linkPath, QString &error)
{
    if (!IsOpen()) {
        error = QStringLiteral("not started");
        return false;
    }
    const QFileInfo fi(linkPath);
    if (fi.isSymLink()) {
        QFile::remove(linkPath);
    } else if (fi.exists()) {
        error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
        return false;
    }
    if (::symlink(QFile::encodeName(m_device).constData(), QFile::encodeName(linkPath).constData()) != 0) {
        error = QStringLiteral("cannot link %1: %2").arg(linkPath, SystemError());
        return false;
    }
    m_link = fi.absoluteFilePath();
    return true;
}

void PseudoTerminal::SendAt(Clock::time_point due, const QByteArray &bytes)
{
    m_schedule.emplace(due, Due {bytes, {}});
}

void PseudoTerminal::RunAt(Clock::time_point due, std::function<void()> action)
{
    m_schedule.emplace(due, Due {{}, std::move(action)});
}

void PseudoTerminal::SendInOrder(const QList<QByteArray> &pieces, Clock::duration delay, Clock::duration pause)
{
    Clock::time_point due = Clock::now() + delay;
    if (due < m_lastAnswerDue)
        due = m_lastAnswerDue;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            due += pause;
        m_schedule.emplace(due, Due {pieces[i], {}});
    }
    m_lastAnswerDue = due;
}

void PseudoTerminal::RunDue()
{
    const Clock::time_point now = Clock::now();
    while (!m_schedule.empty() && m_schedule.begin()->first <= now) {
        auto node = m_schedule.extract(m_schedule.begin());
        if (node.mapped().action)
            node.mapped().action();
        else
            m_out.append(node.mapped().bytes);
    }
    if (m_out.size() > kMaxPendingOut) // nobody reads: keep the newest
        m_out = m_out.right(kMaxPendingOut);
}

void PseudoTerminal::SetPace(int bytesPerSecond)
{
    m_paceBps = qMax(bytesPerSecond, 0);
    m_paceCredit = 0;
    m_paceLast = Clock::now();
    Wake();
}

void PseudoTerminal::Wake()
{
    if (m_wake[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
    }
}

double PseudoTerminal::PaceBurst() const
{
    return qMax(1.0, m_paceBps / 100.0);
}

void PseudoTerminal::WriteOut()
{
    qsizetype budget = m_out.size();
    if (m_paceBps > 0) {
        const Clock::time_point now = Clock::now();
        m_paceCredit = qMin(PaceBurst(), m_paceCredit + std::chrono::duration<double>(now - m_paceLast).count() * m_paceBps);
        m_paceLast = now;
        budget = qsizetype(m_paceCredit);
    }
    while (!m_out.isEmpty() && m_master >= 0 && budget > 0) {
        const ssize_t n = ::write(m_master, m_out.constData(), size_t(qMin(m_out.size(), budget)));
        if (n > 0) {
            m_out.remove(0, n);
            budget -= n;
            if (m_paceBps > 0)
                m_paceCredit -= double(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        m_out.clear(); // the line is gone
    }
}

// Milliseconds until the pace lets the next bytes out; 0 when it lets them out now.
int PseudoTerminal::PaceWait() const
{
    if (m_paceBps <= 0 || m_out.isEmpty())
        return 0;
    const double want = qMin(double(m_out.size()), PaceBurst());
    if (m_paceCredit >= want)
        return 0;
    return int((want - m_paceCredit) * 1000.0 / m_paceBps) + 1;
}

void PseudoTerminal::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        RunDue();
        WriteOut();
        const Clock::time_point now = Clock::now();
        int timeout = -1;
        if (!m_schedule.empty())
            timeout = int(std::chrono::duration_cast<milliseconds>(m_schedule.begin()->first - now).count()) + 1;
        const int paceWait = PaceWait();
        if (paceWait > 0)
            timeout = timeout < 0 ? paceWait : qMin(timeout, paceWait);
        bool watchMaster = true;
        if (m_hungUp) {
            // Nobody holds the device open: the master reports a hang-up until someone
            // does. Look again after a pause instead of spinning on it.
            if (now < m_retryMaster) {
                watchMaster = false;
                const int left = int(std::chrono::duration_cast<milliseconds>(m_retryMaster - now).count()) + 1;
                timeout = timeout < 0 ? left : qMin(timeout, left);
            } else {
                m_hungUp = false;
            }
        }
        pollfd fds[2] = {{m_wake[0], POLLIN, 0},
                         {watchMaster ? m_master : -1, short(POLLIN | (m_out.isEmpty() || paceWait > 0 ? 0 : POLLOUT)), 0}};
        lock.unlock();
        const int rc = ::poll(fds, 2, qMax(timeout, -1));
        lock.lock();
        if (rc < 0)
            continue;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (!watchMaster)
            continue;
        if (fds[1].revents & POLLIN) {
            char buf[1024];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                m_receiver.received(buf, n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            HangUp();
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            HangUp();
        }
    }
}

void PseudoTerminal::HangUp()
{
    if (!m_hungUp)
        m_receiver.hungUp();
    m_hungUp = true;
    m_retryMaster = Clock::now() + milliseconds(kHangUpRetryMs);
}

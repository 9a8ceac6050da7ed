#include "CSerialPort.h"

#include "SerialSpeed.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point t)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    if (left <= 0)
        return 0;
    // Round up so that a wait never ends a hair before its deadline and loops once more.
    return int(left) + 1;
}

struct BaudCode
{
    quint32 rate;
    speed_t code;
};

constexpr BaudCode kBaudCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Rates a Windows set-up offers that have no B-constant; they go through BOTHER.
constexpr quint32 kOtherRates[] = {14400, 28800, 56000, 128000, 256000};

std::optional<speed_t> StandardCode(quint32 baud)
{
    for (const BaudCode &b : kBaudCodes)
        if (b.rate == baud)
            return b.code;
    return std::nullopt;
}

bool IsOtherRate(quint32 baud)
{
    for (quint32 r : kOtherRates)
        if (r == baud)
            return true;
    return false;
}

// A pseudo-terminal slave: the pty driver forces CS8 and clears PARENB whatever is asked
// (there is no line to frame), so those two cannot be checked on it.
bool IsPseudoTerminal(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned maj = major(st.st_rdev);
    return (maj >= 136 && maj <= 143) // Unix98 pty slaves
           || maj == 3;                // legacy BSD pty slaves
}

// A UUCP-style lock file (/var/lock/LCK..<device>) left by a program that does not use
// flock, e.g. an older terminal program. Only honoured, never written: flock on the device
// is how cooperating programs hold a port today.
bool HeldByUucpLock(const QString &devicePath)
{
    QString canonical = QFileInfo(devicePath).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = devicePath;
    QString name = canonical;
    if (name.startsWith(QStringLiteral("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QFile f(QStringLiteral("/var/lock/LCK..") + name);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = f.read(64);
    bool ok = false;
    const long pid = content.trimmed().toLong(&ok);
    if (!ok || pid <= 0 || pid == long(getpid()))
        return false;
    return kill(pid_t(pid), 0) == 0 || errno == EPERM; // a stale lock names a dead process
}

} // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort()
{
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        // A pty slave keeps TIOCEXCL after its last close while the master lives on, and
        // would refuse the next opener.
        ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
}

QString CSerialPort::DevicePath(const QString &portName)
{
    static const QRegularExpression com(QStringLiteral("^com([1-9])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(portName);
    if (m.hasMatch())
        return QStringLiteral("/dev/ttyS%1").arg(m.captured(1).toInt() - 1);
    return portName;
}

bool CSerialPort::IsOpen() const { return m_fd >= 0; }

QString CSerialPort::ErrorString() const { return m_strError; }

bool CSerialPort::Fail(int fd, const QString &why)
{
    m_strError = why;
    if (fd >= 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
    return false;
}

bool CSerialPort::Open(const QString &portName, quint32 baudRate, quint8 byteSize, quint8 parity,
                       quint8 stopBits)
{
    Close();
    m_strError.clear();
    m_bMissing = false;
    const QString path = DevicePath(portName);

    // Reject what no device can be set to before touching it.
    const std::optional<speed_t> standard = StandardCode(baudRate);
    if (!standard && !IsOtherRate(baudRate))
        return Fail(-1, QStringLiteral("unsupported baud rate %1").arg(baudRate));
    tcflag_t size = 0;
    switch (byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return Fail(-1, QStringLiteral("unsupported byte size %1").arg(byteSize));
    }
    tcflag_t par = 0;
    switch (parity) {
    case NoParity: par = 0; break;
    case OddParity: par = PARENB | PARODD; break;
    case EvenParity: par = PARENB; break;
    case MarkParity: par = PARENB | CMSPAR | PARODD; break;
    case SpaceParity: par = PARENB | CMSPAR; break;
    default: return Fail(-1, QStringLiteral("unsupported parity %1").arg(parity));
    }
    tcflag_t stop = 0;
    switch (stopBits) {
    case OneStop: stop = 0; break;
    // termios knows one or two stop bits; the UART sends 1.5 for two when the word is five
    // bits long, and two is the nearest otherwise.
    case OneAndHalfStop: stop = CSTOPB; break;
    case TwoStop: stop = CSTOPB; break;
    default: return Fail(-1, QStringLiteral("unsupported stop bits %1").arg(stopBits));
    }

    const QByteArray native = QFile::encodeName(path);
    int fd;
    do
        fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_bMissing = errno == ENOENT;
        return Fail(-1, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
    }
    if (!isatty(fd))
        return Fail(fd, QStringLiteral("%1: not a terminal device").arg(path));

    // Exclusive use, as the port is opened without sharing: flock stops every other
    // process (and a second object here) that locks the same way; TIOCEXCL stops plain
    // opens by unprivileged programs.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return Fail(fd, QStringLiteral("%1: in use").arg(path));
    if (HeldByUucpLock(path))
        return Fail(fd, QStringLiteral("%1: in use (lock file)").arg(path));
    ioctl(fd, TIOCEXCL);

    termios want {};
    if (tcgetattr(fd, &want) != 0)
        return Fail(fd, QStringLiteral("%1: cannot read the line settings").arg(path));
    cfmakeraw(&want);
    want.c_iflag &= ~(IXON | IXOFF | IXANY);
    want.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    want.c_cflag |= CLOCAL | CREAD | size | par | stop;
    // Reads wait in poll(); the descriptor itself never blocks.
    want.c_cc[VMIN] = 0;
    want.c_cc[VTIME] = 0;
    if (standard) {
        cfsetispeed(&want, *standard);
        cfsetospeed(&want, *standard);
    }
    if (tcsetattr(fd, TCSANOW, &want) != 0)
        return Fail(fd, QStringLiteral("%1: line settings refused").arg(path));
    if (!standard && !SerialSpeed::SetCustom(fd, baudRate))
        return Fail(fd, QStringLiteral("%1: baud rate %2 refused").arg(path).arg(baudRate));

    // tcsetattr succeeds when any part was applied: what counts is what the driver kept.
    termios got {};
    if (tcgetattr(fd, &got) != 0)
        return Fail(fd, QStringLiteral("%1: cannot read the line settings").arg(path));
    tcflag_t checked = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CLOCAL | CRTSCTS;
    if (IsPseudoTerminal(fd))
        checked &= ~(CSIZE | PARENB);
    bool kept = (got.c_cflag & checked) == (want.c_cflag & checked)
                && (got.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0
                && (got.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP)) == 0
                && (got.c_oflag & OPOST) == 0;
    if (standard) {
        kept = kept && cfgetospeed(&got) == *standard && cfgetispeed(&got) == *standard;
    } else {
        // Drivers set the nearest rate their clock divides to; a UART tolerates 2 %.
        const std::optional<quint32> actual = SerialSpeed::Current(fd);
        kept = kept && actual && qAbs(qint64(*actual) - qint64(baudRate)) * 50 <= qint64(baudRate);
    }
    if (!kept)
        return Fail(fd, QStringLiteral("%1: the device does not keep the line settings").arg(path));

    // The driver's queues are its own on Linux (the n_tty read buffer is 4096 bytes, the
    // UART transmit ring a page): there is no call to size them, so none is made.
    tcflush(fd, TCIOFLUSH);
    // A pseudo-terminal whose other side is gone never comes back under its own name, and
    // the name may soon belong to another program's terminal: only a link, made again for
    // the new one, is opened again.
    const bool comesBack = !IsPseudoTerminal(fd) || QFileInfo(path).isSymLink();
    m_opened = Opened{path, baudRate, byteSize, parity, stopBits, comesBack};
    m_bGone = false;
    m_fd = fd;
    return true;
}

bool CSerialPort::Reopen()
{
    if (!m_opened || !m_opened->comesBack)
        return false;
    const Opened o = *m_opened;
    return Open(o.path, o.baudRate, o.byteSize, o.parity, o.stopBits);
}

bool CSerialPort::Close()
{
    const int fd = m_fd.exchange(-1);
    if (fd < 0)
        return true;
    tcflush(fd, TCIOFLUSH);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
    return true;
}

int CSerialPort::Read(char *buffer, int maximum)
{
    return ReadTimed(buffer, maximum, maximum + 500, 100);
}

int CSerialPort::ReadTimed(char *buffer, int maximum, int totalMs, int intervalMs, int wakeFd)
{
    const int fd = m_fd;
    if (fd < 0 || buffer == nullptr || maximum <= 0)
        return 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(qMax(totalMs, 0));
    Clock::time_point quietUntil = deadline;
    int got = 0;
    bool hungUp = false;

    for (;;) {
        const Clock::time_point until = got > 0 ? qMin(deadline, quietUntil) : deadline;
        const int waitMs = MsUntil(until);
        pollfd fds[2] = {{hungUp ? -1 : fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int rc = ::poll(fds, wakeFd >= 0 ? 2 : 1, waitMs);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (wakeFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            break;
        if (rc == 0)
            break; // the deadline or the quiet interval has passed
        if (hungUp)
            continue; // only the wake descriptor is watched now
        if (fds[0].revents & POLLNVAL)
            break; // closed under us
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, buffer + got, size_t(maximum - got));
            if (n > 0) {
                got += int(n);
                if (got >= maximum)
                    break;
                if (intervalMs <= 0)
                    break;
                quietUntil = Clock::now() + std::chrono::milliseconds(intervalMs);
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            // End of file or EIO: the other end hung up (a pty whose master is gone, a USB
            // modem unplugged). With bytes in hand that is the end of this read; without,
            // the line is as quiet as it can be, and the read lasts its time so that a
            // caller's loop does not spin. IsGone tells the caller what happened.
            m_bGone = true;
            if (got > 0)
                break;
            hungUp = true;
        }
    }
    return got;
}

int CSerialPort::Write(const char *buffer, int count)
{
    const int fd = m_fd;
    if (fd < 0 || buffer == nullptr || count <= 0)
        return 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(count + 100);
    int done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, buffer + done, size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            if (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EPIPE)
                m_bGone = true;
            return 0;
        }
        const int waitMs = MsUntil(deadline);
        if (waitMs <= 0)
            break; // the write time-out: report what went out
        pollfd p {fd, POLLOUT, 0};
        const int rc = ::poll(&p, 1, waitMs);
        if (rc < 0 && errno != EINTR)
            return 0;
        if (rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
            m_bGone = true;
            return 0;
        }
    }
    return done;
}

// CSerialPort on a real pseudo-terminal: the test holds the master side and plays the
// device, the port under test opens the slave.
#include "at/CSerialPort.h"
#include "at/SerialSpeed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The device side of a pseudo-terminal.
class Pty
{
public:
    Pty()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~Pty() { CloseMaster(); }
    bool Ok() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString Slave() const { return m_slave; }
    int Master() const { return m_master; }
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    bool Send(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything the port wrote, collected until nothing more came for quietMs.
    QByteArray Receive(int quietMs = 200) const
    {
        QByteArray all;
        for (;;) {
            pollfd p {m_master, POLLIN, 0};
            if (::poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN))
                return all;
            char buf[512];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                return all;
            all.append(buf, int(n));
        }
    }
    // The slave's settings: on Linux the termios calls on the master act on the slave.
    termios SlaveSettings() const
    {
        termios t {};
        tcgetattr(m_master, &t);
        return t;
    }

private:
    int m_master = -1;
    QString m_slave;
};

// A pseudo-terminal with a port open on its device side, 8 bits, no parity, one stop bit.
struct OpenLine
{
    Pty pty;
    CSerialPort port;
    bool Open(quint32 baud) { return pty.Ok() && port.Open(pty.Slave(), baud, 8, 0, 0); }
};

QByteArray AllByteValues()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

} // namespace

class tst_SerialPort : public QObject
{
    Q_OBJECT
private slots:
    void devicePath_data();
    void devicePath();
    void openAndClose();
    void reopenAfterClose();
    void missingDeviceFails_data();
    void missingDeviceFails();
    void heldDeviceRefused();
    void heldDeviceRefusedToAnotherProcess();
    void closedPortDoesNothing();
    void bytesBothWays();
    void openDiscardsStaleInput();
    void quietLineReadReturnsZero();
    void gapsBetweenBursts_data();
    void gapsBetweenBursts();
    void readStopsAtMaximum();
    void framingReadBack_data();
    void framingReadBack();
    void rejectedConfiguration_data();
    void rejectedConfiguration();
    void wakeDescriptorInterruptsRead();
    void hangUpDoesNotSpin();
};

void tst_SerialPort::devicePath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("first port") << QStringLiteral("COM1") << QStringLiteral("/dev/ttyS0");
    QTest::newRow("ninth port") << QStringLiteral("COM9") << QStringLiteral("/dev/ttyS8");
    QTest::newRow("lower case") << QStringLiteral("com3") << QStringLiteral("/dev/ttyS2");
    QTest::newRow("mixed case") << QStringLiteral("Com5") << QStringLiteral("/dev/ttyS4");
    QTest::newRow("two digits stay a name") << QStringLiteral("COM10") << QStringLiteral("COM10");
    QTest::newRow("zero stays a name") << QStringLiteral("COM0") << QStringLiteral("COM0");
    QTest::newRow("device path") << QStringLiteral("/dev/ttyUSB2") << QStringLiteral("/dev/ttyUSB2");
    QTest::newRow("prefix is not a port") << QStringLiteral("xCOM1") << QStringLiteral("xCOM1");
    QTest::newRow("trailing space is not a port") << QStringLiteral("COM1 ") << QStringLiteral("COM1 ");
}

void tst_SerialPort::devicePath()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(CSerialPort::DevicePath(name), path);
}

void tst_SerialPort::openAndClose()
{
    Pty pty;
    QVERIFY(pty.Ok());
    CSerialPort port;
    QVERIFY(!port.IsOpen());
    QVERIFY2(port.Open(pty.Slave(), 9600, 8, CSerialPort::NoParity, CSerialPort::OneStop),
             qPrintable(port.ErrorString()));
    QVERIFY(port.IsOpen());
    QVERIFY(port.Close());
    QVERIFY(!port.IsOpen());
    QVERIFY(port.Close());
    QVERIFY(!port.IsOpen());
}

void tst_SerialPort::reopenAfterClose()
{
    Pty pty;
    QVERIFY(pty.Ok());
    for (int i = 0; i < 3; ++i) {
        CSerialPort port;
        QVERIFY2(port.Open(pty.Slave(), 115200, 8, 0, 0), qPrintable(port.ErrorString()));
        QCOMPARE(port.Write("AT\r", 3), 3);
        QCOMPARE(pty.Receive(), QByteArray("AT\r"));
        if (i == 1)
            continue; // the destructor closes too
        QVERIFY(port.Close());
    }
    // Open on an open object starts over on the new device.
    Pty other;
    QVERIFY(other.Ok());
    CSerialPort port;
    QVERIFY(port.Open(pty.Slave(), 9600, 8, 0, 0));
    QVERIFY(port.Open(other.Slave(), 9600, 8, 0, 0));
    QCOMPARE(port.Write("x", 1), 1);
    QCOMPARE(other.Receive(), QByteArray("x"));
    QCOMPARE(pty.Receive(100), QByteArray());
}

void tst_SerialPort::missingDeviceFails_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no such file") << QStringLiteral("/dev/skevo-no-such-device");
    QTest::newRow("not a terminal") << QStringLiteral("/dev/null");
    QTest::newRow("a directory") << QStringLiteral("/dev");
    QTest::newRow("empty name") << QString();
}

void tst_SerialPort::missingDeviceFails()
{
    QFETCH(QString, name);
    CSerialPort port;
    QVERIFY(!port.Open(name, 9600, 8, 0, 0));
    QVERIFY(!port.IsOpen());
    QVERIFY(!port.ErrorString().isEmpty());
    char buf[8];
    QCOMPARE(port.Read(buf, 8), 0);
}

void tst_SerialPort::heldDeviceRefused()
{
    Pty pty;
    QVERIFY(pty.Ok());
    CSerialPort first;
    CSerialPort second;
    QVERIFY(first.Open(pty.Slave(), 9600, 8, 0, 0));
    QVERIFY(!second.Open(pty.Slave(), 9600, 8, 0, 0));
    QVERIFY(!second.IsOpen());
    QVERIFY(first.IsOpen());
    // The refused attempt did not disturb the holder.
    QCOMPARE(first.Write("AT\r", 3), 3);
    QCOMPARE(pty.Receive(), QByteArray("AT\r"));
    QVERIFY(first.Close());
    QVERIFY(second.Open(pty.Slave(), 9600, 8, 0, 0));
}

void tst_SerialPort::heldDeviceRefusedToAnotherProcess()
{
    const QString flockTool = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (flockTool.isEmpty())
        QSKIP("flock(1) is not installed");
    OpenLine line;
    QVERIFY(line.Open(9600));
    auto &[pty, port] = line;
    const QStringList args {QStringLiteral("-n"), pty.Slave(), QStringLiteral("true")};
    QCOMPARE(QProcess::execute(flockTool, args), 1);
    port.Close();
    QCOMPARE(QProcess::execute(flockTool, args), 0);
}

void tst_SerialPort::closedPortDoesNothing()
{
    CSerialPort port;
    char buf[16] = {};
    QElapsedTimer t;
    t.start();
    QCOMPARE(port.Read(buf, 16), 0);
    QCOMPARE(port.ReadTimed(buf, 16, 5000, 100), 0);
    QVERIFY(t.elapsed() < 1000); // no wait on a port that is not there
    QCOMPARE(port.Write("AT\r", 3), 0);
    QVERIFY(port.Close());
    QVERIFY(!port.IsOpen());
}

void tst_SerialPort::bytesBothWays()
{
    OpenLine line;
    QVERIFY(line.Open(115200));
    auto &[pty, port] = line;

    // Every byte value passes untouched: no CR/LF translation, no flow control, no signals.
    const QByteArray all = AllByteValues();
    QCOMPARE(port.Write(all.constData(), int(all.size())), int(all.size()));
    QCOMPARE(pty.Receive(), all);

    QVERIFY(pty.Send(all));
    QByteArray got;
    char buf[512];
    while (got.size() < all.size()) {
        const int n = port.Read(buf, int(sizeof buf));
        if (n == 0)
            break;
        got.append(buf, n);
    }
    QCOMPARE(got, all);
}

void tst_SerialPort::openDiscardsStaleInput()
{
    Pty pty;
    QVERIFY(pty.Ok());
    {
        CSerialPort holder; // the slave must be open for the bytes to queue up
        QVERIFY(holder.Open(pty.Slave(), 9600, 8, 0, 0));
        holder.Close();
    }
    const int keep = ::open(QFile::encodeName(pty.Slave()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(keep >= 0);
    QVERIFY(pty.Send("\r\n+CMTI: \"SM\",1\r\n"));
    // The bytes wait on the line before the port is opened.
    const auto waiting = [keep] {
        pollfd p{keep, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    };
    QTRY_VERIFY(waiting());
    CSerialPort port;
    QVERIFY(port.Open(pty.Slave(), 9600, 8, 0, 0));
    char buf[64];
    QCOMPARE(port.ReadTimed(buf, 64, 300, 100), 0);
    ::close(keep);
}

void tst_SerialPort::quietLineReadReturnsZero()
{
    OpenLine line;
    QVERIFY(line.Open(9600));
    auto &[pty, port] = line;
    char buf[128];
    QElapsedTimer t;
    t.start();
    QCOMPARE(port.Read(buf, 128), 0);
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 400 && ms < 3000, qPrintable(QString::number(ms)));
}

void tst_SerialPort::gapsBetweenBursts_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::newRow("short gap: one read") << QByteArray("\r\n+CMGS: 1") << 50 << QByteArray("2\r\n\r\nOK\r\n")
                                         << QList<QByteArray> {"\r\n+CMGS: 12\r\n\r\nOK\r\n"};
    QTest::newRow("long gap ends the read") << QByteArray("\r\n") << 300 << QByteArray("> ")
                                            << QList<QByteArray> {"\r\n", "> "};
}

void tst_SerialPort::gapsBetweenBursts()
{
    QFETCH(QByteArray, first);
    QFETCH(int, gapMs);
    QFETCH(QByteArray, second);
    QFETCH(QList<QByteArray>, reads);
    OpenLine line;
    QVERIFY(line.Open(9600));
    auto &[pty, port] = line;
    std::thread device([&] {
        pty.Send(first);
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        pty.Send(second);
    });
    QList<QByteArray> got;
    char buf[128];
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const int n = port.Read(buf, 128);
        got.append(QByteArray(buf, n));
    }
    device.join();
    QCOMPARE(got, reads);
}

void tst_SerialPort::readStopsAtMaximum()
{
    OpenLine line;
    QVERIFY(line.Open(9600));
    auto &[pty, port] = line;
    QVERIFY(pty.Send("0123456789"));
    char buf[16];
    QElapsedTimer t;
    t.start();
    QCOMPARE(port.Read(buf, 4), 4);
    QCOMPARE(QByteArray(buf, 4), QByteArray("0123"));
    QVERIFY(t.elapsed() < 2000); // a full buffer ends the read without the quiet interval
    const int n = port.Read(buf, 16);
    QCOMPARE(QByteArray(buf, n), QByteArray("456789"));
}

void tst_SerialPort::framingReadBack_data()
{
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<quint8>("byteSize");
    QTest::addColumn<quint8>("parity");
    QTest::addColumn<quint8>("stopBits");
    QTest::addColumn<quint32>("speedSeen");
    QTest::addColumn<uint>("flagsSeen"); // PARODD | CMSPAR | CSTOPB as the slave holds them
    QTest::newRow("9600 eight none one") << 9600u << quint8(8) << quint8(0) << quint8(0) << 9600u << 0u;
    QTest::newRow("115200 eight even one") << 115200u << quint8(8) << quint8(2) << quint8(0) << 115200u << 0u;
    QTest::newRow("19200 seven odd two") << 19200u << quint8(7) << quint8(1) << quint8(2) << 19200u
                                         << uint(PARODD | CSTOPB);
    QTest::newRow("4800 eight mark one") << 4800u << quint8(8) << quint8(3) << quint8(0) << 4800u
                                         << uint(PARODD | CMSPAR);
    QTest::newRow("2400 eight space one and a half") << 2400u << quint8(8) << quint8(4) << quint8(1)
                                                     << 2400u << uint(CMSPAR | CSTOPB);
    QTest::newRow("57600 five none two") << 57600u << quint8(5) << quint8(0) << quint8(2) << 57600u
                                         << uint(CSTOPB);
    QTest::newRow("14400 without a constant") << 14400u << quint8(8) << quint8(0) << quint8(0) << 14400u << 0u;
    QTest::newRow("28800 without a constant") << 28800u << quint8(8) << quint8(1) << quint8(0) << 28800u
                                              << uint(PARODD);
    QTest::newRow("4000000 highest") << 4000000u << quint8(8) << quint8(0) << quint8(0) << 4000000u << 0u;
    QTest::newRow("50 lowest") << 50u << quint8(8) << quint8(0) << quint8(0) << 50u << 0u;
}

void tst_SerialPort::framingReadBack()
{
    QFETCH(quint32, baud);
    QFETCH(quint8, byteSize);
    QFETCH(quint8, parity);
    QFETCH(quint8, stopBits);
    QFETCH(quint32, speedSeen);
    QFETCH(uint, flagsSeen);
    Pty pty;
    QVERIFY(pty.Ok());
    CSerialPort port;
    QVERIFY2(port.Open(pty.Slave(), baud, byteSize, parity, stopBits), qPrintable(port.ErrorString()));

    // A pty keeps the speed, PARODD, CMSPAR, CSTOPB and the local modes; it always holds
    // CS8 without PARENB, so the word size and parity enable cannot be seen here.
    const termios t = pty.SlaveSettings();
    QCOMPARE(uint(t.c_cflag & (PARODD | CMSPAR | CSTOPB)), flagsSeen);
    QVERIFY(t.c_cflag & CLOCAL);
    QVERIFY(t.c_cflag & CREAD);
    QVERIFY(!(t.c_cflag & CRTSCTS));
    QCOMPARE(uint(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)), 0u);
    QCOMPARE(uint(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP)), 0u);
    QCOMPARE(uint(t.c_oflag & OPOST), 0u);
    QCOMPARE(SerialSpeed::Current(pty.Master()).value_or(0), speedSeen);
}

void tst_SerialPort::rejectedConfiguration_data()
{
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<quint8>("byteSize");
    QTest::addColumn<quint8>("parity");
    QTest::addColumn<quint8>("stopBits");
    QTest::newRow("nine data bits") << 9600u << quint8(9) << quint8(0) << quint8(0);
    QTest::newRow("four data bits") << 9600u << quint8(4) << quint8(0) << quint8(0);
    QTest::newRow("zero baud") << 0u << quint8(8) << quint8(0) << quint8(0);
    QTest::newRow("absurd baud") << 123456789u << quint8(8) << quint8(0) << quint8(0);
    QTest::newRow("odd baud") << 12345u << quint8(8) << quint8(0) << quint8(0);
    QTest::newRow("unknown parity") << 9600u << quint8(8) << quint8(5) << quint8(0);
    QTest::newRow("unknown stop bits") << 9600u << quint8(8) << quint8(0) << quint8(3);
}

void tst_SerialPort::rejectedConfiguration()
{
    QFETCH(quint32, baud);
    QFETCH(quint8, byteSize);
    QFETCH(quint8, parity);
    QFETCH(quint8, stopBits);
    Pty pty;
    QVERIFY(pty.Ok());
    CSerialPort port;
    QVERIFY(port.Open(pty.Slave(), 9600, 8, 0, 0)); // an open port is closed by the failed Open
    QVERIFY(!port.Open(pty.Slave(), baud, byteSize, parity, stopBits));
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.Write("x", 1), 0);
    // Nothing holds the device afterwards.
    CSerialPort other;
    QVERIFY(other.Open(pty.Slave(), 9600, 8, 0, 0));
}

void tst_SerialPort::wakeDescriptorInterruptsRead()
{
    OpenLine line;
    QVERIFY(line.Open(9600));
    auto &[pty, port] = line;
    int wake[2];
    QCOMPARE(::pipe(wake), 0);
    ssize_t woken = 0;
    std::thread stopper([&] {
        pty.Send("AT");
        std::this_thread::sleep_for(200ms);
        // Still inside the quiet interval if the interval were long: the wake must win.
        woken = ::write(wake[1], "x", 1);
    });
    char buf[128];
    QElapsedTimer t;
    t.start();
    const int n = port.ReadTimed(buf, 128, 20000, 15000, wake[0]);
    const qint64 ms = t.elapsed();
    stopper.join();
    QCOMPARE(woken, ssize_t(1));
    QCOMPARE(QByteArray(buf, n), QByteArray("AT"));
    QVERIFY2(ms < 10000, qPrintable(QString::number(ms)));

    // A wake descriptor that is already readable ends a read on a quiet line at once.
    t.restart();
    QCOMPARE(port.ReadTimed(buf, 128, 20000, 100, wake[0]), 0);
    QVERIFY(t.elapsed() < 10000);
    ::close(wake[0]);
    ::close(wake[1]);
}

void tst_SerialPort::hangUpDoesNotSpin()
{
    OpenLine line;
    QVERIFY(line.Open(9600));
    auto &[pty, port] = line;
    pty.CloseMaster();
    char buf[128];
    const std::clock_t cpuBefore = std::clock();
    QElapsedTimer t;
    t.start();
    QCOMPARE(port.ReadTimed(buf, 128, 600, 100), 0);
    const qint64 ms = t.elapsed();
    const double cpuMs = double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC;
    // The read lasts its time like a quiet line instead of returning into a caller's loop,
    // and sleeps meanwhile.
    QVERIFY2(ms >= 400 && ms < 5000, qPrintable(QString::number(ms)));
    QVERIFY2(cpuMs < 300, qPrintable(QString::number(cpuMs)));
    QCOMPARE(port.Write("AT\r", 3), 0);
    QVERIFY(port.Close());
}

QTEST_GUILESS_MAIN(tst_SerialPort)
#include "tst_serialport.moc"

#pragma once
#include "IModemIo.h"

#include <QString>

#include <atomic>
#include <optional>

// A serial device on POSIX termios. Reads return after 100 ms of silence following
// the first byte, or after 1 ms per requested byte plus 500 ms.
class CSerialPort : public IModemIo
{
public:
    enum Parity : quint8 { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
    enum StopBits : quint8 { OneStop = 0, OneAndHalfStop = 1, TwoStop = 2 };

    CSerialPort();
    ~CSerialPort() override;
    CSerialPort(const CSerialPort &) = delete;
    CSerialPort &operator=(const CSerialPort &) = delete;

    bool Open(const QString &portName, quint32 baudRate, quint8 byteSize, quint8 parity, quint8 stopBits);
    // Opens again what the last successful Open opened, with the same settings (a USB modem
    // plugged out and in again comes back under its old path). Never a pseudo-terminal named
    // directly: its name is not its own any more once its other side is gone.
    bool Reopen();
    bool Close();
    int Read(char *buffer, int maximum);
    int Write(const char *buffer, int count) override;
    bool IsOpen() const override;
    // The device went away under the open descriptor (end of file, EIO or ENXIO, a hang-up,
    // a write refused for good): nothing more will come through it. Cleared by Open.
    bool IsGone() const override { return m_bGone.load(); }

    // Like Read, with the two time-outs given (milliseconds); returns at once with what is
    // there when the wake descriptor becomes readable (-1: none).
    int ReadTimed(char *buffer, int maximum, int totalMs, int intervalMs, int wakeFd = -1) override;

    // "COMn" (n = 1..9) names /dev/ttyS(n-1); anything else is taken as a device path.
    static QString DevicePath(const QString &portName);

    // The device the last successful Open opened ("COM1" as "/dev/ttyS0"); "" before any.
    QString OpenedPath() const { return m_opened ? m_opened->path : QString(); }

    // Why the last Open failed, in one English line for logs and the command line.
    QString ErrorString() const;
    // The last Open failed because no device has that name.
    bool DeviceMissing() const { return m_bMissing; }

protected:
    // Atomic: the worker thread may close and reopen the port while another thread asks
    // whether it is open.
    std::atomic<int> m_fd{-1};

private:
    bool Fail(int fd, const QString &why);
    QString m_strError;
    bool m_bMissing = false;
    std::atomic<bool> m_bGone{false};
    struct Opened
    {
        QString path;
        quint32 baudRate = 0;
        quint8 byteSize = 8, parity = 0, stopBits = 0;
        bool comesBack = true; // worth opening again after the device went away
    };
    std::optional<Opened> m_opened;
};

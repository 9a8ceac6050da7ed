#pragma once
#include <QString>

// A serial device on POSIX termios. Reads return after 100 ms of silence following
// the first byte, or after 1 ms per requested byte plus 500 ms.
class CSerialPort
{
public:
    enum Parity : quint8 { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
    enum StopBits : quint8 { OneStop = 0, OneAndHalfStop = 1, TwoStop = 2 };

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort &) = delete;
    CSerialPort &operator=(const CSerialPort &) = delete;

    bool Open(const QString &portName, quint32 baudRate, quint8 byteSize, quint8 parity, quint8 stopBits);
    bool Close();
    int Read(char *buffer, int maximum);
    int Write(const char *buffer, int count);
    bool IsOpen() const;

    // Like Read, with the two time-outs given (milliseconds); returns at once with what is
    // there when the wake descriptor becomes readable (-1: none).
    int ReadTimed(char *buffer, int maximum, int totalMs, int intervalMs, int wakeFd = -1);

    // "COMn" (n = 1..9) names /dev/ttyS(n-1); anything else is taken as a device path.
    static QString DevicePath(const QString &portName);

    // Why the last Open failed, in one English line for logs and the command line.
    QString ErrorString() const;

protected:
    int m_fd = -1;

private:
    bool Fail(int fd, const QString &why);
    QString m_strError;
};

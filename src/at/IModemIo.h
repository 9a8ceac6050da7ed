#pragma once
// The line to one modem as the AT dialogue sees it: bytes written, bytes read within a time,
// and whether the device has gone away. CSerialPort is the real one; the tests script a fake
// one, so that the dialogue runs in milliseconds without a thread or a pseudo-terminal.
class IModemIo
{
public:
    virtual ~IModemIo() = default;

    // The number of bytes written; 0 when nothing could be written.
    virtual int Write(const char *buffer, int count) = 0;
    // Up to maximum bytes: returns intervalMs after the last byte received (at once with the
    // first bytes when 0), after totalMs in all, or at once when the wake descriptor (-1:
    // none) becomes readable. 0 when nothing came.
    virtual int ReadTimed(char *buffer, int maximum, int totalMs, int intervalMs, int wakeFd = -1) = 0;
    virtual bool IsOpen() const = 0;
    // Nothing more will come through the line: the device went away under it.
    virtual bool IsGone() const = 0;
};

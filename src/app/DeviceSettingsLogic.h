#pragma once
// The device window's rules: the entries of its drop-downs, which entry shows a stored
// text, the defaults, the checks before saving and the saving of the list of modems.
#include "base/DeviceSettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

class CSettingsFile;

namespace DeviceSettingsLogic {

// "COM1" to "COM9", then the serial devices the system has: /dev/ttyS* (those with a
// port behind them), /dev/ttyUSB*, /dev/ttyACM* and /dev/serial/by-id/*, in natural order.
// The roots are parameters so a test can hand in folders of its own.
QStringList PortEntries(const QString &devRoot = QStringLiteral("/dev"),
                        const QString &sysTtyRoot = QStringLiteral("/sys/class/tty"));
QStringList BaudRateEntries();
QStringList ByteSizeEntries();
QStringList ParityEntries();
QStringList StopBitsEntries();

// The entry a drop-down shows for a stored text: the one equal to it, else the first that
// begins with it (both ignoring letter case); -1 when none does (the text itself is shown).
int MatchEntry(const QStringList &entries, const QString &stored);

// "恢复默认": COM1, 9600, 8 data bits, no parity, 1 stop bit; the SMSC, the PIN and the name stay.
DeviceSettings Defaults(const DeviceSettings &current);
// The same for the modem at index of a pool: a further modem keeps its port, and everything
// else becomes "as the first modem" (empty) but the PIN and the name.
DeviceSettings Defaults(const DeviceSettings &current, int index);

// "" when the settings may be saved, else "请正确设置端口和SMSC!", for a PIN that is not
// empty nor four to eight digits "PIN码必须是4到8位数字", for a limit or a pause that is not
// whole digits "发送上限和发送间隔必须是整数", for quiet hours that are not two times "H:MM"
// (or both empty) "静默时段请填写开始和结束时间, 如 21:00 至 08:00".
QString validate(const DeviceSettings &edited);
// The same for a list: the first modem as above; a further one needs its port only (its empty
// keys are the first modem's); no two modems on one port ("两台短信猫不能使用同一个串口: X").
// *at: the modem the message is about.
QString validate(const QVector<DeviceSettings> &edited, int *at = nullptr);

struct Result
{
    bool m_bOk = false;
    QString m_strMessage; // "" on success
};
// validate(), then each modem's keys in its section (SYSTEM, MODEM2, ...), in the order COM,
// BaudRate, SMSC, ByteSize, Parity, StopBits, PIN, and the sections of modems removed gone;
// current takes the list (the next connect and the next message built use it). origins: the
// index each edited modem had in current (-1 when added), so that a PIN its SIM refused stays
// refused however the list moved; pinEdited: the operator typed the PIN of that modem, so a PIN
// the SIM refused before may be tried again.
Result SaveList(CSettingsFile &file, QVector<DeviceSettings> &current, const QVector<DeviceSettings> &edited,
                const QVector<int> &origins, const QVector<bool> &pinEdited);

} // namespace DeviceSettingsLogic

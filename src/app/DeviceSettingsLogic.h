#pragma once
// The device window's rules: the entries of its drop-downs, which entry shows a stored
// text, the defaults, the check before saving and the saving itself.
#include "base/DeviceSettings.h"

#include <QString>
#include <QStringList>

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

// "恢复默认": COM1, 9600, 8 data bits, no parity, 1 stop bit; the SMSC and the PIN stay.
DeviceSettings Defaults(const DeviceSettings &current);

// "" when the settings may be saved, else "请正确设置端口和SMSC!" or, for a PIN that is not
// empty nor four to eight digits, "PIN码必须是4到8位数字".
QString validate(const DeviceSettings &edited);

struct Result
{
    bool m_bOk = false;
    QString m_strMessage; // "" on success
};
// validate(), then the keys of section SYSTEM in their order, and current takes them: the
// next connect and the next message built use them. pinEdited: the operator typed in the PIN
// field, so a PIN the SIM refused before may be tried again.
Result Save(CSettingsFile &file, DeviceSettings &current, const DeviceSettings &edited, bool pinEdited = false);

} // namespace DeviceSettingsLogic

#pragma once
// A PIN the SIM refused, remembered in setting.ini beside the PIN (as a digest, key
// PinRefused of the modem's section), so that no later run of any program enters it again:
// three wrong entries lock the SIM behind its PUK. It stays refused until the operator gives
// a PIN again.
#include <QString>

class CSettingsFile;

namespace PinMemory {

QString Digest(const QString &pin);
bool IsRefused(const CSettingsFile &file, const QString &section, const QString &pin);
// False when the file cannot be written.
bool Remember(CSettingsFile &file, const QString &section, const QString &pin);
bool Forget(CSettingsFile &file, const QString &section);

} // namespace PinMemory

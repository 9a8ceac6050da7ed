#pragma once
// The ring file as the ring window shows and stores it (Check/Mid): a file in the folder of
// setting.ini is kept by its name alone, any other by its full path.
#include <QString>

class CSettingsFile;

namespace RingSettings {
QString StoredName(const CSettingsFile &file);  // Check/Mid as written, default "skevo.mid"
// The file a stored name stands for (relative names are taken from setting.ini's folder).
QString Resolve(const CSettingsFile &file, const QString &stored);
// The name to store for a chosen file.
QString NameFor(const CSettingsFile &file, const QString &chosen);
bool Write(CSettingsFile &file, const QString &stored);
} // namespace RingSettings

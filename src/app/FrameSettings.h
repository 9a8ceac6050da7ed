#pragma once
// The main window's switches in setting.ini: the ring tone (Check/Play, Check/Mid), and what
// the window writes when it closes (MSG/MESSAGE and Check/Play).
#include <QString>

class CSettingsFile;

namespace FrameSettings {
bool ReadPlayFlag(const CSettingsFile &file);   // Check/Play, default 1
// Check/Mid (default "skevo.mid"); a relative name is taken from the settings file's folder.
QString ReadRingFile(const CSettingsFile &file);
// MSG/MESSAGE = message, Check/Play = "1" or "0". False when the file cannot be written.
bool WriteOnClose(CSettingsFile &file, const QString &message, bool play);
// Text of the status bar's user pane.
QString UserPaneText(const QString &user);
} // namespace FrameSettings

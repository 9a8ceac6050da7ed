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
// MSG/MESSAGE as written by WriteOnClose (defaultText when the key is missing).
QString ReadMessage(const CSettingsFile &file, const QString &defaultText);
// The message text as one line of setting.ini and back: a line break is written "\n" and a
// backslash "\\" (a backslash before any other character stands for itself, as in texts
// written by earlier versions), and a value with blanks or quotes at either end is put in
// double quotes, which reading removes.
QString EncodeMessage(const QString &text);
QString DecodeMessage(const QString &stored);
// Text of the status bar's user pane.
QString UserPaneText(const QString &user);
} // namespace FrameSettings

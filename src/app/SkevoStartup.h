#pragma once
// From the start of the process to the running main window: options, the settings file,
// the single-instance guard, the database driver, the login, the main window.
#include "base/DbSettings.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

class IMessageBox;

namespace SkevoStartup {
// Runs the program; returns the process's exit code. arguments without the program name.
int Run(const QStringList &arguments, IMessageBox &messages);
// --help and --version, answered on standard output before any window system is needed
// (help2man runs them while building); the exit code, or nullopt to go on starting.
std::optional<int> AnswerWithoutWindows(const QStringList &arguments);
// The program's locale: the machine's when it is a Chinese one, else Chinese (China), so that
// calendars, month names and Qt's own dialogs speak the language of the rest of the program.
QLocale ProgramLocale(const QLocale &system);
// Makes ProgramLocale the default for everything created after it (call before any window).
void UseChineseLocale();
// Qt's own texts (file dialogs, the edit fields' menus) in the program's Chinese, whatever the
// machine's locale. False when this Qt has no such translations.
bool InstallQtTranslations();
// The start-up message when this Qt lacks the configured database driver, "" when it has it.
QString MissingDriverText(DbSettings::Driver driver);
} // namespace SkevoStartup

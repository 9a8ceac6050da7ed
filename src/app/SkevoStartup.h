#pragma once
// From the start of the process to the running main window: options, the settings file,
// the single-instance guard, the database driver, the login, the main window.
#include "base/DbSettings.h"

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
// Qt's own texts (file dialogs, the edit fields' menus) in Chinese, like the rest of the
// program, whatever the machine's locale. False when this Qt has no Chinese translations.
bool InstallQtTranslations();
// The start-up message when this Qt lacks the configured database driver, "" when it has it.
QString MissingDriverText(DbSettings::Driver driver);
} // namespace SkevoStartup

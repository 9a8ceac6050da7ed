#pragma once
// What scripts/test hands the tests: the throw-away PostgreSQL and the paths of the tools.
#include "base/DbSettings.h"
#include <QString>
#include <optional>

namespace TestEnv {
// The PostgreSQL server started for the run; nullopt when none was started.
std::optional<DbSettings> Postgres();
// SQLite settings for a file in dir.
DbSettings Sqlite(const QString &dir, const QString &name = QStringLiteral("SKEVOTEST"));
// Path of skevo-modemsim / skevo-cli as built (from the environment set by ctest).
QString ModemSimPath();
QString CliPath();
} // namespace TestEnv

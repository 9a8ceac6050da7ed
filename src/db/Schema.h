#pragma once
// The account the program creates in an empty T_USER, so that a new database can be logged
// into at once; the login dialog's hint names it.
#include <QString>

namespace Schema {
inline const QString kFirstAdminName = QStringLiteral("admin");
inline const QString kFirstAdminPassword = QStringLiteral("admin");
inline constexpr int kFirstAdminLevel = 0; // administrator
} // namespace Schema

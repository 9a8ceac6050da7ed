#pragma once
// Account passwords are kept as salted Argon2id hashes (libsodium crypto_pwhash_str).
// Rows written before hashing still hold the password itself: such a row is accepted when
// it equals the typed text, and the caller then stores Hash(typed) in its place.
#include <QString>

namespace PasswordHash {
// The encoded hash ("$argon2id$v=19$m=…,t=…,p=1$salt$hash"); "" only when the system is out
// of memory.
QString Hash(const QString &password);
// Whether password matches stored, a hash or (an old row) the plain password itself.
// An empty password or stored value never matches.
bool Verify(const QString &stored, const QString &password);
bool IsHash(const QString &stored);
// A matching stored value that should be replaced by Hash(password): a plain password, or a
// hash made with weaker parameters than Hash uses now.
bool NeedsUpgrade(const QString &stored);
} // namespace PasswordHash

#include "PasswordHash.h"

#include <sodium.h>

namespace {

// The OWASP floor for Argon2id (19 MiB, two passes): well under a tenth of a second for one
// login on a desktop, and costly enough per guess for anyone holding a copy of the table.
constexpr unsigned long long kOpsLimit = 2;
constexpr size_t kMemLimit = 19u * 1024u * 1024u;

bool Ready()
{
    static const bool ready = sodium_init() >= 0; // thread-safe once, per C++ statics
    return ready;
}

} // namespace

namespace PasswordHash {

QString Hash(const QString &password)
{
    if (!Ready())
        return QString();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()), kOpsLimit, kMemLimit) != 0)
        return QString();
    return QString::fromLatin1(out);
}

bool IsHash(const QString &stored)
{
    return stored.startsWith(QStringLiteral("$argon2id$"));
}

bool Verify(const QString &stored, const QString &password)
{
    if (stored.isEmpty() || password.isEmpty())
        return false;
    if (!IsHash(stored))
        return stored == password;
    if (!Ready())
        return false;
    const QByteArray encoded = stored.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(encoded.constData(), utf8.constData(), static_cast<unsigned long long>(utf8.size())) == 0;
}

bool NeedsUpgrade(const QString &stored)
{
    if (!IsHash(stored))
        return true;
    if (!Ready())
        return false;
    const QByteArray encoded = stored.toLatin1();
    return crypto_pwhash_str_needs_rehash(encoded.constData(), kOpsLimit, kMemLimit) != 0;
}

} // namespace PasswordHash

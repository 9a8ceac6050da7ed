#pragma once
// The tokens other programs present to the HTTP API ("Authorization: Bearer <token>"). A
// token is 32 random bytes, shown once when it is made; the database keeps only its digest
// (BLAKE2b, libsodium's generic hash: the token is random, so a fast digest is as safe as a
// slow password hash and costs nothing per request). A token has a name, by which it is
// listed, revoked and written in the request log; several tokens may share a name.
#include <QString>
#include <QVector>
#include <optional>

class CDbAccess;

namespace ApiTokens {
struct Listed
{
    QString name;
    QString created;
    bool revoked = false;
};

// A new random token ("skv_" and 43 characters of base64url).
QString NewToken();
// The hex digest stored for a token.
QString Digest(const QString &token);
// Stores the digest of a new token under name; the token, "" when the database refused.
QString Add(CDbAccess &db, const QString &name);
// Every token made, in order, revoked ones too; nullopt when the database could not be read.
std::optional<QVector<Listed>> List(CDbAccess &db);
// Revokes every token of that name; how many, -1 when the database refused.
int Revoke(CDbAccess &db, const QString &name);
// Tokens not revoked; -1 when the database could not be read.
int ActiveCount(CDbAccess &db);
// The name of the token, when it is one not revoked; "" when it is none, nullopt when the
// database could not be asked.
std::optional<QString> NameOf(CDbAccess &db, const QString &token);
} // namespace ApiTokens

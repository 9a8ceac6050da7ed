#include "ApiTokens.h"

#include "db/CDbAccess.h"
#include "db/DbTime.h"

#include <QByteArray>
#include <sodium.h>

namespace ApiTokens {

QString NewToken()
{
    if (sodium_init() < 0)
        return QString();
    QByteArray bytes(32, '\0');
    randombytes_buf(bytes.data(), size_t(bytes.size()));
    return QStringLiteral("skv_")
        + QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString Digest(const QString &token)
{
    const QByteArray in = token.toUtf8();
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char *>(in.constData()),
                       quint64(in.size()), nullptr, 0);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(out), sizeof out).toHex());
}

QString Add(CDbAccess &db, const QString &name)
{
    const QString token = NewToken();
    if (token.isEmpty() || !db.Execute(Sql::TokenInsert, {name, Digest(token), DbTime::Now()}))
        return QString();
    return token;
}

std::optional<QVector<Listed>> List(CDbAccess &db)
{
    QVector<Listed> out;
    const RecordsetPtr rs = db.OpenRecordset(Sql::TokenSelect);
    try {
        for (; !rs->IsEOF(); rs->MoveNext())
            out.append({rs->GetFieldText(0), rs->GetFieldText(1), rs->GetFieldValue(2).toInt() != 0});
    } catch (const CDbError &) {
        return std::nullopt;
    }
    return out;
}

int Revoke(CDbAccess &db, const QString &name)
{
    if (!db.Execute(Sql::TokenRevoke, {name}))
        return -1;
    return db.RowsAffected();
}

int ActiveCount(CDbAccess &db)
{
    const RecordsetPtr rs = db.OpenRecordset(Sql::TokenActiveCount);
    try {
        return rs->IsEOF() ? 0 : rs->GetFieldValue(0).toInt();
    } catch (const CDbError &) {
        return -1;
    }
}

std::optional<QString> NameOf(CDbAccess &db, const QString &token)
{
    if (token.isEmpty())
        return QString();
    const RecordsetPtr rs = db.OpenRecordset(Sql::TokenFind, {Digest(token)});
    try {
        return rs->IsEOF() ? QString() : rs->GetFieldText(0);
    } catch (const CDbError &) {
        return std::nullopt;
    }
}

} // namespace ApiTokens

#include "SignalQuality.h"

#include <QStringList>

std::optional<SignalQuality> SignalQuality::Parse(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QStringLiteral("+CSQ:")))
        return std::nullopt;
    const QStringList fields = t.mid(5).split(QLatin1Char(','));
    if (fields.size() != 2)
        return std::nullopt;
    bool okRssi = false, okBer = false;
    SignalQuality q;
    q.m_nRssi = fields.at(0).trimmed().toInt(&okRssi);
    q.m_nBer = fields.at(1).trimmed().toInt(&okBer);
    if (!okRssi || !okBer)
        return std::nullopt;
    return q;
}

#include "MessageText.h"

#include "base/GbkText.h"

#include <QStringEncoder>

namespace MessageText {

int ByteCount(const QString &text)
{
    return GbkText::ByteLength(text) + int(text.count(QLatin1Char('\n')));
}

QString Truncate(const QString &text, int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const qsizetype len = (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        int bytes;
        if (c == QLatin1Char('\n'))
            bytes = 2;
        else if (c.unicode() < 0x80)
            bytes = 1;
        else
            bytes = int(QByteArray(encoder.encode(QStringView(text).mid(i, len))).size());
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        i += len;
    }
    return text.left(i);
}

} // namespace MessageText

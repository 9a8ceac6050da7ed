#include "GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace GbkText {

QByteArray ToGbk(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString FromGbk(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

int ByteLength(const QString &text)
{
    return int(ToGbk(text).size());
}

QString Truncate(const QString &text, int maxBytes)
{
    if (ByteLength(text) <= maxBytes)
        return text;
    QString out;
    int used = 0;
    for (int i = 0; i < text.size();) {
        const int len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString piece = text.mid(i, len);
        const int bytes = ByteLength(piece);
        if (used + bytes > maxBytes)
            break;
        out += piece;
        used += bytes;
        i += len;
    }
    return out;
}

QString FromUtf8OrGbk(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return FromGbk(bytes);
}

} // namespace GbkText

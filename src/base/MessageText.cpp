#include "base/MessageText.h"

#include "GbkText.h"

#include <QStringEncoder>

namespace MessageText {

int ByteCount(const QString &text)
{
    return GbkText::ByteLength(text);
}

bool Fits(const QString &text)
{
    return ByteCount(text) <= kMaxBytes;
}

QString Truncate(const QString &text, int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    // One character at a time, ASCII without the encoder: a pasted book is cut quickly.
    QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const qsizetype len = (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const int bytes = c.unicode() < 0x80 ? 1 : int(QByteArray(encoder.encode(QStringView(text).mid(i, len))).size());
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        i += len;
    }
    return text.left(i);
}

QString CountCaption(int bytes, int messages)
{
    return QStringLiteral("%1 (%2条)").arg(bytes).arg(messages);
}

OperatorMessage TooLong()
{
    return {QStringLiteral("“请填入不多于%1个的字符。”").arg(kMaxBytes), QString(), IMessageBox::Warning};
}

} // namespace MessageText

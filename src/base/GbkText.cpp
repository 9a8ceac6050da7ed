#include "GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <vector>

namespace {
// For every character of the Basic Multilingual Plane its GBK code: below 0x100 one byte,
// else lead byte and trail byte; 0 when GBK has no code for it (NUL itself is 0 too, and
// written as such). Built once from the Windows code page 936 as ICU knows it, which writes
// a character it has no code for as "?" and drops a few invisible ones without a trace.
const std::vector<quint16> &GbkCodes()
{
    static const std::vector<quint16> codes = [] {
        std::vector<quint16> table(0x10000, 0);
        QStringEncoder cp936("GBK");
        for (char32_t c = 1; c < 0x10000; ++c) {
            if ((c >= 0xD800 && c < 0xE000) || (c >= 0xE000 && c < 0xF900))
                continue; // surrogates; private use
            const QChar ch{char16_t(c)};
            const QByteArray b = cp936.encode(QStringView(&ch, 1));
            if (b.size() == 1 && (b.at(0) != '?' || c == u'?'))
                table[c] = quint8(b.at(0));
            else if (b.size() == 2)
                table[c] = quint16(quint8(b.at(0)) << 8 | quint8(b.at(1)));
        }
        return table;
    }();
    return codes;
}
} // namespace

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

QByteArray ToStrictGbk(QStringView text, qsizetype *replaced)
{
    const std::vector<quint16> &codes = GbkCodes();
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char *to = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const quint16 code = codes[c];
        if (code >= 0x100) {
            *to++ = char(code >> 8);
            *to++ = char(code & 0xFF);
        } else if (code != 0 || c == 0) {
            *to++ = char(code);
        } else {
            // One "?" for one character, a surrogate pair included.
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i;
            *to++ = '?';
            ++*replaced;
        }
    }
    out.truncate(to - out.constData());
    return out;
}

Lines FromUtf8OrGbkLines(const QByteArray &bytes)
{
    Lines lines;
    lines.m_strText.reserve(bytes.size());
    int number = 0;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QByteArrayView line(bytes.constData() + start, end - start);
        ++number;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(line);
        if (utf8.hasError()) {
            QStringDecoder gbk("GB18030", QStringDecoder::Flag::Stateless);
            text = gbk.decode(line);
            if (gbk.hasError())
                lines.m_invalidLines.append(number);
        }
        lines.m_strText += text;
        start = end;
    }
    return lines;
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

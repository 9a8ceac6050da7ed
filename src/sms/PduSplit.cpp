#include "PduCodec.h"
#include "Gsm7Alphabet.h"

#include <vector>

// The cutting of a long text into the parts of a concatenated message (TS 23.040
// 9.2.3.24.1), shared by the encoder and by whatever builds long messages as a sender does.
namespace Pdu {
namespace {

// Cuts a sequence of indivisible pieces into parts of at most `limit` units (a piece
// longer than that makes a part of its own). pieceEnds[i] is the unit offset after piece i.
std::vector<std::pair<int, int>> Cut(const std::vector<int> &pieceEnds, int limit)
{
    std::vector<std::pair<int, int>> parts;
    int start = 0;
    int last = 0; // end of the last piece that still fits
    for (int end : pieceEnds) {
        if (end - start > limit && last > start) {
            parts.emplace_back(start, last);
            start = last;
        }
        last = end;
    }
    parts.emplace_back(start, last);
    return parts;
}

template <typename Seq>
QList<Seq> Parts(const Seq &all, const std::vector<int> &pieceEnds, int limit)
{
    QList<Seq> parts;
    for (const auto &[from, until] : Cut(pieceEnds, limit))
        parts.append(all.mid(from, until - from));
    return parts;
}

} // namespace

QList<QByteArray> SplitSeptets(const QByteArray &septets, int limit)
{
    std::vector<int> ends;
    ends.reserve(septets.size());
    for (qsizetype i = 0; i < septets.size(); ++i) {
        if (quint8(septets[i]) == Gsm7Alphabet::kEscape && i + 1 < septets.size())
            ++i; // an escape and its code stay together
        ends.push_back(int(i + 1));
    }
    return Parts(septets, ends, limit);
}

QList<QByteArray> SplitOctets(const QByteArray &octets, int limit)
{
    std::vector<int> ends;
    ends.reserve(octets.size());
    for (qsizetype i = 0; i < octets.size(); ++i)
        ends.push_back(int(i + 1));
    return Parts(octets, ends, limit);
}

QStringList SplitUcs2(const QString &text, int limit)
{
    std::vector<int> ends;
    ends.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i; // a surrogate pair stays in one part
        ends.push_back(int(i + 1));
    }
    return Parts(text, ends, limit);
}

} // namespace Pdu

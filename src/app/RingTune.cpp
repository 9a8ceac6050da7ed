#include "RingTune.h"

namespace {

constexpr int kTicksPerQuarter = 480;
constexpr quint32 kMicrosPerQuarter = 400000; // 150 beats a minute
constexpr quint8 kVibraphone = 11;            // General MIDI program (0-based)
constexpr quint8 kChannel = 0;

void VarLen(QByteArray &out, quint32 value)
{
    quint8 bytes[5];
    int n = 0;
    bytes[n++] = quint8(value & 0x7F);
    while ((value >>= 7) != 0)
        bytes[n++] = quint8(0x80 | (value & 0x7F));
    while (n > 0)
        out.append(char(bytes[--n]));
}

void Be(QByteArray &out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

struct Note
{
    quint8 key;    // MIDI key number, 60 = middle C
    quint16 ticks; // length
};

} // namespace

namespace RingTune {

QByteArray Midi()
{
    // Two rising arpeggios answered by a falling one, each ending on a held note: short
    // enough to restart on every arrival, bright enough to be heard across a room.
    static const Note kTune[] = {
        {76, 120}, {79, 120}, {84, 120}, {88, 360},
        {76, 120}, {79, 120}, {84, 120}, {88, 360},
        {91, 120}, {88, 120}, {84, 120}, {79, 120}, {84, 720},
    };

    QByteArray track;
    VarLen(track, 0);
    track.append("\xFF\x51\x03", 3); // tempo
    Be(track, kMicrosPerQuarter, 3);
    VarLen(track, 0);
    track.append(char(0xC0 | kChannel));
    track.append(char(kVibraphone));
    for (const Note &n : kTune) {
        VarLen(track, 0);
        track.append(char(0x90 | kChannel));
        track.append(char(n.key));
        track.append(char(100));
        VarLen(track, n.ticks);
        track.append(char(0x80 | kChannel));
        track.append(char(n.key));
        track.append(char(64));
    }
    // Let the last note ring out a little before the track ends.
    VarLen(track, kTicksPerQuarter);
    track.append("\xFF\x2F\x00", 3);

    QByteArray file("MThd", 4);
    Be(file, 6, 4);
    Be(file, 0, 2); // format 0
    Be(file, 1, 2); // one track
    Be(file, kTicksPerQuarter, 2);
    file.append("MTrk", 4);
    Be(file, quint32(track.size()), 4);
    file.append(track);
    return file;
}

} // namespace RingTune

#pragma once
// The program's own ring tone, composed here note by note as a Standard MIDI File
// (format 0, one track): what skevo.mid holds. The build writes it out as skevo.mid, and
// the ring plays it when the configured skevo.mid is not there.
#include <QByteArray>
#include <QString>

namespace RingTune {
QByteArray Midi();
// The name of the tune's file, the default of Check/Mid.
inline const QString kFileName = QStringLiteral("skevo.mid");
} // namespace RingTune

// Writes the program's ring tone to the file named on the command line: the build runs it
// to ship skevo.mid beside the programs.
#include "app/RingTune.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-ring FILE\n");
        return 2;
    }
    QFile out(QString::fromLocal8Bit(argv[1]));
    const QByteArray tune = RingTune::Midi();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(tune) != tune.size()) {
        std::fprintf(stderr, "make-ring: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

// Writes the program's ring tone to the file named on the command line: the build runs it
// to ship skevo.mid beside the programs.
#include "app/RingTune.h"
#include "base/FileWriter.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-ring FILE\n");
        return 2;
    }
    const QString failure = FileWriter::WriteWhole(QString::fromLocal8Bit(argv[1]), RingTune::Midi());
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "make-ring: %s\n", failure.toUtf8().constData());
        return 1;
    }
    return 0;
}

// make-icons FOLDER: writes the program's icon as the PNG files of the hicolor theme
// (FOLDER/NxN/apps/skevo.png), drawn by the same code that draws the window's and the tray's.
#include "base/AppIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (int size : AppIcon::kSizes) {
        const QString folder = root.filePath(QStringLiteral("%1x%1/apps").arg(size));
        const QString file = folder + QStringLiteral("/skevo.png");
        if (!QDir().mkpath(folder) || !AppIcon::Render(size).save(file, "PNG")) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

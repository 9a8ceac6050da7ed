#include "AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

QIcon Build(bool greyed)
{
    QIcon icon;
    for (int size : AppIcon::kSizes)
        icon.addPixmap(QPixmap::fromImage(AppIcon::Render(size, greyed)));
    return icon;
}

} // namespace

namespace AppIcon {

QImage Render(int size, bool greyed)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QSvgRenderer svg(QStringLiteral(":/icons/skevo.svg"));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (greyed) {
        for (int y = 0; y < size; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < size; ++x) {
                // Lighter than plain grey, so the idle modem reads as switched off.
                const int grey = 64 + qGray(line[x]) * 3 / 4;
                line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
            }
        }
    }
    return image;
}

QIcon Icon()
{
    return Build(false);
}

QIcon GreyedIcon()
{
    return Build(true);
}

} // namespace AppIcon

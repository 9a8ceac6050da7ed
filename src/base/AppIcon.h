#pragma once
// The program's one picture (icons/skevo.svg): the window's icon, the tray's, and the PNG
// files the package installs for the desktop's launcher are all drawn from it.
#include <QIcon>
#include <QImage>

namespace AppIcon {
// The sizes of the PNG files installed under /usr/share/icons/hicolor.
inline constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The picture at size x size; greyed: in shades of grey, for a modem that is not connected.
QImage Render(int size, bool greyed = false);
QIcon Icon();
QIcon GreyedIcon();
} // namespace AppIcon

#pragma once
// Line speeds outside the B-constants of <termios.h> (the 14400 and 28800 a Windows
// modem set-up offers), set and read through the kernel's termios2 (BOTHER). Kept in its
// own file because <asm/termbits.h> cannot share a translation unit with <termios.h>.
#include <QtGlobal>
#include <optional>

namespace SerialSpeed {

// Sets both directions of the open tty fd to baud with BOTHER, leaving the other flags as
// they are. False when the driver refuses.
bool SetCustom(int fd, quint32 baud);

// The output speed the driver holds, in bits per second, as the kernel reports it.
std::optional<quint32> Current(int fd);

} // namespace SerialSpeed

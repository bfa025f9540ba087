// Baud rates that termios has no Bxxx constant for (250000 among them).
#pragma once

#include <cstdint>

namespace dd {

// Sets both directions of fd to `baudRate` through termios2/BOTHER. Linux only; elsewhere
// it returns false. Kept in its own source because <asm/termbits.h> clashes with <termios.h>.
bool SetCustomBaudRate(int fd, int32_t baudRate);
// The rate fd sends at now (termios2), also a standard one; 0 where it cannot be told.
int32_t CurrentBaudRate(int fd);

}  // namespace dd

// The pseudo-terminal the simulated drive serves: creation in raw 8E1, the line
// settings the master has put on it, and COMn links in the port directory.
#pragma once

#include <cstdint>
#include <string>

namespace dd {

struct LineSettings {
  uint32_t baud = 0;
  int dataBits = 8;
  bool parity = false;
  bool oddParity = false;
};

// Opens a pty master (non-blocking, close-on-exec), sets its line to raw 8E1 at `baud`
// and returns the master fd (-1 on failure) and the slave path.
int OpenPtyMaster(uint32_t baud, std::string& slavePath);
// Line settings of the pty as the master side of the bus (our "master") set them.
bool ReadLineSettings(int masterFd, LineSettings& settings);

// "<dir>/COMn" in the serial layer's port directory.
std::string ComLinkPath(int n);
// Points `link` at `target` atomically (creating the directory).
bool MakeLink(const std::string& link, const std::string& target);
// Removes `link` only if it still points at `target`.
void RemoveLinkTo(const std::string& link, const std::string& target);

}  // namespace dd

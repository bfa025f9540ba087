// The native simulated drive beside a Windows test (see sim_session.sh): its console
// and its output, reached through Wine's drive Z:.
#pragma once

#include <string>

namespace dd::test {

// Sends one console line (e.g. "fault silent 1", "vanish") and waits until the simulator
// has handled it; returns what it printed for it. Fails the test if it does not answer.
std::string SimCommand(const std::string& line);

}  // namespace dd::test

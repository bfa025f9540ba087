// Installs the behaviour of every subsystem on the session's router: the one place
// that knows which handlers the program has. No widgets here.
#pragma once

namespace dd {

struct Session;

void InstallAllHandlers(Session& session);

}  // namespace dd

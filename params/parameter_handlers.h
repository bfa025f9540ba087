// Wires the parameter subsystem into the session: the connection sequence behind
// Timer1, the key filters and leave-the-field checks of Text2(0)..Text2(23), and the
// save behind Command3.
#pragma once

#include "app/session.h"
#include "params/field_validation.h"

namespace dd {

void InstallParameterHandlers(Session& session);

// The bounds of the last connection as the checks see them now.
FieldBounds CurrentFieldBounds(const Session& session);

}  // namespace dd

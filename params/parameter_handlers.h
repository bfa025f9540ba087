// Wires the parameter subsystem into the session: the connection sequence run after
// opening, the key filters and leave-the-field checks of the grid fields, and the save
// behind the save button.
#pragma once

#include "app/session.h"
#include "params/field_validation.h"

namespace dd {

void InstallParameterHandlers(Session& session);

// The bounds of the last connection as the checks see them now.
FieldBounds CurrentFieldBounds(const Session& session);

}  // namespace dd

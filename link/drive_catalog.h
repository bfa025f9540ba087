// Every drive operation by its name, with the shape of its frames: for tools that pick an
// operation at run time (drivectl), for reading frames back (the communication log) and
// for tests that walk all of them.
#pragma once

#include <span>
#include <string_view>

#include "link/drive_commands.h"
#include "link/frame_meaning.h"

namespace dd {

enum class OperationKind { ReadInt, ReadDouble, WriteInt, WriteDouble, Command };

// Exactly one of the function pointers is set, the one that matches `kind`.
struct DriveOperation {
  OperationShape frame;  // its name, register and value encoding
  OperationKind kind;
  CommandResult (*readInt)(SerialHandle, uint16_t, int32_t&) = nullptr;
  CommandResult (*readDouble)(SerialHandle, uint16_t, double&) = nullptr;
  CommandResult (*writeInt)(SerialHandle, uint16_t, int32_t) = nullptr;
  CommandResult (*writeDouble)(SerialHandle, uint16_t, double) = nullptr;
  CommandResult (*command)(SerialHandle, uint16_t) = nullptr;
  std::string_view Name() const { return frame.name; }
};

// All operations: configuration registers first, then control commands, then the
// control, target and live values.
std::span<const DriveOperation> DriveOperations();
// nullptr when no operation has this exact name.
const DriveOperation* FindDriveOperation(std::string_view name);

}  // namespace dd

#pragma once
// Helpers for the instruction lists the painters fill: appending without a
// leak when the list cannot grow, and a list that deletes what it still
// holds when a build is abandoned (an exception on the way).

#include <memory>
#include <utility>

#include "engine/drawing/DrawingInstruction.h"
#include "platform/foundation/OwnedList.h"

namespace VKMInstructionList {

// Computes nothing; the list takes the instruction over.
void append(tDrawingInstructions& instructions, std::unique_ptr<CDrawingInstruction> instruction);

}  // namespace VKMInstructionList

// A list owned for the length of a build; whatever is still in it at the end
// of the scope is deleted. Take the instructions with release().
using VKMScopedInstructionList = platform::ScopedOwnedList<tDrawingInstructions>;

#include "LayoutView/Drawing/VKMInstructionList.h"

namespace VKMInstructionList {

void append(tDrawingInstructions& instructions, std::unique_ptr<CDrawingInstruction> instruction) {
    if (!instruction) return;
    instructions.push_back(nullptr);
    instructions.back() = instruction.release();
}

}  // namespace VKMInstructionList

#include "LayoutModule/LayoutView/Drawing/VKMInstructionList.h"

namespace VKMInstructionList {

void append(tDrawingInstructions& instructions, std::unique_ptr<CDrawingInstruction> instruction) {
    if (!instruction) return;
    instructions.push_back(nullptr);
    instructions.back() = instruction.release();
}

void deleteAll(tDrawingInstructions& instructions) noexcept {
    for (auto it = instructions.rbegin(); it != instructions.rend(); ++it) delete *it;
    instructions.clear();
}

}  // namespace VKMInstructionList

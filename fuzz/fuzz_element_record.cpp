// Element records from untrusted bytes: read one record the way the layout
// and library readers do, and when it loads, take it down the roads a loaded
// element travels: joints, bounds, track length, a deep copy, turning, and
// writing it back.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/model/CompositeGeometry.h"

namespace {

void Exercise(CCompositeGeometry& element) {
    for (const JointFilter filter : {kJointFilterAll, kJointFilterFree, kJointFilterConnected})
        (void)element.GetJoints(filter);
    tDoubleRect box;
    element.CalcBoundingBox(box);
    (void)element.GetTrackLength();

    CCompositeGeometry copy(element);
    copy.SetAngle(element.GetAngle() + 37.5);
    copy.CalcBoundingBox(box);
    (void)copy.GetJoints(kJointFilterFree);

    // The newest form and the old form with 16-bit colours and
    // length-prefixed font names.
    for (const int version : {CCompositeGeometry::kNewestRecordVersion, 5}) {
        char* buffer = nullptr;
        std::size_t size = 0;
        if (FILE* out = open_memstream(&buffer, &size)) {
            (void)copy.Save(out, version);
            std::fclose(out);
        }
        std::free(buffer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen refuses a zero-length buffer; an empty record is the same
    // failure as one cut short, which the non-empty inputs cover.
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    CCompositeGeometry element;
    std::string errorText;
    if (element.Load(file, errorText)) Exercise(element);
    std::fclose(file);
    return 0;
}

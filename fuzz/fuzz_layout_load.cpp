// Layout files from untrusted bytes, loaded and nothing more: the reader of
// the file format alone, many times faster than the target that also
// derives and paints what loads, so it can go deeper into the format.

#include <cstddef>
#include <cstdint>

#include "engine/model/Layout.h"
#include "fuzz/support/LayoutFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::SetUpLayoutServices();
    if (!fuzzsupport::WriteLayoutInput(data, size)) return 0;
    CLayout layout;
    (void)layout.Load(fuzzsupport::LayoutInputPath());
    return 0;
}

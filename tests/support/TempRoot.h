#pragma once
// A temporary app root for one test process, removed when it goes away.

#include <filesystem>

#include "platform/foundation/TemporaryDirectory.h"

namespace testsupport {

class TempRoot {
public:
    TempRoot();
    // A root inside `parent` (which must exist).
    explicit TempRoot(const std::filesystem::path& parent);
    ~TempRoot();
    const std::filesystem::path& path() const { return mFolder.path(); }

private:
    platform::TemporaryDirectory mFolder;
};

// The root made for this test process by the shared test main.
const std::filesystem::path& processRoot();

}  // namespace testsupport

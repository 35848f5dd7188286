#pragma once
// A layout file opened as the app opens it (the document helper with the
// layout screen's preparer), for the benchmarks of what an open costs.

#include <cstddef>
#include <filesystem>

namespace benchsupport {

// The engine set up under a home of `homeName`, and the preparer, once per
// process.
void SetUpOpening(const char* homeName);

struct Open {
    double seconds = -1;
    double cpuSeconds = -1;  // of every thread of the process
    bool ok = false;
};

// Opens `path` and runs the main loop until its completion.
Open OpenAndWait(const std::filesystem::path& path);

// The pictures the open document shows.
std::size_t PicturesShown();

}  // namespace benchsupport

#pragma once
// Shared helpers of the tool tests: the programs of the build, run in a
// fixed language, and layout files written by the layoutgen program.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

#if !defined(VEKMONT_LAYOUTINFO) || !defined(VEKMONT_LAYOUTRENDER) || !defined(VEKMONT_LAYOUTGEN) || \
    !defined(VEKMONT_SERVICES)
#error "the tool tests need the paths of the four command-line programs"
#endif

namespace toolstest {

inline const char* const kLayoutInfo = VEKMONT_LAYOUTINFO;
inline const char* const kLayoutRender = VEKMONT_LAYOUTRENDER;
inline const char* const kLayoutGen = VEKMONT_LAYOUTGEN;
inline const char* const kServices = VEKMONT_SERVICES;
#ifdef VEKMONT_TOOLKIT_DEMO
inline const char* const kToolkitDemo = VEKMONT_TOOLKIT_DEMO;
#endif

// A path in this test process's own folder.
std::string PathFor(const std::string& name);

// Runs a tool in English; `environment` as for testsupport::RunProgram.
testsupport::tProgramRun RunTool(const std::string& tool, const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment = {});

void WriteFile(const std::string& path, const std::string& bytes);

// A small layout (two layers, tracks, a text, a baseboard) written by the
// layoutgen program; its path.
std::string WriteSampleLayout(const std::string& name);

// A tool started in the background as RunTool runs it, its output in files
// of the process root. A tool still running when this goes is killed.
class RunningTool {
public:
    RunningTool(const std::string& tool, const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {});
    ~RunningTool();
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    bool started() const { return mProgram.pid > 0; }
    // True until it has ended.
    bool running() const { return !mRun && testsupport::IsRunning(mProgram); }
    void signal(int number);
    // Waits for its end: the run, and the signal that ended it (0 for none).
    const testsupport::tProgramRun& wait(int* endingSignal = nullptr);
    const std::string& errPath() const { return mProgram.errPath; }

private:
    testsupport::tRunningProgram mProgram;
    std::optional<testsupport::tProgramRun> mRun;
    int mEndingSignal = 0;
};

// Waits in real time until `condition` holds; false on time-out.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The names in a folder.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace toolstest

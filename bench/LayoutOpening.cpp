#include "bench/LayoutOpening.h"

#include "LayoutModule/Layout/VKMLayoutPreparer.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "bench/BenchSupport.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/RunLoop.h"

#include <chrono>
#include <ctime>

namespace benchsupport {

namespace {

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

void SetUpOpening(const char* homeName) {
    SetUpBenchEngine(homeName);
    EnablePerformanceCounters();
    static const bool ready = [] {
        VKMLayoutDocumentHelper::setDocumentPreparer(VKMLayoutPreparer::shared());
        return true;
    }();
    (void)ready;
}

Open OpenAndWait(const std::filesystem::path& path) {
    Open result;
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    VKMLayoutDocumentHelper::openLayoutFile(path.string(), [&](bool ok) {
        result.ok = ok;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.cpuSeconds = processCpuSeconds() - cpuStart;
        done = true;
    });
    platform::RunLoop::main()->runUntil([&done] { return done; }, std::chrono::minutes(10));
    return result;
}

std::size_t PicturesShown() {
    std::size_t shown = 0;
    for (const CImageElement* image : CCurrentCloudLayout::Instance().Layout()->GetImages())
        shown += image->GetPicture() != nullptr;
    return shown;
}

}  // namespace benchsupport

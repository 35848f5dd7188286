// A crash report file from untrusted bytes: the crash that wrote it may have
// cut it short or left it damaged. A refusal carries the reader's error; a
// report that reads holds every part the reader promises, and every image
// is found by its own addresses.

#include <cstddef>
#include <cstdint>

#include "crashes/reporter/setup/TLCrashReport.h"
#include "crashes/reporter/setup/TLCrashReporterError.h"
#include "fuzz/support/FuzzSupport.h"

using fuzzsupport::Require;

namespace {

void CheckFrames(const TLCrashReportStackFrames& frames) {
    for (const auto& frame : frames) {
        Require(frame != nullptr, "no frame is null");
        if (const auto& symbol = frame->symbolInfo())
            Require(symbol->symbolName().size() < (1u << 31), "a symbol name");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TLCrashReport::ErrorOut error;
    const auto report = TLCrashReport::makeWithData(data, size, &error);
    if (!report) {
        Require(error.has_value(), "a refused report says why");
        Require(error->domain() == TLCrashReporterErrorDomain && error->code() == 2, "a refusal of the data");
        Require(!error->localizedDescription().empty(), "a refusal has a text");
        return 0;
    }
    Require(report->systemInfo() && report->applicationInfo() && report->signalInfo(), "the required parts");
    Require(report->systemInfo()->processorInfo() != nullptr, "a processor");
    Require(!report->threads().empty() && !report->images().empty(), "threads and images");
    if (const auto& mach = report->machExceptionInfo()) Require(mach->codes().size() <= 255, "at most 255 codes");
    for (const auto& thread : report->threads()) {
        CheckFrames(thread->stackFrames());
        for (const auto& reg : thread->registers()) Require(reg != nullptr, "no register is null");
    }
    if (const auto& exception = report->exceptionInfo()) {
        Require(!exception->stackFrames() || !exception->stackFrames()->empty(), "no empty list of frames");
        if (exception->stackFrames()) CheckFrames(*exception->stackFrames());
    }
    for (const auto& image : report->images()) {
        Require(image->hasImageUUID() ==
                    (image->imageUUID() && image->imageUUID()->size() % 2 == 0 && !image->imageUUID()->empty()),
                "a UUID of whole bytes");
        if (image->imageSize() == 0) continue;
        const auto found = report->imageForAddress(image->imageBaseAddress());
        Require(found != nullptr, "an image holds its base address");
        const std::uint64_t offset = image->imageBaseAddress() - found->imageBaseAddress();
        Require(image->imageBaseAddress() >= found->imageBaseAddress() && offset < found->imageSize(),
                "the image found holds the address");
    }
    return 0;
}

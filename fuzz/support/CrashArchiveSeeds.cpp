// Writes the seed corpus of the crash archive's fuzz target: the records the
// crashes service keeps, archived by our own archiver. The crash log is
// made by the error log formatter from the tests' full report.
//
//   crash_archive_seeds <folder>

#include "crashes/TelemetryCrashes/Internals/Model/TLMHandledErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMWrapperException.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMErrorLogFormatter.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/Model/TLMWrapperExceptionModel.h"
#include "crashes/reporter/setup/TLCrashReport.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Paths.h"
#include "telemetry/core/Util/TLMKeyedArchiver.h"
#include "tests/crashes/support/CrashReportFiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::shared_ptr<TLMWrapperExceptionModel> wrapperModel() {
    auto inner = std::make_shared<TLMWrapperExceptionModel>();
    inner->setType("System.IO.IOException");
    inner->setMessage("disk full");
    inner->setInnerExceptions(TLMWrapperExceptionModel::InnerExceptions{});
    auto frame = std::make_shared<TLMStackFrame>();
    frame->setAddress("0x0000000100004010");
    frame->setCode("Layout.Save + 12");
    auto model = std::make_shared<TLMWrapperExceptionModel>();
    model->setType("System.InvalidOperationException");
    model->setMessage("the track plan is upside down");
    model->setStackTrace("at Layout.Save()");
    model->setWrapperSdkName("telemetry.xamarin");
    model->setFrames(TLMExceptionModel::Frames{frame});
    model->setInnerExceptions(TLMWrapperExceptionModel::InnerExceptions{inner});
    return model;
}

std::vector<std::pair<std::string, TLMArchiveValue>> seeds() {
    crashtest::FullReport full;
    const crashtest::Bytes file = full.file();
    const auto report = TLCrashReport::makeWithData(file);
    auto crashLog = TLMErrorLogFormatter::errorLogFromCrashReport(*report, file);
    crashLog->setException(wrapperModel());

    auto handled = std::make_shared<TLMHandledErrorLog>();
    handled->setErrorId("5C7E5A2E-1B1D-4F8E-9A55-0D2C6B1E7F00");
    handled->setTimestamp(*crashLog->timestamp());
    handled->setDevice(crashLog->device());
    handled->setProperties({{"Layout", "42"}});
    handled->setException(wrapperModel());

    auto attachment = TLMErrorAttachmentLog::attachmentWithText(std::string("line 1\n"), std::string("App.log"));
    attachment->setErrorId(crashLog->errorId());
    attachment->setTimestamp(*crashLog->timestamp());
    attachment->setDevice(crashLog->device());

    auto wrapper = std::make_shared<TLMWrapperException>();
    wrapper->setModelException(wrapperModel());
    wrapper->setExceptionData(TLMWrapperException::Data{0x00, 0xFF, 0x10});
    wrapper->setProcessId(4242);
    return {
        {"apple-error-log", crashLog},
        {"handled-error-log", handled},
        {"attachment", attachment},
        {"wrapper-exception", wrapper},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: crash_archive_seeds <folder>\n");
        return 2;
    }
    // The formatter reads the device history from here.
    platform::Paths::setRoot(fuzzsupport::TemporaryRoot());
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    for (const auto& [name, value] : seeds()) {
        std::string error;
        const auto bytes = TLMKeyedArchiver::archivedData(value, &error);
        if (!bytes) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
        std::ofstream out(folder / (name + ".tlma"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}

#include "app/Helper/VKMLayoutDocumentHelper.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainThread.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessMemory.h"

const void* VKMLayoutDocumentHelper::notificationObject() {
    static const char identity = 0;
    return &identity;
}

namespace {

// The open being read; a later open takes its place.
// Atomic: the load queue looks whether its read is still wanted.
std::atomic<std::uint64_t> gOpenGeneration{0};
bool gLoading = false;
std::shared_ptr<VKMLayoutDocumentHelper::DocumentPreparer> gPreparer;

// Hands the read document to the holder and tells the screens; main thread.
bool finishLoad(CCurrentCloudLayout::tReadLayout read, CStopwatch& stopwatch,
                const std::shared_ptr<VKMLayoutDocumentHelper::DocumentPreparer>& preparer = nullptr) {
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    const bool rc = holder.Adopt(std::move(read));
    if (rc && preparer) preparer->documentAdopted(*holder.Layout());
    // The load replaced the document the close left.
    VKMLayoutSession::sharedSession().forgetDocument();
    VKM_SOFT_ASSERT(rc);
    QLPerformanceCounters::addToCounter("LoadLayout", stopwatch.Stop());
    auto& center = platform::NotificationCenter::defaultCenter();
    if (rc) {
        center.postNotificationName(VKMLayoutDocumentHelper::kDocumentLoadedNotification,
                                    VKMLayoutDocumentHelper::notificationObject());
    } else {
        center.postNotificationName(VKMLayoutDocumentHelper::kDocumentLoadFailedNotification,
                                    VKMLayoutDocumentHelper::notificationObject());
        QLActivityAnalytics::trackEvent("LayoutLoadFailed");
        VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("OperationFailed"), holder.GetLastLoadErrorMessage(),
                                      "OK", [] {});
    }
    return rc;
}

}  // namespace

bool VKMLayoutDocumentHelper::loadLayoutFile(const std::string& path) {
    platform::requireMainThread("VKMLayoutDocumentHelper::loadLayoutFile");
    ZDUtils::logInfo("Loading layout %s", path.c_str());
    if (path.empty()) {
        ZDUtils::logWarning("Invalid input file at %s", "loadLayoutFile:");
        return false;
    }
    // Whatever is still being read is not wanted any more.
    ++gOpenGeneration;
    gLoading = false;
    CStopwatch stopwatch;
    stopwatch.Start();
    closeDocument();
    return finishLoad(CCurrentCloudLayout::ReadLayout(path), stopwatch);
}

void VKMLayoutDocumentHelper::openLayoutFile(const std::string& path, std::function<void(bool)> completion,
                                             std::shared_ptr<const void> hold) {
    platform::requireMainThread("VKMLayoutDocumentHelper::openLayoutFile");
    ZDUtils::logInfo("Loading layout %s", path.c_str());
    if (path.empty()) {
        ZDUtils::logWarning("Invalid input file at %s", "loadLayoutFile:");
        if (completion) completion(false);
        return;
    }
    const std::uint64_t generation = ++gOpenGeneration;
    gLoading = true;
    auto stopwatch = std::make_shared<CStopwatch>();
    stopwatch->Start();
    closeDocument();
    platform::NotificationCenter::defaultCenter().postNotificationName(kDocumentLoadingNotification,
                                                                       notificationObject());
    const std::shared_ptr<DocumentPreparer> preparer = gPreparer;
    DocumentPreparer::tWork prepare = preparer ? preparer->beginPreparing() : nullptr;
    loadQueue().async([path, generation, stopwatch, completion = std::move(completion), hold, preparer,
                       prepare = std::move(prepare)]() mutable {
        const DocumentPreparer::tSuperseded superseded = [generation] { return generation != gOpenGeneration.load(); };
        // The document is made and tidied here and only handed over whole;
        // the file is held against writers while it is read. An open
        // replaced before its turn came reads nothing, and one replaced
        // while it reads stops: the newer one waits behind it on this queue.
        auto read = std::make_shared<CCurrentCloudLayout::tReadLayout>();
        read->code = kLayoutFailedToOpenFile;
        if (!superseded()) {
            const auto error = platform::FileCoordinator().coordinateReadingItemAtURL(
                path, [&read, &superseded](const std::filesystem::path& readable) {
                    *read = CCurrentCloudLayout::ReadLayout(readable.string(), superseded);
                });
            if (error) {
                ZDUtils::logWarning("Failed to read layout file at '%s': %s", path.c_str(),
                                    error->localizedDescription().c_str());
            }
        }
        hold.reset();
        // Not for a read that a later open has made stale; the work stops
        // when a later open comes while it runs.
        const bool prepared = read->layout && prepare && !superseded();
        if (prepared) {
            try {
                prepare(*read->layout, superseded);
            } catch (const std::exception& failure) {
                ZDUtils::logWarning("Preparing the layout read from '%s' failed: %s", path.c_str(), failure.what());
            }
        }
        platform::DispatchQueue::main().async(
            [read, generation, stopwatch, completion = std::move(completion), preparer, prepared] {
                if (generation != gOpenGeneration) {
                    ZDUtils::logInfo("A layout read for an earlier open is dropped");
                    if (completion) completion(false);
                    return;
                }
                gLoading = false;
                const bool rc = finishLoad(std::move(*read), *stopwatch, prepared ? preparer : nullptr);
                if (completion) completion(rc);
            });
    });
}

bool VKMLayoutDocumentHelper::isLoading() { return gLoading; }

void VKMLayoutDocumentHelper::stopLoading() {
    platform::requireMainThread("VKMLayoutDocumentHelper::stopLoading");
    // As a newer open would: the read and its preparation stop at their
    // next look, and whatever waits behind them reads nothing.
    ++gOpenGeneration;
    gLoading = false;
    loadQueue().sync([] {});
}

void VKMLayoutDocumentHelper::setDocumentPreparer(std::shared_ptr<DocumentPreparer> preparer) {
    platform::requireMainThread("VKMLayoutDocumentHelper::setDocumentPreparer");
    gPreparer = std::move(preparer);
}

platform::DispatchQueue& VKMLayoutDocumentHelper::loadQueue() {
    // Never destroyed: a read may still run while the process ends.
    static auto* queue = new platform::DispatchQueue("com.vekmont.app.layoutload");
    return *queue;
}

void VKMLayoutDocumentHelper::closeCurrentLayout() {
    platform::requireMainThread("VKMLayoutDocumentHelper::closeCurrentLayout");
    // An open still under way is not wanted either: its preparation stops,
    // and what it read is dropped rather than shown after the close.
    ++gOpenGeneration;
    gLoading = false;
    closeDocument();
    // Closed for good (an open reads at once into what the document left).
    // The screens let its drawings go as they heard of the close; once
    // those are deleted, its pages go back to the system.
    VKMDrawingInstructionsRenderData::afterPendingReleases([] { platform::giveFreedMemoryBack(); });
}

void VKMLayoutDocumentHelper::closeDocument() {
    ZDUtils::logInfo("Closing current document");
    CCurrentCloudLayout::Instance().Reset();
    if (gPreparer) gPreparer->documentClosed();
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    session.forgetDocument();
    session.setIsDirty(false);
    platform::NotificationCenter::defaultCenter().postNotificationName(kDocumentDidCloseNotification,
                                                                       notificationObject());
}

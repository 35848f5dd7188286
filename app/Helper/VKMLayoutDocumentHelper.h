#pragma once
// The app's way to open and close the one layout document of the
// current-layout holder. Opening first closes (the close notification comes
// before the loaded one), times the load into the counter "LoadLayout" and
// tells the user of a failure in an alert, after which the holder has an
// empty document (posting the failed notification). Both keep the layout session in step: it forgets the
// document whenever it is closed or replaced. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CLayout;
namespace platform {
class DispatchQueue;
}

class VKMLayoutDocumentHelper {
public:
    static constexpr const char* kDocumentLoadedNotification = "VKMLayoutDocumentLoadedNotification";
    static constexpr const char* kDocumentDidCloseNotification = "QLLayoutDocumentDidCloseNotification";
    // A file is being read (the screens show that they are busy), and a
    // read that failed (after which the holder's document is empty).
    static constexpr const char* kDocumentLoadingNotification = "VKMLayoutIsLoadingFromApiNotification";
    static constexpr const char* kDocumentLoadFailedNotification = "VKMLayoutDocumentLoadFailedNotification";

    // The object of both notifications.
    static const void* notificationObject();

    // False for an empty path (only logged) and for a failed load, which is
    // counted as the event "LayoutLoadFailed" and shown in an alert with the
    // holder's failure message.
    static bool loadLayoutFile(const std::string& path);
    // The same, with the file read and tidied on the load queue while the
    // main thread goes on: closes at once, posts the loading notification,
    // and once the file is read hands the document over whole on the main
    // thread (loaded notification) or reports the failure as above, then
    // calls `completion` with the result. An open asked for later replaces
    // one still being read: the earlier's document is dropped unseen and its
    // completion hears false; one that has not begun reading by then never
    // reads, and one being prepared is told to stop. `hold` (a lock the
    // caller took on the file) is kept until the file has been read (or the
    // read is given up), then let go.
    static void openLayoutFile(const std::string& path, std::function<void(bool)> completion = {},
                               std::shared_ptr<const void> hold = {});
    // Whether a file is being read for openLayoutFile.
    static bool isLoading();
    // For the app's end, before the statics a read uses go: stops an open
    // being read or prepared as a newer open would, and returns once the
    // load queue has nothing left to run. Its completion never hears true.
    static void stopLoading();
    // Where openLayoutFile reads: one file after another.
    static platform::DispatchQueue& loadQueue();
    // Replaces the document by an empty one, clears the session's dirty
    // flag and posts the close notification; then, once the screens'
    // drawings of it are deleted, gives the freed pages back to the system
    // (platform::giveFreedMemoryBack) off the main thread.
    static void closeCurrentLayout();

    // Work a screen has done on each document openLayoutFile reads, before
    // the document is handed over, so that its main thread need not.
    class DocumentPreparer {
    public:
        // Whether a later open has replaced the one being prepared: its
        // document will be dropped unseen, so the work may stop.
        using tSuperseded = std::function<bool()>;
        using tWork = std::function<void(CLayout&, const tSuperseded&)>;

        virtual ~DocumentPreparer() = default;
        // Main thread, as an open starts: the work, or none. It runs on the
        // load queue once the file is read and tidied, with the document its
        // own there (nothing else sees it yet); what it throws is dropped.
        // Every open after waits for it on that queue: long work asks
        // whether it is superseded, and stops when it is.
        virtual tWork beginPreparing() = 0;
        // Main thread, once the prepared document is the current one, before
        // the loaded notification.
        virtual void documentAdopted(CLayout& layout) { (void)layout; }
        // Main thread, as the current document closes: what was prepared
        // for it is of no more use.
        virtual void documentClosed() {}
    };
    // One at a time; null removes it. An open keeps the one it began with.
    static void setDocumentPreparer(std::shared_ptr<DocumentPreparer> preparer);

private:
    // The close of an open, which reads into the memory the document leaves.
    static void closeDocument();
};

#include "crashes/reporter/setup/TLCrashSignalHandler.h"

#include "crashes/reporter/setup/TLCrashSharedListWriters.h"
#include "crashes/reporter/setup/TLCrashReporterError.h"
#include "platform/dispatch/ThreadStart.h"

#include <cerrno>
#include <mutex>

namespace {

using ActionList = tlcrash_async_shared_list<tlcrash_signal_handler_previous_action>;

std::mutex& registrationLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

// The dispatcher's lists, made by the first caller (under the registration
// lock) and never freed: a signal may arrive while the process exits.
tlcrash_signal_handler_lists& lists() {
    tlcrash_signal_handler_lists* current = tlcrash_signal_handler_current_lists();
    if (current == nullptr) {
        current = new tlcrash_signal_handler_lists;
        tlcrash_signal_handler_publish_lists(current);
    }
    return *current;
}

// Removed nodes keep their links, so the walk goes on past each removal.
template <typename List>
void emptyList(List& list) {
    list.set_reading(true);
    for (auto* n = list.next(nullptr); n != nullptr;) {
        auto* following = list.next(n);
        list.remove_node(n);
        n = following;
    }
    list.set_reading(false);
}

}  // namespace

TLCrashSignalHandler& TLCrashSignalHandler::sharedHandler() {
    static TLCrashSignalHandler handler;
    return handler;
}

bool TLCrashSignalHandler::attachCurrentThread(ErrorOut* error) {
    const int failure = platform::attachAlternateSignalStack();
    if (failure == 0) return true;
    TLCrashReporterPopulatePOSIXError(error, failure, "Could not initialize alternative signal stack");
    return false;
}

bool TLCrashSignalHandler::registerHandlerWithSignal(int signo, ErrorOut* error) {
    std::lock_guard<std::mutex> lock(registrationLock());
    if (!attachCurrentThread(error)) return false;
    lists().callbacks.append({tlcrash_signal_handler_forward_to_previous, nullptr});

    ActionList& list = lists().previous_actions;
    list.set_reading(true);
    bool installed = false;
    for (const ActionList::node* n = nullptr; (n = list.next(n)) != nullptr;) installed |= n->value.signo == signo;
    list.set_reading(false);
    if (installed) return true;

    struct sigaction action {};
    action.sa_sigaction = tlcrash_signal_handler_dispatch;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    tlcrash_signal_handler_previous_action previous{signo, {}};
    if (sigaction(signo, &action, &previous.action) != 0) {
        TLCrashReporterPopulatePOSIXError(error, errno, "Failed to register signal handler");
        return false;
    }
    list.append(previous);
    return true;
}

bool TLCrashSignalHandler::registerHandlerForSignal(int signo, tlcrash_signal_handler_callback callback, void* context,
                                                    ErrorOut* error) {
    if (!registerHandlerWithSignal(signo, error)) return false;
    lists().callbacks.prepend({callback, context});
    return true;
}

void TLCrashSignalHandler::resetHandlers() {
    std::lock_guard<std::mutex> lock(registrationLock());
    emptyList(lists().callbacks);
    emptyList(lists().previous_actions);
}

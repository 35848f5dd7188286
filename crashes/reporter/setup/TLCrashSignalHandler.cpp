#include "crashes/reporter/setup/TLCrashSignalHandler.h"

#include "crashes/reporter/setup/TLCrashAsyncSharedListWriters.h"
#include "crashes/reporter/setup/TLCrashReporterError.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace {

struct CallbackEntry {
    tlcrash_signal_handler_callback callback;
    void* context;
};

struct PreviousAction {
    int signo;
    struct sigaction action;
};

using CallbackList = tlcrash_async_shared_list<CallbackEntry>;
using ActionList = tlcrash_async_shared_list<PreviousAction>;

// Made once and never freed: a signal may arrive while the process exits.
CallbackList& callbacks() {
    static auto* list = new CallbackList;
    return *list;
}
ActionList& previousActions() {
    static auto* list = new ActionList;
    return *list;
}
std::mutex& registrationLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

bool runFrom(int signo, siginfo_t* info, ucontext_t* uap, const void* node) {
    const auto* entry = static_cast<const CallbackList::node*>(node);
    const CallbackList::node* following = callbacks().next(entry);
    tlcrash_signal_handler_continuation next{runFrom, following};
    return entry->value.callback(signo, info, uap, entry->value.context, following != nullptr ? &next : nullptr);
}

void dispatch(int signo, siginfo_t* info, void* uap) {
    CallbackList& list = callbacks();
    list.set_reading(true);
    const CallbackList::node* first = list.next(nullptr);
    const bool handled = first != nullptr && runFrom(signo, info, static_cast<ucontext_t*>(uap), first);
    list.set_reading(false);
    if (handled) return;
    // Nobody took it, so the default action is wanted. Still ours, the
    // signal would come straight back here forever; it is blocked while the
    // handler runs and arrives once the handler returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signo, &fallback, nullptr);
    raise(signo);
}

// The link that hands a signal to the action installed before ours.
bool forwardToPrevious(int signo, siginfo_t* info, ucontext_t* uap, void*,
                       const tlcrash_signal_handler_continuation* next) {
    if (tlcrash_signal_handler_forward(next, signo, info, uap)) return true;
    ActionList& list = previousActions();
    list.set_reading(true);
    bool handled = false;
    for (const ActionList::node* n = nullptr; (n = list.next(n)) != nullptr;) {
        if (n->value.signo != signo) continue;
        const struct sigaction& action = n->value.action;
        if ((action.sa_flags & SA_SIGINFO) != 0) {
            action.sa_sigaction(signo, info, uap);
            handled = true;
        } else if (action.sa_handler == SIG_IGN) {
            handled = true;
        } else if (action.sa_handler != SIG_DFL) {
            action.sa_handler(signo);
            handled = true;
        }
        break;
    }
    list.set_reading(false);
    return handled;
}

// The calling thread's alternate stack, released when the thread ends.
struct AlternateStack {
    void* mapping = nullptr;
    size_t length = 0;
    ~AlternateStack() {
        if (mapping == nullptr) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(mapping, length);
    }
};

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

bool tlcrash_signal_handler_forward(const tlcrash_signal_handler_continuation* next, int signo, siginfo_t* info,
                                    ucontext_t* uap) {
    return next != nullptr && next->function(signo, info, uap, next->node);
}

TLCrashSignalHandler& TLCrashSignalHandler::sharedHandler() {
    static TLCrashSignalHandler handler;
    return handler;
}

bool TLCrashSignalHandler::attachCurrentThread(ErrorOut* error) {
    thread_local AlternateStack stack;
    if (stack.mapping != nullptr) return true;
    stack_t current{};
    // A stack someone else gave the thread stays.
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return true;

    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t length = kAlternateStackSize + page;
    void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        TLCrashReporterPopulatePOSIXError(error, errno, "Could not initialize alternative signal stack");
        return false;
    }
    // The lowest page guards against the handler itself overflowing.
    mprotect(mapping, page, PROT_NONE);
    stack_t alternate{};
    alternate.ss_sp = static_cast<char*>(mapping) + page;
    alternate.ss_size = kAlternateStackSize;
    if (sigaltstack(&alternate, nullptr) != 0) {
        const int failure = errno;
        munmap(mapping, length);
        TLCrashReporterPopulatePOSIXError(error, failure, "Could not initialize alternative signal stack");
        return false;
    }
    stack.mapping = mapping;
    stack.length = length;
    return true;
}

bool TLCrashSignalHandler::registerHandlerWithSignal(int signo, ErrorOut* error) {
    std::lock_guard<std::mutex> lock(registrationLock());
    if (!attachCurrentThread(error)) return false;
    callbacks().append({forwardToPrevious, nullptr});

    ActionList& list = previousActions();
    list.set_reading(true);
    bool installed = false;
    for (const ActionList::node* n = nullptr; (n = list.next(n)) != nullptr;) installed |= n->value.signo == signo;
    list.set_reading(false);
    if (installed) return true;

    struct sigaction action {};
    action.sa_sigaction = dispatch;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    PreviousAction previous{signo, {}};
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
    callbacks().prepend({callback, context});
    return true;
}

void TLCrashSignalHandler::resetHandlers() {
    std::lock_guard<std::mutex> lock(registrationLock());
    emptyList(callbacks());
    emptyList(previousActions());
}

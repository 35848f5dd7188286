#include "crashes/reporter/async/TLCrashSignalDispatch.h"

#include <atomic>

namespace {

using CallbackList = tlcrash_async_shared_list<tlcrash_signal_handler_entry>;
using ActionList = tlcrash_async_shared_list<tlcrash_signal_handler_previous_action>;

std::atomic<tlcrash_signal_handler_lists*> gLists{nullptr};

bool runFrom(int signo, siginfo_t* info, ucontext_t* uap, const void* node) {
    const auto* entry = static_cast<const CallbackList::node*>(node);
    const CallbackList::node* following = gLists.load()->callbacks.next(entry);
    tlcrash_signal_handler_continuation next{runFrom, following};
    return entry->value.callback(signo, info, uap, entry->value.context, following != nullptr ? &next : nullptr);
}

}  // namespace

tlcrash_signal_handler_lists* tlcrash_signal_handler_current_lists() { return gLists.load(); }

void tlcrash_signal_handler_publish_lists(tlcrash_signal_handler_lists* lists) { gLists.store(lists); }

bool tlcrash_signal_handler_forward(const tlcrash_signal_handler_continuation* next, int signo, siginfo_t* info,
                                    ucontext_t* uap) {
    return next != nullptr && next->function(signo, info, uap, next->node);
}

void tlcrash_signal_handler_dispatch(int signo, siginfo_t* info, void* uap) {
    tlcrash_signal_handler_lists* lists = gLists.load();
    bool handled = false;
    if (lists != nullptr) {
        CallbackList& list = lists->callbacks;
        list.set_reading(true);
        const CallbackList::node* first = list.next(nullptr);
        handled = first != nullptr && runFrom(signo, info, static_cast<ucontext_t*>(uap), first);
        list.set_reading(false);
    }
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

bool tlcrash_signal_handler_forward_to_previous(int signo, siginfo_t* info, ucontext_t* uap, void*,
                                                const tlcrash_signal_handler_continuation* next) {
    if (tlcrash_signal_handler_forward(next, signo, info, uap)) return true;
    tlcrash_signal_handler_lists* lists = gLists.load();
    if (lists == nullptr) return false;
    ActionList& list = lists->previous_actions;
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

#pragma once
// The crash path of signal capture: the one process-wide action per signal
// that hands the signal to a chain of callbacks, and the chain's last links,
// which hand it on to the actions that were installed before. All of it is
// async-signal-safe: the chain's lists are only read here. Registration,
// which allocates and locks, is setup/TLCrashSignalHandler.h.

#include "crashes/reporter/async/TLCrashAsyncSharedList.h"

#include <signal.h>
#include <ucontext.h>

// The rest of the chain after a callback: calling it runs the next callback
// (and so on down to the previous actions) and gives whether the signal was
// handled.
struct tlcrash_signal_handler_continuation {
    bool (*function)(int signo, siginfo_t* info, ucontext_t* uap, const void* node);
    const void* node;
};

// True when the signal was handled; false makes the dispatcher raise it
// again, which ends the process when its action is the default one.
// `next` is null at the end of the chain.
typedef bool (*tlcrash_signal_handler_callback)(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                                                const tlcrash_signal_handler_continuation* next);

// Runs the rest of the chain; false when there is none.
bool tlcrash_signal_handler_forward(const tlcrash_signal_handler_continuation* next, int signo, siginfo_t* info,
                                    ucontext_t* uap);

// For registration only, from here on.

struct tlcrash_signal_handler_entry {
    tlcrash_signal_handler_callback callback;
    void* context;
};

struct tlcrash_signal_handler_previous_action {
    int signo;
    struct sigaction action;
};

// The chain (latest registration first) and the actions ours replaced.
struct tlcrash_signal_handler_lists {
    tlcrash_async_shared_list<tlcrash_signal_handler_entry> callbacks;
    tlcrash_async_shared_list<tlcrash_signal_handler_previous_action> previous_actions;
};

// The lists the dispatcher reads, null before registration publishes them.
// Published once and never freed: a signal may arrive while the process
// exits.
tlcrash_signal_handler_lists* tlcrash_signal_handler_current_lists();
void tlcrash_signal_handler_publish_lists(tlcrash_signal_handler_lists* lists);

// The action installed for each registered signal: runs the chain and, when
// no link takes the signal, puts back the default action and raises it.
void tlcrash_signal_handler_dispatch(int signo, siginfo_t* info, void* uap);

// The link that hands a signal to the action installed before ours, after
// the rest of the chain.
bool tlcrash_signal_handler_forward_to_previous(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                                                const tlcrash_signal_handler_continuation* next);

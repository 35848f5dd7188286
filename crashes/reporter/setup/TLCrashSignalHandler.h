#pragma once
// One process-wide action per signal that hands the signal to a chain of
// callbacks; the last links of the chain hand it on to the actions that were
// installed before. The handlers run on an alternate signal stack, so a
// stack overflow still reaches them: the thread that registers gets one,
// and every thread the project starts has its own from its start
// (platform::startThread).
//
// Registration allocates and locks (set-up time only); dispatch and
// forwarding, the crash path, are async/TLCrashSignalDispatch.h.

#include "crashes/reporter/async/TLCrashSignalDispatch.h"
#include "platform/foundation/Error.h"

#include <optional>

class TLCrashSignalHandler {
public:
    using ErrorOut = std::optional<platform::Error>;

    static TLCrashSignalHandler& sharedHandler();

    // Installs the dispatcher for `signo` once (later calls only give the
    // calling thread its alternate stack and another forwarding link, which
    // changes nothing). False with a POSIX error when either fails.
    bool registerHandlerWithSignal(int signo, ErrorOut* error = nullptr);
    // The same, and puts the callback at the head of the chain: the latest
    // registration runs first.
    bool registerHandlerForSignal(int signo, tlcrash_signal_handler_callback callback, void* context,
                                  ErrorOut* error = nullptr);

    // Gives the calling thread an alternate signal stack of its own, freed
    // when the thread ends; a thread that has one keeps it (the same stack
    // platform::startThread gives the threads it starts). For threads made
    // some other way.
    static bool attachCurrentThread(ErrorOut* error = nullptr);

    // Empties both lists; the installed actions stay.
    static void resetHandlers();

private:
    TLCrashSignalHandler() = default;
};

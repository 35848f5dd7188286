#pragma once
// The transfer engine beneath URLSession, private to platform/net: one
// worker thread drives one libcurl multi handle for every task of every
// session in the process. Both are made on first use and live until the
// process ends. Other threads reach the worker only through start() and
// poke(), which queue their news, wake it and return; nothing ever waits
// for the worker.

#include "platform/foundation/Error.h"

#include <memory>
#include <string>

namespace platform::net {

class URLSession;
class URLSessionTask;

class URLSessionEngine {
public:
    // Hands a resumed task to the worker. False when the worker cannot be
    // started; the task is then the caller's to end.
    static bool start(std::shared_ptr<URLSessionTask> task, std::shared_ptr<URLSession> session);
    // The task has news for its transfer: it was cancelled, its response
    // was answered, its delegate took the bytes it held, or its body stream
    // has bytes. From any thread.
    static void poke(std::shared_ptr<URLSessionTask> task);
};

Error makeURLError(long code, std::string description);

}  // namespace platform::net

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUncaughtCXXExceptionHandlerManager.h"

#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

namespace abi = __cxxabiv1;
namespace __cxxabiv1 {
extern "C" std::type_info* __cxa_current_exception_type() noexcept;
}

namespace {

constexpr int kMaxFrames = 128;

// The last recorded throw of this thread.
struct ThrowRecord {
    const void* thrownObject;
    uint64_t frames[kMaxFrames];
    uint32_t count;
};
thread_local ThrowRecord gRecord;

std::atomic<bool> gInstalled{false};
std::mutex& lock() {
    static auto* made = new std::mutex;
    return *made;
}
std::vector<TLMCrashesCXXExceptionHandler>& handlers() {
    static auto* made = new std::vector<TLMCrashesCXXExceptionHandler>;
    return *made;
}
std::terminate_handler gPrevious = nullptr;

using ThrowFunction = void (*)(void*, std::type_info*, void (*)(void*));

// The object an exception_ptr holds: libstdc++ keeps the thrown object's
// address as its one member.
const void* thrownObject(const std::exception_ptr& holder) {
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    return *reinterpret_cast<const void* const*>(&holder);
}

void callPreviousOrAbort(std::terminate_handler previous) {
    if (previous != nullptr) {
        previous();
        return;
    }
    std::abort();
}

void terminateHandler() {
    TLMCrashesCXXExceptionInfo info{};
    std::exception_ptr holder = std::current_exception();
    std::unique_lock<std::mutex> guard(lock());
    if (!holder) {
        const std::terminate_handler previous = gPrevious;
        guard.unlock();
        callPreviousOrAbort(previous);
        return;
    }
    info.exceptionHolder = &holder;
    const std::type_info* type = abi::__cxa_current_exception_type();
    const char* name = type != nullptr ? type->name() : nullptr;
    // Types local to a translation unit are named with a leading '*'.
    if (name != nullptr && name[0] == '*') ++name;
    info.exceptionTypeName = name;

    // The frames of this exception's own throw when this thread recorded
    // it, else of the way here; the first address is the recording call's
    // own frame either way.
    uint64_t here[kMaxFrames] = {};
    const uint64_t* frames = here;
    uint32_t count;
    if (gRecord.count > 0 && gRecord.thrownObject == thrownObject(holder)) {
        frames = gRecord.frames;
        count = gRecord.count;
    } else {
        const int taken = backtrace(reinterpret_cast<void**>(here), kMaxFrames);
        count = taken > 0 ? static_cast<uint32_t>(taken) : 0;
    }
    TLMCrashesDropRecordingFrame(frames, count, &info);

    std::string text;
    try {
        std::rethrow_exception(holder);
    } catch (const std::exception& e) {
        info.exceptionMessage = e.what();
    } catch (const std::exception* e) {
        info.exceptionMessage = e != nullptr ? e->what() : nullptr;
    } catch (const std::string& s) {
        text = s;
        info.exceptionMessage = text.c_str();
    } catch (const std::string* s) {
        info.exceptionMessage = s != nullptr ? s->c_str() : nullptr;
    } catch (const char* s) {
        info.exceptionMessage = s;
    } catch (...) {
    }
    for (TLMCrashesCXXExceptionHandler handler : handlers()) handler(&info);
    const std::terminate_handler previous = gPrevious;
    guard.unlock();
    callPreviousOrAbort(previous);
}

}  // namespace

void TLMCrashesDropRecordingFrame(const uint64_t* frames, uint32_t count, TLMCrashesCXXExceptionInfo* info) {
    info->exceptionFramesCount = count > 0 ? count - 1 : 0;
    info->exceptionFrames = count > 0 ? frames + 1 : frames;
}

// Every throw compiled into the program comes here first; the C++ runtime's
// own entry is the next definition of the name.
extern "C" [[noreturn]] void __cxa_throw(void* thrown, std::type_info* type, void (*destructor)(void*)) {
    static const auto real = reinterpret_cast<ThrowFunction>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (gInstalled.load(std::memory_order_relaxed)) {
        ThrowRecord& record = gRecord;
        record.thrownObject = thrown;
        const int taken = backtrace(reinterpret_cast<void**>(record.frames), kMaxFrames);
        record.count = taken > 0 ? static_cast<uint32_t>(taken) : 0;
    }
    if (real == nullptr) std::abort();
    real(thrown, type, destructor);
    __builtin_unreachable();
}

void TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(TLMCrashesCXXExceptionHandler handler) {
    std::lock_guard<std::mutex> guard(lock());
    if (!gInstalled.load()) {
        gPrevious = std::set_terminate(terminateHandler);
        gInstalled.store(true);
    }
    handlers().push_back(handler);
}

void TLMCrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(TLMCrashesCXXExceptionHandler handler) {
    std::lock_guard<std::mutex> guard(lock());
    auto& list = handlers();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == handler) {
            list.erase(it);
            break;
        }
    }
    if (!gInstalled.load() || !list.empty()) return;
    const std::terminate_handler replaced = std::set_terminate(gPrevious);
    if (replaced == terminateHandler) {
        gInstalled.store(false);
        gPrevious = nullptr;
    } else {
        // Someone installed a handler of their own since: it stays.
        std::set_terminate(replaced);
    }
}

unsigned TLMCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler() {
    std::lock_guard<std::mutex> guard(lock());
    return static_cast<unsigned>(handlers().size());
}

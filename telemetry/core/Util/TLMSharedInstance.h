#pragma once
// A class's shared instance: made on first use, never destroyed (other
// threads and queued blocks may still hold it while the process ends), and
// let go by a reset so that the next use makes a new one, as a new process
// would. The instances let go stay alive, reachable from here.
//
// Threads: get and reset are safe from any thread; the instance's own
// operations are the class's business.

#include <atomic>
#include <mutex>
#include <vector>

template <typename T>
class TLMSharedInstance {
public:
    // The instance, made by `make` (which returns a new T) when there is
    // none; `make` runs under the holder's lock and must not come back here.
    template <typename Make>
    T& get(Make&& make) {
        if (T* current = mCurrent.load(std::memory_order_acquire)) return *current;
        std::lock_guard lock(mMutex);
        if (T* current = mCurrent.load(std::memory_order_relaxed)) return *current;
        T* made = make();
        mCurrent.store(made, std::memory_order_release);
        return *made;
    }

    // Lets the instance go and returns it (null when none was made); the
    // next get makes a new one.
    T* reset() {
        std::lock_guard lock(mMutex);
        T* old = mCurrent.exchange(nullptr, std::memory_order_acq_rel);
        if (old != nullptr) mRetired.push_back(old);
        return old;
    }

private:
    std::mutex mMutex;
    std::atomic<T*> mCurrent{nullptr};
    std::vector<T*> mRetired;  // guarded by mMutex
};

// The process's one holder of T's shared instance, made on first use and
// never destroyed.
template <typename T>
TLMSharedInstance<T>& sharedInstanceHolder() {
    static auto* holder = new TLMSharedInstance<T>();
    return *holder;
}

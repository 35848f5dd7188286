#pragma once
// A JSON tree read and written whole under a lock: a log read on one thread
// while another sets its data or metadata sees the old tree or the new one,
// never half of each. Readers get a copy, so no lock is held while they use
// it (two trees are never locked together).

#include "telemetry/core/Util/TLMOrderedDictionary.h"

#include <mutex>

class TLMLockedTree {
public:
    TLMLockedTree() = default;
    explicit TLMLockedTree(TLMOrderedDictionary tree) : mTree(std::move(tree)) {}

    TLMOrderedDictionary get() const {
        std::lock_guard lock(mMutex);
        return mTree;
    }
    void set(TLMOrderedDictionary tree) {
        std::lock_guard lock(mMutex);
        mTree = std::move(tree);
    }

private:
    mutable std::mutex mMutex;
    TLMOrderedDictionary mTree;
};

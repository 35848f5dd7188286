#pragma once
// A list of delegates held weakly, read without waiting for writers: a
// change replaces the whole list, so a walk goes over the list as it was
// when it began. A delegate that is gone is skipped. Thread-safe.

#include <memory>
#include <mutex>
#include <vector>

template <typename Delegate>
class TLMDelegateList {
public:
    void add(const std::weak_ptr<Delegate>& delegate) {
        std::lock_guard lock(mMutex);
        auto updated = std::make_shared<List>(*mList);
        updated->push_back(delegate);
        mList = std::move(updated);
    }

    // Removes that delegate, and any that is gone.
    void remove(const Delegate* delegate) {
        std::lock_guard lock(mMutex);
        auto updated = std::make_shared<List>();
        for (const auto& entry : *mList) {
            const auto held = entry.lock();
            if (held && held.get() != delegate) updated->push_back(entry);
        }
        mList = std::move(updated);
    }

    // Calls `call(delegate)` for each delegate alive, in the order added.
    template <typename Call>
    void forEach(Call&& call) const {
        std::shared_ptr<const List> snapshot;
        {
            std::lock_guard lock(mMutex);
            snapshot = mList;
        }
        for (const auto& entry : *snapshot) {
            if (const auto delegate = entry.lock()) call(*delegate);
        }
    }

private:
    using List = std::vector<std::weak_ptr<Delegate>>;
    mutable std::mutex mMutex;
    std::shared_ptr<const List> mList = std::make_shared<const List>();
};

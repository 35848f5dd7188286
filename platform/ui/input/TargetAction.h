#pragma once
// Target-action pairs, as controls and gesture recognisers send them: a
// list of calls made to a sender's targets, each held weakly (a target
// that has gone is skipped and dropped), or closures owned by the list.
// Main thread only.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform::ui {

template <typename Sender>
class TargetActions {
public:
    using Id = std::uint64_t;

    // `action` is called on `target` for as long as the target lives.
    template <typename Target>
    Id add(const std::shared_ptr<Target>& target, void (Target::*action)(Sender&)) {
        std::weak_ptr<Target> weak = target;
        return push(
            target.get(), true,
            [weak, action](Sender& sender) {
                if (auto strong = weak.lock()) ((*strong).*action)(sender);
            },
            [weak] { return weak.expired(); });
    }
    // A closure, owned by the list (it must not own the sender).
    Id add(std::function<void(Sender&)> action) {
        return push(nullptr, false, std::move(action), [] { return false; });
    }

    void remove(Id id) {
        mEntries.erase(std::remove_if(mEntries.begin(), mEntries.end(), [id](const Entry& e) { return e.id == id; }),
                       mEntries.end());
    }
    // Every pair of this target.
    void removeTarget(const void* target) {
        mEntries.erase(std::remove_if(mEntries.begin(), mEntries.end(),
                                      [target](const Entry& e) { return e.hasTarget && e.target == target; }),
                       mEntries.end());
    }
    void removeAll() { mEntries.clear(); }

    // The live pairs.
    std::size_t size() const {
        return static_cast<std::size_t>(
            std::count_if(mEntries.begin(), mEntries.end(), [](const Entry& e) { return !e.gone(); }));
    }

    // Calls every live pair in the order added. An action may add or
    // remove pairs: the calls made are those listed when sending began.
    void send(Sender& sender) {
        mEntries.erase(std::remove_if(mEntries.begin(), mEntries.end(), [](const Entry& e) { return e.gone(); }),
                       mEntries.end());
        const std::vector<Entry> entries = mEntries;
        for (const Entry& entry : entries) entry.call(sender);
    }

private:
    struct Entry {
        Id id;
        const void* target;
        bool hasTarget;
        std::function<void(Sender&)> call;
        std::function<bool()> gone;
    };

    Id push(const void* target, bool hasTarget, std::function<void(Sender&)> call, std::function<bool()> gone) {
        const Id id = ++mNextId;
        mEntries.push_back(Entry{id, target, hasTarget, std::move(call), std::move(gone)});
        return id;
    }

    std::vector<Entry> mEntries;
    Id mNextId = 0;
};

}  // namespace platform::ui

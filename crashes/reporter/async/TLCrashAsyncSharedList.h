#pragma once
// A list that writers change under a lock while readers walk it without one,
// even from a signal handler.
//
// Readers count themselves in (set_reading(true)), walk with next() from the
// head and count themselves out. A node that a writer removes keeps its
// `next` as it was, so a reader standing on it walks on into the list; it
// reaches the free list through a link of its own. A node is freed or handed
// out again only while no reader is counted: a reader that counts in later
// starts from the head and can no longer reach it.
//
// Only the readers are defined here, and they are async-signal-safe. The
// writers (append, prepend, remove_node) and the destructor allocate, free
// and lock: they are defined in setup/TLCrashSharedListWriters.h, which
// the crash path never includes. Values are copied in whole and must be
// trivially copyable.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <type_traits>

template <typename T>
class tlcrash_async_shared_list {
    static_assert(std::is_trivially_copyable_v<T>, "values are copied into nodes that readers share");

public:
    struct node {
        T value;
        // Writers only.
        node* prev;
        std::atomic<node*> next;
        // Writers only: the free list's link.
        node* free_next;
    };
    static_assert(std::atomic<node*>::is_always_lock_free, "readers may not take a lock");

    tlcrash_async_shared_list() = default;
    tlcrash_async_shared_list(const tlcrash_async_shared_list&) = delete;
    tlcrash_async_shared_list& operator=(const tlcrash_async_shared_list&) = delete;

    // Frees every node, listed or free. No reader may be walking.
    ~tlcrash_async_shared_list();

    // Adds `value` at the end; the node it is in.
    node* append(const T& value);
    // Adds `value` at the front; the node it is in.
    node* prepend(const T& value);
    // Unlinks `target` when it is listed; nothing otherwise. Its `next` is
    // left alone for readers standing on it.
    void remove_node(node* target);

    // Counts a reader in (true) or out (false).
    void set_reading(bool reading) {
        if (reading) {
            mReaders.fetch_add(1);
        } else {
            mReaders.fetch_sub(1);
        }
    }

    // The node after `current`, or the head when `current` is null; null at
    // the end. Only for a counted reader.
    node* next(const node* current) const { return current == nullptr ? mHead.load() : current->next.load(); }

private:
    // A node holding `value` and linked to nothing: a free one when no
    // reader is counted, else a new one.
    node* supplyNode(const T& value);

    // Taken by writers only.
    std::mutex mLock;
    std::atomic<node*> mHead{nullptr};
    node* mTail = nullptr;
    std::atomic<int32_t> mReaders{0};
    node* mFree = nullptr;
};

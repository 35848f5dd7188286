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
// Writers allocate and lock, so they never run on the crash path; readers
// are async-signal-safe. Values are copied in whole and must be trivially
// copyable.

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
    ~tlcrash_async_shared_list() {
        for (node* n = mHead.load(); n != nullptr;) {
            node* following = n->next.load();
            delete n;
            n = following;
        }
        for (node* n = mFree; n != nullptr;) {
            node* following = n->free_next;
            delete n;
            n = following;
        }
    }

    // Adds `value` at the end; the node it is in.
    node* append(const T& value) {
        std::lock_guard<std::mutex> lock(mLock);
        node* added = supplyNode(value);
        if (mTail == nullptr) {
            mTail = added;
            mHead.store(added);
        } else {
            added->prev = mTail;
            mTail->next.store(added);
            mTail = added;
        }
        return added;
    }

    // Adds `value` at the front; the node it is in.
    node* prepend(const T& value) {
        std::lock_guard<std::mutex> lock(mLock);
        node* added = supplyNode(value);
        node* head = mHead.load();
        if (head == nullptr) {
            mTail = added;
        } else {
            added->next.store(head);
            head->prev = added;
        }
        mHead.store(added);
        return added;
    }

    // Unlinks `target` when it is listed; nothing otherwise. Its `next` is
    // left alone for readers standing on it.
    void remove_node(node* target) {
        std::lock_guard<std::mutex> lock(mLock);
        node* n = mHead.load();
        while (n != nullptr && n != target) n = n->next.load();
        if (n == nullptr) return;

        node* following = target->next.load();
        if (target->prev == nullptr) {
            mHead.store(following);
        } else {
            target->prev->next.store(following);
        }
        if (following == nullptr) {
            mTail = target->prev;
        } else {
            following->prev = target->prev;
        }
        if (mReaders.load() == 0) {
            delete target;
        } else {
            target->free_next = mFree;
            mFree = target;
        }
    }

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
    node* supplyNode(const T& value) {
        node* supplied;
        if (mFree != nullptr && mReaders.load() == 0) {
            supplied = mFree;
            mFree = supplied->free_next;
        } else {
            supplied = new node;
        }
        supplied->value = value;
        supplied->prev = nullptr;
        supplied->next.store(nullptr);
        supplied->free_next = nullptr;
        // Readers see these stores before the node: it is published by a
        // sequentially consistent store of a link.
        return supplied;
    }

    std::mutex mLock;
    std::atomic<node*> mHead{nullptr};
    node* mTail = nullptr;
    std::atomic<int32_t> mReaders{0};
    node* mFree = nullptr;
};

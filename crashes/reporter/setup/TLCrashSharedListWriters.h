#pragma once
// The writers of the lock-free-reader list: they allocate, free and lock, so
// they run at set-up time only. See async/TLCrashAsyncSharedList.h.

#include "crashes/reporter/async/TLCrashAsyncSharedList.h"

template <typename T>
tlcrash_async_shared_list<T>::~tlcrash_async_shared_list() {
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

template <typename T>
typename tlcrash_async_shared_list<T>::node* tlcrash_async_shared_list<T>::append(const T& value) {
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

template <typename T>
typename tlcrash_async_shared_list<T>::node* tlcrash_async_shared_list<T>::prepend(const T& value) {
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

template <typename T>
void tlcrash_async_shared_list<T>::remove_node(node* target) {
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

template <typename T>
typename tlcrash_async_shared_list<T>::node* tlcrash_async_shared_list<T>::supplyNode(const T& value) {
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

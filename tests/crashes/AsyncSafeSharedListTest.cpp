// The list with locked writers and lock-free readers: its order, and what a
// reader standing on a removed node sees.

#include "crashes/reporter/setup/TLCrashSharedListWriters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

using IntList = tlcrash_async_shared_list<int>;

std::vector<int> walk(IntList& list) {
    std::vector<int> values;
    list.set_reading(true);
    for (const IntList::node* node = nullptr; (node = list.next(node)) != nullptr;) values.push_back(node->value);
    list.set_reading(false);
    return values;
}

}  // namespace

TEST(AsyncSafeSharedList, KeepsOrderThroughAppendPrependAndRemove) {
    IntList list;
    EXPECT_EQ(walk(list), std::vector<int>{});
    IntList::node* two = list.prepend(2);
    list.append(3);
    IntList::node* one = list.prepend(1);
    IntList::node* four = list.append(4);
    EXPECT_EQ(walk(list), (std::vector<int>{1, 2, 3, 4}));

    list.remove_node(one);
    list.remove_node(four);
    EXPECT_EQ(walk(list), (std::vector<int>{2, 3}));
    // A node no longer listed is left alone.
    list.remove_node(one);
    // The tail moved back, so appending links after 3.
    list.append(5);
    list.remove_node(two);
    list.prepend(0);
    EXPECT_EQ(walk(list), (std::vector<int>{0, 3, 5}));
}

TEST(AsyncSafeSharedList, AReaderOnARemovedNodeWalksOnAndTheNodeWaitsUntilNoReaderIsCounted) {
    IntList list;
    list.append(1);
    IntList::node* two = list.append(2);
    IntList::node* three = list.append(3);

    list.set_reading(true);
    const IntList::node* standing = list.next(list.next(nullptr));
    ASSERT_EQ(standing, two);
    list.remove_node(two);
    // The reader goes on to the removed node's old successor.
    EXPECT_EQ(list.next(standing), three);

    // While the reader is counted the removed node is not handed out again.
    IntList::node* four = list.append(4);
    EXPECT_NE(four, two);
    EXPECT_EQ(standing->value, 2);
    EXPECT_EQ(list.next(list.next(standing)), four);
    list.set_reading(false);

    EXPECT_EQ(walk(list), (std::vector<int>{1, 3, 4}));
    // With no reader counted it is used again.
    EXPECT_EQ(list.append(5), two);
    EXPECT_EQ(walk(list), (std::vector<int>{1, 3, 4, 5}));
}

namespace {

// A value that tells a torn or reused node: `check` is always ~sequence.
struct Entry {
    int writer;
    int sequence;
    int check;
};

}  // namespace

TEST(AsyncSafeSharedList, ReadersWalkConsistentlyWhileWritersAddAndRemove) {
    tlcrash_async_shared_list<Entry> list;
    constexpr int kWriters = 2;
    constexpr int kReaders = 3;
    constexpr int kOperations = 20000;
    std::atomic<bool> writing{true};
    std::atomic<int> faults{0};
    std::atomic<long> nodesSeen{0};

    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&] {
            while (writing.load()) {
                // Each writer appends in rising order, and a removed node leads
                // on to its successor, so along any walk each writer's
                // sequences rise; a walk ends.
                int last[kWriters] = {-1, -1};
                long steps = 0;
                list.set_reading(true);
                for (const auto* node = list.next(nullptr); node != nullptr; node = list.next(node)) {
                    const Entry entry = node->value;
                    if (entry.check != ~entry.sequence || entry.sequence <= last[entry.writer]) faults.fetch_add(1);
                    last[entry.writer] = entry.sequence;
                    // The node holds its value for as long as the reader is counted.
                    if (node->value.sequence != entry.sequence) faults.fetch_add(1);
                    if (++steps > 4 * kOperations) {
                        faults.fetch_add(1);
                        break;
                    }
                }
                list.set_reading(false);
                nodesSeen.fetch_add(steps);
            }
        });
    }

    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            std::mt19937 random(w);
            std::vector<tlcrash_async_shared_list<Entry>::node*> own;
            for (int sequence = 0; sequence < kOperations; ++sequence) {
                own.push_back(list.append({w, sequence, ~sequence}));
                // Keep a few dozen nodes each, removing from anywhere.
                if (own.size() > 40) {
                    const size_t at = random() % own.size();
                    list.remove_node(own[at]);
                    own.erase(own.begin() + static_cast<long>(at));
                }
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    writing.store(false);
    for (std::thread& reader : readers) reader.join();

    EXPECT_EQ(faults.load(), 0);
    EXPECT_GT(nodesSeen.load(), 0);
    size_t listed = 0;
    for (const auto* node = list.next(nullptr); node != nullptr; node = list.next(node)) ++listed;
    EXPECT_EQ(listed, size_t{kWriters} * 40);
}

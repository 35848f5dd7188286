#include "platform/foundation/OwnedList.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Writes its name into a shared record when deleted, with the size of the
// list it belonged to at that moment.
struct Tracked {
    std::string name;
    std::vector<std::string>* record;
    const std::vector<Tracked*>* owner = nullptr;
    ~Tracked() { record->push_back(name + (owner ? "/" + std::to_string(owner->size()) : "")); }
};

}  // namespace

TEST(OwnedList, DeletesEveryEntryLastFirstAfterEmptyingTheList) {
    std::vector<std::string> record;
    std::vector<Tracked*> list;
    for (const char* name : {"a", "b", "c"}) list.push_back(new Tracked{name, &record, &list});

    platform::DeleteAll(list);

    EXPECT_TRUE(list.empty());
    // Each destructor saw an empty list: nothing dangling could be reached.
    EXPECT_EQ(record, (std::vector<std::string>{"c/0", "b/0", "a/0"}));

    platform::DeleteAll(list);  // an empty list stays empty
    EXPECT_EQ(record.size(), 3u);
}

TEST(OwnedList, DeletesTheMappedValuesOfAMap) {
    std::vector<std::string> record;
    std::map<std::string, Tracked*> entries;
    entries["x"] = new Tracked{"x", &record};
    entries["y"] = new Tracked{"y", &record};

    platform::DeleteAll(entries);

    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(record, (std::vector<std::string>{"y", "x"}));
}

TEST(OwnedList, AScopedListDeletesWhatItStillHoldsAndNothingItReleased) {
    std::vector<std::string> record;
    std::vector<Tracked*> kept;
    {
        platform::ScopedOwnedList<std::vector<Tracked*>> building;
        building.list().push_back(new Tracked{"handed-over", &record});
        kept = building.release();
        building.list().push_back(new Tracked{"abandoned", &record});
    }
    EXPECT_EQ(record, (std::vector<std::string>{"abandoned"}));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front()->name, "handed-over");
    platform::DeleteAll(kept);
    EXPECT_EQ(record, (std::vector<std::string>{"abandoned", "handed-over"}));
}

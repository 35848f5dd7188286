// Groups: restoring the serialized list (nesting, membership, hostile lists,
// file positions of skipped elements), the group rules with their warnings
// and integrity reports, and the writer's list and records read back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/Groups.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/Logger.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"

namespace {

using testsupport::Analytics;
using testsupport::Bytes;
using testsupport::Cat;
using testsupport::FileWith;
using testsupport::Int;
using testsupport::ReadAll;
using testsupport::Record;
using testsupport::RecordingAnalytics;
using testsupport::tFile;
using Lines = std::vector<std::string>;

constexpr const char* kRestore =
    "static bool UGroups::DeserializeGroups(CGroupsManager &, tElements &, tSerializedGroups &, bool): ";
constexpr const char* kRead = "static bool UGroups::ReadSerializedGroups(FILE *, tSerializedGroups &): ";

std::string RestoreLine(const std::string& message) { return kRestore + message; }

// ------------------------------------------------------------ log, analytics

// Offset of the message in a memory line of the log.
constexpr std::size_t kMemoryPrefix = 34;

std::vector<std::string> AllWarnings() {
    std::vector<std::string> lines = testsupport::Warnings();
    for (std::string& line : lines) line = line.size() >= kMemoryPrefix ? line.substr(kMemoryPrefix) : "";
    return lines;
}

// The warnings logged since the last call, found after a marker line so that
// lines dropped from the front of the log's memory do not shift them.
class WarningWatch {
public:
    WarningWatch() { Mark(); }
    std::vector<std::string> Next() {
        std::vector<std::string> all = AllWarnings();
        auto from = std::find(all.rbegin(), all.rend(), mMarker);
        std::vector<std::string> fresh(from.base(), all.end());
        Mark();
        return fresh;
    }

private:
    void Mark() {
        static int serial = 0;
        mMarker = "-- groups test mark " + std::to_string(++serial);
        LogWarning("%s", mMarker.c_str());
    }
    std::string mMarker;
};

long Count(const std::vector<std::string>& lines, const std::string& text) {
    long n = 0;
    for (const std::string& line : lines) n += line == text ? 1 : 0;
    return n;
}

void ExpectIntegrityFailure(const std::pair<std::string, ActivityAnalyticsServiceBase::tEventProperties>& event,
                            const std::string& type) {
    EXPECT_EQ(event.first, "IntegrityCheckFailure");
    EXPECT_EQ(event.second, (ActivityAnalyticsServiceBase::tEventProperties{{"IntegrityCheckType", type}}));
}

std::string Ptr(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

// ------------------------------------------------------------------ elements

struct tDocument {
    explicit tDocument(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            owned.push_back(std::make_unique<CCompositeGeometry>());
            elements.push_back(owned.back().get());
        }
    }
    CCompositeGeometry* operator[](std::size_t i) const { return owned[i].get(); }
    std::vector<std::unique_ptr<CCompositeGeometry>> owned;
    tElements elements;
};

std::vector<CGroupable*> Members(std::initializer_list<CCompositeGeometry*> elements) {
    return std::vector<CGroupable*>(elements.begin(), elements.end());
}

// Ancestors by parent link.
int Depth(const CGroup* group) {
    int depth = 0;
    for (const CGroup* g = group->GetParentGroup(); g != nullptr; g = g->GetParentGroup()) ++depth;
    return depth;
}

// ------------------------------------------------------------------- records

Bytes IntRecord(std::uint16_t id, std::int32_t value) { return Record(id, Int(value)); }

// A record of `length` filler bytes.
Bytes RawRecord(std::uint16_t id, std::size_t length) { return Record(id, Bytes(length, 0x5A)); }

// ======================================================================= tests

TEST(Groups, RestoresTheDocumentedListsWithNestingAndMembership) {
    {
        // One group holding both elements.
        tDocument doc(2);
        CGroupsManager manager;
        tSerializedGroups list{1, -1, 2, 0, 1, 0};
        EXPECT_TRUE(UGroups::DeserializeGroups(manager, doc.elements, list, false));
        ASSERT_EQ(manager.GetGroups().size(), 1u);
        CGroup* group = *manager.GetGroups().begin();
        EXPECT_EQ(group->GetMembers(), Members({doc[0], doc[1]}));
        EXPECT_EQ(group->GetParentGroup(), nullptr);
        EXPECT_TRUE(group->GetChildGroups().empty());
        EXPECT_FALSE(group->IsMarked());
        EXPECT_EQ(group->GetManager(), &manager);
        EXPECT_EQ(manager.GetGroup(doc[0]), group);
        EXPECT_EQ(manager.GetGroup(doc[1]), group);
    }
    {
        // Group 0 holds element 0 and group 1; group 1 holds element 1.
        tDocument doc(2);
        CGroupsManager manager;
        tSerializedGroups list{2, -1, 1, 0, 1, 1, 0, 1, 1, 0};
        EXPECT_TRUE(UGroups::DeserializeGroups(manager, doc.elements, list, true));
        ASSERT_EQ(manager.GetGroups().size(), 2u);
        CGroup* outer = manager.GetGroup(doc[0]);
        CGroup* inner = manager.GetGroup(doc[1]);
        ASSERT_NE(outer, nullptr);
        ASSERT_NE(inner, nullptr);
        ASSERT_NE(outer, inner);
        EXPECT_EQ(outer->GetMembers(), Members({doc[0]}));
        EXPECT_EQ(inner->GetMembers(), Members({doc[1]}));
        EXPECT_EQ(outer->GetChildGroups(), std::vector<CGroup*>{inner});
        EXPECT_EQ(inner->GetParentGroup(), outer);
        EXPECT_EQ(outer->GetParentGroup(), nullptr);
        EXPECT_TRUE(outer->ContainsMember(inner));
        EXPECT_FALSE(inner->ContainsMember(outer));
        EXPECT_TRUE(outer->IsMarked());
        EXPECT_TRUE(inner->IsMarked());
    }
    {
        // A child listed before its parent's record names it: same tree.
        tDocument doc(2);
        CGroupsManager manager;
        tSerializedGroups list{2, 1, 1, 0, 0, -1, 1, 1, 1, 0};
        EXPECT_TRUE(UGroups::DeserializeGroups(manager, doc.elements, list, false));
        CGroup* inner = manager.GetGroup(doc[0]);
        CGroup* outer = manager.GetGroup(doc[1]);
        EXPECT_EQ(inner->GetParentGroup(), outer);
        EXPECT_EQ(outer->GetChildGroups(), std::vector<CGroup*>{inner});
        EXPECT_TRUE(outer->ContainsMember(inner));
    }
    // No groups: the empty list and the list 0.
    for (tSerializedGroups list : {tSerializedGroups{}, tSerializedGroups{0}}) {
        tDocument doc(1);
        CGroupsManager manager;
        WarningWatch watch;
        EXPECT_TRUE(UGroups::DeserializeGroups(manager, doc.elements, list, false)) << list.size();
        EXPECT_TRUE(manager.GetGroups().empty());
        EXPECT_TRUE(watch.Next().empty());
    }
}

TEST(Groups, BadListsEndTheRestoreWithTheirWarningAndKeepWhatWasMade) {
    struct tCase {
        const char* name;
        tSerializedGroups list;
        std::size_t elementCount;
        std::string warning;
        std::size_t groupsLeft;
    };
    const std::vector<tCase> cases = {
        {"element index equal to the element count",
         {1, -1, 2, 0, 2, 0},
         2,
         "Element index 2 out of range (2 elements)",
         1},
        {"negative element index", {1, -1, 1, -1, 0}, 2, "Element index -1 out of range (2 elements)", 1},
        {"one integer too many",
         {1, -1, 0, 0, 7},
         0,
         "Expected index doesn't match size of deserialized serializedGroups (current: 4, expected: 5)",
         1},
        {"just a count with integers after it",
         {0, 5},
         0,
         "Expected index doesn't match size of deserialized serializedGroups (current: 1, expected: 2)",
         0},
        {"members run past the end", {1, -1, 2, 0}, 2, "Invalid index 4 (4 serializedGroups) @ #229", 1},
        {"child indices run past the end", {1, -1, 0, 1}, 0, "Invalid index 4 (4 serializedGroups) @ #271", 1},
        {"a second record that is missing", {2, -1, 0, 0}, 0, "Invalid index 5 (4 serializedGroups) @ #229", 2},
        {"child group index equal to the group count",
         {1, -1, 0, 1, 1},
         0,
         "Group index 1 out of range (1 local groups)",
         1},
        {"negative child group index", {1, -1, 0, 1, -1}, 0, "Group index -1 out of range (1 local groups)", 1},
        {"parent index beyond the groups", {1, 5, 0, 0}, 0, "Group index 5 out of range (1 local groups)", 1},
        {"parent index below -1", {1, -2, 0, 0}, 0, "Group index -2 out of range (1 local groups)", 1},
        {"negative group count", {-3}, 0, "Invalid count -3 at index 0 (1 serializedGroups)", 0},
        {"negative member count", {1, -1, -2, 0, 0}, 1, "Invalid count -2 at index 2 (5 serializedGroups)", 1},
        {"negative child count", {1, -1, 0, -5, 0}, 0, "Invalid count -5 at index 3 (5 serializedGroups)", 1},
        {"huge group count", {2147483647, -1, 0, 0}, 0, "Invalid index 5 (4 serializedGroups) @ #229", 2},
        {"huge member count", {1, -1, 2147483647, 0}, 1, "Invalid index 4 (4 serializedGroups) @ #229", 1},
        {"huge child count", {1, -1, 0, 2147483647}, 0, "Invalid index 4 (4 serializedGroups) @ #271", 1},
    };
    for (const tCase& c : cases) {
        tDocument doc(c.elementCount);
        CGroupsManager manager;
        tSerializedGroups list = c.list;
        WarningWatch watch;
        EXPECT_FALSE(UGroups::DeserializeGroups(manager, doc.elements, list, false)) << c.name;
        const std::vector<std::string> warnings = watch.Next();
        EXPECT_EQ(warnings, std::vector<std::string>{kRestore + c.warning}) << c.name;
        EXPECT_EQ(manager.GetGroups().size(), c.groupsLeft) << c.name;
        EXPECT_EQ(list, c.list) << c.name;
    }

    // What came before the bad index stays: element 0 is grouped.
    tDocument doc(2);
    CGroupsManager manager;
    tSerializedGroups list{2, -1, 1, 0, 0, -1, 1, 9, 0};
    EXPECT_FALSE(UGroups::DeserializeGroups(manager, doc.elements, list, false));
    ASSERT_NE(manager.GetGroup(doc[0]), nullptr);
    EXPECT_EQ(manager.GetGroup(doc[0])->GetMembers(), Members({doc[0]}));
    EXPECT_FALSE(manager.IsGrouped(doc[1]));
}

TEST(Groups, RestoreRefusesGroupsNestedInThemselvesOrTheirDescendants) {
    struct tCase {
        const char* name;
        tSerializedGroups list;
        std::vector<std::string> warnings;
    };
    const std::vector<tCase> cases = {
        {"child of itself", {1, -1, 1, 0, 1, 0}, {"Group 0 cannot be nested in itself - skipped"}},
        {"parent of itself", {1, 0, 1, 0, 0}, {"Group 0 cannot be nested in itself - skipped"}},
        {"two groups listing each other",
         {2, -1, 1, 0, 1, 1, -1, 1, 1, 1, 0},
         {"Group 0 cannot be nested in its descendant 1 - skipped"}},
        {"two groups naming each other as parent",
         {2, 1, 1, 0, 0, 0, 1, 1, 0},
         {"Group 1 cannot be nested in its descendant 0 - skipped"}},
        {"three groups in a ring of child lists",
         {3, -1, 1, 0, 1, 1, -1, 1, 1, 1, 2, -1, 1, 2, 1, 0},
         {"Group 0 cannot be nested in its descendant 2 - skipped"}},
        {"parent field closing a ring",
         {2, 1, 1, 0, 1, 1, -1, 1, 1, 0},
         {"Group 1 cannot be nested in its descendant 0 - skipped"}},
    };
    for (const tCase& c : cases) {
        const std::size_t groupCount = static_cast<std::size_t>(c.list[0]);
        tDocument doc(groupCount);
        CGroupsManager manager;
        tSerializedGroups list = c.list;
        WarningWatch watch;
        EXPECT_FALSE(UGroups::DeserializeGroups(manager, doc.elements, list, false)) << c.name;
        std::vector<std::string> expected;
        for (const std::string& w : c.warnings) expected.push_back(kRestore + w);
        EXPECT_EQ(watch.Next(), expected) << c.name;

        // Whatever was kept is a tree: no group above itself, every listed
        // child names its lister as parent, and every walk ends.
        ASSERT_EQ(manager.GetGroups().size(), groupCount) << c.name;
        for (std::size_t i = 0; i < groupCount; ++i) {
            CGroup* group = manager.GetGroup(doc[i]);
            ASSERT_NE(group, nullptr) << c.name;
            EXPECT_FALSE(group->ContainsMember(group)) << c.name;
            EXPECT_LT(Depth(group), static_cast<int>(groupCount)) << c.name;
            for (CGroup* child : group->GetChildGroups()) {
                EXPECT_EQ(child->GetParentGroup(), group) << c.name;
                EXPECT_FALSE(child->ContainsMember(group)) << c.name;
            }
        }
    }

    // The ring of three keeps 0 -> 1 -> 2 and refuses 2 -> 0.
    tDocument doc(3);
    CGroupsManager manager;
    tSerializedGroups ring{3, -1, 1, 0, 1, 1, -1, 1, 1, 1, 2, -1, 1, 2, 1, 0};
    EXPECT_FALSE(UGroups::DeserializeGroups(manager, doc.elements, ring, false));
    CGroup* g0 = manager.GetGroup(doc[0]);
    CGroup* g1 = manager.GetGroup(doc[1]);
    CGroup* g2 = manager.GetGroup(doc[2]);
    EXPECT_EQ(g0->GetParentGroup(), nullptr);
    EXPECT_EQ(g1->GetParentGroup(), g0);
    EXPECT_EQ(g2->GetParentGroup(), g1);
    EXPECT_TRUE(g2->GetChildGroups().empty());
    EXPECT_TRUE(g0->ContainsMember(g2));
}

TEST(Groups, DeepChainsAreCutAtTheNestingLimitWithoutRecursion) {
    constexpr std::int32_t kGroups = 100000;
    const int kLimit = UGroups::kMaxNestingLevels;
    // A cut every 64 groups: 1,562 of them in 100,000, refused twice each
    // when both the child list and the parent field name the nesting.
    for (const bool forward : {true, false}) {
        // forward: group g names g - 1 as parent and lists g + 1;
        // backward: group g lists g - 1 and names no parent.
        tSerializedGroups list{kGroups};
        for (std::int32_t g = 0; g < kGroups; ++g) {
            list.push_back(forward ? g - 1 : -1);
            list.push_back(1);
            list.push_back(g);
            const bool hasChild = forward ? g + 1 < kGroups : g > 0;
            list.push_back(hasChild ? 1 : 0);
            if (hasChild) list.push_back(forward ? g + 1 : g - 1);
        }
        tDocument doc(kGroups);
        CGroupsManager manager;
        WarningWatch watch;
        EXPECT_FALSE(UGroups::DeserializeGroups(manager, doc.elements, list, false)) << forward;
        ASSERT_EQ(manager.GetGroups().size(), static_cast<std::size_t>(kGroups));

        int deepest = 0;
        for (const CGroup* group : manager.GetGroups()) deepest = std::max(deepest, Depth(group));
        EXPECT_EQ(deepest, kLimit - 1) << forward;

        // The first 64 groups of the chain keep their nesting whole; the
        // next one starts a chain of its own.
        const CGroup* first = manager.GetGroup(doc[0]);
        const CGroup* last = manager.GetGroup(doc[kLimit - 1]);
        const CGroup* next = manager.GetGroup(doc[kLimit]);
        const std::vector<std::string> warnings = watch.Next();
        if (forward) {
            EXPECT_EQ(Depth(last), kLimit - 1);
            EXPECT_TRUE(first->ContainsMember(last));
            EXPECT_EQ(Depth(next), 0);
            EXPECT_TRUE(last->GetChildGroups().empty());
            // Refused once through the child list, once through the parent.
            EXPECT_EQ(Count(warnings, RestoreLine("Nesting group 64 in group 63 exceeds 64 levels - skipped")), 2);
            // The first 100 refusals are logged, then their number.
            ASSERT_EQ(warnings.size(), 101u);
            EXPECT_EQ(warnings.back(), std::string(kRestore) + "3024 more skipped groups and members not logged");
        } else {
            EXPECT_EQ(Depth(first), kLimit - 1);
            EXPECT_TRUE(last->ContainsMember(first));
            EXPECT_TRUE(next->GetChildGroups().empty());
            EXPECT_EQ(Count(warnings, RestoreLine("Nesting group 63 in group 64 exceeds 64 levels - skipped")), 1);
            ASSERT_EQ(warnings.size(), 101u);
            EXPECT_EQ(warnings.back(), std::string(kRestore) + "1462 more skipped groups and members not logged");
        }
    }
}

TEST(Groups, RepeatedInconsistenciesAreLoggedAndReportedUpToALimit) {
    RecordingAnalytics& analytics = Analytics();
    const std::string addMember = "void CGroup::AddMember(CGroupable *): Inconsistency detected - element <";
    const std::string secondParent = "void CGroup::SetParentGroup(CGroup *): Parent group already assigned!";
    {
        // Element 0 in group 0, then 500 times more in group 1.
        tDocument doc(1);
        tSerializedGroups list{2, -1, 1, 0, 0, -1, 500};
        list.insert(list.end(), 500, 0);
        list.push_back(0);
        CGroupsManager manager;
        WarningWatch watch;
        const std::size_t eventsBefore = analytics.events.size();
        EXPECT_TRUE(UGroups::DeserializeGroups(manager, doc.elements, list, false));
        const std::vector<std::string> warnings = watch.Next();
        ASSERT_EQ(warnings.size(), 101u);
        EXPECT_EQ(Count(warnings, addMember + Ptr(doc[0]) + "> already in group"), 100);
        EXPECT_EQ(warnings.back(), std::string(kRestore) + "400 more skipped groups and members not logged");
        EXPECT_EQ(analytics.events.size() - eventsBefore, 100u);
        EXPECT_EQ(manager.GetGroup(doc[0])->GetMembers(), Members({doc[0]}));
    }
    {
        // Group 1 is group 0's child; group 2 lists it 300 times more.
        tDocument doc(3);
        tSerializedGroups list{3, -1, 1, 0, 1, 1, -1, 1, 1, 0, -1, 1, 2, 300};
        list.insert(list.end(), 300, 1);
        CGroupsManager manager;
        WarningWatch watch;
        const std::size_t eventsBefore = analytics.events.size();
        EXPECT_TRUE(UGroups::DeserializeGroups(manager, doc.elements, list, false));
        const std::vector<std::string> warnings = watch.Next();
        ASSERT_EQ(warnings.size(), 101u);
        EXPECT_EQ(Count(warnings, secondParent), 100);
        EXPECT_EQ(warnings.back(), std::string(kRestore) + "200 more skipped groups and members not logged");
        EXPECT_EQ(analytics.events.size() - eventsBefore, 100u);
        EXPECT_EQ(manager.GetGroup(doc[1])->GetParentGroup(), manager.GetGroup(doc[0]));
        EXPECT_TRUE(manager.GetGroup(doc[2])->GetChildGroups().empty());
    }
}

TEST(Groups, MembersAreFoundByFilePositionSoSkippedElementsMoveNothing) {
    // The file held three element records; the middle one was empty and not
    // loaded, so the table has a hole where it stood.
    tDocument doc(3);
    tElements byFilePosition{doc[0], nullptr, doc[2]};
    CGroupsManager manager;
    tSerializedGroups list{2, -1, 2, 1, 2, 0, -1, 1, 0, 0};
    WarningWatch watch;
    EXPECT_TRUE(UGroups::DeserializeGroups(manager, byFilePosition, list, false));
    EXPECT_EQ(watch.Next(),
              Lines{kRestore + std::string("Element index 1 refers to an element that was not loaded - skipped")});
    ASSERT_EQ(manager.GetGroups().size(), 2u);
    CGroup* second = manager.GetGroup(doc[2]);
    CGroup* first = manager.GetGroup(doc[0]);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(second->GetMembers(), Members({doc[2]}));
    EXPECT_EQ(first->GetMembers(), Members({doc[0]}));
    EXPECT_FALSE(manager.IsGrouped(doc[1]));
}

TEST(Groups, GroupRulesLogReportAndKeepTheFirstAnswer) {
    RecordingAnalytics& analytics = Analytics();
    const std::size_t base = analytics.events.size();
    tDocument doc(2);
    CGroupsManager manager;
    CGroup* a = manager.CreateGroup();
    CGroup* b = manager.CreateGroup();
    EXPECT_EQ(a->GetManager(), &manager);
    EXPECT_FALSE(a->IsMarked());
    EXPECT_FALSE(manager.IsGrouped(doc[0]));

    // An element in a second group.
    WarningWatch watch;
    a->AddMember(doc[0]);
    EXPECT_TRUE(manager.IsGrouped(doc[0]));
    EXPECT_TRUE(watch.Next().empty());
    b->AddMember(doc[0]);
    EXPECT_EQ(watch.Next(), Lines{"void CGroup::AddMember(CGroupable *): Inconsistency detected - element <" +
                                  Ptr(doc[0]) + "> already in group"});
    ASSERT_EQ(analytics.events.size(), base + 1);
    ExpectIntegrityFailure(analytics.events[base + 0], "AlreadyGrouped.AddMember.CGroup");
    EXPECT_EQ(a->GetMembers(), Members({doc[0]}));
    EXPECT_TRUE(b->GetMembers().empty());
    EXPECT_EQ(manager.GetGroup(doc[0]), a);

    // The manager keeps the first group of an item.
    manager.Group(doc[0], b);
    EXPECT_EQ(watch.Next(),
              Lines{"void CGroupsManager::Group(CGroupable *, CGroup *): Failed to associate with group <" + Ptr(b) +
                    "> - Element <" + Ptr(doc[0]) + "> already in group <" + Ptr(a) + ">"});
    EXPECT_EQ(manager.GetGroup(doc[0]), a);
    EXPECT_EQ(analytics.events.size(), base + 1);

    // Itself as a child, or the same child twice: nothing changes.
    a->AddChildGroup(a);
    EXPECT_TRUE(a->GetChildGroups().empty());
    EXPECT_EQ(a->GetParentGroup(), nullptr);
    a->AddChildGroup(b);
    a->AddChildGroup(b);
    EXPECT_EQ(a->GetChildGroups(), std::vector<CGroup*>{b});
    EXPECT_EQ(b->GetParentGroup(), a);
    EXPECT_TRUE(watch.Next().empty());

    // A second parent is refused and reported.
    CGroup* c = manager.CreateGroup();
    b->SetParentGroup(c);
    EXPECT_EQ(watch.Next(), Lines{"void CGroup::SetParentGroup(CGroup *): Parent group already assigned!"});
    ASSERT_EQ(analytics.events.size(), base + 2);
    ExpectIntegrityFailure(analytics.events[base + 1], "AlreadyGrouped.SetParentGroup.CGroup");
    EXPECT_EQ(b->GetParentGroup(), a);
    b->SetParentGroup(a);
    EXPECT_EQ(analytics.events.size(), base + 2);

    // A group in another group's child list is not listed by a second one:
    // the refusal is reported, and the group stays in one tree.
    c->AddChildGroup(b);
    EXPECT_EQ(watch.Next(), Lines{"void CGroup::SetParentGroup(CGroup *): Parent group already assigned!"});
    EXPECT_TRUE(c->GetChildGroups().empty());
    EXPECT_FALSE(c->ContainsMember(b));
    EXPECT_EQ(analytics.events.size(), base + 3);

    // Depth: a -> b -> d; a contains d, d contains nothing.
    CGroup* d = manager.CreateGroup();
    b->AddChildGroup(d);
    EXPECT_TRUE(a->ContainsMember(d));
    EXPECT_TRUE(b->ContainsMember(d));
    EXPECT_FALSE(d->ContainsMember(a));
    EXPECT_FALSE(a->ContainsMember(a));
    EXPECT_FALSE(a->ContainsMember(c));
    // Adding a descendant again changes nothing.
    a->AddChildGroup(d);
    EXPECT_EQ(a->GetChildGroups(), std::vector<CGroup*>{b});

    // An ancestor as child, or a descendant as parent, would close a ring.
    d->AddChildGroup(a);
    EXPECT_EQ(watch.Next(), Lines{"void CGroup::SetParentGroup(CGroup *): Group <" + Ptr(a) +
                                  "> cannot be its own ancestor - parent <" + Ptr(d) + "> refused"});
    EXPECT_TRUE(d->GetChildGroups().empty());
    EXPECT_EQ(a->GetParentGroup(), nullptr);
    a->SetParentGroup(a);
    EXPECT_EQ(a->GetParentGroup(), nullptr);
    EXPECT_EQ(watch.Next().size(), 1u);
    EXPECT_EQ(analytics.events.size(), base + 3);

    // A parent named without a child list is kept; the child list may follow.
    CGroup* e = manager.CreateGroup();
    e->SetParentGroup(c);
    EXPECT_EQ(e->GetParentGroup(), c);
    EXPECT_FALSE(c->ContainsMember(e));
    c->AddChildGroup(e);
    EXPECT_EQ(c->GetChildGroups(), std::vector<CGroup*>{e});
    EXPECT_TRUE(c->ContainsMember(e));
    EXPECT_EQ(manager.GetGroups().size(), 5u);
}

TEST(Groups, SerializedListRestoresToTheSameGroupsAndRecords) {
    // a holds element 1 and b; b holds elements 0 and 3; c holds element 2;
    // d is empty; element 4 is in no group. Numbered by first element: a is
    // reached through element 0's group b, so a = 0, b = 1, c = 2, d = 3.
    tDocument doc(5);
    CGroupsManager manager;
    CGroup* a = manager.CreateGroup();
    CGroup* b = manager.CreateGroup();
    CGroup* c = manager.CreateGroup();
    manager.CreateGroup();
    a->AddMember(doc[1]);
    a->AddChildGroup(b);
    b->AddMember(doc[0]);
    b->AddMember(doc[3]);
    c->AddMember(doc[2]);

    tSerializedGroups list;
    EXPECT_TRUE(UGroups::SerializeGroups(manager, doc.elements, list));
    const tSerializedGroups expected{4, -1, 1, 1, 1, 1, 0, 2, 0, 3, 0, -1, 1, 2, 0, -1, 0, 0};
    EXPECT_EQ(list, expected);

    // Through the file records and back.
    tFile file(std::tmpfile());
    ASSERT_TRUE(UGroups::WriteSerializedGroups(file.get(), list));
    std::rewind(file.get());
    tSerializedGroups read{99};
    ASSERT_TRUE(UGroups::ReadSerializedGroups(file.get(), read));
    EXPECT_EQ(read, expected);

    CGroupsManager restored;
    EXPECT_TRUE(UGroups::DeserializeGroups(restored, doc.elements, read, false));
    ASSERT_EQ(restored.GetGroups().size(), 4u);
    CGroup* ra = restored.GetGroup(doc[1]);
    CGroup* rb = restored.GetGroup(doc[0]);
    EXPECT_EQ(rb->GetMembers(), Members({doc[0], doc[3]}));
    EXPECT_EQ(rb->GetParentGroup(), ra);
    EXPECT_EQ(ra->GetChildGroups(), std::vector<CGroup*>{rb});
    EXPECT_EQ(restored.GetGroup(doc[2])->GetParentGroup(), nullptr);
    EXPECT_FALSE(restored.IsGrouped(doc[4]));
    tSerializedGroups again;
    EXPECT_TRUE(UGroups::SerializeGroups(restored, doc.elements, again));
    EXPECT_EQ(again, expected);

    // No groups: the list 0.
    CGroupsManager empty;
    EXPECT_TRUE(UGroups::SerializeGroups(empty, doc.elements, again));
    EXPECT_EQ(again, tSerializedGroups{0});

    // A member that is not in the element list cannot be written.
    CCompositeGeometry stranger;
    c->AddMember(&stranger);
    EXPECT_FALSE(UGroups::SerializeGroups(manager, doc.elements, again));
    EXPECT_EQ(again, expected);
}

TEST(Groups, RecordsAreWrittenAsCountThenOneIntegerEach) {
    tFile file(std::tmpfile());
    ASSERT_TRUE(UGroups::WriteSerializedGroups(file.get(), tSerializedGroups{1, -1, 0, 0}));
    const Bytes expected{0x01, 0xA8, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04,   // 424: 4 integers
                         0x01, 0xA9, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01,   // 425: 1
                         0x01, 0xA9, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF,   // 425: -1
                         0x01, 0xA9, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,   // 425: 0
                         0x01, 0xA9, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00};  // 425: 0
    EXPECT_EQ(ReadAll(file.get()), expected);

    tFile emptyList(std::tmpfile());
    ASSERT_TRUE(UGroups::WriteSerializedGroups(emptyList.get(), tSerializedGroups{}));
    EXPECT_EQ(ReadAll(emptyList.get()), (Bytes{0x01, 0xA8, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00}));
    std::rewind(emptyList.get());
    tSerializedGroups read{99};
    EXPECT_TRUE(UGroups::ReadSerializedGroups(emptyList.get(), read));
    EXPECT_TRUE(read.empty());

    // The reader's limit holds for the writer too.
    tFile tooLong(std::tmpfile());
    EXPECT_FALSE(UGroups::WriteSerializedGroups(
        tooLong.get(), tSerializedGroups(static_cast<std::size_t>(UGroups::kMaxSerializedGroupsSize) + 1, 0)));
}

TEST(Groups, DamagedRecordsStopTheReaderAndLeaveTheListUnchanged) {
    struct tCase {
        const char* name;
        Bytes bytes;
        std::string warning;
    };
    const std::vector<tCase> cases = {
        {"no count", {}, "Failed to read the number of serialized groups (EndOfFile)"},
        {"negative count", IntRecord(424, -1), "Invalid number of serialized groups -1"},
        {"count above the limit", Cat({IntRecord(424, 4194305), IntRecord(425, 1)}),
         "Invalid number of serialized groups 4194305"},
        {"count beyond the file", Cat({IntRecord(424, 1000), IntRecord(425, 1), IntRecord(425, 0)}),
         "1000 serialized groups exceed the 16 bytes left"},
        {"value record too short", Cat({IntRecord(424, 1), RawRecord(425, 2), RawRecord(600, 4)}),
         "Failed to read serialized group value 1 of 1 (TooShort)"},
        {"values end early", Cat({IntRecord(424, 100), IntRecord(425, 1), RawRecord(600, 900)}),
         "Failed to read serialized group value 2 of 100 (EndOfFile)"},
    };
    for (const tCase& c : cases) {
        tFile file = FileWith(c.bytes);
        tSerializedGroups list{99};
        WarningWatch watch;
        EXPECT_FALSE(UGroups::ReadSerializedGroups(file.get(), list)) << c.name;
        EXPECT_EQ(list, tSerializedGroups{99}) << c.name;
        const std::vector<std::string> warnings = watch.Next();
        EXPECT_EQ(Count(warnings, kRead + c.warning), 1) << c.name;
        long readerLines = 0;
        for (const std::string& w : warnings) readerLines += w.starts_with(kRead) ? 1 : 0;
        EXPECT_EQ(readerLines, 1) << c.name;
    }

    // A sound list followed by the next section's records.
    tFile file = FileWith(Cat({IntRecord(424, 2), IntRecord(425, 0), IntRecord(425, 0), RawRecord(600, 4)}));
    tSerializedGroups list;
    EXPECT_TRUE(UGroups::ReadSerializedGroups(file.get(), list));
    EXPECT_EQ(list, (tSerializedGroups{0, 0}));
}

}  // namespace

#pragma once
// Groups of layout elements. A document's CGroupsManager owns its groups and
// knows the group of every grouped element; a CGroup holds its members, its
// child groups and its parent. Groups nest, but never into themselves: every
// group has at most one parent, child lists form a forest, and the parent
// links never close a cycle.
//
// In a layout file the groups follow the element records as a flat list of
// integers (tSerializedGroups) that refers to elements and groups by index:
//
//   N                                    number of groups
//   for each group g = 0 .. N-1:
//     parent                             index of the parent group, -1 for none
//     M, then M element indices          0-based, in element file order
//     C, then C group indices            0-based, into the N groups
//
// stored as tag 424 (the number of integers) and one tag 425 per integer.

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "engine/model/Groupable.h"
#include "engine/model/TrackElementsContainer.h"

class CGroupsManager;

using tSerializedGroups = std::vector<std::int32_t>;

class CGroup {
public:
    CGroup(const CGroup&) = delete;
    CGroup& operator=(const CGroup&) = delete;

    // Appends the item and records it with the manager. An item the manager
    // already has grouped is logged, reported as the integrity failure
    // "AlreadyGrouped.AddMember.CGroup" and not added. A null item is ignored.
    void AddMember(CGroupable* item);
    // Appends `group` to the child groups and makes this group its parent.
    // Nothing happens for a null group, this group itself, a group already
    // among the child groups at any depth, or a group that SetParentGroup
    // refuses (it has another parent, or it is an ancestor of this group).
    void AddChildGroup(CGroup* group);
    // Whether `group` is among this group's child groups at any depth.
    bool ContainsMember(const CGroup* group) const;
    // Sets the parent. A different parent already set is kept, logged and
    // reported as "AlreadyGrouped.SetParentGroup.CGroup"; a parent that is
    // this group or one of its descendants is refused with a warning.
    void SetParentGroup(CGroup* group);

    const std::vector<CGroupable*>& GetMembers() const { return mMembers; }
    const std::vector<CGroup*>& GetChildGroups() const { return mChildGroups; }
    CGroup* GetParentGroup() const { return mParentGroup; }
    CGroupsManager* GetManager() const { return mManager; }
    bool IsMarked() const { return mMarked; }
    void SetMarked(bool marked) { mMarked = marked; }

private:
    friend class CGroupsManager;
    explicit CGroup(CGroupsManager* manager) : mManager(manager) {}
    ~CGroup() = default;

    std::vector<CGroupable*> mMembers;  // not owned
    std::vector<CGroup*> mChildGroups;  // owned by the manager
    CGroup* mParentGroup = nullptr;
    CGroupsManager* mManager;
    bool mMarked = false;
    // True while this group is in its parent's child groups (a parent can be
    // set without that); lets ContainsMember walk up instead of searching
    // whole subtrees.
    bool mListedByParent = false;
};

class CGroupsManager {
public:
    CGroupsManager() = default;
    // Deletes the groups.
    ~CGroupsManager();
    // Groups point back at their manager, so it stays where it was made.
    CGroupsManager(const CGroupsManager&) = delete;
    CGroupsManager& operator=(const CGroupsManager&) = delete;

    // A new empty group owned by this manager.
    CGroup* CreateGroup();
    bool IsGrouped(CGroupable* item) const;
    // Records that the item belongs to the group; an item already grouped
    // keeps its group and the attempt is logged.
    void Group(CGroupable* item, CGroup* group);

    // The item's group, or null.
    CGroup* GetGroup(CGroupable* item) const;
    const std::set<CGroup*>& GetGroups() const { return mGroups; }

private:
    std::set<CGroup*> mGroups;
    std::map<CGroupable*, CGroup*> mGroupedItems;
};

namespace UGroups {

// The most levels a restore nests groups (a top-level group is level 1);
// deeper nesting in a file is refused so that hostile chains cannot make
// every later walk up the parents long.
constexpr int kMaxNestingLevels = 64;
// The longest serialized list read from a file: far above what real layouts
// hold, low enough that a forged count cannot claim a flood of memory.
constexpr std::int32_t kMaxSerializedGroupsSize = 1 << 22;

// Restores the groups of `serializedGroups` into `manager`, setting the mark
// flag of every new group when `mark` is set. `elements` maps an element
// index of the file to the loaded element: entry i is the i-th element record
// of the file, null when the loader skipped that record; members that map to
// null are left out with a warning.
//
// Returns false with a warning when an element index lies outside `elements`,
// a group index outside the N groups, a count is negative, a record runs past
// the end of the list, or the list holds more than the records; the groups
// and memberships made before stay in the manager. A nesting that would make
// a group its own ancestor or go deeper than kMaxNestingLevels is left out
// with a warning, the restore goes on, and the result is false. Of the members
// and nestings left out, and of the inconsistencies the groups report, the
// first 100 are logged and the rest counted in one line. An empty list or the
// list 0 restores nothing and gives true.
bool DeserializeGroups(CGroupsManager& manager, tElements& elements, tSerializedGroups& serializedGroups, bool mark);

// The list that DeserializeGroups turns back into the manager's groups, with
// element indices into `elements`. Groups are numbered in the order of their
// first element in `elements` (ancestors before descendants, then children
// in list order), so equal documents give equal lists. A member that is not
// in `elements` is left out and the result is false.
bool SerializeGroups(const CGroupsManager& manager, const tElements& elements, tSerializedGroups& serializedGroups);

// Reads tag 424 and that many tags 425 from the file's current position. On
// false (a tag missing or damaged, a count below 0, above
// kMaxSerializedGroupsSize or above what the rest of the file can hold) a
// warning is logged, reading stops at the first failure and the list is
// unchanged.
bool ReadSerializedGroups(FILE* file, tSerializedGroups& serializedGroups);
// Writes tag 424 and one tag 425 per integer. False when a record cannot be
// written or the list is longer than ReadSerializedGroups accepts.
bool WriteSerializedGroups(FILE* file, const tSerializedGroups& serializedGroups);

}  // namespace UGroups

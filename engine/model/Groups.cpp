#include "engine/model/Groups.h"
#include "engine/fileformat/Tag.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <unordered_map>
#include <utility>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/Logger.h"

namespace {

constexpr const char* kDeserializeSignature =
    "static bool UGroups::DeserializeGroups(CGroupsManager &, tElements &, tSerializedGroups &, bool)";
constexpr const char* kReadSignature = "static bool UGroups::ReadSerializedGroups(FILE *, tSerializedGroups &)";

constexpr std::uint16_t kTagGroupsSize = 424;
constexpr std::uint16_t kTagGroupsValue = 425;
// One tag 425: 2 bytes id, 2 bytes length, 4 bytes value.
constexpr long kBytesPerValue = 8;

// Markers of the two passes in the out-of-list warning.
constexpr int kFirstPass = 229;
constexpr int kSecondPass = 271;

int ClampToInt(std::size_t value) {
    return value > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// Counts what a restore leaves out and logs the first kMaxLogged of them, so
// that a hostile list cannot flood the log file.
class CSkipLog {
public:
    static constexpr int kMaxLogged = 100;

    CSkipLog() = default;
    CSkipLog(const CSkipLog&) = delete;
    CSkipLog& operator=(const CSkipLog&) = delete;
    // Logs how many were counted but not logged.
    ~CSkipLog() {
        if (mCount > kMaxLogged) {
            LogWarning("%s: %d more skipped groups and members not logged", kDeserializeSignature, mCount - kMaxLogged);
        }
    }

    // Counts one; true while it should be logged.
    bool Count() { return ++mCount <= kMaxLogged; }

private:
    int mCount = 0;
};

// The nesting a restore builds, by local group index, kept beside the groups
// so that the cycle and depth checks cost at most kMaxNestingLevels steps
// whatever the list holds.
class CLocalForest {
public:
    static constexpr std::int32_t kNone = -1;

    explicit CLocalForest(CSkipLog& skips) : mSkips(skips) {}

    void Add(CGroup* group) {
        mGroups.push_back(group);
        mParent.push_back(kNone);
        mHeight.push_back(0);
    }
    std::size_t Size() const { return mGroups.size(); }

    // Puts `child` under `parent`, through the parent's child list or through
    // the child's parent field. False (with a warning) when the nesting would
    // close a cycle or go too deep; the group API reports its own refusals.
    bool Nest(std::int32_t child, std::int32_t parent, bool throughChildList) {
        if (child == parent) {
            if (mSkips.Count()) {
                LogWarning("%s: Group %d cannot be nested in itself - skipped", kDeserializeSignature, child);
            }
            return false;
        }
        if (mParent[child] != kNone && mParent[child] != parent) {
            // Already nested elsewhere: the group API logs and reports that,
            // for as many as the log takes.
            if (throughChildList && mGroups[parent]->ContainsMember(mGroups[child])) return true;
            if (!mSkips.Count()) return true;
        } else if (mParent[child] == kNone) {
            if (IsAncestor(child, parent)) {
                if (mSkips.Count()) {
                    LogWarning("%s: Group %d cannot be nested in its descendant %d - skipped", kDeserializeSignature,
                               child, parent);
                }
                return false;
            }
            if (Depth(parent) + 2 + mHeight[child] > UGroups::kMaxNestingLevels) {
                if (mSkips.Count()) {
                    LogWarning("%s: Nesting group %d in group %d exceeds %d levels - skipped", kDeserializeSignature,
                               child, parent, UGroups::kMaxNestingLevels);
                }
                return false;
            }
        }
        if (throughChildList) {
            mGroups[parent]->AddChildGroup(mGroups[child]);
        } else {
            mGroups[child]->SetParentGroup(mGroups[parent]);
        }
        if (mParent[child] == kNone && mGroups[child]->GetParentGroup() == mGroups[parent]) {
            mParent[child] = parent;
            // Heights only grow; stop where an ancestor is tall enough already.
            int height = mHeight[child] + 1;
            for (std::int32_t g = parent; g != kNone && mHeight[g] < height; g = mParent[g], ++height) {
                mHeight[g] = height;
            }
        }
        return true;
    }

private:
    bool IsAncestor(std::int32_t candidate, std::int32_t group) const {
        for (std::int32_t g = group; g != kNone; g = mParent[g]) {
            if (g == candidate) return true;
        }
        return false;
    }

    // Ancestors of the group.
    int Depth(std::int32_t group) const {
        int depth = 0;
        for (std::int32_t g = mParent[group]; g != kNone; g = mParent[g]) ++depth;
        return depth;
    }

    CSkipLog& mSkips;
    std::vector<CGroup*> mGroups;
    std::vector<std::int32_t> mParent;
    // Levels below each group, 0 without nested groups.
    std::vector<int> mHeight;
};

}  // namespace

// ------------------------------------------------------------------ CGroup

void CGroup::AddMember(CGroupable* item) {
    if (item == nullptr) return;
    if (mManager->IsGrouped(item)) {
        LogWarning("%s: Inconsistency detected - element <%p> already in group", "void CGroup::AddMember(CGroupable *)",
                   static_cast<const void*>(item));
        UActivityAnalytics::TrackIntegrityCheckFailure("AlreadyGrouped.AddMember.CGroup");
        return;
    }
    mMembers.push_back(item);
    mManager->Group(item, this);
}

void CGroup::AddChildGroup(CGroup* group) {
    if (group == nullptr || group == this || ContainsMember(group)) return;
    // The parent first: a group listed by two parents would no longer be a
    // tree, and one listed by its own descendant would never end a walk.
    group->SetParentGroup(this);
    if (group->mParentGroup != this) return;
    mChildGroups.push_back(group);
    group->mListedByParent = true;
}

bool CGroup::ContainsMember(const CGroup* group) const {
    // A listed child's parent is the group listing it, and parents never
    // form a cycle, so walking up the listed links finds every ancestor.
    for (const CGroup* g = group; g != nullptr && g->mListedByParent;) {
        g = g->mParentGroup;
        if (g == this) return true;
    }
    return false;
}

void CGroup::SetParentGroup(CGroup* group) {
    constexpr const char* kSignature = "void CGroup::SetParentGroup(CGroup *)";
    if (mParentGroup != nullptr && mParentGroup != group) {
        LogWarning("%s: Parent group already assigned!", kSignature);
        UActivityAnalytics::TrackIntegrityCheckFailure("AlreadyGrouped.SetParentGroup.CGroup");
        return;
    }
    if (group == mParentGroup) return;
    for (const CGroup* g = group; g != nullptr; g = g->mParentGroup) {
        if (g == this) {
            LogWarning("%s: Group <%p> cannot be its own ancestor - parent <%p> refused", kSignature,
                       static_cast<const void*>(this), static_cast<const void*>(group));
            return;
        }
    }
    mParentGroup = group;
}

// ---------------------------------------------------------- CGroupsManager

CGroupsManager::~CGroupsManager() {
    for (CGroup* group : mGroups) delete group;
}

CGroup* CGroupsManager::CreateGroup() {
    CGroup* group = new CGroup(this);
    mGroups.insert(group);
    return group;
}

bool CGroupsManager::IsGrouped(CGroupable* item) const { return mGroupedItems.count(item) != 0; }

void CGroupsManager::Group(CGroupable* item, CGroup* group) {
    const auto found = mGroupedItems.find(item);
    if (found != mGroupedItems.end()) {
        LogWarning("%s: Failed to associate with group <%p> - Element <%p> already in group <%p>",
                   "void CGroupsManager::Group(CGroupable *, CGroup *)", static_cast<const void*>(group),
                   static_cast<const void*>(item), static_cast<const void*>(found->second));
        return;
    }
    mGroupedItems.emplace(item, group);
}

CGroup* CGroupsManager::GetGroup(CGroupable* item) const {
    const auto found = mGroupedItems.find(item);
    return found == mGroupedItems.end() ? nullptr : found->second;
}

// ------------------------------------------------------------------ UGroups

bool UGroups::DeserializeGroups(CGroupsManager& manager, tElements& elements, tSerializedGroups& serializedGroups,
                                bool mark) {
    const std::size_t size = serializedGroups.size();
    if (size == 0) return true;
    const auto sizeForLog = static_cast<unsigned long>(size);

    auto readAt = [&](std::size_t position, int pass, std::int32_t& value) {
        if (position >= size) {
            LogWarning("%s: Invalid index %d (%lu serializedGroups) @ #%d", kDeserializeSignature, ClampToInt(position),
                       sizeForLog, pass);
            return false;
        }
        value = serializedGroups[position];
        return true;
    };
    // A negative count would send the position backwards.
    auto readCount = [&](std::size_t position, int pass, std::int32_t& value) {
        if (!readAt(position, pass, value)) return false;
        if (value < 0) {
            LogWarning("%s: Invalid count %d at index %d (%lu serializedGroups)", kDeserializeSignature, value,
                       ClampToInt(position), sizeForLog);
            return false;
        }
        return true;
    };

    std::int32_t count = 0;
    if (!readCount(0, kFirstPass, count)) return false;

    // First pass: the groups and their members. Every group reads at least
    // one position further, so a forged count ends at the list's end.
    CSkipLog skips;
    CLocalForest local(skips);
    std::size_t p = 1;
    for (std::int32_t g = 0; g < count; ++g) {
        CGroup* group = manager.CreateGroup();
        if (mark) group->SetMarked(true);
        local.Add(group);

        std::int32_t memberCount = 0;
        if (!readCount(p + 1, kFirstPass, memberCount)) return false;
        for (std::int32_t i = 0; i < memberCount; ++i) {
            std::int32_t index = 0;
            if (!readAt(p + 2 + static_cast<std::size_t>(i), kFirstPass, index)) return false;
            if (index < 0 || static_cast<std::size_t>(index) >= elements.size()) {
                LogWarning("%s: Element index %d out of range (%lu elements)", kDeserializeSignature, index,
                           static_cast<unsigned long>(elements.size()));
                return false;
            }
            CCompositeGeometry* element = elements[static_cast<std::size_t>(index)];
            if (element == nullptr) {
                if (skips.Count()) {
                    LogWarning("%s: Element index %d refers to an element that was not loaded - skipped",
                               kDeserializeSignature, index);
                }
                continue;
            }
            // An element in a second group is logged and reported by the group,
            // for as many as the log takes.
            if (manager.IsGrouped(element) && !skips.Count()) continue;
            group->AddMember(element);
        }
        std::int32_t childCount = 0;
        if (!readCount(p + 2 + static_cast<std::size_t>(memberCount), kFirstPass, childCount)) return false;
        p += 3 + static_cast<std::size_t>(memberCount) + static_cast<std::size_t>(childCount);
    }

    // Second pass: parents and child groups, now that every group exists.
    const auto groupCountForLog = static_cast<unsigned long>(local.Size());
    auto checkGroupIndex = [&](std::int32_t index) {
        if (index >= 0 && index < count) return true;
        LogWarning("%s: Group index %d out of range (%lu local groups)", kDeserializeSignature, index,
                   groupCountForLog);
        return false;
    };
    bool nested = true;
    p = 1;
    for (std::int32_t g = 0; g < count; ++g) {
        std::int32_t parent = 0;
        std::int32_t memberCount = 0;
        std::int32_t childCount = 0;
        if (!readAt(p, kSecondPass, parent)) return false;
        if (!readCount(p + 1, kSecondPass, memberCount)) return false;
        const std::size_t childrenAt = p + 2 + static_cast<std::size_t>(memberCount);
        if (!readCount(childrenAt, kSecondPass, childCount)) return false;

        if (parent != CLocalForest::kNone) {
            if (!checkGroupIndex(parent)) return false;
            nested = local.Nest(g, parent, false) && nested;
        }
        for (std::int32_t i = 0; i < childCount; ++i) {
            std::int32_t child = 0;
            if (!readAt(childrenAt + 1 + static_cast<std::size_t>(i), kSecondPass, child)) return false;
            if (!checkGroupIndex(child)) return false;
            nested = local.Nest(child, g, true) && nested;
        }
        p = childrenAt + 1 + static_cast<std::size_t>(childCount);
    }

    if (p != size) {
        LogWarning(
            "%s: Expected index doesn't match size of deserialized serializedGroups (current: %d, expected: %lu)",
            kDeserializeSignature, ClampToInt(p), sizeForLog);
        return false;
    }
    return nested;
}

bool UGroups::SerializeGroups(const CGroupsManager& manager, const tElements& elements,
                              tSerializedGroups& serializedGroups) {
    std::unordered_map<const CGroupable*, std::int32_t> elementIndex;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i] == nullptr) continue;
        elementIndex.emplace(static_cast<const CGroupable*>(elements[i]), static_cast<std::int32_t>(i));
    }

    std::unordered_map<const CGroup*, std::int32_t> groupIndex;
    std::vector<const CGroup*> order;
    std::vector<const CGroup*> chain;
    // Numbers the group after its not yet numbered ancestors.
    auto numberWithAncestors = [&](const CGroup* group) {
        chain.clear();
        for (const CGroup* g = group; g != nullptr && groupIndex.count(g) == 0; g = g->GetParentGroup()) {
            chain.push_back(g);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            groupIndex.emplace(*it, static_cast<std::int32_t>(order.size()));
            order.push_back(*it);
        }
    };
    std::size_t drained = 0;
    auto numberChildren = [&] {
        for (; drained < order.size(); ++drained) {
            for (const CGroup* child : order[drained]->GetChildGroups()) numberWithAncestors(child);
        }
    };

    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        if (const CGroup* group = manager.GetGroup(element)) numberWithAncestors(group);
    }
    numberChildren();
    // Groups without any element: after the others, in the manager's order.
    for (const CGroup* group : manager.GetGroups()) {
        numberWithAncestors(group);
        numberChildren();
    }

    bool complete = true;
    tSerializedGroups list;
    list.push_back(static_cast<std::int32_t>(order.size()));
    std::vector<std::int32_t> members;
    for (const CGroup* group : order) {
        const CGroup* parent = group->GetParentGroup();
        list.push_back(parent == nullptr ? -1 : groupIndex.at(parent));
        members.clear();
        for (const CGroupable* member : group->GetMembers()) {
            const auto found = elementIndex.find(member);
            if (found == elementIndex.end()) {
                complete = false;
            } else {
                members.push_back(found->second);
            }
        }
        list.push_back(static_cast<std::int32_t>(members.size()));
        list.insert(list.end(), members.begin(), members.end());
        list.push_back(static_cast<std::int32_t>(group->GetChildGroups().size()));
        for (const CGroup* child : group->GetChildGroups()) list.push_back(groupIndex.at(child));
    }
    serializedGroups = std::move(list);
    return complete;
}

bool UGroups::ReadSerializedGroups(FILE* file, tSerializedGroups& serializedGroups) {
    CTaggedFile tags(file);
    std::int32_t count = 0;
    if (!tags.ReadInt(kTagGroupsSize, count)) {
        LogWarning("%s: Failed to read the number of serialized groups (%s)", kReadSignature,
                   ReadStatusName(tags.LastStatus()));
        return false;
    }
    if (count < 0 || count > kMaxSerializedGroupsSize) {
        LogWarning("%s: Invalid number of serialized groups %d", kReadSignature, count);
        return false;
    }
    const long left = BytesLeftInStream(file);
    if (left >= 0 && count > left / kBytesPerValue) {
        LogWarning("%s: %d serialized groups exceed the %ld bytes left", kReadSignature, count, left);
        return false;
    }

    tSerializedGroups list;
    // Without a size to check against, grow as the values arrive.
    list.reserve(left >= 0 ? static_cast<std::size_t>(count) : std::min<std::size_t>(count, 4096));
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t value = 0;
        if (!tags.ReadInt(kTagGroupsValue, value)) {
            LogWarning("%s: Failed to read serialized group value %d of %d (%s)", kReadSignature, i + 1, count,
                       ReadStatusName(tags.LastStatus()));
            return false;
        }
        list.push_back(value);
    }
    serializedGroups = std::move(list);
    return true;
}

bool UGroups::WriteSerializedGroups(FILE* file, const tSerializedGroups& serializedGroups) {
    if (serializedGroups.size() > static_cast<std::size_t>(kMaxSerializedGroupsSize)) return false;
    CTaggedFile tags(file);
    if (!tags.WriteInt(kTagGroupsSize, static_cast<std::int32_t>(serializedGroups.size()))) return false;
    for (const std::int32_t value : serializedGroups) {
        if (!tags.WriteInt(kTagGroupsValue, value)) return false;
    }
    return true;
}

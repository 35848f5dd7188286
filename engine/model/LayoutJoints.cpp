// CLayoutJoints: the joint index of a document and the matching of its free
// joints.
//
// The pairing rule takes the free joints in the order of their x (equal x in
// index order). Each joint A still free in turn looks at the joints B after
// it in that order, up to half its element's gauge further in x: the first B
// within the tolerance at the same height and facing A is connected and ends
// A's turn; the B before it that come near A are marked with their state,
// and A with the state of the last of them.
//
// Only the joints within that reach can matter to A, so the matcher keeps
// the joints in columns of the plan sorted by y and looks only at A's
// neighbours there, instead of walking every joint of about the same x.
// Joints on the same point with the same angle form a pile: the rule treats
// them all alike, so a pile is judged once per turn, whatever the number of
// pieces stacked there. A joint stops being a candidate once it is connected
// or has had its turn, since the rule never looks back at it. Turns of
// joints too far apart to share a neighbour are taken in the order of the
// columns rather than strictly by x, which changes nothing but the memory
// they touch. The results are those of walking pair by pair, down to which
// of several candidates is connected and which state each joint keeps.

#include "engine/model/Layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <boost/sort/pdqsort/pdqsort.hpp>

#include "engine/model/ElementComponents.h"
#include "engine/model/JointSnapping.h"
#include "engine/model/RailConstants.h"
#include "engine/services/PreferencesService.h"

namespace {

// Below this angle difference two joints that do not face each other are
// still marked as meant to meet.
constexpr double kAngleStateLimit = 45.0;

// The connection state rule for joints within the tolerance that do not face
// each other: their directions differ from facing by less than 45 degrees,
// either way round.
bool NearlyOpposite(double a, double b) { return std::fabs(std::remainder(a - (b + 180.0), 360.0)) < kAngleStateLimit; }

bool HasFinitePlacement(const CJoint* joint) {
    const CPoint& p = joint->GetLayoutPoint();
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && std::isfinite(joint->GetAngle());
}

// What the pairing rule makes of joint A and a later joint B.
enum class tPairing : std::uint8_t {
    Beyond,  // more than half a gauge further in x: A's walk ends
    None,
    Near,
    Height,
    Angle,
    Connect,
};

JointConnectionState StateOf(tPairing pairing) {
    switch (pairing) {
        case tPairing::Near: return kJointStateNear;
        case tPairing::Height: return kJointStateHeight;
        case tPairing::Angle: return kJointStateAngle;
        default: return kJointStateNone;
    }
}

class CJointMatcher {
public:
    CJointMatcher(double percent, double angleTolerance) : mPercent(percent), mAngleTolerance(angleTolerance) {}

    void Reserve(std::size_t count) { mMembers.reserve(count); }
    // A free joint with finite placement; joints come in index order.
    void Add(CJoint* joint);
    // Matches the joints added and sets their connections and states.
    void Run();

private:
    using tIndex = std::uint32_t;
    static constexpr tIndex kNone = std::numeric_limits<tIndex>::max();
    // Clusters of up to this many piles are merged into the rule's order
    // rather than sorted.
    static constexpr tIndex kMergedPiles = 8;

    // A joint as a candidate. Members are kept by column, then y, so that
    // the joints near one lie near it in memory.
    struct tMember {
        double x, y, z, angle;
        double gauge;  // the largest of its element
        CJoint* joint;
        const CCompositeGeometry* parent;
        std::int64_t column;
        tIndex index;  // place in the document's index
        tIndex pile;
        tIndex partner;  // member, or kNone
        std::uint8_t mark;
        // Connected, or has had its turn: no longer a candidate.
        bool done;
    };
    // Joints on one point with one angle: a run of members, in x order.
    struct tPile {
        tIndex begin, end;
        tIndex front;  // the members before it are done
        tIndex column;
        // The first pile of the next column at or above this y, when the
        // next column is the adjacent one; else kNone.
        tIndex next;
    };
    struct tColumn {
        std::int64_t key;
        tIndex begin, end;  // piles
    };
    // The tolerance and the reach in x of a joint's turn.
    struct tReach {
        double tolerance;
        double halfGauge;
    };

    tReach ReachOf(double gauge) const { return tReach{mPercent / 100.0 * gauge, gauge / 2.0}; }
    // The reach is finite, so the columns can find every joint within it.
    static bool IsBounded(const tReach& reach) {
        return std::isfinite(reach.halfGauge) && reach.halfGauge >= 0.0 && std::isfinite(reach.tolerance);
    }
    tPairing Pair(const tMember& a, const tReach& reach, const tMember& b) const;
    // In the rule's order: by x, equal x in index order.
    static bool Before(const tMember& a, const tMember& b) { return a.x < b.x || (a.x == b.x && a.index < b.index); }
    // The y of a pile's joints.
    double Y(tIndex pile) const { return mMembers[mPiles[pile].begin].y; }
    std::int64_t ColumnOf(double x) const;

    void Build();
    // The order of the turns (mTurns). `bounded`: every joint's reach is;
    // `widest`: the widest reach in y.
    void OrderTurns(bool bounded, double widest);
    void MatchThroughColumns(tIndex member, const tReach& reach);
    // Judges the piles [from, to) that lie within [yFirst, yLast], going
    // both ways from `start`.
    void VisitPiles(tIndex member, const tReach& reach, tIndex from, tIndex to, tIndex start, double yFirst,
                    double yLast);
    void VisitPile(tIndex member, const tReach& reach, tIndex pile);
    // The pair-by-pair walk, for a joint whose gauge gives no bounded reach.
    void MatchByWalk(tIndex member, const tReach& reach);
    void Connect(tIndex a, tIndex b);
    void WriteBack();

    double mPercent;
    double mAngleTolerance;
    const CCompositeGeometry* mLastParent = nullptr;
    double mLastGauge = 0.0;

    std::vector<tMember> mMembers;
    std::vector<tPile> mPiles;
    std::vector<tColumn> mColumns;
    // The turns: the members in the rule's order, or by column in clusters
    // of joints that may meet, each in the rule's order.
    std::vector<tIndex> mTurns;
    // Each member's place in mTurns when the turns keep the rule's order
    // throughout (a joint without a bounded reach walks it); else empty.
    std::vector<tIndex> mTurnOf;
    double mColumnWidth = 1.0;

    // The turn in progress: the first candidate to connect and the piles
    // to mark.
    struct tMarkedPile {
        tIndex pile;
        JointConnectionState state;
    };
    tIndex mPartner = kNone;
    std::vector<tMarkedPile> mMarked;
};

void CJointMatcher::Add(CJoint* joint) {
    // An element's joints come one after the other: its gauge is looked up
    // once.
    const CCompositeGeometry* parent = joint->GetParent();
    if (mMembers.empty() || parent != mLastParent) {
        mLastParent = parent;
        mLastGauge = parent != nullptr ? UElementComponents::GetMaxGauge(parent) : 0.0;
    }
    const CPoint& p = joint->GetLayoutPoint();
    mMembers.push_back(tMember{p.x, p.y, p.z, joint->GetAngle(), mLastGauge, joint, parent, 0,
                               static_cast<tIndex>(mMembers.size()), 0, kNone, kJointStateNone, false});
}

tPairing CJointMatcher::Pair(const tMember& a, const tReach& reach, const tMember& b) const {
    const double dx = b.x - a.x;
    if (dx > reach.halfGauge) return tPairing::Beyond;
    const double dy = std::fabs(a.y - b.y);
    if (dx > reach.tolerance || dy > reach.tolerance)
        return dx < reach.halfGauge && dy < reach.halfGauge ? tPairing::Near : tPairing::None;
    if (std::fabs(a.z - b.z) > reach.tolerance) return tPairing::Height;
    if (UJointSnapping::AreAnglesOpposite(a.angle, b.angle, mAngleTolerance)) return tPairing::Connect;
    if (NearlyOpposite(a.angle, b.angle)) return tPairing::Angle;
    return tPairing::None;
}

std::int64_t CJointMatcher::ColumnOf(double x) const {
    // Far-off coordinates share the outermost columns rather than overflow.
    constexpr double kLimit = 4611686018427387904.0;  // 2^62
    const double column = std::floor(x / mColumnWidth);
    if (!(column > -kLimit)) return -static_cast<std::int64_t>(kLimit);
    if (!(column < kLimit)) return static_cast<std::int64_t>(kLimit);
    return static_cast<std::int64_t>(column);
}

void CJointMatcher::Build() {
    const tIndex size = static_cast<tIndex>(mMembers.size());

    // Columns as wide as the usual reach (the median of a sample), so that
    // most joints look into one or two of them.
    bool bounded = true;
    double widest = 0.0;
    {
        constexpr tIndex kSample = 4096;
        const tIndex step = std::max<tIndex>(1, size / kSample);
        std::vector<double> reaches;
        for (tIndex i = 0; i < size; i += step) {
            const tReach reach = ReachOf(mMembers[i].gauge);
            const double width = std::max(reach.halfGauge, reach.tolerance);
            if (IsBounded(reach) && width > 0.0) reaches.push_back(width);
        }
        if (!reaches.empty()) {
            auto middle = reaches.begin() + static_cast<std::ptrdiff_t>(reaches.size() / 2);
            std::nth_element(reaches.begin(), middle, reaches.end());
            mColumnWidth = *middle;
        }
        const CCompositeGeometry* lastParent = nullptr;
        for (tIndex i = 0; i < size; ++i) {
            tMember& member = mMembers[i];
            member.column = ColumnOf(member.x);
            if (i > 0 && member.parent == lastParent) continue;
            lastParent = member.parent;
            const tReach reach = ReachOf(member.gauge);
            bounded = bounded && IsBounded(reach);
            widest = std::max({widest, reach.halfGauge, reach.tolerance});
        }
    }

    // By column and y; a pile is a run of joints on one point with one
    // angle, in index order.
    const auto inPileOrder = [](const tMember& a, const tMember& b) {
        if (a.column != b.column) return a.column < b.column;
        if (a.y != b.y) return a.y < b.y;
        if (a.x != b.x) return a.x < b.x;
        if (a.z != b.z) return a.z < b.z;
        if (a.angle != b.angle) return a.angle < b.angle;
        return a.index < b.index;
    };
    boost::sort::pdqsort_branchless(mMembers.begin(), mMembers.end(), inPileOrder);
    mPiles.reserve(size);
    for (tIndex m = 0; m < size; ++m) {
        tMember& member = mMembers[m];
        const tMember* previous = m > 0 ? &mMembers[m - 1] : nullptr;
        const bool newColumn = previous == nullptr || previous->column != member.column;
        if (newColumn) mColumns.push_back(tColumn{member.column, static_cast<tIndex>(mPiles.size()), 0});
        if (newColumn || previous->y != member.y || previous->x != member.x || previous->z != member.z ||
            previous->angle != member.angle)
            mPiles.push_back(tPile{m, m, m, static_cast<tIndex>(mColumns.size() - 1), kNone});
        mPiles.back().end = m + 1;
        mColumns.back().end = static_cast<tIndex>(mPiles.size());
        member.pile = static_cast<tIndex>(mPiles.size() - 1);
    }

    // Where each pile's y falls in the adjacent column.
    for (std::size_t c = 0; c + 1 < mColumns.size(); ++c) {
        const tColumn& column = mColumns[c];
        const tColumn& next = mColumns[c + 1];
        if (next.key != column.key + 1) continue;
        tIndex at = next.begin;
        for (tIndex pile = column.begin; pile < column.end; ++pile) {
            while (at < next.end && Y(at) < Y(pile)) ++at;
            mPiles[pile].next = at;
        }
    }
    OrderTurns(bounded, widest);
}

void CJointMatcher::OrderTurns(bool bounded, double widest) {
    const tIndex size = static_cast<tIndex>(mMembers.size());
    mTurns.reserve(size);
    const auto byRule = [this](tIndex a, tIndex b) { return Before(mMembers[a], mMembers[b]); };
    if (!bounded) {
        // A joint without a bounded reach may meet any other: the turns
        // keep the rule's order, which its walk follows.
        for (tIndex m = 0; m < size; ++m) mTurns.push_back(m);
        std::sort(mTurns.begin(), mTurns.end(), byRule);
        mTurnOf.resize(size);
        for (tIndex turn = 0; turn < size; ++turn) mTurnOf[mTurns[turn]] = turn;
        return;
    }
    // Joints further apart in y than twice the widest reach have no joint
    // within reach in common, so their turns may come in either order. The
    // columns come in x order; each is taken by y, in clusters of joints
    // that may meet, and a cluster's turns in the rule's order.
    for (tIndex m = 0; m < size;) {
        const tIndex first = m;
        for (++m; m < size && mMembers[m].column == mMembers[m - 1].column; ++m) {
            const double y = mMembers[m - 1].y;
            if (mMembers[m].y - y > 2.0 * widest + (std::fabs(y) + widest) * 1e-9) break;
        }
        const std::size_t begin = mTurns.size();
        const tIndex piles = mMembers[m - 1].pile - mMembers[first].pile + 1;
        if (piles == m - first || piles > kMergedPiles) {
            for (tIndex c = first; c < m; ++c) mTurns.push_back(c);
            std::sort(mTurns.begin() + static_cast<std::ptrdiff_t>(begin), mTurns.end(), byRule);
            continue;
        }
        // A few piles with many joints each, every pile in the rule's order
        // already: merged.
        tIndex fronts[kMergedPiles] = {};
        for (tIndex p = 0; p < piles; ++p) fronts[p] = mPiles[mMembers[first].pile + p].begin;
        for (tIndex count = first; count < m; ++count) {
            tIndex best = kNone;
            for (tIndex p = 0; p < piles; ++p) {
                if (fronts[p] == mPiles[mMembers[first].pile + p].end) continue;
                if (best == kNone || byRule(fronts[p], fronts[best])) best = p;
            }
            mTurns.push_back(fronts[best]++);
        }
    }
}

void CJointMatcher::Run() {
    Build();
    for (const tIndex member : mTurns) {
        tMember& a = mMembers[member];
        if (a.done) continue;  // connected on an earlier joint's turn
        a.done = true;
        const tReach reach = ReachOf(a.gauge);
        if (IsBounded(reach)) MatchThroughColumns(member, reach);
        else MatchByWalk(member, reach);
    }
    WriteBack();
}

void CJointMatcher::VisitPile(tIndex member, const tReach& reach, tIndex index) {
    tPile& pile = mPiles[index];
    while (pile.front < pile.end && mMembers[pile.front].done) ++pile.front;
    if (pile.front == pile.end) return;
    const tMember& a = mMembers[member];
    const tPairing pairing = Pair(a, reach, mMembers[pile.front]);
    if (pairing == tPairing::Connect) {
        for (tIndex m = pile.front; m < pile.end; ++m) {
            const tMember& b = mMembers[m];
            if (b.done || b.parent == a.parent) continue;
            if (mPartner == kNone || Before(b, mMembers[mPartner])) mPartner = m;
            break;
        }
    } else if (pairing != tPairing::None && pairing != tPairing::Beyond) {
        mMarked.push_back(tMarkedPile{index, StateOf(pairing)});
    }
}

void CJointMatcher::VisitPiles(tIndex member, const tReach& reach, tIndex from, tIndex to, tIndex start, double yFirst,
                               double yLast) {
    for (tIndex pile = start; pile > from && Y(pile - 1) >= yFirst;) VisitPile(member, reach, --pile);
    for (tIndex pile = start; pile < to && Y(pile) <= yLast; ++pile) VisitPile(member, reach, pile);
}

void CJointMatcher::MatchThroughColumns(tIndex member, const tReach& reach) {
    const tMember& a = mMembers[member];
    const tPile& own = mPiles[a.pile];
    const double width = std::max(reach.halfGauge, reach.tolerance);
    // A little room beyond the reach keeps every joint the rule's own
    // arithmetic would take in, whatever the rounding.
    const double xLast = a.x + reach.halfGauge + (std::fabs(a.x) + reach.halfGauge) * 1e-9;
    const double ySlack = (std::fabs(a.y) + width) * 1e-9;
    const double yFirst = a.y - width - ySlack;
    const double yLast = a.y + width + ySlack;
    const std::int64_t lastColumn = ColumnOf(xLast);

    mPartner = kNone;
    mMarked.clear();
    // The own column from the own pile, the adjacent one from where the own
    // y falls in it, any further one (a reach wider than the columns) by
    // search.
    VisitPiles(member, reach, mColumns[own.column].begin, mColumns[own.column].end, a.pile, yFirst, yLast);
    for (std::size_t c = own.column + 1; c < mColumns.size() && mColumns[c].key <= lastColumn; ++c) {
        const tColumn& column = mColumns[c];
        tIndex start = c == own.column + 1 ? own.next : kNone;
        if (start == kNone) {
            start = column.begin;
            for (tIndex count = column.end - column.begin; count > 0;) {
                const tIndex half = count / 2;
                if (Y(start + half) < a.y) {
                    start += half + 1;
                    count -= half + 1;
                } else {
                    count = half;
                }
            }
        }
        VisitPiles(member, reach, column.begin, column.end, start, yFirst, yLast);
    }

    // Every joint before the partner that came near is marked; A keeps the
    // state of the last of them in the rule's order.
    const tMember* partner = mPartner != kNone ? &mMembers[mPartner] : nullptr;
    const tMember* last = nullptr;
    std::uint8_t lastState = kJointStateNone;
    for (const tMarkedPile& marked : mMarked) {
        const tPile& pile = mPiles[marked.pile];
        for (tIndex m = pile.front; m < pile.end; ++m) {
            tMember& b = mMembers[m];
            if (partner != nullptr && !Before(b, *partner)) break;
            if (b.done || b.parent == a.parent) continue;
            b.mark = marked.state;
            if (last == nullptr || Before(*last, b)) {
                last = &b;
                lastState = marked.state;
            }
        }
    }
    if (last != nullptr) mMembers[member].mark = lastState;
    if (mPartner != kNone) Connect(member, mPartner);
}

void CJointMatcher::MatchByWalk(tIndex member, const tReach& reach) {
    tMember& a = mMembers[member];
    for (tIndex turn = mTurnOf[member] + 1; turn < mTurns.size(); ++turn) {
        const tIndex other = mTurns[turn];
        tMember& b = mMembers[other];
        if (b.done || b.parent == a.parent) continue;
        const tPairing pairing = Pair(a, reach, b);
        if (pairing == tPairing::Beyond) return;
        if (pairing == tPairing::Connect) {
            Connect(member, other);
            return;
        }
        if (pairing != tPairing::None) {
            a.mark = StateOf(pairing);
            b.mark = StateOf(pairing);
        }
    }
}

void CJointMatcher::Connect(tIndex a, tIndex b) {
    mMembers[a].partner = b;
    mMembers[b].partner = a;
    mMembers[b].done = true;
}

void CJointMatcher::WriteBack() {
    // Every joint's state was cleared when it was gathered. The joints are
    // in the members' order, not the heap's: fetched a few ahead.
    constexpr tIndex kAhead = 8;
    const tIndex size = static_cast<tIndex>(mMembers.size());
    for (tIndex m = 0; m < size; ++m) {
        if (m + kAhead < size) {
            const tMember& ahead = mMembers[m + kAhead];
            if (ahead.mark != kJointStateNone || ahead.partner != kNone) __builtin_prefetch(ahead.joint, 1);
            if (ahead.partner != kNone && ahead.partner > m + kAhead)
                __builtin_prefetch(mMembers[ahead.partner].joint, 1);
        }
        const tMember& member = mMembers[m];
        if (member.mark != kJointStateNone) member.joint->SetMark(member.mark);
        if (member.partner != kNone && member.partner > m)
            CJoint::Connect(member.joint, mMembers[member.partner].joint);
    }
}

}  // namespace

CLayoutJoints::CLayoutJoints()
    : mSnapDistance(
          UJointSnapping::GetSnapDistance(URailConstants::GetGaugeForModelScale(URailConstants::kModelScaleH0))) {}

void CLayoutJoints::AddElementJoints(CCompositeGeometry* element) {
    if (element == nullptr) return;
    for (CJoint* joint : element->GetJoints(kJointFilterAll)) mJoints.push_back(joint);
}

void CLayoutJoints::AddCurrentElementJoints(const CCompositeGeometry* element) {
    if (element == nullptr) return;
    for (CJoint* joint : element->GetJoints(kJointFilterAll)) mJoints.push_back(joint);
}

int CLayoutJoints::RemoveElementJoints(const CCompositeGeometry* element) {
    int removed = 0;
    auto kept = std::remove_if(mJoints.begin(), mJoints.end(), [element, &removed](CJoint* joint) {
        if (joint->GetParent() != element) return false;
        if (joint->IsConnected()) joint->Disconnect();
        ++removed;
        return true;
    });
    mJoints.erase(kept, mJoints.end());
    return removed;
}

void CLayoutJoints::Clear() {
    ResetConnections();
    mJoints.clear();
}

void CLayoutJoints::ResetConnections() {
    for (CJoint* joint : mJoints) {
        joint->SetMark(kJointStateNone);
        if (joint->IsConnected()) joint->Disconnect();
    }
}

void CLayoutJoints::RebuildConnections() {
    const double percent = UPreferences::GetInt("QLJointDistanceTolerancePercent");
    const double angleTolerance = UJointSnapping::GetAngleTolerance();
    CJointMatcher matcher(percent, angleTolerance);
    matcher.Reserve(mJoints.size());
    // The reset and the gathering in one pass: once a joint is passed, its
    // partner is freed too, so its free flag is final. The joints lie all
    // over the heap: each is fetched a few joints ahead.
    // A connected joint's partner is fetched once the joint itself is in.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < mJoints.size(); ++i) {
        if (i + kAhead < mJoints.size()) __builtin_prefetch(mJoints[i + kAhead], 1);
        if (i + kAhead / 2 < mJoints.size()) {
            if (const CJoint* partner = mJoints[i + kAhead / 2]->GetPartner()) __builtin_prefetch(partner, 1);
        }
        CJoint* joint = mJoints[i];
        joint->SetMark(kJointStateNone);
        if (joint->IsConnected()) joint->Disconnect();
        if (joint->IsFree() && HasFinitePlacement(joint)) matcher.Add(joint);
    }
    matcher.Run();
}

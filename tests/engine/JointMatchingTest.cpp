// Joint matching after a rebuild: the document's matcher must pair and mark
// exactly as the plain pair-by-pair walk of the pairing rule does, on random
// crowds of nearly coincident joints and on the crowded layouts that made the
// walk slow (stacks of pieces on one spot, joints sharing x, long lines).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/Layout.h"
#include "engine/services/PreferencesService.h"
#include "tests/support/EngineServices.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using Owned = std::vector<std::unique_ptr<CCompositeGeometry>>;

// The pairing rule walked pair by pair over the joints in x order, written
// as plainly as it can be.
void ReferenceMatch(const std::vector<CJoint*>& joints, double percent, double angleTolerance) {
    for (CJoint* joint : joints) {
        joint->SetMark(kJointStateNone);
        if (joint->IsConnected()) joint->Disconnect();
    }
    std::vector<CJoint*> order;
    for (CJoint* joint : joints) {
        const CPoint& p = joint->GetLayoutPoint();
        if (joint->IsFree() && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
            std::isfinite(joint->GetAngle()))
            order.push_back(joint);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const CJoint* a, const CJoint* b) { return a->GetLayoutPoint().x < b->GetLayoutPoint().x; });
    const auto offBy = [](double a, double b) { return std::fabs(std::remainder(a - (b + 180.0), 360.0)); };
    for (std::size_t i = 0; i < order.size(); ++i) {
        CJoint* a = order[i];
        if (!a->IsFree()) continue;
        const double gauge = a->GetParent() != nullptr ? UElementComponents::GetMaxGauge(a->GetParent()) : 0.0;
        const double tolerance = percent / 100.0 * gauge;
        const CPoint& pa = a->GetLayoutPoint();
        for (std::size_t k = i + 1; k < order.size(); ++k) {
            CJoint* b = order[k];
            if (!b->IsFree() || b->GetParent() == a->GetParent()) continue;
            const CPoint& pb = b->GetLayoutPoint();
            const double dx = pb.x - pa.x;
            if (dx > gauge / 2.0) break;
            const double dy = std::fabs(pa.y - pb.y);
            std::uint8_t state = kJointStateNone;
            if (dx > tolerance || dy > tolerance) {
                if (dx < gauge / 2.0 && dy < gauge / 2.0) state = kJointStateNear;
            } else if (std::fabs(pa.z - pb.z) > tolerance) {
                state = kJointStateHeight;
            } else if (offBy(a->GetAngle(), b->GetAngle()) < angleTolerance) {
                CJoint::Connect(a, b);
                break;
            } else if (offBy(a->GetAngle(), b->GetAngle()) < 45.0) {
                state = kJointStateAngle;
            }
            if (state != kJointStateNone) {
                a->SetMark(state);
                b->SetMark(state);
            }
        }
    }
}

// Each joint's partner (by position in the index, -1 for none) and state.
struct tOutcome {
    std::vector<int> partners;
    std::vector<int> marks;
};

tOutcome Outcome(const std::vector<CJoint*>& joints) {
    std::map<const CJoint*, int> position;
    for (std::size_t i = 0; i < joints.size(); ++i) position[joints[i]] = static_cast<int>(i);
    tOutcome outcome;
    for (const CJoint* joint : joints) {
        outcome.partners.push_back(joint->GetPartner() != nullptr ? position.at(joint->GetPartner()) : -1);
        outcome.marks.push_back(joint->GetMark());
    }
    return outcome;
}

// Tallies over every layout compared, so the comparison is known to have
// covered connections and every state.
struct tTally {
    int connections = 0;
    std::array<int, 4> states{};
};

// Rebuilds through the document's index, then walks pair by pair over the
// same joints, and compares.
void ExpectSameAsReference(const Owned& elements, int percent, int angleTenths, tTally& tally,
                           const std::string& what) {
    SCOPED_TRACE(what + ", tolerance " + std::to_string(percent) + "%, angle " + std::to_string(angleTenths));
    UPreferences::SetInt("QLJointDistanceTolerancePercent", percent);
    UPreferences::SetInt("QLJointAngleTolerance", angleTenths);
    CLayoutJoints index;
    for (const auto& element : elements) index.AddElementJoints(element.get());
    index.RebuildConnections();
    const tOutcome matched = Outcome(index.GetJoints());
    ReferenceMatch(index.GetJoints(), percent, angleTenths / 10.0);
    const tOutcome walked = Outcome(index.GetJoints());

    ASSERT_EQ(matched.partners.size(), walked.partners.size());
    int differences = 0;
    for (std::size_t i = 0; i < matched.partners.size(); ++i) {
        if (matched.partners[i] == walked.partners[i] && matched.marks[i] == walked.marks[i]) continue;
        if (++differences <= 5)
            ADD_FAILURE() << "joint " << i << ": partner " << matched.partners[i] << " state " << matched.marks[i]
                          << ", the walk gives partner " << walked.partners[i] << " state " << walked.marks[i];
    }
    EXPECT_EQ(differences, 0);
    for (std::size_t i = 0; i < walked.partners.size(); ++i) {
        if (walked.partners[i] > static_cast<int>(i)) ++tally.connections;
        ++tally.states.at(static_cast<std::size_t>(walked.marks[i]));
    }
}

ULayoutGen::tTrackMeasures Gauge(double gauge) {
    ULayoutGen::tTrackMeasures measures;
    measures.gauge = gauge;
    return measures;
}

std::unique_ptr<CCompositeGeometry> Straight(double length, const CPoint& at, double angle, double gauge = 16.5) {
    ULayoutGen::CElementBuilder builder;
    builder.Catalogue("S", "Maker", "Lib", "").Straight(length, Gauge(gauge)).Angle(angle).Position(at);
    return builder.Build();
}

// A straight of 50 mm whose joint 0 lies at `at`, heading `angle`.
std::unique_ptr<CCompositeGeometry> StraightFrom(const CPoint& at, double angle) {
    const CPoint start = Straight(50.0, CPoint(0, 0), angle)->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint();
    return Straight(50.0, CPoint(at.x - start.x, at.y - start.y, at.z - start.z), angle);
}

// Joint 0 as it stands (the element's own GetJoints would update its joints
// and clear their states).
const CJoint* StartOf(const CCompositeGeometry& element) { return element.GetJoints(kJointFilterAll).at(0); }

// A random crowd: short and long pieces of several gauges (a few broken
// ones in odd crowds), turnouts whose two legs share their start joint,
// exact copies of earlier pieces, all about a handful of spots a few
// millimetres or a few tolerances apart, at angles that face, nearly face or miss each other,
// some raised.
Owned RandomCrowd(std::uint64_t seed) {
    ULayoutGen::CRandomElementMaker random(seed);
    const double lengths[] = {0.0, 0.5, 3.0, 6.0, 12.0, 100.0};
    const double gauges[] = {16.5, 16.5, 16.5, 9.0, 45.0, 0.0};
    const double brokenGauges[] = {-4.0, std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN()};
    const double angles[] = {0.0, 90.0, 180.0, 270.0, 1.5, 178.0, 182.5, 200.0, 225.5, 44.0, 46.0, -90.0};
    const int count = static_cast<int>(random.Between(60, 400));
    // The spots side by side, or in every third crowd strung out along y
    // with gaps about the tolerances, so that some meet and some do not.
    std::vector<CPoint> spots;
    for (int spot = 0; spot < 5; ++spot) {
        if (seed % 3 == 0)
            spots.emplace_back(random.Real(-6.0, 6.0), spot == 0 ? 0.0 : spots.back().y + random.Real(8.0, 40.0), 0.0);
        else spots.emplace_back(spot * 9.5, (spot % 2) * 6.0, 0.0);
    }
    Owned elements;
    for (int n = 0; n < count; ++n) {
        if (!elements.empty() && random.Between(0, 9) < 2) {
            // An exact copy of an earlier piece, stacked on it.
            const auto& original = elements[static_cast<std::size_t>(random.Between(0, elements.size() - 1))];
            auto copy = std::make_unique<CCompositeGeometry>(*original);
            copy->UpdateJoints();
            elements.push_back(std::move(copy));
            continue;
        }
        const int spot = static_cast<int>(random.Between(0, 4));
        CPoint at = spots[static_cast<std::size_t>(spot)];
        if (random.Between(0, 9) < 7) {
            at.x += random.Real(-9.0, 9.0);
            at.y += random.Real(-9.0, 9.0);
        }
        if (random.Between(0, 9) == 0) at.z = random.Real(0.0, 10.0);
        const double gauge = gauges[random.Between(0, 5)];
        const double angle = random.Between(0, 3) == 0 ? random.Real(0.0, 360.0) : angles[random.Between(0, 11)];
        const double length = lengths[random.Between(0, 5)];

        ULayoutGen::CElementBuilder builder;
        builder.Catalogue("P" + std::to_string(n), "Maker", "Lib", "").Angle(angle).Position(at);
        switch (random.Between(0, 5)) {
            case 0: builder.Curve(random.Between(0, 1) == 0 ? 10.0 : 360.0, 30.0, Gauge(gauge)); break;
            case 1: builder.Straight(length, Gauge(gauge)).Curve(40.0, 20.0, Gauge(gauge)); break;
            default: builder.Straight(length, Gauge(gauge)); break;
        }
        auto element = builder.Build();
        // In every other crowd a damaged gauge on one component: the ends of
        // the others stay put but take the damaged gauge as their element's.
        if (seed % 2 == 1 && random.Between(0, 19) == 0) {
            tComponents& components = element->GetComponents();
            components[static_cast<std::size_t>(random.Between(0, static_cast<std::int64_t>(components.size()) - 1))]
                ->SetGauge(brokenGauges[random.Between(0, 2)]);
        }
        element->UpdateJoints();
        elements.push_back(std::move(element));
    }
    return elements;
}

}  // namespace

TEST(JointMatching, PairsAndMarksAsThePairByPairWalkOnRandomCrowds) {
    testsupport::RegisterServices();
    // The tolerance below, at and above half a gauge, none at all; angle
    // tolerances from tight to one so wide that every pair faces.
    const int percents[] = {25, 60, 0, 150};
    const int angles[] = {30, 10, 600, 2000};
    tTally tally;
    for (std::uint64_t seed = 1; seed <= 48; ++seed) {
        const Owned elements = RandomCrowd(seed);
        ExpectSameAsReference(elements, percents[(seed / 2) % 4], angles[(seed / 8) % 4], tally,
                              "random crowd " + std::to_string(seed));
        if (HasFailure()) return;
    }
    EXPECT_GT(tally.connections, 1000);
    EXPECT_GT(tally.states[kJointStateNear], 500);
    EXPECT_GT(tally.states[kJointStateHeight], 50);
    EXPECT_GT(tally.states[kJointStateAngle], 500);
}

TEST(JointMatching, PairsAndMarksAsThePairByPairWalkOnCrowdedLayouts) {
    testsupport::RegisterServices();
    constexpr int kPieces = 600;
    tTally tally;

    // Identical pieces on one spot: no end faces another.
    Owned stacked;
    for (int i = 0; i < kPieces; ++i) stacked.push_back(Straight(100.0, CPoint(5, 5), 30.0));
    ExpectSameAsReference(stacked, 25, 30, tally, "identical pieces on one spot");
    for (const auto& element : stacked) {
        const CCompositeGeometry& piece = *element;
        for (const CJoint* joint : piece.GetJoints(kJointFilterAll)) EXPECT_FALSE(joint->IsConnected());
    }

    // Every piece starts on one spot, the first half heading one way, the
    // second half the other: each start meets one of the other half.
    Owned star;
    for (int i = 0; i < kPieces; ++i) star.push_back(StraightFrom(CPoint(5, 5), i < kPieces / 2 ? 30.0 : 210.0));
    const int before = tally.connections;
    ExpectSameAsReference(star, 25, 30, tally, "pieces leaving one spot both ways");
    EXPECT_EQ(tally.connections - before, kPieces / 2);

    // Two joints further apart in y than one reach, both near a third just
    // beyond their column: the later in x marks it last (height differs for
    // it, the earlier only comes near), whatever their order in y.
    Owned apart;
    apart.push_back(StraightFrom(CPoint(7.0, 11.0, 0.0), 180.0));
    apart.push_back(StraightFrom(CPoint(8.0, 0.0, 0.0), 180.0));
    apart.push_back(StraightFrom(CPoint(9.0, 3.5, 5.0), 0.0));
    ExpectSameAsReference(apart, 25, 30, tally, "joints a reach apart meeting a third");
    EXPECT_EQ(StartOf(*apart[0])->GetMark(), kJointStateNear);
    EXPECT_EQ(StartOf(*apart[1])->GetMark(), kJointStateHeight);
    EXPECT_EQ(StartOf(*apart[2])->GetMark(), kJointStateHeight);

    // Every joint on one x: a ladder of pieces across it and a line along it,
    // each piece ending where the next begins.
    Owned ladder;
    for (int i = 0; i < kPieces; ++i) ladder.push_back(Straight(50.0, CPoint(0, i * 7.0), 0.0));
    ExpectSameAsReference(ladder, 25, 30, tally, "a ladder of pieces");
    Owned line;
    line.push_back(StraightFrom(CPoint(0, 0), 90.0));
    for (int i = 1; i < kPieces; ++i)
        line.push_back(StraightFrom(line.back()->GetJoints(kJointFilterAll).at(1)->GetLayoutPoint(), 90.0));
    // Shuffled, so that equal x falls back on a scrambled index order.
    ULayoutGen::CRandomElementMaker random(7);
    for (std::size_t i = line.size() - 1; i > 0; --i)
        std::swap(line[i], line[static_cast<std::size_t>(random.Between(0, static_cast<std::int64_t>(i)))]);
    const int lineBefore = tally.connections;
    ExpectSameAsReference(line, 25, 30, tally, "a north-south line in scrambled order");
    EXPECT_EQ(tally.connections - lineBefore, kPieces - 1);
}

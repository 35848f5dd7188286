// Display edits: each action's effect on a real document and its undo, the
// order of actions, the action list, and the scope that undoes the edits on
// every way out, exceptions included.

#include "engine/drawing/TransientEdits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/PolyBIG.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::CountWarnings;
using testsupport::RegisterServices;

// Every field of the parameters block as text, so two blocks compare whole.
std::string DescribeParameters(const CLayoutParameters& p) {
    std::ostringstream out;
    auto color = [&out](const char* name, const CColor& c) {
        out << name << '=' << c.mRed << ',' << c.mGreen << ',' << c.mBlue << ',' << c.mAlpha << ';';
    };
    out << "author=" << std::string(p.mAuthor, sizeof p.mAuthor) << ';'
        << "date=" << std::string(p.mCreationDate, sizeof p.mCreationDate) << ';'
        << "403=" << std::string(p.mText403, sizeof p.mText403) << ';'
        << "404=" << std::string(p.mText404, sizeof p.mText404) << ';'
        << "405=" << std::string(p.mText405, sizeof p.mText405) << ';'
        << "406=" << std::string(p.mText406, sizeof p.mText406) << ';'
        << "407=" << std::string(p.mText407, sizeof p.mText407) << ';';
    for (std::uint8_t b : p.mLegacyRaw408) out << int(b) << ',';
    out << "409=" << p.mLegacyInt409 << ";410=" << p.mDisplayFlags << ";411=" << p.mTrackStyle << ";413=" << p.mInt413
        << ";414=" << p.mInt414 << ";415=" << p.mInt415 << ";416=" << p.mShowGrid << ";417=" << p.mZoomPercent
        << ";418=" << p.mWorkspaceWidth << ";419=" << p.mWorkspaceHeight << ';';
    color("first", p.mFirstColor);
    for (std::uint16_t w : p.mParameter421) out << w << ',';
    out << "426=" << p.mRender3DTerrain << ";427=" << p.m3DOnlyTracks << ";428=" << p.mInt428 << ";429=" << p.mInt429
        << ";430=" << p.mSwitch430 << ";435=" << p.mInt435 << ';';
    color("second", p.mSecondColor);
    out << "440=" << p.mInt440 << ";441=" << p.mInt441 << ";442=" << p.mTunnelDisplayMode << ';';
    color("third", p.mThirdColor);
    out << "447=" << p.mInt447 << ";448=" << p.mInt448 << ";449=" << p.mInt449 << ";450=" << p.mInt450
        << ";451=" << p.mInt451 << ";452=" << p.mInt452;
    return out.str();
}

// What display edits may touch, copied.
struct tSnapshot {
    tElements elements;
    tImages images;
    tBaseboardElements baseboards;
    std::string parameters;
};

tSnapshot Snapshot(CLayout& layout) {
    return {layout.GetElementList(), layout.GetImages(), layout.GetBaseboards(),
            DescribeParameters(layout.GetParameters())};
}

void ExpectUnchanged(CLayout& layout, const tSnapshot& before, const char* when) {
    EXPECT_EQ(layout.GetElementList(), before.elements) << when;
    EXPECT_EQ(layout.GetImages(), before.images) << when;
    EXPECT_EQ(layout.GetBaseboards(), before.baseboards) << when;
    EXPECT_EQ(DescribeParameters(layout.GetParameters()), before.parameters) << when;
}

// A document of five elements (text, straight, circle, curve, flex track, in
// that order), two images, two baseboards and parameters off the defaults.
struct tDocument {
    std::unique_ptr<CLayout> layout;
    CCompositeGeometry* text = nullptr;
    CCompositeGeometry* straight = nullptr;
    CCompositeGeometry* circle = nullptr;
    CCompositeGeometry* curve = nullptr;
    CCompositeGeometry* flex = nullptr;
};

tDocument MakeDocument() {
    RegisterServices();
    tDocument doc;
    doc.layout = std::make_unique<CLayout>();
    CLayout& layout = *doc.layout;
    CLayer* layer = layout.GetLayerManager().GetLayers().front();
    auto add = [&](std::unique_ptr<CCompositeGeometry> element) {
        CCompositeGeometry* raw = element.release();
        layout.AddElement(raw, layer);
        return raw;
    };
    ULayoutGen::CElementBuilder b;
    doc.text = add(b.Catalogue("", "", "", "").Text("Station", "Futura-Medium", 24).Build());
    doc.straight = add(b.Catalogue("2200", "M", "Lib", "").Straight(200.0).Position(CPoint(0, 100)).Build());
    doc.circle = add(b.Catalogue("", "", "", "").Oval(50, 50).Position(CPoint(300, 300)).Build());
    doc.curve = add(b.Catalogue("2230", "M", "Lib", "").Curve(360.0, 30.0).Position(CPoint(0, 400)).Build());
    doc.flex = add(b.Catalogue("FLEX", "M", "", "")
                       .FlexTrack(CPoint(0, 0), CPoint(300, 0), 500.0)
                       .Position(CPoint(0, 700))
                       .Build());
    layout.GetImages().push_back(new CImageElement(nullptr, 0));
    layout.GetImages().push_back(new CImageElement(nullptr, 0));
    layout.GetBaseboards().push_back(new CBaseboardElement());
    layout.GetBaseboards().push_back(new CBaseboardElement());

    CLayoutParameters& p = layout.GetParameters();
    std::strcpy(p.mAuthor, "Erika");
    p.mTrackStyle = 127;
    p.mTunnelDisplayMode = 0;
    p.mDisplayFlags = 0x11;
    p.mFirstColor = CColor(0.1, 0.2, 0.3, 0.4);
    p.mSecondColor = CColor(0.5, 0.6, 0.7, 0.8);
    p.mThirdColor = CColor(0.9, 0.8, 0.7, 0.6);
    p.mInt452 = 77;
    return doc;
}

// Changes the parameters, then fails: stands for any failure while the
// document is edited.
class CFailingEditAction : public CTransientEditAction {
public:
    void Apply(CLayoutParameters& parameters, tElements& elements, tImages&, tBaseboardElements&) override {
        parameters.mTrackStyle = 0;
        elements.clear();
        throw std::runtime_error("edit failed");
    }
    const std::string& GetName() const override {
        static const std::string name = "CFailingEditAction";
        return name;
    }
};

}  // namespace

TEST(TransientEdits, EachActionIsNamedAfterItsClass) {
    RegisterServices();
    CTransientEditAction base;
    CSingleLineStyleEditAction singleLine;
    CTracksOnlyEditAction tracksOnly;
    CShowTunnelsEditAction showTunnels;
    CHideTunnelsEditAction hideTunnels;
    const struct {
        const CTransientEditAction* action;
        const char* name;
    } cases[] = {
        {&base, ""},
        {&singleLine, "CSingleLineStyleEditAction"},
        {&tracksOnly, "CTracksOnlyEditAction"},
        {&showTunnels, "CShowTunnelsEditAction"},
        {&hideTunnels, "CHideTunnelsEditAction"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.action->GetName(), c.name);

    // The base action only warns.
    tDocument doc = MakeDocument();
    const tSnapshot before = Snapshot(*doc.layout);
    const long warnings = CountWarnings("Base method must be overridden by specialized classes");
    UTransientEditActions::ApplyAll({&base}, *doc.layout);
    EXPECT_EQ(CountWarnings("Base method must be overridden by specialized classes"), warnings + 1);
    ExpectUnchanged(*doc.layout, before, "after the base action");
}

TEST(TransientEdits, SingleLineStyleClearsBitsOneTwoFourAndThirtyTwoThenSetsFour) {
    const struct {
        const char* name;
        std::int32_t word;
        std::int32_t expected;
    } cases[] = {
        {"every low bit set", 127, 92},  // 127 - 39 = 88, + 4
        {"nothing set", 0, 4},           // single line is added
        {"only the cleared bits", 39, 4},
        {"full bed and curve centres", 0x420, 0x404},
        {"track marks kept", 8, 12},
        {"rails and light outline kept", 0x240, 0x244},
        {"all 32 bits", -1, -36},  // ...1101 1100
    };
    for (const auto& c : cases) {
        tDocument doc = MakeDocument();
        CLayout& layout = *doc.layout;
        layout.GetParameters().mTrackStyle = c.word;
        const tSnapshot before = Snapshot(layout);
        CSingleLineStyleEditAction action;
        {
            CTransientEditState state(layout);
            UTransientEditActions::ApplyAll({&action}, layout);
            EXPECT_EQ(layout.GetParameters().mTrackStyle, c.expected) << c.name;
            // Nothing but the style word changes.
            EXPECT_EQ(layout.GetElementList(), before.elements) << c.name;
            EXPECT_EQ(layout.GetImages().size(), 2u) << c.name;
            EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, 0) << c.name;
            state.Restore();
        }
        ExpectUnchanged(layout, before, c.name);
    }
}

TEST(TransientEdits, TracksOnlyKeepsTheTracksInOrderAndEmptiesTheBackgrounds) {
    tDocument doc = MakeDocument();
    CLayout& layout = *doc.layout;
    const tSnapshot before = Snapshot(layout);
    ASSERT_EQ(before.elements.size(), 5u);

    CTracksOnlyEditAction action;
    CTransientEditState state(layout.GetParameters(), layout.GetElementList(), layout.GetImages(),
                              layout.GetBaseboards());
    UTransientEditActions::ApplyAll({&action}, layout.GetParameters(), layout.GetElementList(), layout.GetImages(),
                                    layout.GetBaseboards());
    EXPECT_EQ(layout.GetElementList(), (tElements{doc.straight, doc.curve, doc.flex}));
    EXPECT_TRUE(layout.GetImages().empty());
    EXPECT_TRUE(layout.GetBaseboards().empty());
    EXPECT_EQ(DescribeParameters(layout.GetParameters()), before.parameters);

    state.Restore(layout.GetParameters(), layout.GetElementList(), layout.GetImages(), layout.GetBaseboards());
    ExpectUnchanged(layout, before, "after restoring tracks only");
    // The dropped elements were only out of the list, never deleted.
    EXPECT_STREQ(doc.text->GetLibraryName(), "");
    EXPECT_EQ(doc.circle->GetComponents().size(), 1u);
}

TEST(TransientEdits, TunnelModesAndTheLaterActionWins) {
    CShowTunnelsEditAction show;
    CHideTunnelsEditAction hide;
    CSingleLineStyleEditAction singleLine;
    CTracksOnlyEditAction tracksOnly;
    const struct {
        const char* name;
        tTransientEditActions actions;
        std::int32_t tunnelMode;
        std::int32_t trackStyle;
        std::size_t elementCount;
    } cases[] = {
        {"show", {&show}, 1, 127, 5},
        {"hide", {&hide}, 2, 127, 5},
        {"show after hide", {&hide, &show}, 1, 127, 5},
        {"hide after show", {&show, &hide}, 2, 127, 5},
        {"all four", {&tracksOnly, &hide, &singleLine, &show}, 1, 92, 3},
        {"none", {}, 0, 127, 5},
    };
    for (const auto& c : cases) {
        tDocument doc = MakeDocument();
        CLayout& layout = *doc.layout;
        const tSnapshot before = Snapshot(layout);
        {
            CTransientEditState state(layout);
            UTransientEditActions::ApplyAll(c.actions, layout);
            EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, c.tunnelMode) << c.name;
            EXPECT_EQ(layout.GetParameters().mTrackStyle, c.trackStyle) << c.name;
            EXPECT_EQ(layout.GetElementList().size(), c.elementCount) << c.name;
            state.Restore();
        }
        ExpectUnchanged(layout, before, c.name);
    }
}

TEST(TransientEdits, TheActionListHoldsOneActionOfEachName) {
    CTracksOnlyEditAction tracksOnly;
    CTracksOnlyEditAction secondTracksOnly;
    CShowTunnelsEditAction show;
    CHideTunnelsEditAction hide;
    CSingleLineStyleEditAction singleLine;

    tTransientEditActions actions;
    EXPECT_TRUE(UTransientEditActions::Add(actions, &tracksOnly));
    EXPECT_FALSE(UTransientEditActions::Add(actions, &secondTracksOnly));
    EXPECT_FALSE(UTransientEditActions::Add(actions, &tracksOnly));
    EXPECT_FALSE(UTransientEditActions::Add(actions, nullptr));
    EXPECT_EQ(actions, (tTransientEditActions{&tracksOnly}));

    // Names compare by length and bytes.
    EXPECT_TRUE(UTransientEditActions::Contains(actions, "CTracksOnlyEditAction"));
    EXPECT_FALSE(UTransientEditActions::Contains(actions, "CTracksOnlyEditActio"));
    EXPECT_FALSE(UTransientEditActions::Contains(actions, "CTracksOnlyEditAction "));
    EXPECT_FALSE(UTransientEditActions::Contains(actions, "ctracksonlyeditaction"));
    EXPECT_FALSE(UTransientEditActions::Contains(actions, ""));

    UTransientEditActions::Remove(actions, "CTracksOnlyEditAction");
    EXPECT_TRUE(actions.empty());

    // Removing keeps the order of the rest; an unknown name changes nothing.
    for (CTransientEditAction* action : std::vector<CTransientEditAction*>{&show, &singleLine, &tracksOnly, &hide}) {
        EXPECT_TRUE(UTransientEditActions::Add(actions, action));
    }
    UTransientEditActions::Remove(actions, "CSingleLineStyleEditAction");
    EXPECT_EQ(actions, (tTransientEditActions{&show, &tracksOnly, &hide}));
    UTransientEditActions::Remove(actions, "CNoSuchEditAction");
    EXPECT_EQ(actions, (tTransientEditActions{&show, &tracksOnly, &hide}));
    // A list holding an action twice (made by hand) loses both.
    actions.push_back(&secondTracksOnly);
    UTransientEditActions::Remove(actions, "CTracksOnlyEditAction");
    EXPECT_EQ(actions, (tTransientEditActions{&show, &hide}));
    // The removed actions are still alive and usable.
    EXPECT_EQ(singleLine.GetName(), "CSingleLineStyleEditAction");

    // The holder's list is an action list of the same kind.
    RegisterServices();
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    EXPECT_TRUE(UTransientEditActions::Add(holder.GetTransientEditActions(), &hide));
    EXPECT_TRUE(UTransientEditActions::Contains(holder.GetTransientEditActions(), "CHideTunnelsEditAction"));
    holder.Reset();
    EXPECT_FALSE(UTransientEditActions::Contains(holder.GetTransientEditActions(), "CHideTunnelsEditAction"));
}

TEST(TransientEdits, TheScopeRestoresTheDocumentWhenTheWorkThrows) {
    tDocument doc = MakeDocument();
    CLayout& layout = *doc.layout;
    const tSnapshot before = Snapshot(layout);

    CTracksOnlyEditAction tracksOnly;
    CHideTunnelsEditAction hide;
    CSingleLineStyleEditAction singleLine;
    bool caught = false;
    try {
        CTransientEditScope edits(layout, {&tracksOnly, &hide, &singleLine});
        ASSERT_EQ(layout.GetElementList(), (tElements{doc.straight, doc.curve, doc.flex}));
        ASSERT_TRUE(layout.GetImages().empty());
        ASSERT_TRUE(layout.GetBaseboards().empty());
        throw std::runtime_error("render failed");
    } catch (const std::runtime_error& error) {
        caught = std::string(error.what()) == "render failed";
    }
    EXPECT_TRUE(caught);
    ExpectUnchanged(layout, before, "after the failed render");
    EXPECT_EQ(layout.GetElementList(), (tElements{doc.text, doc.straight, doc.circle, doc.curve, doc.flex}));

    // Left normally, the scope restores as well.
    {
        CTransientEditScope edits(layout, {&tracksOnly});
        EXPECT_EQ(layout.GetElementList().size(), 3u);
    }
    ExpectUnchanged(layout, before, "after a normal render");
}

TEST(TransientEdits, AnActionThatThrowsLeavesTheDocumentRestored) {
    tDocument doc = MakeDocument();
    CLayout& layout = *doc.layout;
    const tSnapshot before = Snapshot(layout);

    CTracksOnlyEditAction tracksOnly;
    CShowTunnelsEditAction show;
    CFailingEditAction failing;
    const tTransientEditActions actions{&tracksOnly, &show, &failing};
    EXPECT_THROW({ CTransientEditScope scope(layout, actions); }, std::runtime_error);
    ExpectUnchanged(layout, before, "after the failing action");
}

TEST(TransientEdits, AStateRestoresOnlyOnce) {
    tDocument doc = MakeDocument();
    CLayout& layout = *doc.layout;
    const tSnapshot before = Snapshot(layout);

    // Nothing saved: nothing to put back.
    CTransientEditState empty;
    EXPECT_FALSE(empty.IsPending());
    empty.Restore(layout.GetParameters(), layout.GetElementList(), layout.GetImages(), layout.GetBaseboards());
    empty.Restore();
    ExpectUnchanged(layout, before, "after restoring an empty state");

    // A second restore must not bring back an element the document has
    // dropped and deleted since the first.
    CTracksOnlyEditAction tracksOnly;
    CTransientEditState state(layout);
    EXPECT_TRUE(state.IsPending());
    UTransientEditActions::ApplyAll({&tracksOnly}, layout);
    state.Restore();
    EXPECT_FALSE(state.IsPending());
    ExpectUnchanged(layout, before, "after the first restore");

    layout.RemoveElements({doc.circle});
    delete doc.circle;
    layout.GetParameters().mTunnelDisplayMode = 2;
    const tElements afterRemoval{doc.text, doc.straight, doc.curve, doc.flex};
    ASSERT_EQ(layout.GetElementList(), afterRemoval);

    state.Restore();
    state.Restore(layout.GetParameters(), layout.GetElementList(), layout.GetImages(), layout.GetBaseboards());
    EXPECT_EQ(layout.GetElementList(), afterRemoval);
    EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, 2);
    EXPECT_EQ(layout.GetImages(), before.images);

    // A scope restored early leaves later changes alone when it ends.
    {
        CTransientEditScope edits(layout, {&tracksOnly});
        edits.Restore();
        EXPECT_EQ(layout.GetElementList(), afterRemoval);
        layout.GetParameters().mTunnelDisplayMode = 1;
    }
    EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, 1);
    EXPECT_EQ(layout.GetElementList(), afterRemoval);
}

TEST(TransientEdits, NullActionsAreSkipped) {
    tDocument doc = MakeDocument();
    CLayout& layout = *doc.layout;
    CHideTunnelsEditAction hide;
    {
        CTransientEditScope edits(layout, {nullptr, &hide, nullptr});
        EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, 2);
    }
    EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, 0);
}

#pragma once
// A segmented control: a row of equally wide segments, each with a title or
// an image, of which one (or none, -1) is selected. A tap on an enabled
// segment other than the selected one selects it and sends valueChanged,
// then primaryActionTriggered; setting the selection sends nothing.
// Segments that are not enabled take no taps and draw dimmed. Images that
// are templates take the text colour. Main thread only.

#include "platform/graphics/Image.h"
#include "platform/ui/views/Control.h"
#include "platform/ui/views/Font.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::ui {

class SegmentedControl : public Control {
public:
    static constexpr int kNoSegment = -1;
    static constexpr double kHeight = 32;
    static constexpr double kSegmentPadding = 12;  // on each side of a segment's content

    SegmentedControl();
    // One segment per title.
    explicit SegmentedControl(const std::vector<std::string>& titles);

    int numberOfSegments() const { return static_cast<int>(mSegments.size()); }
    // An index past the end appends; a negative one inserts first.
    void insertSegmentWithTitle(const std::string& title, int index);
    void insertSegmentWithImage(std::shared_ptr<Image> image, int index);
    void removeSegmentAtIndex(int index);
    void removeAllSegments();

    // Nothing for an index out of range; none for it.
    void setTitle(const std::string& title, int segment);
    std::string titleForSegmentAtIndex(int segment) const;
    void setImage(std::shared_ptr<Image> image, int segment);
    std::shared_ptr<Image> imageForSegmentAtIndex(int segment) const;
    void setEnabled(bool enabled, int segment);
    bool isEnabledForSegmentAtIndex(int segment) const;
    using Control::setEnabled;

    // kNoSegment, or a valid index (others select nothing).
    int selectedSegmentIndex() const { return mSelected; }
    void setSelectedSegmentIndex(int index);

    Color selectedSegmentTintColor() const { return mSelectedTint; }
    void setSelectedSegmentTintColor(const Color& color);
    const Font& font() const { return mFont; }
    void setFont(Font font);

    // The segment under a point of the bounds; kNoSegment outside.
    int segmentAtPoint(Point point) const;
    Rect rectForSegment(int segment) const;

    // Equal segments as wide as the widest content, 32 points high.
    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void drawRect(Context& context, const Rect& rect) override;
    std::string className() const override { return "SegmentedControl"; }
    void describeForDump(std::string& line) const override;

protected:
    void endTrackingWithTouch(const Touch* touch, const Event* event) override;

private:
    struct Segment {
        std::string title;
        std::shared_ptr<Image> image;
        bool enabled = true;
    };
    void insert(Segment segment, int index);
    bool valid(int segment) const { return segment >= 0 && segment < numberOfSegments(); }
    void changed();

    std::vector<Segment> mSegments;
    int mSelected = kNoSegment;
    Color mSelectedTint{1, 1, 1, 1};
    Font mFont = Font::systemFont(13);
};

}  // namespace platform::ui

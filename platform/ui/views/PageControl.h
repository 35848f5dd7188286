#pragma once
// A page control: a row of dots, one a page, the current one brighter. A
// tap to the left of the current page's dot goes back a page, to the right
// goes on one, and sends valueChanged, then primaryActionTriggered (nothing
// at the first or last page). Setting the page sends nothing. Main thread
// only.

#include "platform/ui/views/Control.h"

namespace platform::ui {

class PageControl : public Control {
public:
    static constexpr double kDotDiameter = 7;
    static constexpr double kDotSpacing = 9;
    static constexpr double kHeight = 26;

    PageControl();
    explicit PageControl(const Rect& frame);

    int numberOfPages() const { return mPages; }
    // Not below 0; the current page stays within the pages.
    void setNumberOfPages(int pages);
    int currentPage() const { return mCurrent; }
    // Held within 0 and the last page.
    void setCurrentPage(int page);
    bool hidesForSinglePage() const { return mHidesForSinglePage; }
    void setHidesForSinglePage(bool hides);

    Color pageIndicatorTintColor() const { return mIndicatorTint; }
    void setPageIndicatorTintColor(const Color& color);
    Color currentPageIndicatorTintColor() const { return mCurrentTint; }
    void setCurrentPageIndicatorTintColor(const Color& color);

    // The size the dots of that many pages need.
    static Size sizeForNumberOfPages(int pages);
    // The centre of a page's dot in the bounds.
    Point dotCenter(int page) const;

    Size intrinsicContentSize() const override { return sizeForNumberOfPages(mPages); }
    Size sizeThatFits(Size size) const override;
    void drawRect(Context& context, const Rect& rect) override;
    std::string className() const override { return "PageControl"; }
    void describeForDump(std::string& line) const override;

protected:
    void endTrackingWithTouch(const Touch* touch, const Event* event) override;

private:
    void changed();

    int mPages = 0;
    int mCurrent = 0;
    bool mHidesForSinglePage = false;
    Color mIndicatorTint{1, 1, 1, 0.3};
    Color mCurrentTint{1, 1, 1, 1};
};

}  // namespace platform::ui

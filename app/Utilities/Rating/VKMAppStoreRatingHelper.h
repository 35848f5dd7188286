#pragma once
// Asks the store for a rating prompt when the user has settled in: more
// than 4 layouts downloaded, a first launch more than 3 whole days back and
// no prompt in the last 90 whole days. The platform decides whether the
// prompt shows. Main thread.

#include <memory>

namespace platform::ui {
class Window;
}

class VKMAppStoreRatingHelper {
public:
    static constexpr const char* kFirstLaunchDateKey = "VKMFirstLaunchDateTime";
    static constexpr const char* kLastAskedForRatingDateKey = "VKMLastAskedForRatingDate";

    // Called after each layout load. When every condition holds, the review
    // is requested 2.5 s later on the main queue (the window is kept until
    // then), the event "AskForRating" is tracked and today becomes the last
    // prompt. A missing last-prompt date is set to today on the way.
    static void askForRatingConditionalIn(std::shared_ptr<platform::ui::Window> scene);
};

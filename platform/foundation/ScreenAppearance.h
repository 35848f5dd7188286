#pragma once
// Screens about to appear, for those that count them (page views) from a
// module that may not depend on the screen toolkit. The toolkit's view
// controllers call notifyScreenWillAppear after their own viewWillAppear,
// with their class name; observers run there, on the main thread, in the
// order added. Observers stay for the process.

#include <functional>
#include <string>

namespace platform {

void addScreenWillAppearObserver(std::function<void(const std::string& className)> observer);
void notifyScreenWillAppear(const std::string& className);

}  // namespace platform

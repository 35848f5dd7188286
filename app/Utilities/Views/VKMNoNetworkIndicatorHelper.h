#pragma once
// The notice shown in place of content while the network is gone: a cloud
// icon and a bold title in a row, a short explanation below, centred in
// the view.

#include <memory>

#include "platform/ui/views/StackView.h"

class VKMNoNetworkIndicatorHelper {
public:
    // A column stack added to the view and centred in it (constraints held
    // by the view): a row of the image "cloud_off_36dp" (none when the
    // bundle lacks it) and the title "NetworkOfflineTitle", then the
    // description "NetworkOfflineDescription" on at most two lines.
    static std::shared_ptr<platform::ui::StackView> insertNoNetworkIndicatorAt(
        const std::shared_ptr<platform::ui::View>& view);
};

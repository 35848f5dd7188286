#include "widgets/PopupMenu/PopupMenuHaptic.h"

using namespace platform::ui;

void Haptic::trigger() const {
    switch (mKind) {
        case Kind::impact: {
            ImpactFeedbackGenerator generator(mStyle);
            generator.prepare();
            generator.impactOccurred();
            break;
        }
        case Kind::notification: {
            NotificationFeedbackGenerator generator;
            generator.prepare();
            generator.notificationOccurred(mType);
            break;
        }
        case Kind::selection: {
            SelectionFeedbackGenerator generator;
            generator.prepare();
            generator.selectionChanged();
            break;
        }
    }
}

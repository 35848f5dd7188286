#pragma once
// A document stand-in: a list of elements that it owns and deletes.

#include "engine/model/CompositeGeometry.h"
#include "engine/model/TrackElementsContainer.h"
#include "platform/foundation/OwnedList.h"

namespace testsupport {

class TestContainer : public CTrackElementsContainer {
public:
    TestContainer() = default;
    TestContainer(const TestContainer&) = delete;
    TestContainer& operator=(const TestContainer&) = delete;
    ~TestContainer() override { platform::DeleteAll(mElements); }
    const tElements& GetElements() const override { return mElements; }
    // Takes `element` over and hands it back.
    CCompositeGeometry* Add(CCompositeGeometry* element) {
        mElements.push_back(element);
        return element;
    }

private:
    tElements mElements;
};

}  // namespace testsupport

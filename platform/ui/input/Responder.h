#pragma once
// Something that takes part in handling events: views, windows and (later)
// their controllers. Touches that a responder does not handle go on to its
// next responder (a view's is its controller, when it is one's root view,
// else its superview); the default handlers pass them on.
//
// The first responder takes the keyboard's text: one responder in the app
// at a time. Main thread only.

#include <memory>
#include <vector>

namespace platform::ui {

class Event;
class Touch;
struct KeyCommand;

// The touches of one call, in the order of the event.
using TouchSet = std::vector<std::shared_ptr<Touch>>;

class Responder : public std::enable_shared_from_this<Responder> {
public:
    virtual ~Responder();

    virtual std::shared_ptr<Responder> nextResponder() const { return nullptr; }

    // Each passes the call on to the next responder.
    virtual void touchesBegan(const TouchSet& touches, const Event& event);
    virtual void touchesMoved(const TouchSet& touches, const Event& event);
    virtual void touchesEnded(const TouchSet& touches, const Event& event);
    virtual void touchesCancelled(const TouchSet& touches, const Event& event);

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    // False when the responder cannot become it, or the one that is will not
    // resign. Overrides call these first.
    virtual bool becomeFirstResponder();
    // False when it may not resign; true (and nothing else) when it was not
    // the first responder.
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;
    static std::shared_ptr<Responder> firstResponder();

    // A key command (KeyCommand.h) on its way along the chain: true when
    // taken. Takes none by default.
    virtual bool handleKeyCommand(const KeyCommand& command) {
        (void)command;
        return false;
    }

protected:
    Responder() = default;
};

}  // namespace platform::ui

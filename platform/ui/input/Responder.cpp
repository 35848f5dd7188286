#include "platform/ui/input/Responder.h"

namespace platform::ui {

namespace {

std::weak_ptr<Responder>& current() {
    static std::weak_ptr<Responder> responder;
    return responder;
}

}  // namespace

Responder::~Responder() = default;

void Responder::touchesBegan(const TouchSet& touches, const Event& event) {
    if (auto next = nextResponder()) next->touchesBegan(touches, event);
}

void Responder::touchesMoved(const TouchSet& touches, const Event& event) {
    if (auto next = nextResponder()) next->touchesMoved(touches, event);
}

void Responder::touchesEnded(const TouchSet& touches, const Event& event) {
    if (auto next = nextResponder()) next->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const TouchSet& touches, const Event& event) {
    if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

bool Responder::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    if (auto previous = current().lock()) {
        if (!previous->resignFirstResponder()) return false;
    }
    current() = weak_from_this();
    return true;
}

bool Responder::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    if (!canResignFirstResponder()) return false;
    current().reset();
    return true;
}

bool Responder::isFirstResponder() const {
    const auto responder = current().lock();
    return responder && responder.get() == this;
}

std::shared_ptr<Responder> Responder::firstResponder() { return current().lock(); }

}  // namespace platform::ui

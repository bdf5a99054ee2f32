#include "x11_answer_properties.h"

#include <utility>

namespace pomorina {

AnswerProperties::AnswerProperties(std::function<xcb_atom_t(int)> name) : name_(std::move(name)) {}

AnswerProperties::Slot& AnswerProperties::ask(xcb_atom_t target, xcb_timestamp_t time) {
    Slot* chosen = nullptr;
    for (int i = 0; i < count_ && chosen == nullptr; ++i) {
        if (slots_[i].state == State::Free)
            chosen = &slots_[i];
    }
    if (chosen == nullptr && count_ < kMaxSlots) {
        chosen = &slots_[count_];
        chosen->property = name_(count_);
        ++count_;
    }
    if (chosen == nullptr) {
        // All taken, and only the one request in flight is ever Asked: the
        // others have all been given up.
        for (int i = 0; i < count_; ++i) {
            Slot& slot = slots_[i];
            if (slot.state != State::Asked &&
                (chosen == nullptr || slot.givenUpOrder < chosen->givenUpOrder))
                chosen = &slot;
        }
    }
    chosen->state = State::Asked;
    chosen->target = target;
    chosen->time = time;
    return *chosen;
}

void AnswerProperties::finish(Slot& slot) {
    slot.state = State::Free;
}

void AnswerProperties::giveUp(Slot& slot, bool transferring) {
    slot.state = transferring ? State::Draining : State::GivenUp;
    slot.givenUpOrder = ++givenUp_;
}

AnswerProperties::Slot* AnswerProperties::lateAnswer(xcb_atom_t property, xcb_atom_t target,
                                                     xcb_timestamp_t time) {
    for (int i = 0; i < count_; ++i) {
        Slot& slot = slots_[i];
        if (slot.state == State::GivenUp && slot.target == target &&
            (property == XCB_NONE ? slot.time == time : slot.property == property))
            return &slot;
    }
    return nullptr;
}

AnswerProperties::Slot* AnswerProperties::draining(xcb_atom_t property) {
    for (int i = 0; i < count_; ++i) {
        if (slots_[i].state == State::Draining && slots_[i].property == property)
            return &slots_[i];
    }
    return nullptr;
}

bool AnswerProperties::awaits(xcb_atom_t target) const {
    for (int i = 0; i < count_; ++i) {
        if (slots_[i].state == State::GivenUp && slots_[i].target == target)
            return true;
    }
    return false;
}

} // namespace pomorina

// The properties of the clipboard reader's window that owners write their
// answers to: each request names one of its own. An owner may answer a
// request the reader has given up on long after, and send the pieces of an
// incremental transfer after that; so a property whose request was given up
// stays taken until that late answer has come and been cleared away, and a
// late answer can never land on a newer request.
#pragma once

#include <QtGlobal>

#include <xcb/xcb.h>

#include <array>
#include <functional>

namespace pomorina {

class AnswerProperties {
public:
    enum class State {
        Free,
        Asked,    // the request in flight
        GivenUp,  // its answer has not come yet
        Draining, // an incremental transfer goes on: pieces are deleted unread
    };
    struct Slot {
        xcb_atom_t property = XCB_NONE;
        State state = State::Free;
        xcb_atom_t target = XCB_NONE;
        xcb_timestamp_t time = XCB_CURRENT_TIME;
        quint64 givenUpOrder = 0;
    };
    // Bounds the properties on our window when owners never answer.
    static constexpr int kMaxSlots = 16;

    // `name(n)` gives the atom of the n-th property, asked once for each.
    explicit AnswerProperties(std::function<xcb_atom_t(int)> name);

    // A property for a request for `target` stamped `time`: a free one, a
    // new one while there are fewer than kMaxSlots, else the one given up
    // longest ago, whose late answer has most likely been lost for good.
    Slot& ask(xcb_atom_t target, xcb_timestamp_t time);
    void finish(Slot& slot);
    // `transferring`: the owner had begun an incremental transfer.
    void giveUp(Slot& slot, bool transferring);

    // The given-up request that a SelectionNotify answers late, if any. A
    // refusal names no property: its target and time tell whose it is.
    Slot* lateAnswer(xcb_atom_t property, xcb_atom_t target, xcb_timestamp_t time);
    // The property whose given-up incremental transfer is under way.
    Slot* draining(xcb_atom_t property);
    // Whether a given-up request for `target` may still be answered.
    bool awaits(xcb_atom_t target) const;

private:
    std::function<xcb_atom_t(int)> name_;
    // Fixed storage: a slot handed out stays where it is.
    std::array<Slot, kMaxSlots> slots_;
    int count_ = 0;
    quint64 givenUp_ = 0;
};

} // namespace pomorina

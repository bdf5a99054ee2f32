// The main window's side of the history: its window and the two queues.
#include "app/form1.h"
#include "capture/picture_box.h"
#include "history/form2.h"

namespace pomorina {

Form2* Form1::history() {
    if (history_ == nullptr)
        history_ = new Form2(platform_, *this);
    return history_;
}

bool Form1::historyShown() const {
    return history_ != nullptr && history_->isVisible();
}

void Form1::rire_Click() {
    history()->open();
}

void Form1::pushtext() {
    // The queue moves in the store; the window then shows it without running
    // any slot's change handler, so nothing writes into a slot meanwhile.
    Form2* window = history();
    window->store.pushtext();
    window->showTexts();
}

void Form1::pushimage() {
    Form2* window = history();
    window->store.pushimage(Picture2->picture());
    window->showPushedThumbnail();
}

} // namespace pomorina

// The "設定" menu: each choice moves its check mark, stores its index and
// takes effect at once. Only "設定を保存" writes them to the file.
#include "app/choices.h"
#include "app/form1.h"
#include "capture/clipboard_poll.h"
#include "capture/picture_box.h"
#include "capture/preview_pane.h"

#include <QAction>
#include <QTimer>

namespace pomorina {

namespace {

void checkOnly(ChoiceGroup& group, int k) {
    for (int i = group.first(); i <= group.last(); ++i)
        group.setChecked(i, false);
    group.setChecked(k, true);
}

} // namespace

void Form1::connectMenus() {
    onChosen(menu_.sav, this, [this] { sav_Click(); });
    onChosen(menu_.end, this, [this] { end_Click(); });
    onChosen(menu_.gsave, this, [this] { gsave_Click(); });
    onChosen(menu_.rire, this, [this] { rire_Click(); });
    for (int k = menu_.se.first(); k <= menu_.se.last(); ++k)
        onChosen(menu_.se.item(k), this, [this, k] { se_Click(k); });
    for (int k = menu_.sec.first(); k <= menu_.sec.last(); ++k)
        onChosen(menu_.sec.item(k), this, [this, k] { sec_Click(k); });
    for (int k = menu_.scrsav.first(); k <= menu_.scrsav.last(); ++k)
        onChosen(menu_.scrsav.item(k), this, [this, k] { scrsav_Click(k); });
    for (int k = menu_.bk.first(); k <= menu_.bk.last(); ++k)
        onChosen(menu_.bk.item(k), this, [this, k] { bk_Click(k); });
    for (int k = menu_.jidou.first(); k <= menu_.jidou.last(); ++k)
        onChosen(menu_.jidou.item(k), this, [this, k] { jidou_Click(k); });
    onChosen(menu_.tu, this, [this] { tu_Click(); });
    onChosen(menu_.zen, this, [this] { zen_Click(); });
}

void Form1::se_Click(int k) {
    checkOnly(menu_.se, k);
    cfg_.cfgPreviewSize = QString::number(k);
    poll_->con();
}

void Form1::sec_Click(int k) {
    checkOnly(menu_.sec, k);
    timer1_->setInterval(choiceAt(kPollIntervals, k)->effect);
    cfg_.cfgInterval = QString::number(k);
}

void Form1::scrsav_Click(int k) {
    checkOnly(menu_.scrsav, k);
    cfg_.cfgSaveSize = QString::number(k);
}

void Form1::bk_Click(int k) {
    checkOnly(menu_.bk, k);
    cfg_.cfgBackColor = QString::number(k);
    applyBackColour();
    // At once: the picture shown is drawn again on the new colour.
    if (pane_->pictureShown())
        pane_->drawHeldPicture();
}

void Form1::jidou_Click(int k) {
    checkOnly(menu_.jidou, k);
    cfg_.cfgAutoHide = QString::number(k);
    applyHideDelay(); // a running countdown is measured against the new delay
    scheduleCollapse();
}

void Form1::tu_Click() {
    const bool on = !menu_.tu->isChecked();
    menu_.tu->setChecked(on);
    topmost(on);
    cfg_.cfgTopmost = on ? QStringLiteral("1") : QStringLiteral("0");
}

void Form1::zen_Click() {
    const bool on = !menu_.zen->isChecked();
    menu_.zen->setChecked(on);
    cfg_.cfgKeepPos = on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace pomorina

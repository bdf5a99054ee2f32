// The "設定" menu: each choice moves its check mark, stores its index and
// takes effect at once. Only "設定を保存" writes them to the file.
#include "app/form1.h"
#include "capture/picture_box.h"

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

void Form1::connectSettingsMenus() {
    for (int k = menu.se.first(); k <= menu.se.last(); ++k)
        onChosen(menu.se.item(k), this, [this, k] { se_Click(k); });
    for (int k = menu.sec.first(); k <= menu.sec.last(); ++k)
        onChosen(menu.sec.item(k), this, [this, k] { sec_Click(k); });
    for (int k = menu.scrsav.first(); k <= menu.scrsav.last(); ++k)
        onChosen(menu.scrsav.item(k), this, [this, k] { scrsav_Click(k); });
    for (int k = menu.bk.first(); k <= menu.bk.last(); ++k)
        onChosen(menu.bk.item(k), this, [this, k] { bk_Click(k); });
    for (int k = menu.jidou.first(); k <= menu.jidou.last(); ++k)
        onChosen(menu.jidou.item(k), this, [this, k] { jidou_Click(k); });
    onChosen(menu.tu, this, [this] { tu_Click(); });
    onChosen(menu.zen, this, [this] { zen_Click(); });
}

void Form1::se_Click(int k) {
    checkOnly(menu.se, k);
    cfg.cfgPreviewSize = QString::number(k);
    con();
}

void Form1::sec_Click(int k) {
    checkOnly(menu.sec, k);
    Timer1->setInterval(pollIntervalMs(k));
    cfg.cfgInterval = QString::number(k);
}

void Form1::scrsav_Click(int k) {
    checkOnly(menu.scrsav, k);
    cfg.cfgSaveSize = QString::number(k);
}

void Form1::bk_Click(int k) {
    checkOnly(menu.bk, k);
    cfg.cfgBackColor = QString::number(k);
    applyBackColor();
    // At once: the picture shown is drawn again on the new colour.
    if (pictureShown()) {
        Picture1->clear();
        drawHeldPicture();
    }
}

void Form1::jidou_Click(int k) {
    checkOnly(menu.jidou, k);
    cfg.cfgAutoHide = QString::number(k);
    applyHideDelay(); // a running countdown is measured against the new delay
}

void Form1::tu_Click() {
    const bool on = !menu.tu->isChecked();
    menu.tu->setChecked(on);
    topmost(on);
    cfg.cfgTopmost = on ? QStringLiteral("1") : QStringLiteral("0");
}

void Form1::zen_Click() {
    const bool on = !menu.zen->isChecked();
    menu.zen->setChecked(on);
    cfg.cfgKeepPos = on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace pomorina

#include "main_menu.h"

#include "app/choices.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <functional>

namespace pomorina {

namespace {

QAction* addCheckable(QMenu* menu, const QString& caption) {
    QAction* item = menu->addAction(caption);
    item->setCheckable(true);
    return item;
}

void hideAndDisable(QAction* item) {
    item->setVisible(false);
    item->setEnabled(false);
}

} // namespace

QAction* ChoiceGroup::addItem(QMenu* menu, const QString& caption, bool hidden) {
    QAction* item = addCheckable(menu, caption);
    if (hidden) // chosen in the settings file only
        hideAndDisable(item);
    return item;
}

QAction* ChoiceGroup::item(int index) const {
    return contains(index) ? items_[index - first_] : nullptr;
}

bool ChoiceGroup::isChecked(int index) const {
    const QAction* action = item(index);
    return action != nullptr && action->isChecked();
}

void ChoiceGroup::setChecked(int index, bool checked) {
    if (QAction* action = item(index))
        action->setChecked(checked);
}

void MainMenu::build(QMenuBar* bar) {
    aaaa = bar->addMenu(QStringLiteral("ファイル"));
    sav = aaaa->addAction(QStringLiteral("設定を保存"));
    gsave = aaaa->addAction(QStringLiteral("画像を保存"));
    tsave = aaaa->addAction(QStringLiteral("テキストを保存"));
    hideAndDisable(tsave);
    end = aaaa->addAction(QStringLiteral("終了"));

    bbbb = bar->addMenu(QStringLiteral("設定"));
    se = ChoiceGroup(bbbb, kPreviewSizes);
    bbbb->addSeparator();
    sec = ChoiceGroup(bbbb->addMenu(QStringLiteral("読み取り間隔")), kPollIntervals);
    bbbb->addSeparator();
    scrsav = ChoiceGroup(bbbb->addMenu(QStringLiteral("保存設定")), kSaveSizes);
    bbbb->addSeparator();
    bk = ChoiceGroup(bbbb->addMenu(QStringLiteral("バックカラー")), kBackColours);
    bbbb->addSeparator();
    jidou = ChoiceGroup(bbbb->addMenu(QStringLiteral("自動的に隠す")), kAutoHideDelays);
    bbbb->addSeparator();
    tu = addCheckable(bbbb, QStringLiteral("常に手前に表示"));
    zen = addCheckable(bbbb, QStringLiteral("終了位置を覚える"));

    rire = bar->addAction(QStringLiteral("履歴"));
}

void onChosen(QAction* item, QObject* context, std::function<void()> handler) {
    QObject::connect(item, &QAction::triggered, context, [item, handler](bool checked) {
        // Qt flips a checkable item before it reports the click; undo that.
        if (item->isCheckable())
            item->setChecked(!checked);
        handler();
    });
}

} // namespace pomorina

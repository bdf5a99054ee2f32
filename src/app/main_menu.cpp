#include "main_menu.h"

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

ChoiceGroup::ChoiceGroup(QMenu* menu, int firstIndex, const QList<QString>& captions)
    : first_(firstIndex) {
    for (const QString& caption : captions)
        items_.append(addCheckable(menu, caption));
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
    se = ChoiceGroup(bbbb, 1,
                     {QStringLiteral("64*64"), QStringLiteral("128*128"), QStringLiteral("192*192"),
                      QStringLiteral("256*256"), QStringLiteral("320*320")});
    bbbb->addSeparator();
    QMenu* interval = bbbb->addMenu(QStringLiteral("読み取り間隔"));
    sec = ChoiceGroup(interval, 1,
                      {QStringLiteral("０．５秒"), QStringLiteral("１．０秒"),
                       QStringLiteral("２．０秒"), QStringLiteral("３．０秒"),
                       QStringLiteral("５．０秒"), QStringLiteral("９．９秒")});
    bbbb->addSeparator();
    QMenu* saveSize = bbbb->addMenu(QStringLiteral("保存設定"));
    scrsav = ChoiceGroup(saveSize, 0,
                         {QStringLiteral("640*480"), QStringLiteral("1024*768"),
                          QStringLiteral("1280*1024"), QStringLiteral("1600*1200")});
    bbbb->addSeparator();
    QMenu* backColor = bbbb->addMenu(QStringLiteral("バックカラー"));
    bk = ChoiceGroup(backColor, 0, {QStringLiteral("ＷＨＩＴＥ"), QStringLiteral("ＢＬＡＣＫ")});
    bbbb->addSeparator();
    QMenu* autoHide = bbbb->addMenu(QStringLiteral("自動的に隠す"));
    jidou = ChoiceGroup(autoHide, 0,
                        {QStringLiteral("０．０秒"), QStringLiteral("０．５秒"),
                         QStringLiteral("１．０秒"), QStringLiteral("２．０秒"),
                         QStringLiteral("３．０秒"), QStringLiteral("５．０秒"),
                         QStringLiteral("９．９秒")});
    // The longer delays can only be chosen in the settings file.
    for (int index = 3; index <= 6; ++index)
        hideAndDisable(jidou.item(index));
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

#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <iterator>

class QAction;
class QMenu;
class QMenuBar;
class QObject;

namespace pomorina {

// Menu items that share one name and are told apart by a fixed index; a
// setting stores the chosen index, so the indexes never change.
class ChoiceGroup {
public:
    ChoiceGroup() = default;
    // The items of a group's table, in order, under `menu`.
    template <typename Table> ChoiceGroup(QMenu* menu, const Table& table) {
        first_ = std::begin(table)->index;
        for (const auto& choice : table)
            items_.append(addItem(menu, choice.caption.toString(), choice.hidden));
    }

    int first() const { return first_; }
    int last() const { return first_ + static_cast<int>(items_.size()) - 1; }
    bool contains(int index) const { return index >= first() && index <= last(); }
    QAction* item(int index) const;
    bool isChecked(int index) const;
    void setChecked(int index, bool checked);

private:
    static QAction* addItem(QMenu* menu, const QString& caption, bool hidden);

    int first_ = 0;
    QList<QAction*> items_;
};

// The main window's menu tree: "ファイル", "設定" and "履歴".
struct MainMenu {
    QMenu* aaaa = nullptr; // "ファイル"
    QAction* sav = nullptr;
    QAction* gsave = nullptr;
    QAction* tsave = nullptr; // hidden and disabled
    QAction* end = nullptr;   // index 1 of its one-element group

    QMenu* bbbb = nullptr;  // "設定"
    ChoiceGroup se;         // 1..5: preview size
    ChoiceGroup sec;        // 1..6: poll interval
    ChoiceGroup scrsav;     // 0..3: save resolution
    ChoiceGroup bk;         // 0..1: background colour
    ChoiceGroup jidou;      // 0..6: auto-hide delay; 3..6 hidden and disabled
    QAction* tu = nullptr;  // always on top
    QAction* zen = nullptr; // remember the position

    QAction* rire = nullptr; // "履歴", on the menu bar itself

    void build(QMenuBar* bar);
};

// Runs `handler` when the item is chosen. The item's check mark is left as it
// was before the click: every handler sets the marks itself.
void onChosen(QAction* item, QObject* context, std::function<void()> handler);

} // namespace pomorina

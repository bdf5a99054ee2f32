#pragma once

#include <QRgb>
#include <QSize>
#include <QString>
#include <QStringView>

#include <iterator>
#include <optional>
#include <ranges>

namespace pomorina {

// One item of a choice group of the "設定" menu: its index, which is also the
// text stored for it in the settings file, its caption and what it does.
template <typename Effect> struct Choice {
    int index;
    QStringView caption;
    Effect effect;
    bool hidden = false; // on the menu but hidden and disabled: chosen in the file only

    QString stored() const { return QString::number(index); }
};

// One table a group, read by the start-up, the menus, the settings file's
// checks, the save and the tests.
// "64*64" ...: the side of the preview, in pixels.
inline constexpr Choice<int> kPreviewSizes[] = {
    {1, u"64*64", 64},    {2, u"128*128", 128}, {3, u"192*192", 192},
    {4, u"256*256", 256}, {5, u"320*320", 320},
};
// "読み取り間隔": the clipboard poll's interval, in milliseconds.
inline constexpr Choice<int> kPollIntervals[] = {
    {1, u"０．５秒", 500},  {2, u"１．０秒", 1000}, {3, u"２．０秒", 2000},
    {4, u"３．０秒", 3000}, {5, u"５．０秒", 5000}, {6, u"９．９秒", 9900},
};
// "保存設定": the resolution of a saved picture.
inline constexpr Choice<QSize> kSaveSizes[] = {
    {0, u"640*480", QSize(640, 480)},
    {1, u"1024*768", QSize(1024, 768)},
    {2, u"1280*1024", QSize(1280, 1024)},
    {3, u"1600*1200", QSize(1600, 1200)},
};
// "バックカラー": the background of the preview and of a saved picture.
inline constexpr Choice<QRgb> kBackColours[] = {
    {0, u"ＷＨＩＴＥ", 0xFFFFFFFF},
    {1, u"ＢＬＡＣＫ", 0xFF000000},
};
// "自動的に隠す": how long the pointer must stay away before the window
// shrinks, in milliseconds; 0 is off.
inline constexpr Choice<int> kAutoHideDelays[] = {
    {0, u"０．０秒", 0},          {1, u"０．５秒", 500},        {2, u"１．０秒", 1000},
    {3, u"２．０秒", 2000, true}, {4, u"３．０秒", 3000, true}, {5, u"５．０秒", 5000, true},
    {6, u"９．９秒", 9900, true},
};

template <typename Table> constexpr int firstIndex(const Table& table) {
    return std::begin(table)->index;
}
template <typename Table> constexpr int lastIndex(const Table& table) {
    return std::prev(std::end(table))->index;
}

// The item of `index`, if the group has one.
template <typename Table>
constexpr std::optional<std::ranges::range_value_t<Table>> choiceAt(const Table& table, int index) {
    for (const auto& choice : table) {
        if (choice.index == index)
            return choice;
    }
    return std::nullopt;
}

// The item whose stored text is exactly `text`: " 1" or "01" names none.
template <typename Table>
std::optional<std::ranges::range_value_t<Table>> choiceStoredAs(const Table& table,
                                                                QStringView text) {
    for (const auto& choice : table) {
        if (choice.stored() == text)
            return choice;
    }
    return std::nullopt;
}

} // namespace pomorina

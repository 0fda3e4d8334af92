#include "pane/AKeyNames.h"

#include "keys/AKeyCodes.h"
#include "pane/AKeyStrokeWindow.h"
#include "pane/AXkbKeyLayout.h"

#include <QStringList>

#include <array>
#include <utility>

QString GetKeyString(uint16_t keyCode, bool open, const AKeyLayout& layout)
{
    const AKeyCode* key = FindMacKeyCode(keyCode);
    if (!key)
        return {};
    if (key->fName)
        return QString::fromLatin1(!open && key->fClosingName ? key->fClosingName : key->fName);
    return layout.GetKeyCharacter(key->fEvdevCode);
}

QString FormatKeyStrings(const AKeyCodeList* keyStrokes, const AKeyLayout& layout)
{
    if (!keyStrokes)
        return {};
    // Whether each toggled modifier is down at this point of the list.
    std::array<std::pair<uint16_t, bool>, 5> down = {{{57, false}, {56, false}, {59, false}, {58, false}, {55, false}}};
    QStringList names;
    for (uint16_t keyCode : *keyStrokes) {
        bool open = true;
        for (auto& [modifier, isDown] : down) {
            if (modifier == keyCode) {
                isDown = !isDown;
                open = isDown;
            }
        }
        names.append(GetKeyString(keyCode, open, layout));
    }
    return names.join(QLatin1Char(' '));
}

QString GetKeyString(uint16_t keyCode, bool open)
{
    return GetKeyString(keyCode, open, *AXkbKeyLayout::ForUser());
}

QString FormatKeyStrings(const AKeyCodeList* keyStrokes)
{
    if (!keyStrokes || keyStrokes->empty())
        return {};
    return FormatKeyStrings(keyStrokes, *AXkbKeyLayout::ForUser());
}

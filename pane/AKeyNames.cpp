#include "pane/AKeyNames.h"

#include "keys/AKeyCodes.h"
#include "pane/AKeyStrokeWindow.h"
#include "pane/AXkbKeyLayout.h"

#include <QStringList>

#include <array>

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
    // Whether each toggled modifier (codes 55 to 59) is down at this point of
    // the list; each occurrence flips it.
    std::array<bool, 5> down{};
    QStringList names;
    for (uint16_t keyCode : *keyStrokes) {
        bool open = true;
        if (IsToggledModifier(keyCode)) {
            bool& isDown = down[keyCode - kFirstToggledModifier];
            isDown = !isDown;
            open = isDown;
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

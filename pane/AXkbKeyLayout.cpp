#include "pane/AXkbKeyLayout.h"

#include <QGuiApplication>
#include <qguiapplication_platform.h>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace {

// XKB keycodes are evdev codes moved up by 8, the lowest X11 allowed.
constexpr uint32_t kXkbKeycodeOffset = 8;

// A dead key types nothing by itself; it is named by the spacing form of its
// accent, as the key's engraving shows it.
constexpr std::array<std::pair<xkb_keysym_t, char32_t>, 13> kDeadKeyAccents = {{
    {XKB_KEY_dead_grave, U'`'},
    {XKB_KEY_dead_acute, U'\u00B4'},
    {XKB_KEY_dead_circumflex, U'^'},
    {XKB_KEY_dead_tilde, U'~'},
    {XKB_KEY_dead_macron, U'\u00AF'},
    {XKB_KEY_dead_breve, U'\u02D8'},
    {XKB_KEY_dead_abovedot, U'\u02D9'},
    {XKB_KEY_dead_diaeresis, U'\u00A8'},
    {XKB_KEY_dead_abovering, U'\u02DA'},
    {XKB_KEY_dead_doubleacute, U'\u02DD'},
    {XKB_KEY_dead_caron, U'\u02C7'},
    {XKB_KEY_dead_cedilla, U'\u00B8'},
    {XKB_KEY_dead_ogonek, U'\u02DB'},
}};

char32_t CharacterOfKeysym(xkb_keysym_t keysym)
{
    for (const auto& [dead, accent] : kDeadKeyAccents) {
        if (dead == keysym)
            return accent;
    }
    const char32_t character = xkb_keysym_to_utf32(keysym);
    // Control characters (Tab, Return, Escape...) are no names; those keys
    // have fixed names anyway.
    if (character < 0x20 || character == 0x7F)
        return 0;
    return character;
}

std::string Unquoted(std::string value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

class ANoKeyLayout : public AKeyLayout {
public:
    QString GetKeyCharacter(uint16_t) const override { return {}; }
};

xkb_context* NewContext()
{
    // The names are always given in full, so the library must not fill empty
    // ones from XKB_DEFAULT_* behind our back.
    return xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
}

} // namespace

AXkbLayoutNames ReadKeyboardDefaults(std::string_view text)
{
    AXkbLayoutNames names;
    const std::pair<const char*, std::string AXkbLayoutNames::*> fields[] = {
        {"XKBMODEL", &AXkbLayoutNames::fModel},
        {"XKBLAYOUT", &AXkbLayoutNames::fLayout},
        {"XKBVARIANT", &AXkbLayoutNames::fVariant},
        {"XKBOPTIONS", &AXkbLayoutNames::fOptions},
    };
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const auto equals = line.find('=', first);
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(first, equals - first);
        std::string value = line.substr(equals + 1);
        value.erase(value.find_last_not_of(" \t\r") + 1);
        for (const auto& [name, field] : fields) {
            if (key == name)
                names.*field = Unquoted(value);
        }
    }
    return names;
}

AXkbLayoutNames ConfiguredLayoutNames(const std::string& keyboardDefaultsPath)
{
    if (!Environment("XKB_DEFAULT_LAYOUT").empty()) {
        return {Environment("XKB_DEFAULT_RULES"), Environment("XKB_DEFAULT_MODEL"),
                Environment("XKB_DEFAULT_LAYOUT"), Environment("XKB_DEFAULT_VARIANT"),
                Environment("XKB_DEFAULT_OPTIONS")};
    }
    if (std::ifstream file{keyboardDefaultsPath}) {
        std::ostringstream text;
        text << file.rdbuf();
        AXkbLayoutNames names = ReadKeyboardDefaults(text.str());
        if (!names.fLayout.empty())
            return names;
    }
    AXkbLayoutNames fallback;
    fallback.fLayout = "us";
    return fallback;
}

std::unique_ptr<AXkbKeyLayout> AXkbKeyLayout::FromNames(const AXkbLayoutNames& names)
{
    xkb_context* context = NewContext();
    if (!context)
        return nullptr;
    const auto field = [](const std::string& value) { return value.empty() ? nullptr : value.c_str(); };
    const xkb_rule_names ruleNames = {field(names.fRules), field(names.fModel), field(names.fLayout),
                                      field(names.fVariant), field(names.fOptions)};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &ruleNames, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        xkb_context_unref(context);
        return nullptr;
    }
    return std::unique_ptr<AXkbKeyLayout>(new AXkbKeyLayout(context, keymap, 0));
}

std::unique_ptr<AXkbKeyLayout> AXkbKeyLayout::FromX11(xcb_connection_t* connection)
{
    if (!connection || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                    XKB_X11_MIN_MINOR_XKB_VERSION,
                                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                                                    nullptr, nullptr, nullptr))
        return nullptr;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0)
        return nullptr;
    xkb_context* context = NewContext();
    if (!context)
        return nullptr;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, connection, device,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_state* live = keymap ? xkb_x11_state_new_from_device(keymap, connection, device) : nullptr;
    if (!live) {
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
        return nullptr;
    }
    const xkb_layout_index_t group = xkb_state_serialize_layout(live, XKB_STATE_LAYOUT_EFFECTIVE);
    xkb_state_unref(live);
    return std::unique_ptr<AXkbKeyLayout>(new AXkbKeyLayout(context, keymap, group));
}

std::shared_ptr<const AKeyLayout> AXkbKeyLayout::ForUser()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // Read each time, so a layout switched while the application runs
        // names keys as they now type.
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            if (auto layout = FromX11(x11->connection()))
                return layout;
        }
    }
    // Compiling a keymap takes milliseconds; the last one is kept while the
    // configured names stay the same.
    static AXkbLayoutNames cachedNames;
    static std::shared_ptr<const AKeyLayout> cached;
    const AXkbLayoutNames names = ConfiguredLayoutNames();
    if (!cached || names != cachedNames) {
        std::shared_ptr<const AKeyLayout> layout = FromNames(names);
        cached = layout ? layout : std::make_shared<ANoKeyLayout>();
        cachedNames = names;
    }
    return cached;
}

AXkbKeyLayout::AXkbKeyLayout(xkb_context* context, xkb_keymap* keymap, uint32_t group)
    : fContext(context), fKeymap(keymap), fState(xkb_state_new(keymap))
{
    const xkb_mod_index_t numLock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_NUM);
    const xkb_mod_mask_t locked = numLock == XKB_MOD_INVALID ? 0 : 1u << numLock;
    if (fState)
        xkb_state_update_mask(fState, 0, 0, locked, 0, 0, group);
}

AXkbKeyLayout::~AXkbKeyLayout()
{
    xkb_state_unref(fState);
    xkb_keymap_unref(fKeymap);
    xkb_context_unref(fContext);
}

QString AXkbKeyLayout::GetKeyCharacter(uint16_t evdevCode) const
{
    if (!fState)
        return {};
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(fState, evdevCode + kXkbKeycodeOffset);
    const char32_t character = CharacterOfKeysym(keysym);
    if (character == 0)
        return {};
    return QString::fromUcs4(&character, 1);
}

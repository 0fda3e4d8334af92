#pragma once
// AXkbKeyLayout names keys by the character they type in the user's keyboard
// layout, through libxkbcommon: the first level of the key in the active
// layout group, with no modifier held and Num Lock on (so the keypad types
// its digits, as on a keyboard without Num Lock), a dead key named by the
// accent it puts down. Under X11 it reads the X server's live keymap and
// active group; elsewhere (Wayland, no display) it compiles the configured
// layout: XKB_DEFAULT_RULES/MODEL/LAYOUT/VARIANT/OPTIONS when
// XKB_DEFAULT_LAYOUT is set, else the system's /etc/default/keyboard, else
// "us".

#include "pane/AKeyNames.h"

#include <memory>
#include <string>
#include <string_view>

struct xcb_connection_t;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

// The rules, model, layout, variant and options that name a keymap; an empty
// field takes libxkbcommon's default.
struct AXkbLayoutNames {
    std::string fRules;
    std::string fModel;
    std::string fLayout;
    std::string fVariant;
    std::string fOptions;

    bool operator==(const AXkbLayoutNames&) const = default;
};

// The names in the text of /etc/default/keyboard (XKBMODEL, XKBLAYOUT,
// XKBVARIANT, XKBOPTIONS; shell assignments, quoted or not, "#" comments).
AXkbLayoutNames ReadKeyboardDefaults(std::string_view text);

// The configured layout as described above, reading the environment and the
// file at `keyboardDefaultsPath`.
AXkbLayoutNames ConfiguredLayoutNames(const std::string& keyboardDefaultsPath = "/etc/default/keyboard");

class AXkbKeyLayout : public AKeyLayout {
public:
    // The keymap these names give; null when libxkbcommon cannot compile it.
    static std::unique_ptr<AXkbKeyLayout> FromNames(const AXkbLayoutNames& names);
    // The X server's keymap in its active group; null without XKB there.
    static std::unique_ptr<AXkbKeyLayout> FromX11(xcb_connection_t* connection);
    // The user's layout now: the live one when the Qt platform is xcb, else
    // the configured one. Never null: when no keymap can be had, a layout
    // that types nothing.
    static std::shared_ptr<const AKeyLayout> ForUser();

    ~AXkbKeyLayout() override;
    AXkbKeyLayout(const AXkbKeyLayout&) = delete;
    AXkbKeyLayout& operator=(const AXkbKeyLayout&) = delete;

    QString GetKeyCharacter(uint16_t evdevCode) const override;

private:
    AXkbKeyLayout(xkb_context* context, xkb_keymap* keymap, uint32_t group);

    xkb_context* fContext;
    xkb_keymap* fKeymap;
    xkb_state* fState;
};

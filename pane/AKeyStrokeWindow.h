#pragma once
// AKeyStrokeWindow is the button editor's window, and it records key
// strokes: while capture is on, every key the user presses and releases
// inside it is added, on its release, to an ordered key-code list (the
// stored key codes of keys/AKeyCodes),
// Delete erases backwards, and the five modifier toggles wrap the keys in
// pairs, the last switched on outermost. After each change it makes itself,
// the window hands its list to its delegate, the editor. While capture is on
// the window takes every key before any widget, shortcut or focus change
// does, Tab, Return and Escape included; while it is off, keys behave as in
// any dialog.
//
// The list editing is plain code (AKeyStrokeList); this class only turns Qt
// key events into key codes (Qt's native scan code is the XKB keycode, the
// evdev code + 8) and passes them on.

#include "pane/AKeyStrokeList.h"

#include <QDialog>
#include <QSet>

#include <cstdint>

class QKeyEvent;

class AKeyStrokeDelegate {
public:
    virtual ~AKeyStrokeDelegate() = default;
    // The window's list after a change the window made itself.
    virtual void SetKeyStrokes(const AKeyCodeList& keyStrokes) = 0;
};

class AKeyStrokeWindow : public QDialog {
    Q_OBJECT

public:
    explicit AKeyStrokeWindow(QWidget* parent = nullptr);
    ~AKeyStrokeWindow() override;

    void SetDelegate(AKeyStrokeDelegate* delegate);

    // Switches capture on or off; the list stays as it is.
    void EnableKeyEvents(bool enable);
    bool AreKeyEventsEnabled() const;

    // The window's own list.
    const AKeyCodeList& GetKeyStrokes() const;
    // Replaces the list (none: empty) and recounts the modifiers; the
    // delegate is not told.
    void SetKeyStrokes(const AKeyCodeList* keyStrokes);
    bool VirtualKeyExists(uint16_t keyCode) const;
    // Adds or removes a modifier pair, then tells the delegate; nothing
    // while capture is off.
    void ToggleVirtualKey(uint16_t keyCode, bool add);

protected:
    // While capture is on, installed on the application: takes the key
    // events (and the shortcut checks before them) of every widget inside
    // this window before the widget, a shortcut or the dialog sees them.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsInsideWindow(const QObject* object) const;
    void KeyUp(const QKeyEvent& event);
    void TellDelegate();

    bool fEnableKeyEvents = false;
    // The native scan codes of the keys pressed since capture went on and
    // not yet released.
    QSet<quint32> fPressedKeys;
    AKeyStrokeList fKeyStrokes;
    AKeyStrokeDelegate* fDelegate = nullptr;
};

// The display name of one key: the fixed names of the function, arrow,
// editing and modifier keys (the modifiers' opening or closing form by
// `open`), else the character the key gives in the user's layout with no
// modifier, else "".
QString GetKeyString(uint16_t keyCode, bool open);
// The list as display text: the names joined by single blanks; "" for none.
QString FormatKeyStrings(const AKeyCodeList* keyStrokes);

#include "pane/AKeyStrokeWindow.h"

#include "keys/AKeyCodes.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <optional>

namespace {

// Qt's native scan code is the XKB keycode: the evdev code moved up by 8.
constexpr quint32 kXkbKeycodeOffset = 8;

// The stored code of the key an event is about. The keyboard's own modifier
// keys (the table's entries with a closing name, both hands) give none:
// modifiers enter the list only through the toggles, as pairs, never as keys
// typed.
std::optional<uint16_t> CapturedKeyCode(const QKeyEvent& event)
{
    const quint32 scanCode = event.nativeScanCode();
    if (scanCode < kXkbKeycodeOffset || scanCode - kXkbKeycodeOffset > 0xFFFF)
        return std::nullopt;
    const AKeyCode* key = FindEvdevCode(static_cast<uint16_t>(scanCode - kXkbKeycodeOffset));
    if (!key || key->fClosingName)
        return std::nullopt;
    return key->fMacKeyCode;
}

} // namespace

AKeyStrokeWindow::AKeyStrokeWindow(QWidget* parent) : QDialog(parent) {}

AKeyStrokeWindow::~AKeyStrokeWindow()
{
    EnableKeyEvents(false);
}

void AKeyStrokeWindow::SetDelegate(AKeyStrokeDelegate* delegate)
{
    fDelegate = delegate;
}

void AKeyStrokeWindow::EnableKeyEvents(bool enable)
{
    if (enable == fEnableKeyEvents)
        return;
    fEnableKeyEvents = enable;
    fPressedKeys.clear();
    // Key events reach the focus widget first, and Tab, Escape and Return
    // are acted on there or in the dialog before a window-level handler
    // could see them; an application filter sees them before either.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        if (enable)
            application->installEventFilter(this);
        else
            application->removeEventFilter(this);
    }
}

bool AKeyStrokeWindow::AreKeyEventsEnabled() const
{
    return fEnableKeyEvents;
}

const AKeyCodeList& AKeyStrokeWindow::GetKeyStrokes() const
{
    return fKeyStrokes.GetKeyStrokes();
}

void AKeyStrokeWindow::SetKeyStrokes(const AKeyCodeList* keyStrokes)
{
    fKeyStrokes.SetKeyStrokes(keyStrokes);
}

bool AKeyStrokeWindow::VirtualKeyExists(uint16_t keyCode) const
{
    return fKeyStrokes.VirtualKeyExists(keyCode);
}

void AKeyStrokeWindow::ToggleVirtualKey(uint16_t keyCode, bool add)
{
    if (!fEnableKeyEvents)
        return;
    fKeyStrokes.ToggleVirtualKey(keyCode, add);
    TellDelegate();
}

bool AKeyStrokeWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool isKey = type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride;
    if (!isKey || !fEnableKeyEvents || !IsInsideWindow(watched))
        return QDialog::eventFilter(watched, event);
    // An accepted shortcut check tells Qt that the widget wants the key
    // itself, so no shortcut fires; key presses are consumed, and the key is
    // recorded when it is released.
    event->accept();
    if (type == QEvent::KeyPress)
        fPressedKeys.insert(static_cast<QKeyEvent*>(event)->nativeScanCode());
    else if (type == QEvent::KeyRelease)
        KeyUp(*static_cast<QKeyEvent*>(event));
    return true;
}

bool AKeyStrokeWindow::IsInsideWindow(const QObject* object) const
{
    if (object->isWidgetType())
        return static_cast<const QWidget*>(object)->window() == this;
    // The platform delivers keys to the window's QWindow, which hands them to
    // the focus widget.
    return object->isWindowType() && object == windowHandle();
}

void AKeyStrokeWindow::KeyUp(const QKeyEvent& event)
{
    // A held key repeats as release and press pairs; it is recorded once.
    if (event.isAutoRepeat())
        return;
    // A key pressed before capture went on was acted on by the control that
    // had it (a combo box's arrow key that chose "Perform Key Strokes"): its
    // release is no key stroke the user typed.
    if (!fPressedKeys.remove(event.nativeScanCode()))
        return;
    const std::optional<uint16_t> keyCode = CapturedKeyCode(event);
    if (!keyCode)
        return;
    fKeyStrokes.KeyUp(*keyCode);
    TellDelegate();
}

void AKeyStrokeWindow::TellDelegate()
{
    if (fDelegate)
        fDelegate->SetKeyStrokes(fKeyStrokes.GetKeyStrokes());
}

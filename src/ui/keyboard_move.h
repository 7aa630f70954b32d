#pragma once
// "移動(&M)" as the designed platform's window menu has it: the window follows the arrow keys
// until Enter, through the window manager.

class QWidget;

namespace vemilo::ui {

// Asks the window manager to start a keyboard move of window. False where the platform offers
// none (no X11 window manager that speaks _NET_WM_MOVERESIZE); the caller then falls back to
// what the platform has.
bool startKeyboardMove(QWidget& window);

}  // namespace vemilo::ui

// Puts the session's top-level windows where the layout wants them: each
// window's frame, the window manager's decoration included, covers the given
// rectangle of the screen.
//
// GUI thread. The decoration's size is known only once the window manager
// has framed a window, which happens after it is first shown. A window is
// placed at once with the decoration it has, else with the one last seen on
// a placed window (none without a window manager). A watcher, the window's
// child, remembers the frame asked for: when the exposed window turns out to
// wear another decoration than the one assumed (seen on its expose, move and
// resize events, and once more by a short single-shot timer for managers
// that declare it late), it places the window again, once per change. A
// window the operator moved or resized keeps where it was put, and a
// minimised, maximised or full-screen one is left to its state.
//
// A window already shown is never hidden to be placed: a window manager can
// lose a map that follows its unmap too closely, and the window would stay
// unmapped while shown to the program. No nested loops, no waits.
#pragma once

class QRect;
class QWidget;

// Places window so that its frame covers frame, and shows it (back from
// minimised or maximised when it was).
void PlaceAndShow(QWidget& window, const QRect& frame);

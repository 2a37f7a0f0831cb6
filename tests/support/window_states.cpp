// The test display's stand-in for a window manager, in one respect only: it sets the
// WM_STATE property (ICCCM) of each top-level window when it is mapped and removes it
// when it is unmapped, as a window manager does. Xvfb has none, and before Wine hides
// a window it has handed to a window manager it waits up to 2 s for that window's
// WM_STATE to show the mapping: at every close and minimise, which was most of the
// Windows tests' time. Nothing else is done: no window is moved, framed or focused.
// roi_display (scripts/env.sh) builds it on the Linux side and starts it beside the
// Xvfb it starts; it ends with that display.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

namespace {

// A window may go between its event and the property change; that is no error here.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "window_states: no display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.event == root && !event.xmap.override_redirect) {
            const long state[2] = {NormalState, None};
            XChangeProperty(display, event.xmap.window, wmState, wmState, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(state), 2);
            XFlush(display);
        } else if (event.type == UnmapNotify && event.xunmap.event == root) {
            XDeleteProperty(display, event.xunmap.window, wmState);
            XFlush(display);
        }
    }
}

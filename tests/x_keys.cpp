#include "x_keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace tastrello::testing {

void initXThreads() {
  XInitThreads();
}

XKeys::XKeys(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XKeys::~XKeys() {
  if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

void XKeys::send(unsigned keycode, bool down) {
  auto* x = static_cast<Display*>(display_);
  XTestFakeKeyEvent(x, keycode, down ? True : False, CurrentTime);
  XSync(x, False);
}

}  // namespace tastrello::testing

// Keys sent to an X server through its test extension, on a connection of their own. Xlib's
// headers stay in x_keys.cpp: their macros (KeyPress, None, True ...) clash with Qt's names.
#pragma once

#include <string>

namespace tastrello::testing {

/// Lets Xlib be used from more than one thread; call before any other Xlib or Qt call.
void initXThreads();

class XKeys {
 public:
  /// Connects to `display`; `open()` says whether it could.
  explicit XKeys(const std::string& display);
  ~XKeys();
  XKeys(const XKeys&) = delete;
  XKeys& operator=(const XKeys&) = delete;
  bool open() const { return display_ != nullptr; }
  /// Sends the key with X key code `keycode` down or up at once, and returns once the server
  /// has taken it.
  void send(unsigned keycode, bool down);

 private:
  void* display_;
};

}  // namespace tastrello::testing

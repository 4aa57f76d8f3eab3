// The system's clock through the standard library alone, so that it serves every edition.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "shell/services.h"

namespace tastrello {

class StandardClock : public Clock {
 public:
  double seconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::string localTime() override {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    // std::localtime's shared result is safe here: the logic runs on one thread.
    const std::tm* local = std::localtime(&now);
    char text[32];
    return local && std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", local) ? text : "";
  }
};

}  // namespace tastrello

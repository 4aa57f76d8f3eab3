// A file's bytes as they are on disk, for tests that look at what a program wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tastrello::testing {

/// The whole file, byte for byte; empty when it cannot be read.
inline std::string fileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace tastrello::testing

// The practice history reader: whatever it reads, writing it and reading that back gives the
// same history, and no line is both kept and called damaged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "practice/practice.h"
#include "shell/text.h"

using namespace tastrello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<int> damaged;
  const History history = parseHistory(bytes, damaged);
  const std::size_t lines = splitLines(bytes).size();
  if (damaged.size() + history.passes.size() + history.alongPasses.size() > lines) std::abort();
  std::vector<int> again;
  const History reread = parseHistory(formatHistory(history), again);
  if (!again.empty() || reread != history) std::abort();
  return 0;
}

// The free-form reader over arbitrary console text: integer and real
// targets in the patterns the program asks for, read after read until the
// input ends or a read is refused.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "format/console.h"
#include "format/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the pattern of each read: bit k set means target k
  // is an integer; the count of targets is 1 to 8, then up to 600 (a data
  // file of 300 pairs).
  const unsigned pattern = data[0];
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  format::LineSource source(in, "console input");
  int ints[8] = {};
  std::vector<double> reals(600, 0.0);
  for (int read = 0;; ++read) {
    std::vector<format::Target> targets;
    const int n = read % 4 == 3 ? 600 : 1 + (read + static_cast<int>(pattern)) % 8;
    for (int k = 0; k < n; ++k) {
      if (k < 8 && ((pattern >> k) & 1u)) {
        targets.emplace_back(ints[k]);
      } else {
        targets.emplace_back(reals[k]);
      }
    }
    try {
      format::ReadFree(source, targets);
    } catch (const format::RunTimeError&) {
      break;
    }
  }
  return 0;
}

// The data file loader over arbitrary file contents: it loads a valid set
// of points or refuses the file with a run-time error.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engine/dialogue.h"
#include "format/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
  std::istringstream none;
  std::ostringstream out;
  format::Console con(none, out);
  format::LineSource source(file, "fuzz.dat");
  engine::DataSet set;
  try {
    engine::Load(set, source, &con);
  } catch (const format::RunTimeError&) {
    return 0;
  }
  // What loads is what the rest of the program relies on.
  if (set.NDATA < 1 || set.NDATA > engine::kMaxData) std::abort();
  for (int i = 0; i < set.NDATA; ++i) {
    if (!(set.T[i] > 0.0) || !std::isfinite(set.T[i]) || !std::isfinite(set.XRAW[i])) std::abort();
  }
  engine::ApplyCorrections(set, 0.0, 0.0, 1.0);
  return 0;
}

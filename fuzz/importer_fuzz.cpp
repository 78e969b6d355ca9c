// The importer over arbitrary file contents: it writes 1 to max-points
// points with finite values and temperatures above 0, or refuses the file
// with an importer::Error. The first byte chooses the options.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "importer/importer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned bits = data[0];
  importer::Options o;
  if (bits & 1) o.chi_unit = "cm3/mol";
  if (bits & 2) {
    o.moment_unit = "emu";
    o.mass_mg = 10;
    o.molar_mass = 500;
  }
  if (bits & 4) o.max_points = 7;
  if (bits & 8) o.sweep = "all";
  if (bits & 16) o.field_oe = 1000;
  if (bits & 32) o.linear_bins = true;
  if (bits & 64) {
    o.diamagnetic_estimate = true;
    o.eicosane_mg = 5;
  }
  std::istringstream file(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  importer::Import im;
  try {
    im = importer::Read(file, "fuzz.dat", o);
  } catch (const importer::Error&) {
    return 0;
  }
  if (im.points.empty() || im.points.size() > static_cast<std::size_t>(o.max_points)) std::abort();
  for (const auto& p : im.points) {
    if (!(p.T > 0.0) || !std::isfinite(p.T) || !std::isfinite(p.chi) || p.count < 1) std::abort();
  }
  const std::string text = importer::DataFileText(im);
  if (text.rfind(std::to_string(im.points.size()) + "\n", 0) != 0) std::abort();
  importer::RecordText(im, o, "fuzz-chi.dat");
  importer::SummaryText(im, "fuzz-chi.dat", "fuzz-chi.json");
  return 0;
}

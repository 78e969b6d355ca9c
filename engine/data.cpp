#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/layouts.h"
#include "format/errors.h"

namespace engine {
namespace {

[[noreturn]] void Refuse(const format::LineSource& file, const std::string& what) {
  throw format::RunTimeError("read: data file '" +
                             format::Printable(file.name(), format::kNameShown) + "': " + what);
}

}  // namespace

void Load(DataSet& data, format::LineSource& file, format::RecordSink* listing) {
  int count = 0;
  format::ReadFree(file, {count});
  if (count < 1 || count > kMaxData) {
    Refuse(file, "the number of data points is " + std::to_string(count) + ", not 1 to 300");
  }
  std::vector<format::Target> pairs;
  pairs.reserve(2 * count);
  for (int i = 0; i < count; ++i) {
    pairs.emplace_back(data.T[i]);
    pairs.emplace_back(data.XRAW[i]);
  }
  format::ReadFree(file, pairs);
  for (int i = 0; i < count; ++i) {
    if (!(data.T[i] > 0.0) || !std::isfinite(data.T[i])) {
      Refuse(file, "point " + std::to_string(i + 1) + " has a temperature that is not above 0");
    }
    if (!std::isfinite(data.XRAW[i])) {
      Refuse(file, "point " + std::to_string(i + 1) + " has a susceptibility that is not finite");
    }
  }
  data.NDATA = count;
  if (listing == nullptr) return;

  format::WriteFree(*listing, {"No. of observed data points:", data.NDATA});
  format::WriteFree(*listing, {"Temp.(K)   X(M)    Temp.(K)     X(M)     Temp.(K)    X(M)"});
  format::Items items;
  items.reserve(2 * count);
  for (int i = 0; i < count; ++i) {
    items.emplace_back(data.T[i]);
    items.emplace_back(data.XRAW[i]);
  }
  format::Write(*listing, kListing, items);
}

void ApplyCorrections(DataSet& data, double DIAM, double TIP, double FACTOR) {
  for (int i = 0; i < data.NDATA; ++i) data.XOBS[i] = (data.XRAW[i] - DIAM) * FACTOR;
  data.TIPADD = FACTOR * TIP;
  data.SXOBS2 = 0.0;
  for (int i = 0; i < data.NDATA; ++i) data.SXOBS2 = data.XOBS[i] * data.XOBS[i] + data.SXOBS2;
}

}  // namespace engine

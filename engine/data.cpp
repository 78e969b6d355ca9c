// The data: the data file, the checks on a data set, the corrections.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dialogue.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "engine/layouts.h"
#include "format/errors.h"

namespace engine {
namespace {

[[noreturn]] void Refuse(const format::LineSource& file, const std::string& what) {
  throw format::RunTimeError("read: data file '" +
                             format::Printable(file.name(), format::kNameShown) + "': " + what);
}

void List(const DataSet& data, format::RecordSink& listing) {
  format::WriteFree(listing, {"No. of observed data points:", data.NDATA});
  format::WriteFree(listing, {"Temp.(K)   X(M)    Temp.(K)     X(M)     Temp.(K)    X(M)"});
  format::Items items;
  items.reserve(2 * data.NDATA);
  for (int i = 0; i < data.NDATA; ++i) {
    items.emplace_back(data.T[i]);
    items.emplace_back(data.XRAW[i]);
  }
  format::Write(listing, kListing, items);
}

}  // namespace

std::string CountRefused(long long count) {
  if (count >= 1 && count <= kMaxData) return "";
  return "the number of data points is " + std::to_string(count) + ", not 1 to " +
         std::to_string(kMaxData);
}

std::string PointRefused(std::size_t i, double T, double chi) {
  const char* what = !(T > 0.0) || !std::isfinite(T) ? " has a temperature that is not above 0"
                     : !std::isfinite(chi)           ? " has a susceptibility that is not finite"
                                                     : nullptr;
  return what == nullptr ? "" : "point " + std::to_string(i + 1) + what;
}

void Load(DataSet& data, format::LineSource& file, format::RecordSink* listing) {
  int count = 0;
  format::ReadFree(file, {count});
  const std::string refused = CountRefused(count);
  if (!refused.empty()) Refuse(file, refused);
  std::vector<format::Target> pairs;
  pairs.reserve(2 * count);
  for (int i = 0; i < count; ++i) {
    pairs.emplace_back(data.T[i]);
    pairs.emplace_back(data.XRAW[i]);
  }
  format::ReadFree(file, pairs);
  for (int i = 0; i < count; ++i) {
    const std::string point = PointRefused(i, data.T[i], data.XRAW[i]);
    if (!point.empty()) Refuse(file, point);
  }
  data.NDATA = count;
  if (listing != nullptr) List(data, *listing);
}

void LoadFile(DataSet& data, const std::string& name, format::RecordSink* listing) {
  const std::string shown = "'" + format::Printable(name, format::kNameShown) + "'";
  // The system would read such a name only up to a NUL, or take a stray
  // escape sequence for part of it.
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw OpenError("open: cannot open data file " + shown +
                      ": the name holds a control character");
    }
  }
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) {
    throw OpenError("open: data file " + shown + " is a directory");
  }
  errno = 0;
  std::ifstream file(name);
  if (!file) {
    const int error = errno;
    throw OpenError("open: cannot open data file " + shown +
                    (error != 0 ? std::string(": ") + std::strerror(error) : ""));
  }
  format::LineSource source(file, name);
  Load(data, source, listing);
}

Data ReadData(const std::string& path) {
  auto set = std::make_unique<DataSet>();
  try {
    LoadFile(*set, path, nullptr);
  } catch (const OpenError& e) {
    throw FileError(e.what());
  } catch (const format::RunTimeError& e) {
    throw DataError(e.what());
  }
  Data data;
  data.file = path;
  data.temperature.assign(set->T.begin(), set->T.begin() + set->NDATA);
  data.chi.assign(set->XRAW.begin(), set->XRAW.begin() + set->NDATA);
  return data;
}

Data ParseData(const std::string& text, const std::string& name) {
  auto set = std::make_unique<DataSet>();
  std::istringstream in(text);
  format::LineSource source(in, name);
  try {
    Load(*set, source, nullptr);
  } catch (const format::RunTimeError& e) {
    throw DataError(e.what());
  }
  Data data;
  data.file = name;
  data.temperature.assign(set->T.begin(), set->T.begin() + set->NDATA);
  data.chi.assign(set->XRAW.begin(), set->XRAW.begin() + set->NDATA);
  return data;
}

void CheckData(const Data& data) {
  const std::string name = "data '" + format::Printable(data.file, format::kNameShown) + "': ";
  const std::size_t count = data.temperature.size();
  if (data.chi.size() != count) {
    throw DataError(name + std::to_string(count) + " temperatures but " +
                    std::to_string(data.chi.size()) + " susceptibilities");
  }
  const std::string refused = CountRefused(static_cast<long long>(count));
  if (!refused.empty()) throw DataError(name + refused);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string point = PointRefused(i, data.temperature[i], data.chi[i]);
    if (!point.empty()) throw DataError(name + point);
    // 1/T of a subnormal number is not finite.
    if (data.temperature[i] < DBL_MIN) {
      throw DataError(name + "point " + std::to_string(i + 1) +
                      " has a temperature too close to 0 to compute with");
    }
  }
}

void ApplyCorrections(DataSet& data, double DIAM, double TIP, double FACTOR) {
  for (int i = 0; i < data.NDATA; ++i) data.XOBS[i] = (data.XRAW[i] - DIAM) * FACTOR;
  data.TIPADD = FACTOR * TIP;
  data.SXOBS2 = 0.0;
  for (int i = 0; i < data.NDATA; ++i) data.SXOBS2 = data.XOBS[i] * data.XOBS[i] + data.SXOBS2;
}

}  // namespace engine

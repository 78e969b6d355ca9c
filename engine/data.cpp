// The data: the data file, the checks on a data set, the corrections.
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/dialogue.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "engine/layouts.h"
#include "format/errors.h"
#include "format/whole_file.h"

namespace engine {
namespace {

// 300 points with their comments fit in far less.
constexpr std::size_t kMaxDataBytes = 16u << 20;

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

std::string CountRefused(long long count, int most) {
  if (count >= 1 && count <= most) return "";
  return "the number of data points is " + std::to_string(count) + ", not 1 to " +
         std::to_string(most);
}

std::string PointRefused(std::size_t i, double T, double chi) {
  const char* what = !(T > 0.0) || !std::isfinite(T) ? " has a temperature that is not above 0"
                     : !std::isfinite(chi)           ? " has a susceptibility that is not finite"
                                                     : nullptr;
  return what == nullptr ? "" : "point " + std::to_string(i + 1) + what;
}

namespace {

// The count, at most `most`, and the pairs after it, with the dialogue's
// checks; `room(count)` makes room for them and gives where the
// temperatures and the susceptibilities go.
template <class Room>
int ReadPairs(format::LineSource& file, int most, Room room) {
  int count = 0;
  format::ReadFree(file, {count});
  const std::string refused = CountRefused(count, most);
  if (!refused.empty()) Refuse(file, refused);
  const auto [T, chi] = room(count);
  std::vector<format::Target> pairs;
  pairs.reserve(2 * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    pairs.emplace_back(T[i]);
    pairs.emplace_back(chi[i]);
  }
  format::ReadFree(file, pairs);
  for (int i = 0; i < count; ++i) {
    const std::string point = PointRefused(i, T[i], chi[i]);
    if (!point.empty()) Refuse(file, point);
  }
  return count;
}

}  // namespace

void Load(DataSet& data, format::LineSource& file, format::RecordSink* listing) {
  data.NDATA = ReadPairs(file, kMaxData, [&data](int) {
    return std::pair<double*, double*>(data.T.data(), data.XRAW.data());
  });
  if (listing != nullptr) List(data, *listing);
}

// `file` opened on `name`, with the dialogue's checks of the name.
static void Open(std::ifstream& file, const std::string& name) {
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
  file.open(name);
  if (!file) {
    const int error = errno;
    throw OpenError("open: cannot open data file " + shown +
                    (error != 0 ? std::string(": ") + std::strerror(error) : ""));
  }
}

void LoadFile(DataSet& data, const std::string& name, format::RecordSink* listing) {
  std::ifstream file;
  Open(file, name);
  format::LineSource source(file, name);
  Load(data, source, listing);
}

// The count, the pairs and the errors after them, from `source`.
static Data ReadPoints(format::LineSource& source, const std::string& name) {
  const std::string shown = "'" + format::Printable(name, format::kNameShown) + "'";
  Data data;
  data.file = name;
  try {
    // The count and the pairs as the dialogue reads them, up to kMaxPoints.
    const int count = ReadPairs(source, kMaxPoints, [&data](int n) {
      data.temperature.assign(n, 0.0);
      data.chi.assign(n, 0.0);
      return std::pair<double*, double*>(data.temperature.data(), data.chi.data());
    });
    // Then, optionally, a line "sigma" and one error per point; anything
    // else after the pairs is ignored, as the dialogue ignores it.
    std::string line;
    while (source.Next(line)) {
      const std::size_t first = line.find_first_not_of(" \t\r");
      if (first == std::string::npos) continue;
      std::string word = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
      for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (word != "sigma") break;
      data.sigma.assign(count, 0.0);
      std::vector<format::Target> errors;
      for (int i = 0; i < count; ++i) errors.emplace_back(data.sigma[i]);
      format::ReadFree(source, errors);
      break;
    }
  } catch (const format::UnreadableAnswer& e) {
    throw DataError("read: data file " + shown + ", line " + std::to_string(source.line()) + ": " +
                    e.detail());
  } catch (const format::RunTimeError& e) {
    const std::string what = e.what();
    // The reader's own refusals name the file and the point; the end of the
    // input says only that.
    if (what.size() < 12 || what.compare(what.size() - 12, 12, "end of input") != 0) {
      throw DataError(what);
    }
    throw DataError("read: data file " + shown + ": it ends at line " +
                    std::to_string(source.line()) + ", before all its points are read");
  }
  return data;
}

Data ReadData(const std::string& path) {
  const std::string shown = "'" + format::Printable(path, format::kNameShown) + "'";
  // Read whole, and only a regular file: a pipe would be waited on, a
  // device read without end.
  std::string why = path.find('\0') != std::string::npos ? "the name holds a NUL" : "";
  std::string text;
  if (why.empty()) text = format::ReadRegularFile(path, kMaxDataBytes, why);
  if (!why.empty()) throw FileError("open: cannot open data file " + shown + ": " + why);
  std::istringstream in(text);
  format::LineSource source(in, path);
  return ReadPoints(source, path);
}

Data ParseData(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  format::LineSource source(in, name);
  return ReadPoints(source, name);
}

void CheckData(const Data& data) {
  const std::string name = "data '" + format::Printable(data.file, format::kNameShown) + "': ";
  const std::size_t count = data.temperature.size();
  if (data.chi.size() != count) {
    throw DataError(name + std::to_string(count) + " temperatures but " +
                    std::to_string(data.chi.size()) + " susceptibilities");
  }
  if (!data.sigma.empty() && data.sigma.size() != count) {
    throw DataError(name + std::to_string(count) + " points but " +
                    std::to_string(data.sigma.size()) + " errors (sigma)");
  }
  if (count < 1 || count > static_cast<std::size_t>(kMaxPoints)) {
    throw DataError(name + CountRefused(static_cast<long long>(count), kMaxPoints));
  }
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

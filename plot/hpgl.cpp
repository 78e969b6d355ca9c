// The HP-GL plotter program SUSCEP.HGL: curve, data points, frame, ticks,
// labels and axis titles; and its picture SUSCEP.SVG.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "format/console.h"
#include "format/errors.h"
#include "plot/axis_range.h"
#include "plot/hpgl_svg.h"
#include "plot/layouts.h"
#include "plot/plot.h"

namespace plot {

namespace {

// Plotter geometry, single precision: just under 1021.08 units per inch.
constexpr float PUINCH = 1021.07996f;
constexpr float kXAxisLength = PUINCH * 8.5f;
constexpr float kYAxisLength = PUINCH * 6.0f;
const int kXOrigin = static_cast<int>(PUINCH * 2.0f);
const int kYOrigin = static_cast<int>(PUINCH * 1.5f);

// Coordinates beyond these would not fit an I5 field.
constexpr float kLowestCoordinate = -9999.0f;
constexpr float kHighestCoordinate = 99999.0f;

constexpr char ETX = '\x03';

constexpr char kHpglFileName[] = " HPPLOT file name is SUSCEP.HGL";

// An integer field value that no field of these layouts can hold, so that a
// label whose value is not finite prints as asterisks.
constexpr long long kUnprintable = std::numeric_limits<long long>::max();

// The map from plot values to plotter units, with the typed ranges.
struct Mapping {
  AxisRange x, y;
  float SX, SY;

  int Px(float v) const { return Coordinate((v - x.min) * SX + static_cast<float>(kXOrigin)); }
  int Py(float v) const { return Coordinate((v - y.min) * SY + static_cast<float>(kYOrigin)); }

  static int Coordinate(float u) {
    if (std::isnan(u)) return static_cast<int>(kLowestCoordinate);
    if (u < kLowestCoordinate) u = kLowestCoordinate;
    if (u > kHighestCoordinate) u = kHighestCoordinate;
    return static_cast<int>(u);
  }
};

// trunc(v) as an integer item; out of the integer range it cannot be shown.
format::Item Truncated(float v) {
  const float t = std::trunc(v);
  if (!std::isfinite(t) || t < -2147483648.0f || t >= 2147483648.0f) {
    return format::Item(kUnprintable);
  }
  return format::Item(static_cast<int>(t));
}

// A real item; a value that is not finite prints as asterisks.
format::Item Real(float v) {
  return std::isfinite(v) ? format::Item(static_cast<double>(v)) : format::Item(kUnprintable);
}

// 10 to the power `e` in single precision, by repeated squaring.
float PowerOfTen(int e) {
  float result = 1.0f, base = 10.0f;
  for (unsigned n = e < 0 ? -static_cast<unsigned>(e) : e; n != 0; n >>= 1) {
    if (n & 1u) result = result * base;
    base = base * base;
  }
  return e < 0 ? 1.0f / result : result;
}

void WriteXTicks(format::RecordSink& f, const Mapping& m, int IPLOT) {
  ForEachTick(m.x, [&](float t) {
    format::Write(f, kXTick, {m.Px(t), kYOrigin});
    if (IPLOT == 5) {
      format::Write(f, kXLabelInverse, {Real(t), ETX});
      return;
    }
    const float n = std::trunc(t + 0.5f);
    const char* layout = n < 10.0f ? kXLabel1 : n < 100.0f ? kXLabel2 : kXLabel3;
    format::Write(f, layout, {Truncated(t + 0.5f), ETX});
  });
}

void WriteYTicks(format::RecordSink& f, const Mapping& m, int IPLOT, float scale) {
  ForEachTick(m.y, [&](float t) {
    format::Write(f, kYTick, {kXOrigin, m.Py(t)});
    if (IPLOT == 1 || IPLOT == 5) {
      format::Write(f, kYLabelMilli, {Truncated(t * 1000.0f), ETX});
    } else if (IPLOT == 4) {
      format::Write(f, kYLabelValue, {Real(t / scale), ETX});
    } else {
      format::Write(f, kYLabelValue, {Real(t), ETX});
    }
  });
}

void WriteXTitle(format::RecordSink& f, int IPLOT) {
  format::Write(f, kXTitlePosition,
                {static_cast<int>(kXAxisLength / 2.0f + static_cast<float>(kXOrigin)), kYOrigin});
  if (IPLOT < 5) {
    format::Write(f, kXTitleT, {ETX});
  } else if (IPLOT == 5) {
    format::Write(f, kXTitleInverseT, {ETX, ETX, ETX});
  }
  format::Write(f, kArrow);
}

void WriteYTitle(format::RecordSink& f, int IPLOT, int E) {
  format::Write(f, kYTitlePosition,
                {kXOrigin, static_cast<int>(kYAxisLength / 2.0f + static_cast<float>(kYOrigin))});
  switch (IPLOT) {
    case 2:
      format::Write(f, kYTitleMuAt);
      format::Write(f, kMuSymbol);
      format::Write(f, kYTitleMu, {ETX});
      break;
    case 3:
      format::Write(f, kYTitleXTAt);
      format::Write(f, kChiSymbol);
      format::Write(f, kYTitleXT, {ETX, ETX, ETX, ETX, ETX, ETX, ETX});
      break;
    case 4:
      format::Write(f, kYTitleInverseAt);
      format::Write(f, kChiSymbol);
      format::Write(f, kYTitleInverse, {ETX, E, ETX, ETX, ETX, ETX});
      break;
    default:
      format::Write(f, kYTitleChiAt);
      format::Write(f, kChiSymbol);
      format::Write(f, kYTitleChi, {ETX, ETX, ETX, ETX, ETX, ETX, ETX});
      break;
  }
}

// Passes records on to the file and keeps the text written, line ends
// included, for the picture.
class KeepingCopy : public format::RecordSink {
 public:
  explicit KeepingCopy(format::RecordSink& file) : file_(file) {}
  void Record(std::string_view record) override {
    file_.Record(record);
    text_.append(record).append("\r\n");
  }
  const std::string& text() const { return text_; }

 private:
  format::RecordSink& file_;
  std::string text_;
};

// A typed value as the decimal number it was typed as: 0.1 read in single
// precision is 0.1, not 0.100000001490116.
double Decimal(float v) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  double d = v;
  std::from_chars(buffer, end, d);
  return d;
}

// The picture beside the plotter file, drawn from the very text written,
// and put in place together with it: the two always agree.
void WriteWithPicture(format::RecordFile& file, const std::string& hpgl,
                      const std::string& hpgl_path, const std::string* svg) {
  const std::string path = std::filesystem::path(hpgl_path).replace_extension(".SVG").string();
  Drawing drawing;
  if (svg == nullptr) {
    try {
      drawing = InterpretHpgl(hpgl);
    } catch (const HpglError& e) {
      throw format::RunTimeError("write error on file " + path + ": " + e.what());
    }
  }
  format::RecordFile picture(path, format::RecordFile::LineEnd::kLf);
  if (svg == nullptr) {
    WriteSvg(drawing, picture);
  } else {
    // The document's own lines, each ended by LF.
    for (std::size_t at = 0; at < svg->size();) {
      const std::size_t end = std::min(svg->find('\n', at), svg->size());
      picture.Record(std::string_view(*svg).substr(at, end - at));
      at = end + 1;
    }
  }
  format::CommitTogether({&file.file(), &picture.file()});
}

// The plot with the axis ranges `x` and `y`.
void Draw(const PlotState& s, const AxisRange& x, const AxisRange& y, format::RecordSink& f) {
  Mapping m{};
  m.x = x;
  m.y = y;
  m.SX = kXAxisLength / (m.x.max - m.x.min);
  m.SY = kYAxisLength / (m.y.max - m.y.min);

  // The exponent of the 1/X axis comes from the typed Y-max.
  int E = 0;
  if (m.y.max > 0.0f) E = static_cast<int>(std::trunc(std::log10(m.y.max)));
  const float scale = PowerOfTen(E);

  format::Write(f, kStart);
  for (int i = 0; i < s.NCAL; ++i) {
    if (s.OKCAL[i]) format::Write(f, kCurvePoint, {m.Px(s.PXCAL[i]), m.Py(s.PYCAL[i])});
  }
  format::Write(f, kPenUp);
  for (int i = 0; i < s.NDATA; ++i) {
    if (s.OKOBS[i]) format::Write(f, kDataPoint, {m.Px(s.PXOBS[i]), m.Py(s.PYOBS[i])});
  }

  const float xs[] = {m.x.min, m.x.max, m.x.max, m.x.min, m.x.min};
  const float ys[] = {m.y.min, m.y.min, m.y.max, m.y.max, m.y.min};
  for (int k = 0; k < 5; ++k) format::Write(f, kCurvePoint, {m.Px(xs[k]), m.Py(ys[k])});
  format::Write(f, kPenUp);
  format::Write(f, kCharSize);

  WriteXTicks(f, m, s.IPLOT);
  WriteYTicks(f, m, s.IPLOT, scale);
  WriteXTitle(f, s.IPLOT);
  WriteYTitle(f, s.IPLOT, E);

  format::Write(f, kEnd);
}

}  // namespace

void HpglPlot(const PlotState& s, format::Console& con, const std::string& path,
              const Picture& picture) {
  AxisRange x, y;
  AskAxisRanges(s, con, kXAxisLength, kYAxisLength, x, y);
  format::RecordFile file(path);
  KeepingCopy f(file);
  con.Free({kHpglFileName});
  Draw(s, x, y, f);
  if (!picture) {
    WriteWithPicture(file, f.text(), path, nullptr);
    return;
  }
  const std::string svg = picture({Decimal(x.min), Decimal(x.max), Decimal(x.divn), Decimal(y.min),
                                   Decimal(y.max), Decimal(y.divn)});
  WriteWithPicture(file, f.text(), path, &svg);
}

std::string HpglText(const PlotState& s) {
  // The values the range dialogue offers.
  const AxisRange x{s.PXMIN, s.PXMAX, (s.PXMAX - s.PXMIN) / 10.0f};
  const AxisRange y{s.PYMIN, s.PYMAX, (s.PYMAX - s.PYMIN) / 10.0f};
  if (!Drawable(x, kXAxisLength) || !Drawable(y, kYAxisLength)) return "";
  class Text : public format::RecordSink {
   public:
    void Record(std::string_view record) override { text.append(record).append("\r\n"); }
    std::string text;
  } f;
  Draw(s, x, y, f);
  return f.text;
}

}  // namespace plot

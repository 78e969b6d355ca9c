// The HP-GL plotter program SUSCEP.HGL: curve, data points, frame, ticks,
// labels and axis titles; and its picture SUSCEP.SVG.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "format/console.h"
#include "format/errors.h"
#include "plot/axis_range.h"
#include "plot/hpgl_svg.h"
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

constexpr char kStart[] = "(1X,'IN;SP1;PU;')";
constexpr char kCurvePoint[] = "(1X,'PA',I5,',',I5,'PD')";
constexpr char kPenUp[] = "(1X,'PU;')";
constexpr char kDataPoint[] = "(1X,'PA',I5,',',I5,'CI60,10WG60,0,360,10;')";
constexpr char kCharSize[] = "(1X,'SI0.2,0.3;')";
constexpr char kXTick[] = "(1X,'PA',I5,',',I5,'XT;')";
constexpr char kXLabelInverse[] = "(1X,'CP-1.5,-1.5;LB',F3.2,A)";
constexpr char kXLabel1[] = "(1X,'CP-.5,-1.5;LB',I1,A)";
constexpr char kXLabel2[] = "(1X,'CP-1.,-1.5;LB',I2,A)";
constexpr char kXLabel3[] = "(1X,'CP-1.5,-1.5;LB',I3,A)";
constexpr char kYTick[] = "(1X,'PA',I5,',',I5,'YT;')";
constexpr char kYLabelMilli[] = "(1X,'CP-3.5,-.5,LB',I3,A)";
constexpr char kYLabelValue[] = "(1X,'CP-3.5,-.5,LB',F3.1,A)";
constexpr char kXTitlePosition[] = "(1X,'PA',I5,',',I5,';')";
constexpr char kXTitleT[] = "(1X,'CP-3,-3;LBT (K) ',A)";
constexpr char kXTitleInverseT[] =
    "(1X,'CP-4,-3;LB1/T (K',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3; CP0,-.5;LB)',A)";
constexpr char kArrow[] =
    "(1X,'PR100,50PD;PR90,0PR-15,-24PR45,36;',/,' PR-45,36PR15,-24PR-90,0PR0,-24PU;')";
constexpr char kYTitlePosition[] = "(1X,'PA',I5,',',I5,'SI.2,.3;DI0,1;')";
constexpr char kYTitleMuAt[] = "(1X,'CP-4,-3;')";
constexpr char kYTitleXTAt[] = "(1X,'CP-10,-3;')";
constexpr char kYTitleInverseAt[] = "(1X,'CP-8,-3;')";
constexpr char kYTitleChiAt[] = "(1X,'CP-6,-3;')";
constexpr char kYTitleMu[] = "(1X,'LB   (B.M.) ',A)";
constexpr char kYTitleXT[] =
    "(1X,'LB  T (x10',A,'CP0,.5;SI.18,.25;LB3',A,'SI.2,.3;CP0,-.5;LBcm',A,'CP0,.5;',/,"
    "' SI.18,.25;LB3',A,' SI.2,.3;CP0,-.5;',/,"
    "' LBmol',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3;CP0,-.5LBK) ',A)";
constexpr char kYTitleInverse[] =
    "(1X,'CP-3,0LB1/   (x10',A,'CP0,.5;SI.18,.25;LB',I1,A,'SI.2,.3;CP0,-.5;LB cm',A,"
    "'CP0,.5;',/,' SI.18,.25;LB-3',A,' SI.2,.3;CP0,-.5;LBmol)',A)";
constexpr char kYTitleChi[] =
    "(1X,'LB (x10',A,'CP0,.5;SI.18,.25;LB3',A,'SI.2,.3;CP0,-.5;LBcm',A,"
    "'CP0,.5;SI.18,.25;LB3',A,/,"
    "' SI.2,.3;CP0,-.5;LBmol',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3;CP0,-.5LB) ',A)";
constexpr char kChiSymbol[] =
    "(1X,'PR-1206,0;',/,"
    "' PR-213,24PD;PR-1,2PR1,4PR4,4PR6,-2PR3,-4PR1,-6;',/,"
    "' PR-1,-6PR-4,-4PR-7,0PR-9,4PR-4,8PR-1,12PR1,12PR4,12;',/,"
    "' PR9,16PR15,16PR78,44PR4,8PR0,4PR-1,4PR-3,-8PR-3,0;',/,"
    "' PR-6,4PR-1,4PR-1,8PR1,8PR7,4PR6,-2PR6,-6PR1,-8;',/,"
    "' PR1,-12PR0,-8PR-3,-12PR-87,-52PR-12,-12PR-9,-16;',/,"
    "' PR-3,-8PR0,-8PR3,-4PR4,0PU;',' PR103,4PD;PR-9,-12PR-108,144PR9,12PR108,-144PU;')";
constexpr char kMuSymbol[] =
    "(1X,'PR-1206,0;',/,"
    "' PR0,0PD;PR-120,40,0,20,42,-8,12,4,4,4,1,12;',/,"
    "' PR-1,8,-4,8,-7,8,-46,24,0,20,51,-20,4,2,1,6;',/,"
    "' PR-1,8,-4,8,4,0,4,-2,4,-6,1,-8,-1,-8,-4,-8;',/,"
    "' PR-6,-6,6,-6,7,-12,1,-16,0,-8,-3,-12,-4,-4;',/,"
    "' PR-4,-4,-24,6,90,-40,0,-20PU;')";
constexpr char kEnd[] = "(1X,'PU;SP0;')";

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

// The picture beside the plotter file, drawn from the very text written.
void WritePicture(const std::string& hpgl, const std::string& hpgl_path) {
  const std::string path = std::filesystem::path(hpgl_path).replace_extension(".SVG").string();
  try {
    WriteSvgFile(hpgl, path);
  } catch (const HpglError& e) {
    throw format::RunTimeError("write error on file " + path + ": " + e.what());
  }
}

}  // namespace

void HpglPlot(const PlotState& s, format::Console& con, const std::string& path) {
  Mapping m{};
  AskAxisRanges(s, con, kXAxisLength, kYAxisLength, m.x, m.y);
  m.SX = kXAxisLength / (m.x.max - m.x.min);
  m.SY = kYAxisLength / (m.y.max - m.y.min);

  // The exponent of the 1/X axis comes from the typed Y-max.
  int E = 0;
  if (m.y.max > 0.0f) E = static_cast<int>(std::trunc(std::log10(m.y.max)));
  const float scale = PowerOfTen(E);

  format::RecordFile file(path);
  KeepingCopy f(file);
  con.Free({kHpglFileName});

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
  file.Close();
  WritePicture(f.text(), path);
}

}  // namespace plot

// The figure: tick labels read back from the SVG over many ranges, the
// numbers of the values box, figures that say why they are empty, stable
// bytes, and a real renderer's verdict.
#include "figure/figure.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kMinus = "\xE2\x88\x92";

// The text of every <text class="cls" ...> element with its y.
struct Label {
  double x = 0, y = 0;
  std::string text;
};
std::vector<Label> Labels(const std::string& svg, const std::string& cls) {
  std::vector<Label> out;
  const std::regex re("<text x=\"([-0-9.]+)\" y=\"([-0-9.]+)\" class=\"" + cls +
                      "\"[^>]*>([^<]*)</text>");
  for (std::sregex_iterator i(svg.begin(), svg.end(), re), end; i != end; ++i) {
    out.push_back({std::stod((*i)[1]), std::stod((*i)[2]), (*i)[3]});
  }
  return out;
}

// The centres of the data marks, in drawing order.
std::vector<std::pair<double, double>> Circles(const std::string& svg) {
  std::vector<std::pair<double, double>> out;
  const std::regex re("<circle cx=\"([-0-9.]+)\" cy=\"([-0-9.]+)\"");
  for (std::sregex_iterator i(svg.begin(), svg.end(), re), end; i != end; ++i) {
    out.emplace_back(std::stod((*i)[1]), std::stod((*i)[2]));
  }
  return out;
}

double Attribute(const std::string& svg, const std::string& name) {
  const size_t at = svg.find(name + "=\"");
  return std::stod(svg.substr(at + name.size() + 2));
}

// A label as a number: U+2212 read as a minus.
double Number(std::string s) {
  for (size_t at; (at = s.find(kMinus)) != std::string::npos;) s.replace(at, kMinus.size(), "-");
  return std::stod(s);
}

int Decimals(const std::string& s) {
  const size_t dot = s.find('.');
  return dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
}

// The exponent of the factor 10ⁿ in the y title, 0 without one.
int TitleExponent(const std::string& svg) {
  const size_t start = svg.find("class=\"ytitle\"");
  const std::string title = svg.substr(start, svg.find("</text>", start) - start);
  const size_t ten = title.find(" 10");
  if (ten == std::string::npos) return 0;
  static const std::vector<std::string> digits = {
      "\xE2\x81\xB0", "\xC2\xB9",     "\xC2\xB2",     "\xC2\xB3",     "\xE2\x81\xB4",
      "\xE2\x81\xB5", "\xE2\x81\xB6", "\xE2\x81\xB7", "\xE2\x81\xB8", "\xE2\x81\xB9"};
  size_t at = ten + 3;
  int sign = 1, n = 0;
  if (title.compare(at, 3, "\xE2\x81\xBB") == 0) sign = -1, at += 3;
  for (bool more = true; more;) {
    more = false;
    for (int d = 0; d < 10; ++d) {
      if (title.compare(at, digits[d].size(), digits[d]) == 0) {
        n = 10 * n + d, at += digits[d].size(), more = true;
      }
    }
  }
  return sign * n;
}

// chi from lo to hi over 2..300 K, with a fit through the points.
figure::Plot Ramp(double lo, double hi, int n = 12) {
  figure::Series s;
  for (int i = 0; i < n; ++i) {
    s.T.push_back(2.0 + 298.0 * i / (n - 1));
    s.chi.push_back(lo + (hi - lo) * i / (n - 1));
  }
  s.curve_T = s.T;
  s.curve_chi = s.chi;
  figure::Plot p;
  p.series.push_back(s);
  return p;
}

TEST(FigureTicks, LabelsReadBackFromTheSvgAreDistinctAndTrue) {
  // Ranges from 1e-7 to 1e4, spans from 0.1 % to six decades, and some
  // that cross zero.
  const std::vector<std::pair<double, double>> ranges = {
      {1.0e-7, 1.001e-7}, {1.0e-7, 1.1e-7}, {1.0e-7, 1.0e-6}, {2.0e-7, 3.0e-1},   {1.0e-4, 1.0e2},
      {1.0e-3, 1.001e-3}, {0.0123, 0.0456}, {0.5, 0.5005},    {0.9, 1.3},         {1.0, 1.001},
      {11.0, 24.0},       {3.2, 3.21},      {99.9, 100.0},    {250.0, 260.0},     {1.0e-2, 1.0e4},
      {9990.0, 10000.0},  {1.0e4, 1.001e4}, {-0.002, 0.003},  {-5.0e-6, -1.0e-6}, {1.0e-6, 1.0}};
  for (const auto& [lo, hi] : ranges) {
    std::ostringstream range;
    range << lo << " .. " << hi;
    SCOPED_TRACE(range.str());
    figure::Options o;
    o.quantity = figure::kChi;
    const std::string svg = figure::Draw(Ramp(lo, hi), o);
    EXPECT_EQ(svg.find("***"), std::string::npos);
    const std::vector<Label> labels = Labels(svg, "ytick");
    ASSERT_GE(labels.size(), 2u);
    const int e = TitleExponent(svg);
    // The tick's place from two data marks of known value.
    const auto marks = Circles(svg);
    ASSERT_EQ(marks.size(), 13u);  // and the legend's
    const double y0 = marks[0].second, y1 = marks[11].second;
    const double fs = Attribute(svg, "font-size");
    std::set<std::string> seen;
    double largest = 0.0;
    for (const Label& l : labels) {
      EXPECT_TRUE(std::regex_match(l.text, std::regex("(\xE2\x88\x92)?[0-9]+(\\.[0-9]+)?")))
          << l.text;
      EXPECT_TRUE(seen.insert(l.text).second) << "repeated " << l.text;
      const double shown = Number(l.text) * std::pow(10.0, e);
      const double tick = lo + (hi - lo) * (l.y - 0.35 * fs - y0) / (y1 - y0);
      const double unit = std::pow(10.0, e - Decimals(l.text));
      // Half a unit of the last digit, and the drawing's 0.01 mm.
      EXPECT_NEAR(shown, tick, 0.5 * unit + 0.02 / std::fabs(y1 - y0) * (hi - lo)) << l.text;
      largest = std::max(largest, std::fabs(Number(l.text)));
    }
    // A factor only where the labels are scaled by it: plain numbers from
    // 0.01 to 99999, and scaled ones from 1 to 999.
    if (e == 0) {
      EXPECT_TRUE(largest >= 1e-2 && largest < 1e5) << largest;
    } else {
      EXPECT_TRUE(largest >= 1.0 && largest < 1000.0) << largest << " at 10^" << e;
    }
  }
}

TEST(FigureTicks, StepsOfOneTwoFiveAndATypedStepWhenRound) {
  struct Case {
    double lo, hi;
    figure::Limits given;
    double step;
    std::vector<std::string> labels;
  };
  const std::vector<Case> cases = {
      {2.0, 300.0, {}, 50.0, {"0", "50", "100", "150", "200", "250", "300"}},
      {0.0, 300.0, {0.0, 300.0, 29.9}, 50.0, {"0", "50", "100", "150", "200", "250", "300"}},
      {0.0, 300.0, {0.0, 300.0, 100.0}, 100.0, {"0", "100", "200", "300"}},
      {0.0, 10.0, {0.0, 10.0, 2.5}, 2.5, {"0.0", "2.5", "5.0", "7.5", "10.0"}},
      {11.0, 24.0, {}, 2.0, {"12", "14", "16", "18", "20", "22", "24"}},
      {0.5, 0.5005, {}, 1e-4, {"0.5000", "0.5001", "0.5002", "0.5003", "0.5004", "0.5005"}},
  };
  for (const Case& c : cases) {
    const figure::Axis a = figure::ChooseAxis(c.lo, c.hi, 8, true, c.given);
    EXPECT_DOUBLE_EQ(a.step, c.step) << c.lo << " " << c.hi;
    EXPECT_EQ(a.labels, c.labels) << c.lo << " " << c.hi;
  }
  // Extremes: ticks all the same, and a range wider than the doubles.
  for (const auto& [lo, hi] : std::vector<std::pair<double, double>>{
           {7.0, 7.0}, {0.0, 0.0}, {-1.7e308, 1.7e308}, {1e-300, 2e-300}}) {
    const figure::Axis a = figure::ChooseAxis(lo, hi, 6);
    EXPECT_GE(a.ticks.size(), 2u) << lo;
    EXPECT_LE(a.ticks.size(), 6u) << lo;
    EXPECT_TRUE(std::isfinite(a.min) && std::isfinite(a.max) && a.max > a.min) << lo;
    EXPECT_EQ(std::set<std::string>(a.labels.begin(), a.labels.end()).size(), a.labels.size());
  }
  const figure::Axis small = figure::ChooseAxis(1.0e-3, 4.0e-3, 6);
  EXPECT_EQ(small.exponent, -3);
  EXPECT_EQ(small.labels, (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST(FigureNumbers, ValuesWithTheirErrorsAndFixedDigits) {
  const double nan = std::nan("");
  const std::vector<std::tuple<double, double, std::string>> cases = {
      {2.0531, 0.0123, "2.053 \xC2\xB1 0.012"},
      {-12.3449, 0.67, kMinus + "12.34 \xC2\xB1 0.67"},
      {2.1e-4, 3e-5,
       "(2.10 \xC2\xB1 0.30)\xC3\x97"
       "10\xE2\x81\xBB\xE2\x81\xB4"},
      {1234.5, 0.0996, "1234.50 \xC2\xB1 0.10"},
      {1.0e7, 3.0e5,
       "(1.000 \xC2\xB1 0.030)\xC3\x97"
       "10\xE2\x81\xB7"},
      {-95.123, 12.0, kMinus + "95 \xC2\xB1 12"},
      {5.0, nan, "5.000"},
      {5.0, 0.0, "5.000 (fixed)"},
      {0.0, nan, "0"},
  };
  for (const auto& [value, error, text] : cases) {
    EXPECT_EQ(figure::ValueWithError(value, error), text) << value << " " << error;
  }
  EXPECT_EQ(figure::Fixed(-0.0001, 2), "0.00");
  EXPECT_EQ(figure::Fixed(-1.5, 1), kMinus + "1.5");
  EXPECT_EQ(figure::Fixed(1234.5, -1), "1230");
  EXPECT_EQ(figure::Fixed(nan, 2), "undefined");
}

TEST(FigureQuantities, TheFivePlotsOfTheMenu) {
  const double T = 50.0, chi = 0.02;
  EXPECT_DOUBLE_EQ(figure::Ordinate(figure::kChi, T, chi), 0.02);
  EXPECT_DOUBLE_EQ(figure::Ordinate(figure::kMu, T, chi), std::sqrt(0.02 * 50.0 * 7.997));
  EXPECT_DOUBLE_EQ(figure::Ordinate(figure::kChiT, T, chi), 1.0);
  EXPECT_DOUBLE_EQ(figure::Ordinate(figure::kInverseChi, T, chi), 50.0);
  EXPECT_DOUBLE_EQ(figure::Abscissa(figure::kChiVsInverseT, T), 0.02);
  EXPECT_DOUBLE_EQ(figure::Abscissa(figure::kChiT, T), 50.0);
  // Titles with symbols and units.
  const std::vector<std::pair<int, std::string>> titles = {
      {1, "cm\xC2\xB3 mol\xE2\x81\xBB\xC2\xB9"},
      {2, ">\xCE\xBC</tspan><tspan dy=\"0.8\" font-size=\"1.91\">B<"},
      {3, "cm\xC2\xB3 K mol\xE2\x81\xBB\xC2\xB9"},
      {4, "mol cm\xE2\x81\xBB\xC2\xB3"},
      {5, "K\xE2\x81\xBB\xC2\xB9"}};
  for (const auto& [q, unit] : titles) {
    figure::Options o;
    o.quantity = q;
    EXPECT_NE(figure::Draw(Ramp(0.5, 2.0), o).find(unit), std::string::npos) << q;
  }
}

// The figure of an Er(III)-like set: chi T from 11 to 24 with errors, the
// points below 5 K outside the fit, residuals and a values box.
figure::Plot Erbium() {
  figure::Series s;
  s.label = "Er2 & <dimer>.dat";
  auto chiT = [](double T) { return 24.0 - 13.0 * std::exp(-T / 20.0); };
  for (int i = 0; i < 40; ++i) {
    const double T = 1.8 + 0.19 * i * i;
    s.T.push_back(T);
    s.chi.push_back(chiT(T) / T * (1.0 + 0.004 * std::sin(3.0 * i)));
    s.sigma.push_back(0.01 * chiT(T) / T);
    s.excluded.push_back(T < 5.0);
    s.calc.push_back(chiT(T) / T);
  }
  for (int i = 0; i <= 200; ++i) {
    const double T = 1.8 * std::pow(300.0 / 1.8, i / 200.0);
    s.curve_T.push_back(T);
    s.curve_chi.push_back(chiT(T) / T);
  }
  figure::Plot p;
  p.series.push_back(s);
  p.values = {{"g-value", 1.2012, 0.0034}, {"J", -0.412, 0.021}, {"TIP", 1e-4, 0.0}};
  return p;
}

TEST(FigureErbium, ChiTAboveTenIsLabelledPlainlyWithHollowExcludedPoints) {
  figure::Options o;
  o.residuals = true;
  const std::string svg = figure::Draw(Erbium(), o);
  EXPECT_EQ(TitleExponent(svg), 0);
  std::vector<std::string> labels;
  for (const Label& l : Labels(svg, "ytick")) labels.push_back(l.text);
  EXPECT_EQ(labels, (std::vector<std::string>{"12", "14", "16", "18", "20", "22", "24"}));
  EXPECT_FALSE(Labels(svg, "rtick").empty());
  EXPECT_NE(svg.find("fill=\"white\" stroke=\"#0072B2\""), std::string::npos);  // hollow
  EXPECT_NE(svg.find("g-value = 1.2012 \xC2\xB1 0.0034"), std::string::npos);
  EXPECT_NE(svg.find("Er2 &amp; &lt;dimer&gt;.dat"), std::string::npos);
  EXPECT_NE(svg.find("width=\"85mm\""), std::string::npos);
  o.width_mm = 170.0;
  EXPECT_NE(figure::Draw(Erbium(), o).find("width=\"170mm\""), std::string::npos);
}

TEST(FigureUndrawable, SaysWhyInsteadOfThrowing) {
  figure::Plot one = Ramp(1.0, 1.0, 2);
  one.series[0].T = {5.0};
  one.series[0].chi = {0.1};
  figure::Plot same = Ramp(1.0, 2.0, 4);
  same.series[0].T = {2.0, 2.0, 2.0, 2.0};
  figure::Plot negative = Ramp(-1.0, -2.0, 4);
  const std::vector<std::tuple<figure::Plot, int, std::string>> cases = {
      {figure::Plot{}, 1, "there are no data points."},
      {one, 3, "there is one point to plot (T = 5 K)."},
      {same, 1, "all 4 points are at one temperature (T = 2 K)."},
      {negative, 2, "no point has an effective moment (every \xCF\x87T is negative)."},
      {negative, 1, ""},
  };
  for (const auto& [plot, q, why] : cases) {
    EXPECT_EQ(figure::Undrawable(plot, q), why);
    figure::Options o;
    o.quantity = q;
    const std::string svg = figure::Draw(plot, o);
    EXPECT_EQ(svg.find("No figure:") != std::string::npos, !why.empty()) << why;
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  }
}

TEST(FigureBytes, TheSameInputGivesTheSameBytesInAnyLocale) {
  figure::Options o;
  o.residuals = true;
  const std::string first = figure::Draw(Erbium(), o);
  EXPECT_EQ(figure::Draw(Erbium(), o), first);
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"}) {
    if (!std::setlocale(LC_ALL, name)) continue;
    EXPECT_EQ(figure::Draw(Erbium(), o), first) << name;
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_FALSE(std::regex_search(first, std::regex("[0-9],[0-9]")));
}

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Every kind of figure through librsvg: no error, no warning.
TEST(FigureRendering, RsvgConvertDrawsEveryKindWithoutAWord) {
  const auto dir = std::filesystem::temp_directory_path() / "suscep_figure_render";
  std::filesystem::create_directories(dir);
  if (Shell("command -v rsvg-convert > '" + (dir / "found.txt").string() + "'") != 0) {
    GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";
  }
  std::vector<std::pair<std::string, std::string>> figures;
  for (int q = 1; q <= 5; ++q) {
    figure::Options o;
    o.quantity = q;
    o.residuals = q % 2 == 1;
    figures.emplace_back("q" + std::to_string(q), figure::Draw(Erbium(), o));
  }
  figure::Plot odd = Erbium();
  odd.series[0].label = "bad \xFF\x01 bytes";
  figures.emplace_back("odd", figure::Draw(odd, {}));
  figures.emplace_back("grid", figure::Grid({Erbium(), Ramp(1e-3, 2e-3), figure::Plot{}}, {}));
  figures.emplace_back("empty", figure::Draw(figure::Plot{}, {}));
  for (const auto& [name, svg] : figures) {
    const auto path = dir / (name + ".svg");
    std::ofstream(path) << svg;
    const std::string png = (dir / (name + ".png")).string(), err = (dir / "err.txt").string();
    EXPECT_EQ(Shell("rsvg-convert -o '" + png + "' '" + path.string() + "' 2> '" + err + "'"), 0)
        << name;
    std::ifstream in(err);
    std::stringstream said;
    said << in.rdbuf();
    EXPECT_EQ(said.str(), "") << name;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

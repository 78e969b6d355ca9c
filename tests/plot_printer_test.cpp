// The character plot on the console.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plot/plot.h"

namespace {

// A printer-plot state: data at T with XOBS, calculated values CHICAL.
plot::PlotState MakeState(const std::vector<double>& T, const std::vector<double>& XOBS,
                          const std::vector<double>& CHICAL, int IPLOT = 1) {
  plot::PlotState s;
  s.IPLOT = IPLOT;
  s.IPTYPE = 2;
  const int n = static_cast<int>(T.size());
  plot::PrepareAbscissae(s, T.data(), n);
  for (int i = 0; i < s.NCAL; ++i) s.CHICAL[i] = CHICAL[i];
  plot::PrepareOrdinates(s, T.data(), XOBS.data(), n);
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The console lines of the picture; checks that the pause took one line.
std::vector<std::string> Picture(const plot::PlotState& s) {
  std::istringstream in("whatever is typed\nnext answer\n");
  std::ostringstream out;
  format::Console con(in, out);
  plot::PrinterPlot(s, con);
  EXPECT_EQ(con.ReadLine(), "next answer");
  return Lines(out.str());
}

// A picture line with `marks` at columns 1..75 (console position 3 + column).
std::string Row(std::initializer_list<std::pair<int, char>> marks) {
  std::string row;
  for (const auto& [col, ch] : marks) {
    if (static_cast<int>(row.size()) < col + 3) row.resize(col + 3, ' ');
    row[col + 2] = ch;
  }
  return row;
}

TEST(PrinterPlot, FourPointsFallInColumns1_26_50_75) {
  const plot::PlotState s =
      MakeState({10, 20, 30, 40}, {0.4, 0.3, 0.2, 0.1}, {0.05, 0.05, 0.05, 0.05});
  std::vector<int> columns;
  for (const std::string& line : Picture(s)) {
    for (size_t p = 3; p < line.size(); ++p) {
      if (line[p] == '*') columns.push_back(static_cast<int>(p) - 2);
    }
  }
  EXPECT_EQ(columns, (std::vector<int>{1, 26, 50, 75}));
}

TEST(PrinterPlot, BandsEdgesAndMarkOrder) {
  // Ordinates 0..20 make every band edge an exact integer. Point 1: "c" over
  // "*" in one cell. Point 2: "*" on the edge 7, in two lines. Point 4's "*"
  // covers point 3's "c" and point 4's "c" covers point 3's "*".
  const plot::PlotState s = MakeState({10, 20, 30, 30}, {20, 7, 0, 10.5}, {20, 15.5, 10.5, 0});
  const std::vector<std::string> expected = {
      Row({{1, 'c'}}),
      "",
      "",
      "",
      Row({{38, 'c'}}),
      "",
      "",
      "",
      "",
      Row({{75, '*'}}),
      "",
      "",
      Row({{38, '*'}}),
      Row({{38, '*'}}),
      "",
      "",
      "",
      "",
      "",
      Row({{75, 'c'}}),
  };
  EXPECT_EQ(Picture(s), expected);
}

TEST(PrinterPlot, EqualOrdinatesGiveOneLine) {
  const plot::PlotState s = MakeState({10, 20, 30}, {0.5, 0.5, 0.5}, {0.5, 0.5, 0.5});
  EXPECT_EQ(Picture(s), (std::vector<std::string>{Row({{1, 'c'}, {38, 'c'}, {75, 'c'}})}));
}

TEST(PrinterPlot, OneTemperaturePutsEveryMarkInColumn1) {
  const plot::PlotState s = MakeState({5, 5, 5}, {1.03, 2.07, 3.0}, {1.53, 2.52, 3.0});
  const std::vector<std::string> lines = Picture(s);
  ASSERT_GE(lines.size(), 20u);
  int marked = 0;
  for (const std::string& line : lines) {
    ASSERT_LE(line.size(), 4u);
    if (line.size() == 4) ++marked;
  }
  EXPECT_EQ(marked, 5);
}

TEST(PrinterPlot, BandTooThinToLowerTheEdgeEndsAfterOneLine) {
  const double below_one = std::nextafter(1.0f, 0.0f);
  const plot::PlotState s = MakeState({10, 20}, {1.0, below_one}, {1.0, below_one});
  EXPECT_EQ(Picture(s), (std::vector<std::string>{Row({{1, 'c'}})}));
}

TEST(PrinterPlot, LeavesOutPointsWithoutAQuantity) {
  // Under option 4 the data point with X = 0 has no 1/X; its curve value does.
  const plot::PlotState s = MakeState({10, 20, 30}, {0.5, 0.0, 0.25}, {0.5, 0.2, 0.25}, 4);
  int stars = 0, curve = 0;
  for (const std::string& line : Picture(s)) {
    for (char c : line) {
      stars += c == '*';
      curve += c == 'c';
    }
  }
  EXPECT_EQ(stars, 0);  // the other two data points are covered by their "c"
  EXPECT_EQ(curve, 3);
}

// The first plot of a Bleaney-Bower fit with a Curie impurity (expression
// 24: g 2.1, J-BB -140, COEFF1 0.98), as the program shows it.
TEST(PrinterPlot, MatchesTheReferencePicture) {
  std::ifstream data(SUSCEP_SOURCE_DIR "/tests/data/plot/cuac.dat");
  int n = 0;
  data >> n;
  std::vector<double> T(n), X(n), chi(n);
  for (int i = 0; i < n; ++i) data >> T[i] >> X[i];
  ASSERT_TRUE(data) << "cuac.dat";

  const double HCK = 1.4387676f, NB2K = 0.37514585f;
  const double g = 2.1, J = -140.0, x = 0.98, S = 0.5;
  for (int i = 0; i < n; ++i) {
    const double CG2 = g * g * NB2K;
    const double xbb = HCK * J * 2 / T[i];
    const double bb = (2 * CG2 / T[i]) / (std::exp(-xbb) + 3) / 2;
    const double curie = (CG2 / T[i]) * (S + 1) * S / 3;
    chi[i] = 0.0 + ((0.0 + x * bb) + (1 - x) * curie);
  }
  const plot::PlotState s = MakeState(T, X, chi);

  std::ifstream expected_file(SUSCEP_SOURCE_DIR "/tests/data/plot/cuac_first_plot.txt");
  std::stringstream expected;
  expected << expected_file.rdbuf();
  EXPECT_EQ(Picture(s), Lines(expected.str()));
}

}  // namespace

// The HP-GL interpreter and the SVG picture beside the plotter file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "format/errors.h"
#include "plot/hpgl_svg.h"
#include "plot/plot.h"
#include "tests/test_util.h"

namespace {

using plot::Circle;
using plot::Label;
using plot::Polyline;
using plot::Wedge;

template <typename Shape>
std::vector<Shape> All(const plot::Drawing& d) {
  std::vector<Shape> shapes;
  for (const plot::Mark& m : d.marks) {
    if (const Shape* s = std::get_if<Shape>(&m.shape)) shapes.push_back(*s);
  }
  return shapes;
}

std::vector<std::pair<double, double>> Points(const Polyline& l) {
  std::vector<std::pair<double, double>> p;
  for (const plot::Point& q : l.points) p.emplace_back(q.x, q.y);
  return p;
}

using Path = std::vector<std::pair<double, double>>;

TEST(HpglInterpreter, PenUpMovesAndPenDownDraws) {
  const auto lines = All<Polyline>(plot::InterpretHpgl(
      "IN;SP1;PU;PA100,200;PD;PA300,200,300,400;PU;PR10,10;PD;PR-20,0;PU;PD;PU;"));
  ASSERT_EQ(lines.size(), 2u);  // a pen lowered and lifted in place leaves nothing
  EXPECT_EQ(Points(lines[0]), (Path{{100, 200}, {300, 200}, {300, 400}}));
  EXPECT_EQ(Points(lines[1]), (Path{{310, 410}, {290, 410}}));
}

TEST(HpglInterpreter, ReadsTheProgramsRecords) {
  // Coordinates in I5 fields, instructions with no semicolon between them,
  // CR LF line ends and several pairs after one PR.
  const auto lines = All<Polyline>(
      plot::InterpretHpgl(" IN;SP1;PU;\r\n PA 2042, 1531PD\r\n PA 2100, 1600PD\r\n PU;\r\n"
                          " PR0,0PD;PR-120,40,0,20PU;\r\n PU;SP0;\r\n PA0,0PD;PA5,5;\r\n"));
  ASSERT_EQ(lines.size(), 2u);  // pen 0 draws nothing
  EXPECT_EQ(Points(lines[0]), (Path{{2042, 1531}, {2100, 1600}}));
  EXPECT_EQ(Points(lines[1]), (Path{{2100, 1600}, {1980, 1640}, {1980, 1660}}));
}

TEST(HpglInterpreter, CircleAndWedgeAtThePenWhichStaysThere) {
  const plot::Drawing d = plot::InterpretHpgl(" PA 500, 600CI60,10WG60,0,360,10;PD;PR10,0;");
  const auto circles = All<Circle>(d);
  const auto wedges = All<Wedge>(d);
  const auto lines = All<Polyline>(d);
  ASSERT_EQ(circles.size(), 1u);
  ASSERT_EQ(wedges.size(), 1u);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(circles[0].centre.x, 500);
  EXPECT_EQ(circles[0].centre.y, 600);
  EXPECT_EQ(circles[0].radius, 60);
  EXPECT_EQ(wedges[0].radius, 60);
  EXPECT_EQ(wedges[0].start, 0);
  EXPECT_EQ(wedges[0].sweep, 360);
  EXPECT_EQ(Points(lines[0]), (Path{{500, 600}, {510, 600}}));
}

TEST(HpglInterpreter, TicksAreCentredOnTheAxis) {
  const auto ticks = All<Polyline>(plot::InterpretHpgl("PA1000,2000XT;YT;"));
  ASSERT_EQ(ticks.size(), 2u);
  EXPECT_EQ(Points(ticks[0]), (Path{{1000, 1964}, {1000, 2036}}));  // 0.5 % of 7200
  EXPECT_EQ(Points(ticks[1]), (Path{{950, 2000}, {1050, 2000}}));   // 0.5 % of 10000
}

TEST(HpglInterpreter, LabelsPlacedByCharacterMovesAndSize) {
  // An X tick label, then a raised superscript in smaller characters: cells
  // are 1.5 x width across and 2 x height up, 400 units per cm.
  const plot::Drawing d = plot::InterpretHpgl(
      "PA1000,1000;SI0.2,0.3;CP-.5,-1.5;LB50\x03"
      "CP0,.5;SI.18,.25;LB-1\x03PD;PR0,10;");
  const auto labels = All<Label>(d);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].text, "50");
  EXPECT_DOUBLE_EQ(labels[0].at.x, 940);
  EXPECT_DOUBLE_EQ(labels[0].at.y, 640);
  EXPECT_DOUBLE_EQ(labels[0].width, 80);
  EXPECT_DOUBLE_EQ(labels[0].height, 120);
  EXPECT_DOUBLE_EQ(labels[0].angle, 0);
  EXPECT_EQ(labels[1].text, "-1");
  EXPECT_DOUBLE_EQ(labels[1].at.x, 1180);  // after two cells of 120
  EXPECT_DOUBLE_EQ(labels[1].at.y, 760);   // half a line of 240 up
  EXPECT_DOUBLE_EQ(labels[1].height, 100);
  // The pen is left after the label: two cells of 108.
  const auto lines = All<Polyline>(d);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NEAR(lines[0].points[0].x, 1396, 1e-9);
  EXPECT_NEAR(lines[0].points[0].y, 760, 1e-9);
}

TEST(HpglInterpreter, DirectionRotatesLabelsAndCharacterMoves) {
  // The Y axis title: written upwards, so a line down is to the right.
  const auto labels =
      All<Label>(plot::InterpretHpgl(" PA 2042, 4594SI.2,.3;DI0,1;\r\n CP-10,-3;\r\n LB (x10\x03"
                                     "CP0,.5;LB3\x03"
                                     "DI;LBz\x03"));
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[0].text, " (x10");
  EXPECT_NEAR(labels[0].at.x, 2762, 1e-9);
  EXPECT_NEAR(labels[0].at.y, 3394, 1e-9);
  EXPECT_DOUBLE_EQ(labels[0].angle, 90);
  EXPECT_NEAR(labels[1].at.x, 2762 - 120, 1e-9);  // half a line up is to the left
  EXPECT_NEAR(labels[1].at.y, 3394 + 5 * 120, 1e-9);
  EXPECT_DOUBLE_EQ(labels[2].angle, 0);
}

TEST(HpglInterpreter, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* names;
  } cases[] = {
      {" IN;\r\n PU;\r\n LT1;\r\n", 3, "unknown instruction LT"},
      {"PA1,2\nPA1\n", 2, "PA with 1 parameters"},
      {"SI1,2,3", 1, "SI with 3"},
      {"\n\nPA*****,1", 3, "'*'"},
      {"PU;\nLBno end\n", 2, "ETX"},
      {"PA1,-PD", 1, "number expected"},
  };
  for (const Case& c : cases) {
    try {
      plot::InterpretHpgl(c.text);
      ADD_FAILURE() << c.text;
    } catch (const plot::HpglError& e) {
      EXPECT_EQ(e.line(), c.line) << c.text;
      EXPECT_NE(std::string(e.what()).find("line " + std::to_string(c.line) + ": "),
                std::string::npos)
          << e.what();
      EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << e.what();
    }
  }
}

std::string Svg(const std::string& hpgl) {
  test_util::TextLog out;
  plot::WriteSvg(plot::InterpretHpgl(hpgl), out);
  return out.text;
}

TEST(SvgPicture, FlipsYAndDrawsEachShape) {
  const std::string svg =
      Svg("SP2;PA100,200PD;PA300,400PU;CI60;WG60,0,360;WG50,0,90;"
          "SI.2,.3;DI0,1;LBa<b\x03");
  // The page, in plotter units, with y negated.
  EXPECT_NE(svg.find("width=\"279.4mm\" height=\"215.9mm\" viewBox=\"0 -8636 11176 8636\""),
            std::string::npos);
  EXPECT_NE(svg.find("<polyline stroke=\"#c00000\" points=\"100,-200 300,-400\"/>"),
            std::string::npos);
  EXPECT_NE(svg.find("<circle stroke=\"#c00000\" cx=\"300\" cy=\"-400\" r=\"60\"/>"),
            std::string::npos);
  EXPECT_NE(svg.find("<circle fill=\"#c00000\" cx=\"300\" cy=\"-400\" r=\"60\"/>"),
            std::string::npos);
  EXPECT_NE(svg.find("d=\"M300,-400 L350,-400 A50,50 0 0,0 300,-450 Z\""), std::string::npos);
  EXPECT_NE(svg.find("translate(300 -400) rotate(-90)"), std::string::npos);
  EXPECT_NE(svg.find(">a&lt;b</text>"), std::string::npos);
}

TEST(SvgPicture, GrowsToHoldWhatIsDrawnOffThePage) {
  EXPECT_NE(Svg("PA-1000,0PD;PA0,9000;").find("viewBox=\"-1012 -9012 12188 9024\""),
            std::string::npos);
}

using test_util::ReadFile;

TEST(HpglPlot, WritesThePictureOfTheFileBesideIt) {
  const std::string dir = testing::TempDir() + "plot_svg_test/";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  plot::PlotState s;
  s.IPTYPE = 3;
  const double T[] = {10, 40}, X[] = {0.1, 0.4};
  plot::PrepareAbscissae(s, T, 2);
  for (int i = 0; i < s.NCAL; ++i) s.CHICAL[i] = 0.01 * s.TCAL[i];
  plot::PrepareOrdinates(s, T, X, 2);
  std::ostringstream out;
  for (const char* y : {"0 1 .5\n", "0.1 0.4 0.1\n"}) {
    std::istringstream in(std::string("10 40 10\n") + y);
    format::Console con(in, out);
    plot::HpglPlot(s, con, dir + "SUSCEP.HGL");
  }
  // The second plot replaced the first picture.
  EXPECT_EQ(ReadFile(dir + "SUSCEP.SVG"), Svg(ReadFile(dir + "SUSCEP.HGL")));

  // A picture that cannot be written is a run-time error naming it.
  std::filesystem::remove(dir + "SUSCEP.SVG");
  std::filesystem::create_directory(dir + "SUSCEP.SVG");
  std::istringstream in("10 40 10\n0 1 .5\n");
  format::Console con(in, out);
  try {
    plot::HpglPlot(s, con, dir + "SUSCEP.HGL");
    ADD_FAILURE() << "no error";
  } catch (const format::RunTimeError& e) {
    EXPECT_NE(std::string(e.what()).find("open error on file " + dir + "SUSCEP.SVG"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace

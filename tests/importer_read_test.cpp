// The importer on files made here: each format variant, the selection, the
// conversion, and each refusal with its message.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "importer/importer.h"
#include "importer/select.h"
#include "importer/sha256.h"
#include "importer/text.h"

namespace {

using importer::Import;
using importer::Options;

const char kColumns[] =
    "Comment,Time Stamp (sec),Temperature (K),Magnetic Field (Oe),Moment (emu),M. Std. Err. "
    "(emu),Range (mV)";

// An MPMS3-style file: mass 10 mg, M_w 500 g/mol; `rows` after the column line.
std::string Mpms3(const std::vector<std::string>& rows, const char* columns = kColumns) {
  std::string s =
      "[Header]\nTITLE,test\nBYAPP,MPMS3,1.0\nINFO,10,SAMPLE_MASS\nINFO,500,SAMPLE_MOLECULAR_"
      "WEIGHT\nINFO,Sample A,SAMPLE_MATERIAL\nINFO,Standard,SAMPLE_HOLDER\n[Data]\n";
  s += columns;
  s += "\n";
  for (const auto& r : rows) s += r + "\n";
  return s;
}

// A row of kColumns: T, H and m.
std::string Row(double T, double H, double m, const std::string& err = "1e-8") {
  std::ostringstream s;
  s.precision(17);
  s << ",100," << T << "," << H << "," << m << "," << err << ",50";
  return s.str();
}

// n rows at H from T = from in steps of `step`, with chi = 0.005 at 100 K (Curie).
std::vector<std::string> Sweep(int n, double from, double step, double H = 1000.0) {
  std::vector<std::string> rows;
  for (int i = 0; i < n; ++i) {
    const double T = from + step * i;
    rows.push_back(Row(T, H, 0.5 / T * H * 0.01 / 500.0));
  }
  return rows;
}

Import Read(const std::string& text, const Options& o = {}) {
  std::istringstream in(text);
  return importer::Read(in, "test.dat", o);
}

// The message of the refusal, "" when the file is read.
std::string Refusal(const std::string& text, const Options& o = {}) {
  try {
    Read(text, o);
  } catch (const importer::Error& e) {
    return e.what();
  }
  return "";
}

#define EXPECT_HAS(text, part) EXPECT_NE(std::string(text).find(part), std::string::npos) << (text)

TEST(ImporterFormats, Mpms3CommaConvertsEveryRow) {
  const Import im = Read(Mpms3({Row(100, 1000, 1e-4), Row(50, 1000, 2e-4)}));
  EXPECT_EQ(im.format, "Quantum Design (MPMS3/PPMS: value before name)");
  EXPECT_EQ(im.sample, "Sample A");
  EXPECT_EQ(im.mass_mg, 10.0);
  EXPECT_EQ(im.mass_from, "header SAMPLE_MASS");
  EXPECT_EQ(im.molar_mass, 500.0);
  EXPECT_EQ(im.m_column, "Moment (emu)");
  EXPECT_EQ(im.err_column, "M. Std. Err. (emu)");
  ASSERT_EQ(im.points.size(), 2u);
  // (m / H) * (M_w / mass in g)
  EXPECT_DOUBLE_EQ(im.points[0].chi, 1e-4 / 1000 * 500 / 0.010);
  EXPECT_DOUBLE_EQ(im.points[1].chi, 2e-4 / 1000 * 500 / 0.010);
  EXPECT_DOUBLE_EQ(im.points[0].chi_err, 1e-8 / 1000 * 500 / 0.010);
  EXPECT_EQ(im.points[0].field, 1000.0);
  EXPECT_EQ(im.field_oe, 1000.0);
  EXPECT_TRUE(im.warnings.empty());
}

TEST(ImporterFormats, MpmsXlNameBeforeValueWithLongMoment) {
  const std::string text =
      "[Header]\nINFO, NAME, sample1\nINFO, WEIGHT, 48.400\nINFO, MOLECULAR WEIGHT, 400\n"
      "[Data]\nTime,Field (Oe),Temperature (K),Long Moment (emu),Long Scan Std Dev\n"
      "1,5000,10,2e-3,1e-6\n2,5000,10.01,2.1e-3,1e-6\n3,5000,20,1e-3,\n";
  const Import im = Read(text);
  EXPECT_EQ(im.format, "Quantum Design (MPMS-XL: name before value)");
  EXPECT_EQ(im.sample, "sample1");
  EXPECT_EQ(im.mass_mg, 48.4);
  EXPECT_EQ(im.m_column, "Long Moment (emu)");
  EXPECT_EQ(im.err_column, "Long Scan Std Dev");
  ASSERT_EQ(im.points.size(), 3u);  // several readings at 10 K stay points of their own
  EXPECT_DOUBLE_EQ(im.points[0].chi, 2e-3 / 5000 * 400 / 0.0484);
  EXPECT_TRUE(std::isnan(im.points[2].chi_err));
}

TEST(ImporterFormats, TabsCrLfAndByteOrderMarkReadAlike) {
  std::string text = Mpms3({Row(100, 1000, 1e-4), Row(50, 1000, 2e-4)});
  const Import plain = Read(text);
  std::string tabbed = "\xEF\xBB\xBF";
  for (char c : text) {
    if (c == ',') {
      tabbed += '\t';
    } else if (c == '\n') {
      tabbed += "\r\n";
    } else {
      tabbed += c;
    }
  }
  const Import im = Read(tabbed);
  EXPECT_TRUE(im.bom);
  EXPECT_TRUE(im.crlf);
  EXPECT_EQ(im.separator, "tab");
  EXPECT_EQ(plain.separator, "comma");
  EXPECT_FALSE(plain.bom || plain.crlf);
  ASSERT_EQ(im.points.size(), 2u);
  EXPECT_EQ(im.points[1].chi, plain.points[1].chi);
  EXPECT_EQ(im.sample, "Sample A");
}

TEST(ImporterFormats, QuotedCommentWithCommaInATabFileAndEmptyCells) {
  // A row of another mode has no moment: left out and counted.
  const Import im = Read(
      Mpms3({"\"ZFC, 100\",,,,,,", Row(10, 100, 1e-5), ",100,20,100,,,50", Row(30, 100, 1e-5)}));
  EXPECT_EQ(im.points.size(), 2u);
  EXPECT_EQ(im.left_missing, 1);
  EXPECT_EQ(im.data_rows, 3);
  ASSERT_EQ(im.sweeps.size(), 1u);
  EXPECT_EQ(im.sweeps[0].label, "ZFC, 100");
}

std::string TwoSweeps() {
  std::vector<std::string> rows = {"\"ZFC, 1000 Oe\",,,,,,"};
  for (const auto& r : Sweep(5, 2, 10)) rows.push_back(r);
  rows.push_back("\"FC, 1000 Oe\",,,,,,");
  for (const auto& r : Sweep(4, 2, 10)) rows.push_back(r);
  return Mpms3(rows);
}

TEST(ImporterSelection, TwoSweepsMustBeChosen) {
  const std::string e = Refusal(TwoSweeps());
  EXPECT_HAS(e, "lie in 2 sweeps: choose with --sweep zfc|fc|N|all");
  EXPECT_HAS(e, "1 \"ZFC, 1000 Oe\": 2 K to 42 K, 5 points; 2 \"FC, 1000 Oe\": 2 K to 32 K, 4");
  Options o;
  o.sweep = "zfc";
  EXPECT_EQ(Read(TwoSweeps(), o).points.size(), 5u);
  o.sweep = "fc";
  const Import fc = Read(TwoSweeps(), o);
  EXPECT_EQ(fc.points.size(), 4u);
  EXPECT_EQ(fc.left_sweep, 5);
  o.sweep = "2";
  EXPECT_EQ(Read(TwoSweeps(), o).points.size(), 4u);
  o.sweep = "all";
  const Import all = Read(TwoSweeps(), o);
  EXPECT_EQ(all.points.size(), 9u);
  EXPECT_NE(importer::SummaryText(all, "a.dat", "a.import.json")
                .find("  sweep         all (2 found at the field)\n  sweeps        1 \"ZFC, 1000 "
                      "Oe\": 2 K to 42 K, 5 points; 2 \"FC"),
            std::string::npos);
  o.sweep = "3";
  EXPECT_HAS(Refusal(TwoSweeps(), o), "no sweep 3 with points at 1000 Oe; sweeps: 1 \"ZFC");
  o.sweep = "up";
  EXPECT_HAS(Refusal(TwoSweeps(), o), "--sweep up: zfc, fc, all or a sweep's number");
}

TEST(ImporterSelection, NoSweepOfTheKindAsked) {
  Options o;
  o.sweep = "fc";
  EXPECT_HAS(Refusal(Mpms3({"ZFC,,,,,,", Row(2, 1000, 1e-5), Row(4, 1000, 1e-5)}), o),
             "no sweep labelled FC at 1000 Oe; sweeps: 1 \"ZFC\"");
}

TEST(ImporterSelection, ATurnOfTheTemperatureStartsASweep) {
  // Warming 2..42 K, then cooling: two sweeps without a comment row.
  std::vector<std::string> rows = Sweep(5, 2, 10);
  for (const auto& r : Sweep(3, 40, -10)) rows.push_back(r);
  EXPECT_HAS(Refusal(Mpms3(rows)), "lie in 2 sweeps");
  // A dip within the tolerance (0.5 K or 2 %) is no turn.
  EXPECT_EQ(Read(Mpms3({Row(2, 1000, 1e-5), Row(4, 1000, 1e-5), Row(3.6, 1000, 1e-5),
                        Row(6, 1000, 1e-5)}))
                .sweeps.size(),
            1u);
  EXPECT_HAS(Refusal(Mpms3({Row(2, 1000, 1e-5), Row(4, 1000, 1e-5), Row(3.4, 1000, 1e-5),
                            Row(6, 1000, 1e-5)})),
             "lie in 2 sweeps");
  // Long lists are cut.
  std::vector<std::string> zigzag;
  for (int i = 0; i < 30; ++i) zigzag.push_back(Row(i % 2 ? 10 : 20, 1000, 1e-5));
  EXPECT_HAS(Refusal(Mpms3(zigzag)), "; 12: 20 K to 10 K, 2 points and 3 more");
  EXPECT_DOUBLE_EQ(importer::ReversalTolerance(10), 0.5);
  EXPECT_DOUBLE_EQ(importer::ReversalTolerance(100), 2.0);
}

std::string TwoFields() {
  std::vector<std::string> rows = Sweep(3, 10, 10, 1000.4);
  for (const auto& r : Sweep(2, 10, 10, 10000)) rows.push_back(r);
  rows.push_back(Row(10, 1019.5, 1e-5));
  return Mpms3(rows);
}

TEST(ImporterSelection, SeveralFieldsAreListedWithTheirCounts) {
  EXPECT_HAS(Refusal(TwoFields()),
             "the file holds 2 fields: choose one with --field OE; fields: 1000 Oe (4 points), "
             "10000 Oe (2 points)");
  Options o;
  o.field_oe = 1000;
  o.sweep = "all";
  const Import im = Read(TwoFields(), o);
  EXPECT_EQ(im.points.size(), 4u);  // 1019.5 is within 20 Oe of 1000
  EXPECT_EQ(im.left_field, 2);
  EXPECT_EQ(im.field_tolerance, 20.0);
  o.field_oe = 1040;  // 1019.5 is 20.5 Oe away
  EXPECT_EQ(Read(TwoFields(), o).points.size(), 1u);
  o.field_oe = 5000;
  EXPECT_HAS(Refusal(TwoFields(), o),
             "no points at 5000 Oe (within 100 Oe); fields: 1000 Oe (4 points), 10000 Oe");
  EXPECT_DOUBLE_EQ(importer::FieldTolerance(100), 5.0);
  EXPECT_DOUBLE_EQ(importer::FieldTolerance(-1000), 20.0);
}

TEST(ImporterSelection, AZeroFieldIsRefused) {
  EXPECT_HAS(Refusal(Mpms3({Row(10, 2, 1e-6), Row(20, -1, 1e-6)})),
             "the field is 2 Oe: chi = m/H needs a field other than 0; fields: 2 Oe (2 points)");
  Options o;
  o.field_oe = 0;
  EXPECT_HAS(Refusal(TwoFields(), o), "the field is 0 Oe");
}

TEST(ImporterSelection, MoreThan300PointsAreBinned) {
  const Import im = Read(Mpms3(Sweep(1000, 2, 0.298)));
  EXPECT_EQ(im.kept, 1000);
  EXPECT_EQ(im.binning, "logarithmic");
  EXPECT_LE(im.points.size(), 300u);
  EXPECT_GT(im.points.size(), 200u);
  long rows = 0;
  for (const auto& p : im.points) rows += p.count;
  EXPECT_EQ(rows, 1000);
  // Logarithmic bins: the first ones hold single low-temperature rows.
  EXPECT_EQ(im.points[0].count, 1);
  EXPECT_GT(im.points.back().count, 5);
  for (std::size_t i = 1; i < im.points.size(); ++i) EXPECT_GT(im.points[i].T, im.points[i - 1].T);
  // The error of a bin's mean from its rows' errors.
  const auto& last = im.points.back();
  EXPECT_NEAR(last.moment_err, 1e-8 / std::sqrt(static_cast<double>(last.count)), 1e-20);

  Options o;
  o.linear_bins = true;
  o.max_points = 100;
  const Import lin = Read(Mpms3(Sweep(1000, 2, 0.298)), o);
  EXPECT_EQ(lin.binning, "linear");
  EXPECT_EQ(lin.points.size(), 100u);
  EXPECT_EQ(lin.points[0].count, 10);
  o.max_points = 1000;
  EXPECT_HAS(Refusal(Mpms3(Sweep(10, 2, 1)), o), "--max-points 1000: 1 to 300");
  // Exactly as many rows as the limit: no binning.
  EXPECT_EQ(Read(Mpms3(Sweep(300, 2, 0.5))).binning, "none");
  EXPECT_EQ(Read(Mpms3(Sweep(301, 2, 0.5))).binning, "logarithmic");
}

TEST(ImporterColumns, TheMomentColumnWithTheMostValues) {
  const char* dc =
      "Comment,Temperature (K),Magnetic Field (Oe),DC Moment Fixed Ctr (emu),DC Moment Err Fixed "
      "Ctr (emu),DC Moment Free Ctr (emu),DC Moment Err Free Ctr (emu)";
  const std::string text = Mpms3({",10,1000,1e-5,1e-9,2e-5,2e-9", ",20,1000,,,2e-5,2e-9"}, dc);
  const Import im = Read(text);
  EXPECT_EQ(im.m_column, "DC Moment Free Ctr (emu)");
  EXPECT_EQ(im.err_column, "DC Moment Err Free Ctr (emu)");
  // As many values in both: the fixed centre.
  EXPECT_EQ(Read(Mpms3({",10,1000,1e-5,1e-9,2e-5,2e-9"}, dc)).m_column,
            "DC Moment Fixed Ctr (emu)");
  Options o;
  o.column = "dc moment fixed ctr (emu)";
  const Import fixed = Read(text, o);
  EXPECT_EQ(fixed.m_column, "DC Moment Fixed Ctr (emu)");
  EXPECT_EQ(fixed.err_column, "DC Moment Err Fixed Ctr (emu)");
  EXPECT_EQ(fixed.points.size(), 1u);
  o.column = "Moment";
  EXPECT_HAS(Refusal(text, o),
             "no column 'Moment' (--column); columns found: 'Comment', 'Temperature (K)'");
}

TEST(ImporterTable, WhitespaceMomentsWithTheFieldColumn) {
  Options o;
  o.moment_unit = "emu";
  o.mass_mg = 10;
  o.molar_mass = 500;
  const Import im = Read("# my own export\n  100   1e-4  1000\n  50 2e-4 1000\n", o);
  EXPECT_EQ(im.format, "plain table");
  EXPECT_EQ(im.separator, "blanks");
  ASSERT_EQ(im.points.size(), 2u);
  EXPECT_DOUBLE_EQ(im.points[0].chi, 1e-4 / 1000 * 500 / 0.010);
  EXPECT_EQ(im.mass_from, "--mass");
  EXPECT_EQ(im.formula, "chi_M = (m - m_eicosane) / H * M_w / (mass / 1000) - chi_dia");
  o.moment_unit = "Am2";  // 1 A m2 = 1000 emu
  EXPECT_DOUBLE_EQ(Read("100 1e-7 1000\n", o).points[0].chi, 1e-4 / 1000 * 500 / 0.010);
}

TEST(ImporterTable, NamedColumnsAndSusceptibilityUnits) {
  Options o;
  o.chi_unit = "cm3/g";
  o.molar_mass = 500;
  o.columns = {"T (K)", "chi_g"};
  const std::string text = "T (K),H,chi_g,x\n10,1000,1e-5,7\n20,1000,5e-6,7\n";
  const Import im = Read(text, o);
  EXPECT_EQ(im.separator, "comma");
  EXPECT_EQ(im.t_column, "T (K)");
  ASSERT_EQ(im.points.size(), 2u);
  EXPECT_DOUBLE_EQ(im.points[0].chi, 1e-5 * 500);
  EXPECT_TRUE(std::isnan(im.points[0].field));
  EXPECT_EQ(im.formula, "chi_M = chi_g * M_w - chi_dia");
  o.chi_unit = "m3/mol";
  o.columns = {"1", "3"};
  EXPECT_DOUBLE_EQ(Read(text, o).points[0].chi, 1e-5 * 1e6 / (4 * M_PI));
  o.chi_unit = "m3/kg";
  EXPECT_DOUBLE_EQ(Read(text, o).points[0].chi, 1e-5 * 1e3 / (4 * M_PI) * 500);
  o.chi_unit = "cm3/mol";
  o.columns = {"1", "3", "2"};
  o.molar_mass.reset();
  EXPECT_DOUBLE_EQ(Read("1\t1000\t0.5\n2\t1000\t0.25\n", o).points[1].chi, 0.25);
  o.columns = {"1", "5"};
  EXPECT_HAS(Refusal(text, o), "--columns: column 5, but the table has 4 columns");
  o.columns = {"T (K)", "chi"};
  EXPECT_HAS(Refusal(text, o), "--columns: no column 'chi'; columns found: 'T (K)', 'H'");
  o.columns.clear();
  EXPECT_HAS(Refusal(text, o),
             "the table has 4 columns: say which is which with --columns T,M[,H]");
  o.chi_unit = "emu/Oe";
  EXPECT_HAS(Refusal("1 2\n", o), "--chi-unit 'emu/Oe': cm3/mol, cm3/g, m3/mol or m3/kg");
}

TEST(ImporterTable, UnitsAndFieldMustBeSaid) {
  EXPECT_HAS(Refusal("1 2 3\n"), "a plain table needs --moment-unit emu|Am2 or --chi-unit");
  Options o;
  o.moment_unit = "emu";
  o.mass_mg = 1;
  o.molar_mass = 1;
  o.columns = {"1", "2"};
  EXPECT_HAS(Refusal("1 2 3\n", o), "moments need the field: a third column in --columns T,M,H");
  o.field_oe = 1000;  // a constant field instead
  EXPECT_DOUBLE_EQ(Read("10 2 3\n", o).points[0].chi, 2.0 / 1000 / 0.001);
  o.moment_unit = "A";
  EXPECT_HAS(Refusal("1 2 3\n", o), "--moment-unit 'A': emu or Am2");
  Options q;
  q.chi_unit = "cm3/mol";
  EXPECT_HAS(Refusal(Mpms3({Row(10, 1000, 1e-5)}), q), "holds moments in emu");
  q.chi_unit.clear();
  q.columns = {"1", "2"};
  EXPECT_HAS(Refusal(Mpms3({Row(10, 1000, 1e-5)}), q), "--columns is for plain tables");
  Options t;
  t.chi_unit = "cm3/mol";
  t.column = "x";
  EXPECT_HAS(Refusal("1 2\n", t), "--column is for Quantum Design files");
  t.column.clear();
  t.eicosane_mg = 3;
  EXPECT_HAS(Refusal("1 2\n", t), "--eicosane corrects moments, not susceptibilities");
}

// Columns by number count from 1 up to the table's last.
TEST(ImporterTable, ColumnNumbersFromOneToTheLast) {
  const auto refusal = [](const std::string& t, const std::string& m) {
    Options o;
    o.chi_unit = "cm3/mol";
    o.columns = {t, m};
    return Refusal("10 0.1 0.2\n20 0.05 0.1\n", o);
  };
  EXPECT_EQ(refusal("1", "3"), "");
  EXPECT_EQ(refusal("0", "2"), "--columns: column 0, but the table has 3 columns");
  EXPECT_EQ(refusal("1", "4"), "--columns: column 4, but the table has 3 columns");
  EXPECT_EQ(refusal("1", "1234567"), "--columns: column 1234567, but the table has 3 columns");
}

// An eicosane mass of 0 is no correction; only a mass below 0 is refused.
TEST(ImporterConversion, EicosaneFromZeroMilligrams) {
  Options o;
  o.eicosane_mg = 0;
  const std::string text = Mpms3({Row(100, 1000, 1e-4)});
  EXPECT_DOUBLE_EQ(Read(text, o).points[0].chi, Read(text).points[0].chi);
  o.eicosane_mg = -0.5;
  EXPECT_EQ(Refusal(text, o), "--eicosane -0.5: a mass in mg, not below 0");
}

TEST(ImporterConversion, EicosaneAndDiamagneticCorrections) {
  Options o;
  o.eicosane_mg = 20;
  o.diamagnetic = -3e-4;
  const Import im = Read(Mpms3({Row(100, 1000, 1e-4)}), o);
  const double wax = -2.43e-4 * (0.020 / 282.55) * 1000;
  EXPECT_DOUBLE_EQ(im.points[0].moment, 1e-4 - wax);
  EXPECT_DOUBLE_EQ(im.points[0].chi, (1e-4 - wax) / 1000 * 500 / 0.010 + 3e-4);
  EXPECT_EQ(im.diamagnetic_from, "--diamagnetic");
  Options e;
  e.diamagnetic_estimate = true;
  const Import est = Read(Mpms3({Row(100, 1000, 1e-4)}), e);
  EXPECT_DOUBLE_EQ(est.diamagnetic, -0.5e-6 * 500);
  EXPECT_EQ(est.diamagnetic_from, "estimate");
  EXPECT_DOUBLE_EQ(est.points[0].chi, 1e-4 / 1000 * 500 / 0.010 + 0.5e-6 * 500);
  e.diamagnetic = -1e-4;
  EXPECT_HAS(Refusal(Mpms3({Row(100, 1000, 1e-4)}), e),
             "--diamagnetic and --diamagnetic-estimate: one or the other");
  Options p;
  p.diamagnetic = 3e-4;
  EXPECT_HAS(Refusal(Mpms3({Row(100, 1000, 1e-4)}), p),
             "--diamagnetic 0.0003: a diamagnetic susceptibility is negative");
  p.diamagnetic.reset();
  p.eicosane_mg = -1;
  EXPECT_HAS(Refusal(Mpms3({Row(100, 1000, 1e-4)}), p), "--eicosane -1: a mass in mg, not below 0");
}

TEST(ImporterConversion, ChiTOutsideTheUsualRangeWarns) {
  // chi*T at the highest temperature: 0.5 * scale.
  auto warnings = [](double scale) {
    Options o;
    o.mass_mg = 10 / scale;
    return Read(Mpms3({Row(100, 1000, 1e-4), Row(2, 1000, 1e-3)}), o).warnings;
  };
  EXPECT_TRUE(warnings(1).empty());
  EXPECT_TRUE(warnings(0.021).empty());   // 0.0105
  EXPECT_TRUE(warnings(199).empty());     // 99.5
  ASSERT_EQ(warnings(0.019).size(), 1u);  // 0.0095
  ASSERT_EQ(warnings(201).size(), 1u);    // 100.5
  EXPECT_HAS(warnings(1000)[0],
             "chi*T at 100 K is 500 cm3 K/mol, outside 0.01 to 100 per formula unit: check the "
             "mass (mg, not g)");
}

TEST(ImporterRefusals, NotADataFile) {
  EXPECT_HAS(Refusal("Dear colleague,\nhere are the data.\n"),
             "not a data file: expected a Quantum Design .dat file");
  EXPECT_HAS(Refusal("40\n5.0 1e-3\n"), "one number on the first line: already a data file");
  EXPECT_EQ(Refusal(""), "the file is empty");
  EXPECT_EQ(Refusal("\n \n"), "the file is empty");
  EXPECT_HAS(Refusal("[Header]\nINFO,10,SAMPLE_MASS\n"), "a [Header] section with no [Data] line");
  EXPECT_EQ(Refusal("[Header]\n[Data]\n\n"), "no line of column names after [Data]");
  EXPECT_HAS(Refusal(std::string(importer::kMaxLine + 10, 'x')), "line 1 is longer than");
}

TEST(ImporterRefusals, MissingColumnsAreListed) {
  EXPECT_HAS(Refusal(Mpms3({}, "Comment,Temp (K),Magnetic Field (Oe),Moment (emu)")),
             "no column 'Temperature (K)'; columns found: 'Comment', 'Temp (K)', 'Magnetic Field "
             "(Oe)', 'Moment (emu)'");
  EXPECT_HAS(Refusal(Mpms3({}, "Temperature (K),B (T),Moment (emu)")),
             "no column 'Magnetic Field (Oe)' or 'Field (Oe)'; columns found:");
  EXPECT_HAS(Refusal(Mpms3({}, "Temperature (K),Field (Oe),Signal (V)")),
             "no moment column ('Moment (emu)', 'DC Moment Fixed Ctr (emu)'");
}

TEST(ImporterRefusals, BadRows) {
  EXPECT_EQ(Refusal(Mpms3({Row(10, 1000, 1e-5), ",100,20,1000,1e-5"})),
            "line 11 has 5 cells where the column names have 7");
  EXPECT_EQ(Refusal(Mpms3({Row(10, 1000, 1e-5), ",100,2O,1000,1e-5,1e-8,50"})),
            "line 11, column 'Temperature (K)': '2O' is not a number");
  EXPECT_EQ(Refusal(Mpms3({",100,20,1000,1e-5,1e-8,50", ",100,20,1000,n/a,1e-8,50"})),
            "line 11, column 'Moment (emu)': 'n/a' is not a number");
  // A decimal comma in a tab-separated file is text, not a number cut short.
  Options o;
  o.chi_unit = "cm3/mol";
  EXPECT_EQ(Refusal("T\tchi\n10\t0,5\n", o),
            "not a data file: expected a Quantum Design .dat "
            "file (a [Header] section, then [Data], a line of "
            "column names and the rows) or a table of numbers "
            "in columns separated by blanks, commas or tabs");
  EXPECT_EQ(Refusal("10\t1\n20\t0,5\n", o), "line 2, column '2': '0,5' is not a number");
  EXPECT_EQ(Refusal("10 1\n20 0.5 3\n", o), "line 2 has 3 cells where the column names have 2");
}

TEST(ImporterRefusals, MassAndMolarMass) {
  const std::string no_header =
      "[Header]\n[Data]\nTemperature (K),Field (Oe),Moment (emu)\n"
      "10,1000,1e-5\n";
  EXPECT_EQ(Refusal(no_header), "the sample mass is not in the file: give --mass MG");
  Options o;
  o.mass_mg = 5;
  EXPECT_EQ(Refusal(no_header, o),
            "the molar mass is not in the file: give --molar-mass G_PER_MOL");
  o.molar_mass = 0;
  EXPECT_EQ(Refusal(no_header, o), "the molar mass is 0 (--molar-mass): it must be above 0");
  o.mass_mg = -5;
  EXPECT_EQ(Refusal(no_header, o), "the sample mass is -5 (--mass): it must be above 0");
  std::string zero = Mpms3({Row(10, 1000, 1e-5)});
  zero.replace(zero.find("INFO,10,"), 8, "INFO,0,");
  EXPECT_EQ(Refusal(zero), "the sample mass is 0 (header SAMPLE_MASS): it must be above 0");
  std::string text = Mpms3({Row(10, 1000, 1e-5)});
  text.replace(text.find("INFO,500,"), 9, "INFO,abc,");
  EXPECT_EQ(Refusal(text),
            "the header's SAMPLE_MOLECULAR_WEIGHT is 'abc', not a number: give --molar-mass "
            "G_PER_MOL");
  Options m;
  m.molar_mass = 250;  // the command line over the header
  EXPECT_EQ(Read(text, m).molar_mass_from, "--molar-mass");
}

// A key given twice, or under two of its names: the first line counts.
TEST(ImporterFormats, TheFirstHeaderLineOfAKeyCounts) {
  const auto expect_mass = [](const std::string& lines, double mass, const std::string& from) {
    const Import im = Read("[Header]\n" + lines + "INFO,500,SAMPLE_MOLECULAR_WEIGHT\n[Data]\n" +
                           kColumns + "\n" + Row(10, 1000, 1e-5) + "\n");
    EXPECT_EQ(im.mass_mg, mass) << lines;
    EXPECT_EQ(im.mass_from, from) << lines;
  };
  expect_mass("INFO,10,SAMPLE_MASS\nINFO,20,SAMPLE_MASS\n", 10.0, "header SAMPLE_MASS");
  expect_mass("INFO,10,SAMPLE_MASS\nINFO,20,WEIGHT\n", 10.0, "header SAMPLE_MASS");
  expect_mass("INFO, WEIGHT, 30\nINFO, MASS, 40\n", 30.0, "header WEIGHT");
}

TEST(ImporterRefusals, NothingUsable) {
  EXPECT_EQ(Refusal(Mpms3({",100,20,1000,,,50", ",100,-1,1000,1e-5,,50"})),
            "no usable points: 2 data rows, 1 with a missing or non-finite value in the columns "
            "used (Temperature (K), Moment (emu), Magnetic Field (Oe)), 1 with a temperature not "
            "above 0");
  const Import im = Read(Mpms3({",100,nan,1000,1e-5,,50", Row(10, 1000, 1e-5), Row(20, 1000, 1e308),
                                ",100,0,1000,1e-5,,50"}));
  EXPECT_EQ(im.kept, 1);
  EXPECT_EQ(im.left_missing, 2);  // 1e308 emu overflows once converted
  EXPECT_EQ(im.left_temperature, 1);
}

TEST(ImporterOutput, DataFileRecordAndHash) {
  const Import im = Read(Mpms3({Row(100, 1000, 1.2345678901234567e-4)}));
  // Each point's error after the pairs, where every point has one.
  ASSERT_GT(im.points[0].chi_err, 0.0);
  const std::string pairs = "1\n100 0.006172839450617284\n";
  EXPECT_EQ(importer::DataFileText(im).substr(0, pairs.size() + 6), pairs + "sigma\n");
  EXPECT_EQ(std::stod(importer::DataFileText(im).substr(pairs.size() + 6)), im.points[0].chi_err);
  Import without = im;
  without.points[0].chi_err = std::nan("");
  EXPECT_EQ(importer::DataFileText(without), pairs);
  importer::Sha256 h;
  h.Update("abc");
  EXPECT_EQ(h.Hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  importer::Sha256 whole;
  whole.Update(Mpms3({Row(100, 1000, 1.2345678901234567e-4)}));
  EXPECT_EQ(im.sha256, whole.Hex());
}

TEST(ImporterText, CellsAndNumbers) {
  std::vector<std::string> cells;
  importer::SplitCells(" a , \"b, \"\"c\"\"\" ,,d ", ',', cells);
  EXPECT_EQ(cells, (std::vector<std::string>{"a", "b, \"c\"", "", "d"}));
  importer::SplitCells("  1  2\t3 ", ' ', cells);
  EXPECT_EQ(cells, (std::vector<std::string>{"1", "2", "3"}));
  double v = 0;
  EXPECT_EQ(importer::ParseNumber("+1.5E-3", v), importer::Cell::kNumber);
  EXPECT_EQ(v, 1.5e-3);
  EXPECT_EQ(importer::ParseNumber("  ", v), importer::Cell::kEmpty);
  EXPECT_EQ(importer::ParseNumber("0x10", v), importer::Cell::kText);
  EXPECT_EQ(importer::ParseNumber("1e999", v), importer::Cell::kNumber);
  EXPECT_TRUE(std::isinf(v));
  EXPECT_EQ(importer::ParseNumber("1e-999", v), importer::Cell::kNumber);
  EXPECT_EQ(v, 0.0);
  EXPECT_TRUE(importer::HasWord("FC, 100", "fc"));
  EXPECT_FALSE(importer::HasWord("ZFC, 100", "FC"));
}

}  // namespace

namespace {

// Two sweeps warming from 5 K at 1000 Oe, with no comment rows: ZFC and FC
// in the usual order, so taken for them, and the summary says so.
TEST(ImporterSelection, TwoUnlabelledWarmingSweepsAreZfcThenFc) {
  std::vector<std::string> rows = Sweep(4, 5, 10);
  const std::vector<std::string> fc = Sweep(3, 5, 10);
  rows.insert(rows.end(), fc.begin(), fc.end());
  const std::string text = Mpms3(rows);
  const char* note =
      "no sweep is labelled: of the two sweeps warming at one field, 1 is taken as ZFC and 2 as "
      "FC, the usual order";
  struct Case {
    const char* sweep;
    std::size_t points;
    const char* chosen;
  };
  for (const Case c : {Case{"zfc", 4, "1"}, Case{"fc", 3, "2"}}) {
    Options o;
    o.sweep = c.sweep;
    const Import im = Read(text, o);
    EXPECT_EQ(im.points.size(), c.points);
    EXPECT_EQ(im.sweep_chosen, c.chosen);
    EXPECT_EQ(im.sweep_note, note);
    EXPECT_HAS(importer::SummaryText(im, "a.dat", "a.import.json"), note);
  }
  // Not when a sweep cools, nor when there are three.
  Options o;
  o.sweep = "fc";
  std::vector<std::string> cooling = Sweep(4, 5, 10);
  const std::vector<std::string> down = Sweep(3, 45, -10);
  cooling.insert(cooling.end(), down.begin(), down.end());
  EXPECT_HAS(Refusal(Mpms3(cooling), o), "no sweep labelled FC");
  std::vector<std::string> three = rows;
  three.insert(three.end(), fc.begin(), fc.end());
  EXPECT_HAS(Refusal(Mpms3(three), o), "no sweep labelled FC");
}

// Fixed and free centre moments in every row: the better centre fit by the
// file's quality columns, whichever comes first, and the summary says why.
TEST(ImporterColumns, TheBetterCentreFitOnATie) {
  const char* dc =
      "Comment,Temperature (K),Magnetic Field (Oe),DC Moment Fixed Ctr (emu),DC Moment Err Fixed "
      "Ctr (emu),DC Moment Free Ctr (emu),DC Moment Err Free Ctr (emu),DC Fixed Fit,DC Free Fit";
  struct Case {
    const char* fixed_fit;
    const char* free_fit;
    const char* chosen;
  };
  for (const Case c : {Case{"0.72", "0.977", "DC Moment Free Ctr (emu)"},
                       Case{"0.99", "0.8", "DC Moment Fixed Ctr (emu)"}}) {
    std::vector<std::string> rows;
    for (int T : {10, 20, 30}) {
      rows.push_back("," + std::to_string(T) + ",1000,1e-5,1e-9,1.043e-5,2e-9," + c.fixed_fit +
                     "," + c.free_fit);
    }
    const Import im = Read(Mpms3(rows, dc));
    EXPECT_EQ(im.m_column, c.chosen);
    EXPECT_EQ(im.m_column_why,
              std::string("values in the most rows (3); of the columns with as many, the better "
                          "centre fit: median 'DC Fixed Fit' ") +
                  c.fixed_fit + ", 'DC Free Fit' " + c.free_fit);
    EXPECT_HAS(importer::SummaryText(im, "a.dat", "a.import.json"),
               "  moment        '" + im.m_column + "': values in the most rows (3)");
  }
}

// The one field of a file takes in every row of it, though some lie further
// from its nominal value than the tolerance of a field chosen by --field.
TEST(ImporterSelection, TheOneFieldOfAFileTakesEveryRow) {
  const Import im = Read(Mpms3({Row(10, 995, 1e-5), Row(20, 1015, 1e-5), Row(30, 1030, 1e-5)}));
  EXPECT_EQ(im.fields.size(), 1u);
  EXPECT_EQ(im.field_oe, 1020.0);
  EXPECT_EQ(im.field_tolerance, 25.0);  // 1020 - 995, beyond 2 % of 1020
  EXPECT_EQ(im.points.size(), 3u);
  Options o;
  o.field_oe = 1020;
  const Import chosen =
      Read(Mpms3({Row(10, 995, 1e-5), Row(20, 1015, 1e-5), Row(30, 1030, 1e-5)}), o);
  EXPECT_EQ(chosen.points.size(), 2u);
  EXPECT_EQ(chosen.left_field, 1);
}

}  // namespace

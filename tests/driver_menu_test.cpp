// Start-up, the data file and the corrections menu, run end to end.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver_e2e_util.h"

namespace {

// A data file of the case tables: the case's name and the file's content.
struct NamedFile {
  const char* name;
  const char* content;
};

constexpr char kData4[] = "4\n10 0.01\n20 0.005\n30 0.0033\n40 0.0025\n";

std::string Banner() {
  return "\f\n\n\n                          SUSCEPTIBILITY DATA FITTING \n"
         "<credit>\n<credit>\n<credit>\n\n\nExperimental data file name?\n";
}

std::string Listing4() {
  return "No. of observed data points:          4\n"
         "Temp.(K)   X(M)    Temp.(K)     X(M)     Temp.(K)    X(M)\n"
         " 10.00  .010000       20.00  .005000       30.00  .003300\n"
         " 40.00  .002500\n";
}

std::string Note() {
  return "If the above X(M) values are NOT per magnetic ion,\n"
         "multiply them by a Factor to get X(M) value per ion\n"
         "See next menu.  Press Enter key...\n";
}

std::string Menu(const std::string& diam, const std::string& tip, const std::string& factor,
                 const std::string& mn, const std::string& g) {
  return "A. Diamagnetic value to be subtracted from observed data=" + diam +
         "\n"
         "B. TIP value to be added to the calculated Susceptibility=" +
         tip +
         "\n"
         "C. Multipy the Observed data by factor=" +
         factor +
         "\n"
         "D. Show the present values\n"
         "E. Expression No. =" +
         mn +
         "\n"
         "   (A two digit no. MN (01-99). First digit M selects the type of expression.\n"
         "    Second digit N selects the function F(N). MN=99 for a new expression)\n"
         "---------------------------------------------------------------------------\n"
         "M   Expressions for X(cal)       | N      F(N)       Consts Variables\n"
         "---------------------------------------------------------------------------\n"
         "0  Simple F(N)                   | 1. Curie          S\n"
         "1  F(N) + DIM                    | 2. Zero-Field     S      D\n"
         "2  x F(N) + (1-x) Curie          | 3. Ising                 J-ISNG\n"
         "3  x F(N) + (1-x) Z-F            | 4. Bleaney-Bower         J-BB\n"
         "4  x F(N) + (1-x) Curie + DIM    | 5. Magnetization  B      J-MAGN\n"
         "5  x F(N) + (1-x) Z-F + DIM      | 6. Bonner-Fisher         J-BF\n"
         "9  None of the above             | 7. Modified BF           J-MBF, Alpha\n"
         "   x is COEFF1 (<1.0)            | 8. Dimers         S1, S2 J-Dimer\n"
         "e.g. No.24 is Bleaney-Bower with | 9. Other functions\n"
         "     Curie impurity              |10. Constant (DIM)        DIM\n"
         "---------------------------------------------------------------------------\n"
         "F. Proceed for calculation\n"
         "G. g-value (g=0 to make it fitting parameter)=" +
         g + "\n";
}

std::string DefaultMenu() { return Menu(" 0.000E+00", " 0.000E+00", " 1.00", "24", "  .0000"); }

constexpr char kAsk[] = "To change any value, ENTER OPTION (A-G):\n";

e2e::Result RunWith4(const std::string& name, const std::string& input) {
  return e2e::Run(name, input, {{"t.dat", kData4}});
}

TEST(DriverMenu, LettersInEitherCaseAndTheRedisplay) {
  const e2e::Result r = RunWith4("letters",
                                 "t.dat\nx\nH\n\nbTIP words\n2.0E-4\nC\n0.5\na\n-1.0d-4\nE\n25\n"
                                 "g\n2\nd\n");
  const std::string expected = Banner() + Listing4() + Note() + DefaultMenu() + kAsk + kAsk + kAsk +
                               "Enter Temperature Independent Paramagnetism value\n" + kAsk +
                               "Enter the factor\n" + kAsk +
                               "Enter diamagnetic correction including -ve sign\n" + kAsk +
                               "Enter S.No. (1-99) for equation\n" + kAsk +
                               "Enter g-value (g=0 to make it fit parameter)\n" + kAsk +
                               Menu("-1.000E-04", " 2.000E-04", "  .50", "25", " 2.0000") + kAsk;
  EXPECT_EQ(e2e::MaskConsoleCredits(r.out), expected);
  // The console input ends at the letter prompt: a run-time error.
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("read"), std::string::npos) << r.err;
  EXPECT_FALSE(r.Has("SUSCEP.OUT"));
}

TEST(DriverMenu, BlankFileNameIsAskedAgain) {
  const e2e::Result r = RunWith4("blank_name", "\n   \nt.dat\n");
  const std::string again =
      "File name missing or blank - please enter file name\n"
      "UNIT 1? ";
  EXPECT_EQ(e2e::MaskConsoleCredits(r.out), Banner() + again + again + Listing4() + Note());
  EXPECT_EQ(r.status, 2);
}

TEST(DriverMenu, FileNameKeepsLongNamesAndDropsTrailingBlanks) {
  const std::string name = "a_data_file_with_a_long_name.dat";
  const e2e::Result r = e2e::Run("long_name", name + "   \r\n\n", {{name, kData4}});
  EXPECT_EQ(e2e::MaskConsoleCredits(r.out), Banner() + Listing4() + Note() + DefaultMenu() + kAsk);
  EXPECT_EQ(r.status, 2);
}

TEST(DriverMenu, MissingDataFileIsARunTimeError) {
  const e2e::Result r = RunWith4("missing", "nothere.dat\n");
  EXPECT_EQ(e2e::MaskConsoleCredits(r.out), Banner());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("open"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("nothere.dat"), std::string::npos) << r.err;
}

TEST(DriverMenu, BadDataFilesAreRefusedBeforeAnyListing) {
  const NamedFile cases[] = {
      {"count_zero", "0\n"},
      {"count_negative", "-3\n10 0.01\n"},
      {"count_301", "301\n10 0.01\n"},
      {"temperature_zero", "2\n10 0.01\n0 0.02\n"},
      {"temperature_negative", "2\n-10 0.01\n20 0.02\n"},
      {"too_few_numbers", "3\n10 0.01\n20 0.02\n30\n"},
      {"not_a_number", "2\n10 0.01\n20 abc\n"},
      {"count_with_point", "2.5\n10 0.01\n20 0.02\n"},
      {"repeat_count_zero", "0*5 3\n10 0.01\n20 0.02\n30 0.03\n"},
      {"infinite_value", "2\n10 0.01\n20 1e400\n"},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    const e2e::Result r = e2e::Run(c.name, "bad.dat\n", {{"bad.dat", c.content}});
    EXPECT_EQ(e2e::MaskConsoleCredits(r.out), Banner()) << c.name;
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find("bad.dat"), std::string::npos) << c.name << ": " << r.err;
  }
}

TEST(DriverMenu, DataFileLayoutsThatLoadAlike) {
  const NamedFile cases[] = {
      {"one_per_line", "4\n10 0.01\n20 0.005\n30 0.0033\n40 0.0025\n"},
      {"all_on_one_line", "4\n10 0.01 20 0.005 30 0.0033 40 0.0025\n"},
      {"count_line_extras", "4 99 98\n10,0.01\n20\t0.005\n\n30 0.0033 40 0.0025\ncomment\n"},
      {"crlf_and_bom",
       "\xEF\xBB\xBF"
       "4\r\n10 0.01\r\n20 0.005\r\n30 0.0033\r\n40 0.0025\r\n"},
  };
  for (const auto& c : cases) {
    const e2e::Result r = e2e::Run(c.name, "t.dat\n", {{"t.dat", c.content}});
    EXPECT_EQ(e2e::MaskConsoleCredits(r.out), Banner() + Listing4() + Note()) << c.name;
  }
}

TEST(DriverMenu, NonNumberAtAPromptIsARunTimeError) {
  const e2e::Result r = RunWith4("non_number", "t.dat\n\nA\nabc\n");
  EXPECT_EQ(e2e::MaskConsoleCredits(r.out),
            Banner() + Listing4() + Note() + DefaultMenu() + kAsk +
                "Enter diamagnetic correction including -ve sign\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("abc"), std::string::npos) << r.err;
}

}  // namespace

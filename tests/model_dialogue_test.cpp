// Parameter table, expression-number decoding and the function selection
// dialogue, driven through a scripted console.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "format/console.h"
#include "format/errors.h"
#include "model/model.h"

namespace {

struct Script {
  explicit Script(const std::string& answers) : in(answers), con(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  format::Console con;
};

std::vector<std::string> Names(const model::FitModel& m) {
  return std::vector<std::string>(m.PNAME.begin(), m.PNAME.begin() + m.NPAR);
}

// The driver's build for a standard expression number: g, the terms, the
// coefficients.
void Build(model::FitModel& m, format::Console& con, int MN) {
  m.NPAR = 0;
  if (model::GFitted(m.GVAL)) model::AddParameter(m, con, "g-value ");
  model::Decode(m, MN / 10, MN % 10);
  for (int k = 1; k <= m.NTERM; ++k) model::SelectFunction(m, con, m.IFN[k - 1], k);
  if (m.ITYPE != 1) model::AddParameter(m, con, "COEFF1  ");
  if (m.ITYPE == 3) model::AddParameter(m, con, "COEFF2  ");
}

TEST(ModelBuild, Expression24WithoutCorrections) {
  Script s("2.1\n-140\nn\n0.5\nN\n0.98\n");
  model::FitModel m;
  Build(m, s.con, 24);
  EXPECT_EQ(m.ITYPE, 2);
  EXPECT_EQ(Names(m), (std::vector<std::string>{"g-value ", "J-BB    ", "COEFF1  "}));
  EXPECT_DOUBLE_EQ(m.PVAL[1], -140.0);
  EXPECT_DOUBLE_EQ(m.S1[1], 0.5);
  EXPECT_EQ(m.IOPT[0], 0);
  EXPECT_EQ(m.IOPT[1], 0);
  EXPECT_EQ(s.out.str(),
            "Enter Initial value for g-value \n"
            "Bleaney-Bower Eqn. parameters\n"
            "Enter Initial value for J-BB    \n"
            "Include Neighboring interaction Z*JP  (Y/N)?\n"
            "Enter Spin (S) for Curie term\n"
            "Include Weiss constant (theta) (Y/N)?\n"
            "Enter Initial value for COEFF1  \n");
}

TEST(ModelBuild, Expression24WithCorrections) {
  Script s("2.1\n-140\nY\n-2\n0.5\nyes\n-1\n0.99\n");
  model::FitModel m;
  Build(m, s.con, 24);
  EXPECT_EQ(Names(m),
            (std::vector<std::string>{"g-value ", "J-BB    ", "Z*JP    ", "THETA   ", "COEFF1  "}));
  EXPECT_EQ(m.IOPT[0], 1);
  EXPECT_EQ(m.IOPT[1], 1);
  EXPECT_DOUBLE_EQ(m.PVAL[2], -2.0);
  EXPECT_DOUBLE_EQ(m.PVAL[4], 0.99);
}

TEST(ModelDecode, ExpressionTable) {
  struct Case {
    int M, N, ITYPE;
    std::vector<int> IFN;
  };
  const Case cases[] = {
      {0, 3, 1, {3}},        {-1, -3, 1, {-3}},     {1, 5, 1, {5, 10}},
      {2, 4, 2, {4, 1}},     {3, 6, 2, {6, 2}},     {4, 4, 2, {4, 1, 10}},
      {5, 8, 2, {8, 2, 10}}, {6, 4, 2, {4, 1, 10}}, {7, 4, 2, {4, 1, 10}},
  };
  for (const Case& c : cases) {
    model::FitModel m;
    m.IFN.fill(99);
    model::Decode(m, c.M, c.N);
    EXPECT_EQ(m.ITYPE, c.ITYPE) << "M=" << c.M;
    ASSERT_EQ(m.NTERM, static_cast<int>(c.IFN.size())) << "M=" << c.M;
    EXPECT_EQ(std::vector<int>(m.IFN.begin(), m.IFN.begin() + m.NTERM), c.IFN) << "M=" << c.M;
  }
}

TEST(ModelBuild, Expressions64And74BuildLike44) {
  for (int MN : {44, 64, 74}) {
    Script s("2\n-100\nn\n0.5\nn\n1e-4\n0.9\n");
    model::FitModel m;
    Build(m, s.con, MN);
    EXPECT_EQ(Names(m), (std::vector<std::string>{"g-value ", "J-BB    ", "DIM     ", "COEFF1  "}))
        << MN;
    EXPECT_DOUBLE_EQ(m.PVAL[2], 1e-4) << MN;
  }
}

TEST(ModelAddParameter, TwelveAcceptedThirteenthStops) {
  std::string answers;
  for (int j = 1; j <= 12; ++j) answers += std::to_string(j) + "\n";
  Script s(answers + "13\n");
  model::FitModel m;
  for (int j = 1; j <= 12; ++j) model::AddParameter(m, s.con, "P" + std::to_string(j));
  EXPECT_EQ(m.NPAR, 12);
  EXPECT_EQ(m.PNAME[11], "P12     ");
  EXPECT_DOUBLE_EQ(m.PVAL[11], 12.0);
  s.out.str("");
  EXPECT_THROW(model::AddParameter(m, s.con, "LONGNAME-CUT"), format::ProgramStop);
  EXPECT_EQ(m.NPAR, 12);
  EXPECT_EQ(s.out.str(), "Minimisation parameters should not exceed          12\n");
  std::string rest;
  std::getline(s.in, rest);
  EXPECT_EQ(rest, "13");  // the thirteenth value is never read
}

TEST(ModelAddParameter, LongNameIsCut) {
  Script s("1\n");
  model::FitModel m;
  model::AddParameter(m, s.con, "ABCDEFGHIJ");
  EXPECT_EQ(m.PNAME[0], "ABCDEFGH");
  EXPECT_EQ(s.out.str(), "Enter Initial value for ABCDEFGH\n");
}

TEST(ModelSelect, TenTermsAcceptedIndexElevenRefused) {
  std::string answers;
  for (int k = 1; k <= 10; ++k) answers += "0.5\nn\n";
  Script t(answers);
  model::FitModel m;
  for (int k = 1; k <= 10; ++k) model::SelectFunction(m, t.con, 1, k);
  EXPECT_EQ(m.NPAR, 0);
  t.out.str("");
  EXPECT_THROW(model::SelectFunction(m, t.con, 1, 11), format::ProgramStop);
  EXPECT_EQ(t.out.str(), "No. of terms cannot be more than          10\n");
  t.out.str("");
  EXPECT_THROW(model::SelectFunction(m, t.con, 1, 0), format::ProgramStop);
  EXPECT_EQ(t.out.str(), "No. of terms cannot be more than          10\n");
}

TEST(ModelSelect, CodesOutsideListRefused) {
  for (int code : {0, 11, -3}) {
    Script s("");
    model::FitModel m;
    EXPECT_THROW(model::SelectFunction(m, s.con, code, 1), format::ProgramStop) << code;
    EXPECT_EQ(s.out.str(), "Function not available in the list (1-10)\n") << code;
  }
}

// Every code's lines, reads and parameters; the answers end with "n" for the
// correction question where one is asked.
TEST(ModelSelect, EveryCodePromptsInOrder) {
  struct Case {
    int code;
    std::string answers;
    std::string transcript;
    std::vector<std::string> names;
  };
  const std::string zjp = "Include Neighboring interaction Z*JP  (Y/N)?\n";
  const Case cases[] = {
      {1, "1.5\nn\n", "Enter Spin (S) for Curie term\nInclude Weiss constant (theta) (Y/N)?\n", {}},
      {2,
       "2.0\n3\nn\n",
       "Zero-field Equations:\nEnter Spin (1.0, 1.5, 2.0, or 2.5)\n"
       "Enter Initial value for D-2     \n" +
           zjp,
       {"D-2     "}},
      {3,
       "1\nn\n",
       "Ising Eqn. parameters\nEnter Initial value for J-Ising \n" + zjp,
       {"J-Ising "}},
      {4,
       "1\nn\n",
       "Bleaney-Bower Eqn. parameters\nEnter Initial value for J-BB    \n" + zjp,
       {"J-BB    "}},
      {5,
       "-5\n10000\nn\n",
       "Magnetization eqn. parameters\nEnter Initial value for J-MAGN  \nEnter Field (B)\n" + zjp,
       {"J-MAGN  "}},
      {6,
       "1\nn\n",
       "Bonner Fisher Eqn. parameters\nEnter Initial value for J-BF    \n" + zjp,
       {"J-BF    "}},
      {7,
       "1\n0.5\nn\n",
       "Modified Bonner Fisher Eqn. parameters\nEnter Initial value for J-MBF   \n"
       "Enter Initial value for ALFA-MBF\n" +
           zjp,
       {"J-MBF   ", "ALFA-MBF"}},
      {8,
       "1, 1.5\n-3\nn\n",
       "Dimer Eqn. parameters\nEnter S1, S2 of dimer\nEnter Initial value for J-Dimer \n" + zjp,
       {"J-Dimer "}},
      {10, "0.0001\n", "Enter Initial value for DIM     \n", {"DIM     "}},
  };
  for (const Case& c : cases) {
    Script s(c.answers);
    model::FitModel m;
    m.IOPT.fill(1);
    model::SelectFunction(m, s.con, c.code, 1);
    EXPECT_EQ(s.out.str(), c.transcript) << "code " << c.code;
    EXPECT_EQ(Names(m), c.names) << "code " << c.code;
    EXPECT_EQ(m.IOPT[0], 0) << "code " << c.code;
  }
}

TEST(ModelSelect, ConstantsStored) {
  Script s("-5\n10000\nn\n1 1.5\n-3\nn\n");
  model::FitModel m;
  model::SelectFunction(m, s.con, 5, 1);
  model::SelectFunction(m, s.con, 8, 2);
  EXPECT_DOUBLE_EQ(m.PVAL[0], -5.0);  // J asked before the field
  EXPECT_DOUBLE_EQ(m.S2[0], 10000.0);
  EXPECT_DOUBLE_EQ(m.S1[1], 1.0);
  EXPECT_DOUBLE_EQ(m.S2[1], 1.5);
}

TEST(ModelSelect, CorrectionAnswers) {
  struct Case {
    int code;
    std::string answer;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {1, "y", {"THETA   "}},
      {4, "Y", {"J-BB    ", "Z*JP    "}},
      {1, "n", {}},
      {4, "N", {"J-BB    "}},
      {4, "x", {"J-BB    "}},
      {4, "", {"J-BB    "}},
      {4, " y", {"J-BB    "}},
  };
  for (const Case& c : cases) {
    Script s(std::string(c.code == 1 ? "0.5\n" : "-10\n") + c.answer + "\n7\n");
    model::FitModel m;
    model::SelectFunction(m, s.con, c.code, 1);
    EXPECT_EQ(Names(m), c.names) << "answer '" << c.answer << "'";
    const bool corrected = c.answer == "y" || c.answer == "Y";
    EXPECT_EQ(m.IOPT[0], corrected ? 1 : 0) << "answer '" << c.answer << "'";
  }
}

TEST(ModelSelect, ZeroFieldSpinNames) {
  struct Case {
    std::string spins;  // answers to the spin prompt, the last one valid
    int prompts;
    std::string name;
  };
  const Case cases[] = {
      {"1.0\n", 1, "D-1     "}, {"1.5\n", 1, "D-3/2   "}, {"2.5\n", 1, "D-5/2   "},
      {"2.4\n", 1, "D-2     "}, {"1.2\n", 1, "D-1     "}, {"0.5\n3.0\n-1\n1.5\n", 4, "D-3/2   "},
  };
  const std::string prompt = "Enter Spin (1.0, 1.5, 2.0, or 2.5)\n";
  for (const Case& c : cases) {
    Script s(c.spins + "2\nn\n");
    model::FitModel m;
    model::SelectFunction(m, s.con, 2, 1);
    EXPECT_EQ(Names(m), std::vector<std::string>{c.name}) << c.spins;
    std::string expected = "Zero-field Equations:\n";
    for (int i = 0; i < c.prompts; ++i) expected += prompt;
    expected += "Enter Initial value for " + c.name + "\n";
    EXPECT_EQ(s.out.str().substr(0, expected.size()), expected) << c.spins;
  }
}

// Spins of 0 are in range, for S1 as for S2.
TEST(ModelSelect, DimerSpinsAskedAgainOutsideRange) {
  Script s("-0.5 1\n1 51\n0 0\n-3\nn\n");
  model::FitModel m;
  model::SelectFunction(m, s.con, 8, 1);
  EXPECT_EQ(s.out.str(),
            "Dimer Eqn. parameters\nEnter S1, S2 of dimer\nEnter S1, S2 of dimer\n"
            "Enter S1, S2 of dimer\nEnter Initial value for J-Dimer \n"
            "Include Neighboring interaction Z*JP  (Y/N)?\n");
  EXPECT_EQ(m.S1[0], 0.0);
  EXPECT_EQ(m.S2[0], 0.0);
}

const char kMenu[] =
    "Select one of the following from the Other functions\n1. User function\n"
    "2. S=1/2 Three-spin system\n3. Hatfield's S=1/2 Four-spin system\n4. Kahn's expression\n"
    "             Enter Option number: \n";

TEST(ModelOtherFunctions, MenuRedisplayedForInvalidChoices) {
  Script s("0\n5\n-1\n2\n-50\nY\n3\n");
  model::FitModel m;
  model::SelectFunction(m, s.con, 9, 1);
  EXPECT_EQ(s.out.str(), std::string(kMenu) + kMenu + kMenu + kMenu +
                             "Three Spin S1=S2=S3= 1/2 system with single J:\n"
                             "Enter Initial value for J-Trimr \n"
                             "Include Neighboring interaction Z*JP  (Y/N)?\n"
                             "Enter Initial value for Z*JP    \n");
  EXPECT_EQ(m.IOTHER[0], 2);
  EXPECT_EQ(Names(m), (std::vector<std::string>{"J-Trimr ", "Z*JP    "}));
}

TEST(ModelOtherFunctions, EveryChoice) {
  struct Case {
    std::string answers;
    std::string lines;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"1\n1\n2\nn\n",
       "User defined function\nS1=1, S2=1 dimer eq. including D\nEnter Initial value for J-1-1   \n"
       "Enter Initial value for D-1-1   \n",
       {"J-1-1   ", "D-1-1   "}},
      {"3\n1\n2\n3\n4\nn\n",
       "Hatfield's 4 spin (S=1/2) system:\nEnter Initial value for J1-Tetra\n"
       "Enter Initial value for J2-Tetra\nEnter Initial value for J3-Tetra\n"
       "Enter Initial value for J4-Tetra\n",
       {"J1-Tetra", "J2-Tetra", "J3-Tetra", "J4-Tetra"}},
      {"4\n2.5\n0.5\n-10\n-1\nn\n",
       "Kahn's expression for chain of dimers:\nEnter S1, S2 of dimer\n"
       "Enter Initial value for J-Intra \nEnter Initial value for J-Inter \n",
       {"J-Intra ", "J-Inter "}},
  };
  for (const Case& c : cases) {
    Script s(c.answers);
    model::FitModel m;
    model::SelectFunction(m, s.con, 9, 1);
    EXPECT_EQ(s.out.str(), kMenu + c.lines + "Include Neighboring interaction Z*JP  (Y/N)?\n");
    EXPECT_EQ(Names(m), c.names);
  }
}

TEST(ModelOtherFunctions, ChoiceKeptPerTerm) {
  Script s("2\n-10\nn\n4\n1 1\n-1\n-2\nn\n");
  model::FitModel m;
  model::SelectFunction(m, s.con, 9, 1);
  model::SelectFunction(m, s.con, 9, 2);
  EXPECT_EQ(m.IOTHER[0], 2);
  EXPECT_EQ(m.IOTHER[1], 4);
  EXPECT_EQ(m.NPAR, 3);
}

}  // namespace

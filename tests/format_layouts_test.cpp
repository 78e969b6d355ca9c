// Every layout the program uses renders, and a few render exactly as the
// program's transcripts show them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/layout.h"

namespace {

using format::Items;
using format::Render;

struct LayoutCase {
  const char* layout;
  const char* kinds;  // one letter per value item: I, F, E, D or A
  std::size_t records;
};

// The program's layouts, quoted as the program uses them.
const LayoutCase kLayouts[] = {
    {"(' 5  x F(N) + (1-x) Z-F + DIM',T35,'| 6. Bonner-Fisher',T62,'J-BF',/,' 9  None of the above',T35,'| 7. Modified BF',T62,'J-MBF, Alpha',/,'    x is COEFF1 (<1.0)',T35,'| 8. Dimers',T55,'S1, S2',T62,'J-Dimer',/,' e.g. No.24 is Bleaney-Bower with',T35,'| 9. Other functions',/,'      Curie impurity',T35,'|10. Constant (DIM)',T62,'DIM',/,1X,75('-'),/,' F. Proceed for calculation',/,' G. g-value (g=0 to make it fitting parameter)=',F7.4)",
     "F", 8},
    {"(' A. Diamagnetic value to be subtracted from observed',' data=',1P,E10.3,/,' B. TIP value to be added to the calculated',' Susceptibility=',1P,E10.3)",
     "EE", 2},
    {"(' C. Multipy the Observed data by factor=',F5.2,/,' D. Show the present values',/,' E. Expression No. =',I2,/,'    (A two digit no. MN (01-99). First digit M selects the ','type of expression.',/,'     Second digit N selects the function F(N). ','MN=99 for a new expression)')",
     "FI", 5},
    {"(' Convergence limit for iteration:',1P,E10.2)", "E", 1},
    {"(' Exponent Warning in Z-F routine-->',E12.5)", "E", 1},
    {"(' ITYPE   Type of Equation',/,' 1. A + B + C + ...',/,' 2. x(A) + (1-x)(B) + C + ...',/,' 3. y [ x(A) + (1-x)(B) ] + (1-y) (C) + D + ...',/,' Enter ITYPE (1-3)')",
     "", 5},
    {"(' L.S. Error =',D12.4,/)", "D", 2},
    {"(' List of Functions:',/,' 1. Curie Law',/,' 2. Zero-Field',/,' 3. Ising',/,' 4. Bleaney-Bower',/,' 5. Magnetization',/,' 6. Bonner-Fisher',/,' 7. Modified BF',/,' 8. Dimers',/,' 9. Other functions',/,' 10. Constant (DIM)')",
     "", 11},
    {"(' Options:',/,' 1. Select Function',/,' 2. Plot option',/,' 3. End',/,' Enter option (1-3)')",
     "", 5},
    {"(' Select one of the following from the Other functions',/,' 1. User function',/,' 2. S=1/2 Three-spin system',/,' 3. Hatfield''s S=1/2 Four-spin system',/,' 4. Kahn''s expression')",
     "", 5},
    {"(' Sigma values could not be estimated correctly.')", "", 1},
    {"(' g-value given =',F8.4)", "F", 1},
    {"(/,' Plot options:',/,' 1. X vs. T',/,' 2. Mu vs. T',/,' 3. XT vs. T',/,' 4. 1/X vs. T',/,' 5. X vs 1/T',/,' 6. QUIT',/,' Enter Option (1-6) ')",
     "", 9},
    {"(/,' Solution:',/,' Parameter      Value       Std. devn.',/,(1X,A,' =',1P,E12.5,' +/-',1P,E12.4))",
     "AEE", 4},
    {"(/,/,' Starting:',/,' Parameter      Value          Step')", "", 4},
    {"(/,/,4X,'Data for plotting (using ORIGIN, for eg.)',/,4X,'columns, from left to right : T, CHI, MU, CHI*T, 1/CHI, 1/T')",
     "", 4},
    {"(/,4X,'Calculated points',/)", "", 3},
    {"(/,4X,'Experimental points',/)", "", 3},
    {"(1X,'CP-.5,-1.5;LB',I1,A)", "IA", 1},
    {"(1X,'CP-1.,-1.5;LB',I2,A)", "IA", 1},
    {"(1X,'CP-1.5,-1.5;LB',F3.2,A)", "FA", 1},
    {"(1X,'CP-1.5,-1.5;LB',I3,A)", "IA", 1},
    {"(1X,'CP-10,-3;')", "", 1},
    {"(1X,'CP-3,-3;LBT (K) ',A)", "A", 1},
    {"(1X,'CP-3,0LB1/   (x10',A,'CP0,.5;SI.18,.25;LB',I1,A,'SI.2,.3;CP0,-.5;LB cm',A,'CP0,.5;',/,' SI.18,.25;LB-3',A,' SI.2,.3;CP0,-.5;LBmol)',A)",
     "AIAAAA", 2},
    {"(1X,'CP-3.5,-.5,LB',F3.1,A)", "FA", 1},
    {"(1X,'CP-3.5,-.5,LB',I3,A)", "IA", 1},
    {"(1X,'CP-4,-3;')", "", 1},
    {"(1X,'CP-4,-3;LB1/T (K',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3; CP0,-.5;LB)',A)", "AAA", 1},
    {"(1X,'CP-6,-3;')", "", 1},
    {"(1X,'CP-8,-3;')", "", 1},
    {"(1X,'IN;SP1;PU;')", "", 1},
    {"(1X,'LB   (B.M.) ',A)", "A", 1},
    {"(1X,'LB  T (x10',A,'CP0,.5;SI.18,.25;LB3',A,'SI.2,.3;CP0,-.5;LBcm',A,'CP0,.5;',/,' SI.18,.25;LB3',A,' SI.2,.3;CP0,-.5;',/,' LBmol',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3;CP0,-.5LBK) ',A)",
     "AAAAAAA", 3},
    {"(1X,'LB (x10',A,'CP0,.5;SI.18,.25;LB3',A,'SI.2,.3;CP0,-.5;LBcm',A,'CP0,.5;SI.18,.25;LB3',A,/,' SI.2,.3;CP0,-.5;LBmol',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3;CP0,-.5LB) ',A)",
     "AAAAAAA", 2},
    {"(1X,'PA',I5,',',I5,';')", "II", 1},
    {"(1X,'PA',I5,',',I5,'CI60,10WG60,0,360,10;')", "II", 1},
    {"(1X,'PA',I5,',',I5,'PD')", "II", 1},
    {"(1X,'PA',I5,',',I5,'SI.2,.3;DI0,1;')", "II", 1},
    {"(1X,'PA',I5,',',I5,'XT;')", "II", 1},
    {"(1X,'PA',I5,',',I5,'YT;')", "II", 1},
    {"(1X,'PR-1206,0;',/,' PR-213,24PD;PR-1,2PR1,4PR4,4PR6,-2PR3,-4PR1,-6;',/,' PR-1,-6PR-4,-4PR-7,0PR-9,4PR-4,8PR-1,12PR1,12PR4,12;',/,' PR9,16PR15,16PR78,44PR4,8PR0,4PR-1,4PR-3,-8PR-3,0;',/,' PR-6,4PR-1,4PR-1,8PR1,8PR7,4PR6,-2PR6,-6PR1,-8;',/,' PR1,-12PR0,-8PR-3,-12PR-87,-52PR-12,-12PR-9,-16;',/,' PR-3,-8PR0,-8PR3,-4PR4,0PU;',' PR103,4PD;PR-9,-12PR-108,144PR9,12PR108,-144PU;')",
     "", 7},
    {"(1X,'PR-1206,0;',/,' PR0,0PD;PR-120,40,0,20,42,-8,12,4,4,4,1,12;',/,' PR-1,8,-4,8,-7,8,-46,24,0,20,51,-20,4,2,1,6;',/,' PR-1,8,-4,8,4,0,4,-2,4,-6,1,-8,-1,-8,-4,-8;',/,' PR-6,-6,6,-6,7,-12,1,-16,0,-8,-3,-12,-4,-4;',/,' PR-4,-4,-24,6,90,-40,0,-20PU;')",
     "", 6},
    {"(1X,'PR100,50PD;PR90,0PR-15,-24PR45,36;',/,' PR-45,36PR15,-24PR-90,0PR0,-24PU;')", "", 2},
    {"(1X,'PU;')", "", 1},
    {"(1X,'PU;SP0;')", "", 1},
    {"(1X,'SI0.2,0.3;')", "", 1},
    {"(1X,2A,' S1=',F3.1,' S2=',F3.1)", "AAFF", 1},
    {"(1X,2A,' S=',F3.1)", "AAF", 1},
    {"(1X,75('-'),/,' M   Expressions for X(cal)',T35,'| N      F(N)',T55,'Consts',T62,'Variables',/,1X,75('-'),/,' 0  Simple F(N)',T35,'| 1. Curie',T55,'S',/,' 1  F(N) + DIM',T35,'| 2. Zero-Field',T55,'S',T62,'D',/,' 2  x F(N) + (1-x) Curie',T35,'| 3. Ising',T62,'J-ISNG',/,' 3  x F(N) + (1-x) Z-F',T35,'| 4. Bleaney-Bower',T62,'J-BB',/,' 4  x F(N) + (1-x) Curie + DIM',T35,'| 5. Magnetization',T55,'B',T62,'J-MAGN')",
     "", 8},
    {"(1X,A,1P,E12.5,5X,1P,E12.5)", "AEE", 1},
    {"(1X,F7.2,1X,1P,E13.6)", "FE", 1},
    {"(1X,F7.2,5(1X,E11.4))", "FEEEEE", 1},
    {"(1X,I2,'. ',A,2F12.6)", "IAFF", 1},
    {"(3(A,F10.4))", "AFAFAF", 1},
    {"(3(F7.2,F9.6,5X))", "FFFFFF", 1},
    {"(4X,'Temp.(K)',8X,'X-Expt',9X,'X-Cald.',9X,'Difference')", "", 1},
    {"(4X,75A1)", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", 1},
    {"(8X,7(1X,A,1X))", "AAAAAAA", 1},
    {"(A)", "A", 1},
    {"(F15.2,3F15.5)", "FFFF", 1},
    {"(I3,'. ',A,F12.6)", "IAF", 1},
    {"(I5,(7F10.4))", "IFFFFFFF", 1},
};

TEST(ProgramLayouts, AllRender) {
  for (const LayoutCase& c : kLayouts) {
    Items items;
    for (const char* k = c.kinds; *k != '\0'; ++k) {
      switch (*k) {
        case 'I':
          items.emplace_back(7);
          break;
        case 'F':
          items.emplace_back(0.5);
          break;
        case 'E':
          items.emplace_back(1234.5);
          break;
        case 'D':
          items.emplace_back(0.001234);
          break;
        default:
          items.emplace_back("ab");
          break;
      }
    }
    std::vector<std::string> records;
    ASSERT_NO_THROW(records = Render(c.layout, items)) << c.layout;
    EXPECT_EQ(records.size(), c.records) << c.layout;
    for (const std::string& record : records) {
      EXPECT_EQ(record.find("**"), std::string::npos) << c.layout;
    }
  }
}

// Records as the console shows them: without the control character.
std::vector<std::string> Shown(std::string_view layout, const Items& items) {
  std::vector<std::string> shown;
  for (const std::string& record : Render(layout, items)) {
    shown.push_back(record.empty() ? record : record.substr(1));
  }
  return shown;
}

TEST(ProgramLayouts, CorrectionsMenu) {
  EXPECT_EQ(Shown("(' A. Diamagnetic value to be subtracted from observed',' data=',1P,E10.3,/,"
                  "' B. TIP value to be added to the calculated',' Susceptibility=',1P,E10.3)",
                  {-3.2e-4, 1.2e-4}),
            (std::vector<std::string>{
                "A. Diamagnetic value to be subtracted from observed data=-3.200E-04",
                "B. TIP value to be added to the calculated Susceptibility= 1.200E-04"}));
  EXPECT_EQ(Shown("(' A. Diamagnetic value to be subtracted from observed',' data=',1P,E10.3,/,"
                  "' B. TIP value to be added to the calculated',' Susceptibility=',1P,E10.3)",
                  {0.0, 0.0})[0],
            "A. Diamagnetic value to be subtracted from observed data= 0.000E+00");
  std::vector<std::string> c_to_e = Shown(
      "(' C. Multipy the Observed data by factor=',F5.2,/,' D. Show the present values',/,"
      "' E. Expression No. =',I2,/,'    (A two digit no. MN (01-99). First digit M selects the ',"
      "'type of expression.',/,'     Second digit N selects the function F(N). ',"
      "'MN=99 for a new expression)')",
      {0.5, 24});
  EXPECT_EQ(c_to_e,
            (std::vector<std::string>{
                "C. Multipy the Observed data by factor=  .50", "D. Show the present values",
                "E. Expression No. =24",
                "   (A two digit no. MN (01-99). First digit M selects the type of expression.",
                "    Second digit N selects the function F(N). MN=99 for a new expression)"}));
  std::vector<std::string> table = Shown(kLayouts[0].layout, {0.0});
  ASSERT_EQ(table.size(), 8u);
  EXPECT_EQ(table[0], "5  x F(N) + (1-x) Z-F + DIM      | 6. Bonner-Fisher         J-BF");
  EXPECT_EQ(table[2], "   x is COEFF1 (<1.0)            | 8. Dimers         S1, S2 J-Dimer");
  EXPECT_EQ(table[4], "     Curie impurity              |10. Constant (DIM)        DIM");
  EXPECT_EQ(table[5], std::string(75, '-'));
  EXPECT_EQ(table[7], "G. g-value (g=0 to make it fitting parameter)=  .0000");
}

TEST(ProgramLayouts, DataListing) {
  const double points[] = {5.00,          1.553874e-03, 12.56,        4.972095e-04,  20.13,
                           2.309199e-04,  27.69,        1.122740e-04, 35.26,         4.612528e-05,
                           42.82,         7.190034e-06, 50.38,        -1.055881e-05, 57.95,
                           -6.157164e-06, 65.51,        2.176890e-05, 300.0,         1.452e-03};
  Items items(std::begin(points), std::end(points));
  EXPECT_EQ(Shown("(3(F7.2,F9.6,5X))", items),
            (std::vector<std::string>{"  5.00  .001554       12.56  .000497       20.13  .000231",
                                      " 27.69  .000112       35.26  .000046       42.82  .000007",
                                      " 50.38 -.000011       57.95 -.000006       65.51  .000022",
                                      "300.00  .001452"}));
}

TEST(ProgramLayouts, ProgressLines) {
  EXPECT_EQ(Shown("(8X,7(1X,A,1X))", {"g-value ", "J-BB    ", "COEFF1  ", "L.S.Error"}),
            std::vector<std::string>{"        g-value   J-BB      COEFF1    L.S.Error"});
  EXPECT_EQ(Shown("(I5,(7F10.4))", {2, 2.1, -140.0, 0.98, 0.05261}),
            std::vector<std::string>{"   2    2.1000 -140.0000     .9800     .0526"});
  EXPECT_EQ(Shown("(I5,(7F10.4))", {138, 2.14938, -144.75315, 0.989888, 4.691e-05}),
            std::vector<std::string>{" 138    2.1494 -144.7532     .9899     .0000"});
  // A count of 10000 or more puts its first digit in the control position.
  EXPECT_EQ(Render("(I5,(7F10.4))", {12345, 1.0})[0][0], '1');
}

TEST(ProgramLayouts, Report) {
  EXPECT_EQ(Shown("(/,/,' Starting:',/,' Parameter      Value          Step')", {}),
            (std::vector<std::string>{"", "", "Starting:", "Parameter      Value          Step"}));
  EXPECT_EQ(Shown("(1X,A,1P,E12.5,5X,1P,E12.5)", {"J-BB    ", -140.0, -1.4}),
            std::vector<std::string>{"J-BB    -1.40000E+02     -1.40000E+00"});
  EXPECT_EQ(
      Shown(
          "(/,' Solution:',/,' Parameter      Value       Std. devn.',/,(1X,A,' =',1P,E12.5,' +/-',1P,E12.4))",
          {"g-value ", 2.149381, 3.05308e-03, "J-BB    ", -144.753151, 0.259732, "COEFF1  ",
           0.989888, 5.19776e-05}),
      (std::vector<std::string>{"", "Solution:", "Parameter      Value       Std. devn.",
                                "g-value  = 2.14938E+00 +/-  3.0531E-03",
                                "J-BB     =-1.44753E+02 +/-  2.5973E-01",
                                "COEFF1   = 9.89888E-01 +/-  5.1978E-05"}));
  EXPECT_EQ(Shown("(' L.S. Error =',D12.4,/)", {4.691e-05}),
            (std::vector<std::string>{"L.S. Error =   .4691D-04", ""}));
  EXPECT_EQ(Shown("(' Convergence limit for iteration:',1P,E10.2)", {1e-16}),
            std::vector<std::string>{"Convergence limit for iteration:  1.00E-16"});
  EXPECT_EQ(Shown("(1X,I2,'. ',A,2F12.6)", {2, "J-BB    ", -140.0, -1.4}),
            std::vector<std::string>{" 2. J-BB     -140.000000   -1.400000"});
  EXPECT_EQ(
      Shown("(4X,'Temp.(K)',8X,'X-Expt',9X,'X-Cald.',9X,'Difference')", {}),
      std::vector<std::string>{"   Temp.(K)        X-Expt         X-Cald.         Difference"});
  EXPECT_EQ(
      Shown("(F15.2,3F15.5)", {110.9, 0.00037, 0.00038, -0.0000051}),
      std::vector<std::string>{"        110.90         .00037         .00038        -.00001"});
}

TEST(ProgramLayouts, PlotFile) {
  // Plot file records are written whole, first character included.
  EXPECT_EQ(Render("(1X,'PA',I5,',',I5,'PD')", {10721, 6893}),
            std::vector<std::string>{" PA10721, 6893PD"});
  EXPECT_EQ(Render("(1X,'PA',I5,',',I5,'PD')", {7834, 6002}),
            std::vector<std::string>{" PA 7834, 6002PD"});
}

}  // namespace

// The layouts of the records that plot/ writes, quoted exactly as the
// program uses them. Internal to plot/; the tests render them.
#ifndef SUSCEP_PLOT_LAYOUTS_H_
#define SUSCEP_PLOT_LAYOUTS_H_

namespace plot {

// Axis ranges.
inline constexpr char kAxisLine[] = "(3(A,F10.4))";

// The printer plot.
inline constexpr char kPictureLine[] = "(4X,75A1)";

// The HP-GL plot file.
inline constexpr char kStart[] = "(1X,'IN;SP1;PU;')";
inline constexpr char kCurvePoint[] = "(1X,'PA',I5,',',I5,'PD')";
inline constexpr char kPenUp[] = "(1X,'PU;')";
inline constexpr char kDataPoint[] = "(1X,'PA',I5,',',I5,'CI60,10WG60,0,360,10;')";
inline constexpr char kCharSize[] = "(1X,'SI0.2,0.3;')";
inline constexpr char kXTick[] = "(1X,'PA',I5,',',I5,'XT;')";
inline constexpr char kXLabelInverse[] = "(1X,'CP-1.5,-1.5;LB',F3.2,A)";
inline constexpr char kXLabel1[] = "(1X,'CP-.5,-1.5;LB',I1,A)";
inline constexpr char kXLabel2[] = "(1X,'CP-1.,-1.5;LB',I2,A)";
inline constexpr char kXLabel3[] = "(1X,'CP-1.5,-1.5;LB',I3,A)";
inline constexpr char kYTick[] = "(1X,'PA',I5,',',I5,'YT;')";
inline constexpr char kYLabelMilli[] = "(1X,'CP-3.5,-.5,LB',I3,A)";
inline constexpr char kYLabelValue[] = "(1X,'CP-3.5,-.5,LB',F3.1,A)";
inline constexpr char kXTitlePosition[] = "(1X,'PA',I5,',',I5,';')";
inline constexpr char kXTitleT[] = "(1X,'CP-3,-3;LBT (K) ',A)";
inline constexpr char kXTitleInverseT[] =
    "(1X,'CP-4,-3;LB1/T (K',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3; CP0,-.5;LB)',A)";
inline constexpr char kArrow[] =
    "(1X,'PR100,50PD;PR90,0PR-15,-24PR45,36;',/,' PR-45,36PR15,-24PR-90,0PR0,-24PU;')";
inline constexpr char kYTitlePosition[] = "(1X,'PA',I5,',',I5,'SI.2,.3;DI0,1;')";
inline constexpr char kYTitleMuAt[] = "(1X,'CP-4,-3;')";
inline constexpr char kYTitleXTAt[] = "(1X,'CP-10,-3;')";
inline constexpr char kYTitleInverseAt[] = "(1X,'CP-8,-3;')";
inline constexpr char kYTitleChiAt[] = "(1X,'CP-6,-3;')";
inline constexpr char kYTitleMu[] = "(1X,'LB   (B.M.) ',A)";
inline constexpr char kYTitleXT[] =
    "(1X,'LB  T (x10',A,'CP0,.5;SI.18,.25;LB3',A,'SI.2,.3;CP0,-.5;LBcm',A,'CP0,.5;',/,"
    "' SI.18,.25;LB3',A,' SI.2,.3;CP0,-.5;',/,"
    "' LBmol',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3;CP0,-.5LBK) ',A)";
inline constexpr char kYTitleInverse[] =
    "(1X,'CP-3,0LB1/   (x10',A,'CP0,.5;SI.18,.25;LB',I1,A,'SI.2,.3;CP0,-.5;LB cm',A,"
    "'CP0,.5;',/,' SI.18,.25;LB-3',A,' SI.2,.3;CP0,-.5;LBmol)',A)";
inline constexpr char kYTitleChi[] =
    "(1X,'LB (x10',A,'CP0,.5;SI.18,.25;LB3',A,'SI.2,.3;CP0,-.5;LBcm',A,"
    "'CP0,.5;SI.18,.25;LB3',A,/,"
    "' SI.2,.3;CP0,-.5;LBmol',A,'CP0,.5;SI.18,.25;LB-1',A,'SI.2,.3;CP0,-.5LB) ',A)";
inline constexpr char kChiSymbol[] =
    "(1X,'PR-1206,0;',/,"
    "' PR-213,24PD;PR-1,2PR1,4PR4,4PR6,-2PR3,-4PR1,-6;',/,"
    "' PR-1,-6PR-4,-4PR-7,0PR-9,4PR-4,8PR-1,12PR1,12PR4,12;',/,"
    "' PR9,16PR15,16PR78,44PR4,8PR0,4PR-1,4PR-3,-8PR-3,0;',/,"
    "' PR-6,4PR-1,4PR-1,8PR1,8PR7,4PR6,-2PR6,-6PR1,-8;',/,"
    "' PR1,-12PR0,-8PR-3,-12PR-87,-52PR-12,-12PR-9,-16;',/,"
    "' PR-3,-8PR0,-8PR3,-4PR4,0PU;',' PR103,4PD;PR-9,-12PR-108,144PR9,12PR108,-144PU;')";
inline constexpr char kMuSymbol[] =
    "(1X,'PR-1206,0;',/,"
    "' PR0,0PD;PR-120,40,0,20,42,-8,12,4,4,4,1,12;',/,"
    "' PR-1,8,-4,8,-7,8,-46,24,0,20,51,-20,4,2,1,6;',/,"
    "' PR-1,8,-4,8,4,0,4,-2,4,-6,1,-8,-1,-8,-4,-8;',/,"
    "' PR-6,-6,6,-6,7,-12,1,-16,0,-8,-3,-12,-4,-4;',/,"
    "' PR-4,-4,-24,6,90,-40,0,-20PU;')";
inline constexpr char kEnd[] = "(1X,'PU;SP0;')";

}  // namespace plot

#endif  // SUSCEP_PLOT_LAYOUTS_H_

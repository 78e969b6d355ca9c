// The layouts of the records that driver/ writes, quoted exactly as the
// program uses them. Internal to driver/; the tests render them.
#ifndef SUSCEP_DRIVER_LAYOUTS_H_
#define SUSCEP_DRIVER_LAYOUTS_H_

namespace driver {

// Program flow and menus.
inline constexpr char kBanner[] =
    "('1',/,/,/,T27,' SUSCEPTIBILITY DATA FITTING ',/,"
    "T22,'Fitting of magnetic susceptibility data',/,"
    "T22,'to a library of theoretical expressions',/,"
    "T22,'by simplex minimisation of the L.S. error',/,/,/,"
    "' Experimental data file name?')";
inline constexpr char kMenuCorrections[] =
    "(' A. Diamagnetic value to be subtracted from observed',' data=',1P,E10.3,/,' B. TIP value to be added to the calculated',' Susceptibility=',1P,E10.3)";
inline constexpr char kMenuFactor[] =
    "(' C. Multipy the Observed data by factor=',F5.2,/,' D. Show the present values',/,' E. Expression No. =',I2,/,'    (A two digit no. MN (01-99). First digit M selects the ','type of expression.',/,'     Second digit N selects the function F(N). ','MN=99 for a new expression)')";
inline constexpr char kMenuTable1[] =
    "(1X,75('-'),/,' M   Expressions for X(cal)',T35,'| N      F(N)',T55,'Consts',T62,'Variables',/,1X,75('-'),/,' 0  Simple F(N)',T35,'| 1. Curie',T55,'S',/,' 1  F(N) + DIM',T35,'| 2. Zero-Field',T55,'S',T62,'D',/,' 2  x F(N) + (1-x) Curie',T35,'| 3. Ising',T62,'J-ISNG',/,' 3  x F(N) + (1-x) Z-F',T35,'| 4. Bleaney-Bower',T62,'J-BB',/,' 4  x F(N) + (1-x) Curie + DIM',T35,'| 5. Magnetization',T55,'B',T62,'J-MAGN')";
inline constexpr char kMenuTable2[] =
    "(' 5  x F(N) + (1-x) Z-F + DIM',T35,'| 6. Bonner-Fisher',T62,'J-BF',/,' 9  None of the above',T35,'| 7. Modified BF',T62,'J-MBF, Alpha',/,'    x is COEFF1 (<1.0)',T35,'| 8. Dimers',T55,'S1, S2',T62,'J-Dimer',/,' e.g. No.24 is Bleaney-Bower with',T35,'| 9. Other functions',/,'      Curie impurity',T35,'|10. Constant (DIM)',T62,'DIM',/,1X,75('-'),/,' F. Proceed for calculation',/,' G. g-value (g=0 to make it fitting parameter)=',F7.4)";
inline constexpr char kFunctionList[] =
    "(' List of Functions:',/,' 1. Curie Law',/,' 2. Zero-Field',/,' 3. Ising',/,' 4. Bleaney-Bower',/,' 5. Magnetization',/,' 6. Bonner-Fisher',/,' 7. Modified BF',/,' 8. Dimers',/,' 9. Other functions',/,' 10. Constant (DIM)')";
inline constexpr char kEquationTypes[] =
    "(' ITYPE   Type of Equation',/,' 1. A + B + C + ...',/,' 2. x(A) + (1-x)(B) + C + ...',/,' 3. y [ x(A) + (1-x)(B) ] + (1-y) (C) + D + ...',/,' Enter ITYPE (1-3)')";
inline constexpr char kPlotOptions[] =
    "(/,' Plot options:',/,' 1. X vs. T',/,' 2. Mu vs. T',/,' 3. XT vs. T',/,' 4. 1/X vs. T',/,' 5. X vs 1/T',/,' 6. QUIT',/,' Enter Option (1-6) ')";
inline constexpr char kOptions[] =
    "(' Options:',/,' 1. Select Function',/,' 2. Plot option',/,' 3. End',/,' Enter option (1-3)')";

// Parameter listing and the iteration dialogue.
inline constexpr char kListingLine[] = "(I3,'. ',A,F12.6)";
inline constexpr char kConvergence[] = "(' Convergence limit for iteration:',1P,E10.2)";
inline constexpr char kStepLine[] = "(1X,I2,'. ',A,2F12.6)";

}  // namespace driver

#endif  // SUSCEP_DRIVER_LAYOUTS_H_

// The layouts of the records that engine/ writes, quoted exactly as the
// program uses them. Internal to engine/; the tests render them.
#ifndef SUSCEP_ENGINE_LAYOUTS_H_
#define SUSCEP_ENGINE_LAYOUTS_H_

namespace engine {

// The data listing.
inline constexpr char kListing[] = "(3(F7.2,F9.6,5X))";

// The progress lines of a fit.
inline constexpr char kProgressHeader[] = "(8X,7(1X,A,1X))";

// The results report.
inline constexpr char kHeading[] =
    "(/,' CHIFIT output. Ref: ',/,"
    "'     Magnetic susceptibility against temperature',/,"
    "'     Simplex fit of the L.S. error, errors from a quadratic surface',/,"
    "'     Observed values after the corrections listed below',/,"
    "'     T in K, X in cm3/mol, J, D and Z*JP in cm-1, THETA in K',/)";
inline constexpr char kStarting[] = "(/,/,' Starting:',/,' Parameter      Value          Step')";
inline constexpr char kStartingLine[] = "(1X,A,1P,E12.5,5X,1P,E12.5)";
inline constexpr char kSolution[] =
    "(/,' Solution:',/,' Parameter      Value       Std. devn.',/,(1X,A,' =',1P,E12.5,' +/-',1P,E12.4))";
inline constexpr char kSigmaFailed[] = "(' Sigma values could not be estimated correctly.')";
inline constexpr char kGivenG[] = "(' g-value given =',F8.4)";
inline constexpr char kLsError[] = "(' L.S. Error =',D12.4,/)";
inline constexpr char kDiffHeading[] = "(4X,'Temp.(K)',8X,'X-Expt',9X,'X-Cald.',9X,'Difference')";
inline constexpr char kDiffLine[] = "(F15.2,3F15.5)";
// A point outside the temperature window of a fit (not in the dialogue).
inline constexpr char kDiffLineExcluded[] = "(F15.2,3F15.5,'  excluded')";
inline constexpr char kCurveLine[] = "(1X,F7.2,1X,1P,E13.6)";
inline constexpr char kPlotDataHeading[] =
    "(/,/,4X,'Data for plotting (using ORIGIN, for eg.)',/,4X,'columns, from left to right : T, CHI, MU, CHI*T, 1/CHI, 1/T')";
inline constexpr char kExperimental[] = "(/,4X,'Experimental points',/)";
inline constexpr char kPlotDataLine[] = "(1X,F7.2,5(1X,E11.4))";
inline constexpr char kCalculated[] = "(/,4X,'Calculated points',/)";

}  // namespace engine

#endif  // SUSCEP_ENGINE_LAYOUTS_H_

// Every layout the program writes through, by its own constant, with the
// kinds of the items it takes and the records it makes: for the layout
// tests and the layout fuzz target.
#ifndef SUSCEP_TESTS_PROGRAM_LAYOUTS_H_
#define SUSCEP_TESTS_PROGRAM_LAYOUTS_H_

#include <cstddef>

#include "driver/layouts.h"
#include "engine/layouts.h"
#include "model/layouts.h"
#include "plot/layouts.h"

namespace test_util {

struct ProgramLayout {
  const char* name;
  const char* layout;
  const char* kinds;  // one letter per value item: I, F, E, D or A
  std::size_t records;
};

// The progress line and the zero-field warning of expressions/ are pinned
// by the expressions tests through the lines that Objective and ZeroField
// write.
inline constexpr ProgramLayout kProgramLayouts[] = {
    {"kBanner", driver::kBanner, "", 10},
    {"kHeading", engine::kHeading, "", 7},
    {"kCalculated", engine::kCalculated, "", 3},
    {"kConvergence", driver::kConvergence, "E", 1},
    {"kCurveLine", engine::kCurveLine, "FE", 1},
    {"kDiffHeading", engine::kDiffHeading, "", 1},
    {"kDiffLine", engine::kDiffLine, "FFFF", 1},
    {"kEquationTypes", driver::kEquationTypes, "", 5},
    {"kExperimental", engine::kExperimental, "", 3},
    {"kFunctionList", driver::kFunctionList, "", 11},
    {"kGivenG", engine::kGivenG, "F", 1},
    {"kListing", engine::kListing, "FFFFFF", 1},
    {"kListingLine", driver::kListingLine, "IAF", 1},
    {"kLsError", engine::kLsError, "D", 2},
    {"kMenuCorrections", driver::kMenuCorrections, "EE", 2},
    {"kMenuFactor", driver::kMenuFactor, "FI", 5},
    {"kMenuTable1", driver::kMenuTable1, "", 8},
    {"kMenuTable2", driver::kMenuTable2, "F", 8},
    {"kOptions", driver::kOptions, "", 5},
    {"kPlotDataHeading", engine::kPlotDataHeading, "", 4},
    {"kPlotDataLine", engine::kPlotDataLine, "FEEEEE", 1},
    {"kPlotOptions", driver::kPlotOptions, "", 9},
    {"kProgressHeader", engine::kProgressHeader, "AAAAAAA", 1},
    {"kSigmaFailed", engine::kSigmaFailed, "", 1},
    {"kSolution", engine::kSolution, "AEE", 4},
    {"kStarting", engine::kStarting, "", 4},
    {"kStartingLine", engine::kStartingLine, "AEE", 1},
    {"kStepLine", driver::kStepLine, "IAFF", 1},
    {"kOtherFunctionsMenu", model::kOtherFunctionsMenu, "", 5},
    {"kSpinTerm", model::kSpinTerm, "AAF", 1},
    {"kTwoSpinTerm", model::kTwoSpinTerm, "AAFF", 1},
    {"kArrow", plot::kArrow, "", 2},
    {"kAxisLine", plot::kAxisLine, "AFAFAF", 1},
    {"kCharSize", plot::kCharSize, "", 1},
    {"kChiSymbol", plot::kChiSymbol, "", 7},
    {"kCurvePoint", plot::kCurvePoint, "II", 1},
    {"kDataPoint", plot::kDataPoint, "II", 1},
    {"kEnd", plot::kEnd, "", 1},
    {"kMuSymbol", plot::kMuSymbol, "", 6},
    {"kPenUp", plot::kPenUp, "", 1},
    {"kPictureLine", plot::kPictureLine,
     "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", 1},
    {"kStart", plot::kStart, "", 1},
    {"kXLabel1", plot::kXLabel1, "IA", 1},
    {"kXLabel2", plot::kXLabel2, "IA", 1},
    {"kXLabel3", plot::kXLabel3, "IA", 1},
    {"kXLabelInverse", plot::kXLabelInverse, "FA", 1},
    {"kXTick", plot::kXTick, "II", 1},
    {"kXTitleInverseT", plot::kXTitleInverseT, "AAA", 1},
    {"kXTitlePosition", plot::kXTitlePosition, "II", 1},
    {"kXTitleT", plot::kXTitleT, "A", 1},
    {"kYLabelMilli", plot::kYLabelMilli, "IA", 1},
    {"kYLabelValue", plot::kYLabelValue, "FA", 1},
    {"kYTick", plot::kYTick, "II", 1},
    {"kYTitleChi", plot::kYTitleChi, "AAAAAAA", 2},
    {"kYTitleChiAt", plot::kYTitleChiAt, "", 1},
    {"kYTitleInverse", plot::kYTitleInverse, "AIAAAA", 2},
    {"kYTitleInverseAt", plot::kYTitleInverseAt, "", 1},
    {"kYTitleMu", plot::kYTitleMu, "A", 1},
    {"kYTitleMuAt", plot::kYTitleMuAt, "", 1},
    {"kYTitlePosition", plot::kYTitlePosition, "II", 1},
    {"kYTitleXT", plot::kYTitleXT, "AAAAAAA", 3},
    {"kYTitleXTAt", plot::kYTitleXTAt, "", 1},
};

}  // namespace test_util

#endif  // SUSCEP_TESTS_PROGRAM_LAYOUTS_H_

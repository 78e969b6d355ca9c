// The layouts of the records that model/ writes, quoted exactly as the
// program uses them. Internal to model/; the tests render them.
#ifndef SUSCEP_MODEL_LAYOUTS_H_
#define SUSCEP_MODEL_LAYOUTS_H_

namespace model {

// Function selection.
inline constexpr char kOtherFunctionsMenu[] =
    "(' Select one of the following from the Other functions',/,' 1. User function',/,"
    "' 2. S=1/2 Three-spin system',/,' 3. Hatfield''s S=1/2 Four-spin system',/,"
    "' 4. Kahn''s expression')";

// The model description.
inline constexpr char kSpinTerm[] = "(1X,2A,' S=',F3.1)";
inline constexpr char kTwoSpinTerm[] = "(1X,2A,' S1=',F3.1,' S2=',F3.1)";

}  // namespace model

#endif  // SUSCEP_MODEL_LAYOUTS_H_

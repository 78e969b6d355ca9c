// A "/" or a null value ("1*") at a prompt that reads one value leaves the
// value as it was, through the whole dialogue.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver_e2e_util.h"

namespace {

constexpr char kFlat[] = "3\n10 0.01\n20 0.01\n30 0.01\n";

TEST(DriverFreeForm, EveryOneValueReadKeepsItsValue) {
  const std::string input =
      "t.dat\n\n"
      "A\n5\nA\n/\nC\n0.5\nC\n1*\nG\n2\nG\n/\nE\n99\nE\n 1*, /\nD\n"  // the menu
      "F\n1\n10\n1\n0.01\n1\n1\n"                                     // one DIM term; no plot
      "1\n/\n"                                                        // the parameter value
      "-1\n-2\n/\n1\n/\n-1\n/\n"  // REQMIN, a step, the iteration budget
      "0\n\n-2\n3\n";
  const e2e::Result r = e2e::Run("slash_everywhere", input, {{"t.dat", kFlat}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("observed data= 5.000E+00\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("by factor=  .50\n"), std::string::npos);
  EXPECT_NE(r.out.find("Expression No. =99\n"), std::string::npos);
  EXPECT_NE(r.out.find("fitting parameter)= 2.0000\n"), std::string::npos);
  // Each time the settings are shown again, after each "/".
  const std::string settings =
      "No. of iterations        200\n"
      "Convergence limit for iteration:  1.00E-16\n"
      "    Parameter     Value       Step\n"
      " 1. DIM          .010000     .000100\n";
  std::size_t shown = 0;
  for (std::size_t at = r.out.find(settings); at != std::string::npos;
       at = r.out.find(settings, at + 1)) {
    ++shown;
  }
  EXPECT_EQ(shown, 4u);
  // The budget kept at 200: the fit runs and moves DIM to the data.
  EXPECT_NE(r.out.find("Iteration is completed."), std::string::npos);
  EXPECT_NE(r.out.find("DIM      =-2.49500E+00"), std::string::npos);
}

TEST(DriverFreeForm, ASlashAtANumberPromptAsksAgainWhereNothingWasChosen) {
  // A first "/" at the parameter number and at the step number asks again.
  const std::string input =
      "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n1\n"
      "/\n-1\n/\n-1\n0\n\n-2\n3\n";
  const e2e::Result r = e2e::Run("slash_numbers", input, {{"t.dat", kFlat}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string edit = "Change Parameter No. (0-Plot, -1 Iteration, -2 End):\n";
  EXPECT_NE(r.out.find(edit + edit), std::string::npos);
  const std::string step = "Change step No. (0 to proceed, -1 No. of Iters.  -2 Convergence):\n";
  EXPECT_NE(r.out.find(step + step), std::string::npos);
}

}  // namespace

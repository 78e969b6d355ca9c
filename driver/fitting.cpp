// Parameter listing and editing, the iteration dialogue and the fit.
#include <string>

#include "driver/layouts.h"
#include "driver/session.h"
#include "signals/signals.h"

namespace driver {
namespace {

void ShowSettings(Session& s) {
  model::FitModel& m = s.fm;
  s.con.BeginQuestion();
  s.con.Free({"No. of iterations", s.fc.NITER});
  s.con.Out(kConvergence, {s.fc.REQMIN});
  s.con.Free({"    Parameter     Value       Step"});
  for (int j = 0; j < m.NPAR; ++j) {
    s.con.Out(kStepLine, {j + 1, m.PNAME[j], m.PVAL[j], m.PSTEP[j]});
  }
}

// The files a fit ends by writing: one note for each the working directory
// cannot take now, before the fit is spent. The report is still shown on the
// console before the error ends the run.
void CheckOutputFiles(Session& s) {
  if (s.notes == nullptr) return;
  for (const std::string* path : {&s.report_path, &s.result_path}) {
    const std::string why = format::CannotReplace(*path);
    if (!why.empty()) {
      *s.notes << "suscep: note: before the fit: " << why
               << "; the report will be shown on the console, then the run ends" << std::endl;
    }
  }
}

// The iteration dialogue from its set-up to the report.
void IterationDialogue(Session& s) {
  format::Console& con = s.con;
  model::FitModel& m = s.fm;
  // The set-up, each time -1 is answered: the fit settings start afresh (no
  // deviations, no failure of an earlier estimate), the steps from the
  // values.
  s.fc = FitControl{};
  for (int j = 0; j < m.NPAR; ++j) m.PSTEP[j] = engine::DefaultStep(m.PVAL[j]);
  engine::FitSteps steps(s, &s.con);
  FitControl& f = s.fc;
  for (;;) {
    ShowSettings(s);
    if (f.NITER == 0) break;
    // As the step listing leaves it: a "/" asks again.
    int j = m.NPAR + 1;
    do {
      con.Free({"Change step No. (0 to proceed, -1 No. of Iters.  ", "-2 Convergence):"});
      j = con.ReadInt(j);
    } while (j > m.NPAR || j < -2);
    if (j == -2) {
      // REQMIN of 0 or below would make the minimiser refuse the fit.
      for (;;) {
        con.Free({"Enter REQMIN value for convergence:"});
        f.REQMIN = con.ReadReal(f.REQMIN);
        if (f.REQMIN > 0.0) break;
        con.Reason("REQMIN must be above 0");
      }
    } else if (j == -1) {
      con.Free({"Enter No. of iterations"});
      f.NITER = con.ReadInt(f.NITER);
    } else if (j == 0) {
      CheckOutputFiles(s);
      break;
    } else {
      con.Free({"Enter New step value of " + m.PNAME[j - 1]});
      m.PSTEP[j - 1] = con.ReadReal(m.PSTEP[j - 1]);
    }
  }
  while (!steps.done()) {
    // Ctrl-C ends the step it comes in: the search with the best point so
    // far, the estimate alone, or the statistics and the check of the
    // minimum alone; the report follows.
    const signals::Interruptible interrupt;
    steps.Take([&interrupt] { return interrupt.Requested(); });
  }
  WriteReport(s, steps.found());
}

}  // namespace

EditResult EditParameters(Session& s) {
  format::Console& con = s.con;
  model::FitModel& m = s.fm;
  con.BeginQuestion();
  con.Free({"No. Parameter  Value"});
  format::Items items;
  for (int j = 0; j < m.NPAR; ++j) {
    items.emplace_back(j + 1);
    items.emplace_back(m.PNAME[j]);
    items.emplace_back(s.fc.PFIT[j]);
  }
  con.Out(kListingLine, items);
  // As the listing leaves it: a first "/" asks again, a later one repeats
  // the last answer.
  int j = m.NPAR + 1;
  for (;;) {
    con.Free({"Change Parameter No. (0-Plot, -1 Iteration, -2 End):"});
    j = con.ReadInt(j);
    if (j > m.NPAR || j < -2) continue;
    if (j == 0) return EditResult::kPlot;
    if (j == -2) return EditResult::kOptions;
    if (j == -1) {
      IterationDialogue(s);
      return EditResult::kReported;
    }
    con.Free({"Enter New value of " + m.PNAME[j - 1]});
    m.PVAL[j - 1] = con.ReadReal(m.PVAL[j - 1]);
  }
}

}  // namespace driver

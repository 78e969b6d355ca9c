// Program flow: start-up, the data file, the corrections menu, the plot
// menus and the Options menu. Control passes between activities only here.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <string>

#include "driver/layouts.h"
#include "driver/session.h"
#include "format/errors.h"

namespace driver {
namespace {

enum class State { kMenu, kAsk, kProceed, kPlotMenu, kPlot, kEdit, kOptions, kEnd };

// The data file name; asked again while blank. Trailing blanks are not part
// of it.
std::string ReadFileName(format::Console& con) {
  auto trimmed = [](std::string name) {
    name.erase(name.find_last_not_of(" \t") + 1);
    return name;
  };
  std::string name = trimmed(con.ReadLine());
  while (name.empty()) {
    con.Free({"File name missing or blank - please enter file name"});
    con.Raw("UNIT 1? ");
    name = trimmed(con.ReadLine());
  }
  return name;
}

// The data file named and loaded. On a terminal a name that cannot be
// opened is reported and asked again; otherwise it ends the program.
void LoadDataFile(Session& s) {
  format::Console& con = s.con;
  s.data_name = ReadFileName(con);
  for (;;) {
    try {
      engine::LoadFile(s.data, s.data_name, &con);
      return;
    } catch (const engine::OpenError& e) {
      if (!con.asks_again()) {
        // A file that cannot be opened is the fault of the answer that named it.
        con.BlameLastAnswer();
        throw;
      }
      constexpr std::string_view kPrefix = "open: ";
      std::string problem = e.what();
      if (problem.compare(0, kPrefix.size(), kPrefix) == 0) problem.erase(0, kPrefix.size());
      con.Reason(problem + " - please enter another name");
      con.Raw("UNIT 1? ");
      s.data_name = ReadFileName(con);
    }
  }
}

void ShowMenu(Session& s) {
  s.fm.NPAR = 0;
  const Settings& c = s.settings;
  s.con.Out(kMenuCorrections, {c.DIAM, c.TIP});
  s.con.Out(kMenuFactor, {c.FACTOR, c.MN});
  s.con.Out(kMenuTable1);
  s.con.Out(kMenuTable2, {c.GVAL});
}

// One letter of the corrections menu; returns the next state.
State Ask(Session& s) {
  format::Console& con = s.con;
  Settings& c = s.settings;
  con.Free({"To change any value, ENTER OPTION (A-G):"});
  switch (con.ReadLetter()) {
    case 'A':
    case 'a':
      con.Free({"Enter diamagnetic correction including -ve sign"});
      c.DIAM = con.ReadReal(c.DIAM);
      return State::kAsk;
    case 'B':
    case 'b':
      con.Free({"Enter Temperature Independent Paramagnetism value"});
      c.TIP = con.ReadReal(c.TIP);
      return State::kAsk;
    case 'C':
    case 'c':
      con.Free({"Enter the factor"});
      c.FACTOR = con.ReadReal(c.FACTOR);
      return State::kAsk;
    case 'D':
    case 'd':
      return State::kMenu;
    case 'E':
    case 'e':
      con.Free({model::kEnterEquation});
      c.MN = con.ReadInt(c.MN);
      return State::kAsk;
    case 'F':
    case 'f':
      return State::kProceed;
    case 'G':
    case 'g':
      con.Free({"Enter g-value (g=0 to make it fit parameter)"});
      c.GVAL = con.ReadReal(c.GVAL);
      return State::kAsk;
    default:
      return State::kAsk;
  }
}

// The user's own list of functions and equation type.
void NewExpression(Session& s) {
  format::Console& con = s.con;
  model::FitModel& m = s.fm;
  con.Out(kFunctionList);
  con.Free({"Enter No. of Terms (Fns.) in Eqn (Max. ", model::MAXTERM, ")"});
  const int nterm = con.ReadInt(m.NTERM);
  if (nterm > model::MAXTERM) {
    con.Free({model::kTooManyTerms, model::MAXTERM});
    throw format::ProgramStop{};
  }
  m.NTERM = nterm > 0 ? nterm : 0;
  con.Free({"Enter S. Nos. of Fns. from above list"});
  if (m.NTERM > 0) {
    std::vector<format::Target> codes;
    for (int k = 0; k < m.NTERM; ++k) codes.emplace_back(m.IFN[k]);
    con.Read(codes);
  }
  do {
    con.Out(kEquationTypes);
    m.ITYPE = con.ReadInt(m.ITYPE);
  } while (m.ITYPE < 1 || m.ITYPE > 3);
}

// Item F: corrections, the fit model and the constants. Returns the next
// state: the plot menu, or the letter prompt after a refused number.
State Proceed(Session& s) {
  Settings& c = s.settings;
  model::FitModel& m = s.fm;
  engine::ApplyCorrections(s.data, c.DIAM, c.TIP, c.FACTOR);
  m.GVAL = c.GVAL;
  if (model::GFitted(c.GVAL)) model::AddParameter(m, s.con, "g-value ");

  if (model::OwnExpression(c.MN)) {
    NewExpression(s);
  } else {
    if (!model::StandardExpression(c.MN)) {
      m.NPAR = 0;
      s.con.Reason("Expression No. " + std::to_string(c.MN) +
                   " is not in the menu: M 0-7 with N 1-9, or 90-99");
      s.con.Free({model::kEnterEquation});
      c.MN = s.con.ReadInt(c.MN);
      return State::kAsk;
    }
    model::Decode(m, c.MN / 10, c.MN % 10);
  }
  for (int k = 1; k <= m.NTERM; ++k) model::SelectFunction(m, s.con, m.IFN[k - 1], k);
  if (m.ITYPE != 1) model::AddParameter(m, s.con, "COEFF1  ");
  if (m.ITYPE == 3) model::AddParameter(m, s.con, "COEFF2  ");

  s.ev = BoundEvaluation(s);
  return State::kPlotMenu;
}

void PlotMenu(Session& s) {
  format::Console& con = s.con;
  con.Out(kPlotOptions);
  s.ps.IPLOT = con.ReadInt(s.ps.IPLOT);
  con.Free({"Plot type:  1. Splot/ 2.Pplot/ 3.HPPlot"});
  con.Free({"Splot NOT AVAILABLE! Enter Option (2 or 3)"});
  s.ps.IPTYPE = con.ReadInt(s.ps.IPTYPE);
  plot::PrepareAbscissae(s.ps, s.data.T.data(), s.data.NDATA);
}

void Plot(Session& s) {
  model::FitModel& m = s.fm;
  for (int j = 0; j < m.NPAR; ++j) s.fc.PFIT[j] = m.PVAL[j];
  for (int i = 0; i < s.ps.NCAL; ++i) {
    s.ps.CHICAL[i] = expressions::Evaluate(s.ev, s.fc.PFIT.data(), s.ps.TCAL[i]);
  }
  plot::PrepareOrdinates(s.ps, s.data.T.data(), s.data.XOBS.data(), s.data.NDATA);
  if (s.ps.IPTYPE == 2) {
    plot::PrinterPlot(s.ps, s.con);
  } else if (s.ps.IPTYPE == 3) {
    // SUSCEP.SVG: the figure of the same plot with the ranges typed.
    plot::HpglPlot(s.ps, s.con, s.plot_path, [&s](const plot::TypedRanges& r) {
      engine::FigureOptions o;
      o.quantity = s.ps.IPLOT;
      o.x = {r.x_min, r.x_max, r.x_divn};
      o.y = {r.y_min, r.y_max, r.y_divn};
      return engine::WorkFigure(s, o);
    });
  }
}

State Options(Session& s) {
  s.con.Out(kOptions);
  s.option = s.con.ReadInt(s.option);
  switch (s.option) {
    case 1:
      return State::kMenu;
    case 2:
      return State::kPlotMenu;
    default:
      return State::kEnd;
  }
}

// A failure the program has no report for: one line, exit status 3.
int Fatal(std::ostream& out, std::ostream& err, const std::string& what) {
  out.flush();
  err << "suscep: fatal error: " << what << std::endl;
  return 3;
}

}  // namespace

void Run(Session& s) {
  format::Console& con = s.con;
  con.Out(kBanner);
  LoadDataFile(s);

  con.Free({"If the above X(M) values are NOT per magnetic ion,"});
  con.Free({"multiply them by a Factor to get X(M) value per ion"});
  con.Free({"See next menu.  Press Enter key..."});
  con.ReadLine();
  s.settings = Settings{};

  State state = State::kMenu;
  while (state != State::kEnd) {
    switch (state) {
      case State::kMenu:
        ShowMenu(s);
        state = State::kAsk;
        break;
      case State::kAsk:
        state = Ask(s);
        break;
      case State::kProceed:
        state = Proceed(s);
        break;
      case State::kPlotMenu:
        PlotMenu(s);
        state = State::kPlot;
        break;
      case State::kPlot:
        Plot(s);
        state = State::kEdit;
        break;
      case State::kEdit:
        switch (EditParameters(s)) {
          case EditResult::kPlot:
            state = State::kPlot;
            break;
          case EditResult::kReported:
            for (int j = 0; j < s.fm.NPAR; ++j) s.fm.PVAL[j] = s.fc.PFIT[j];
            state = State::kPlot;
            break;
          case EditResult::kOptions:
            state = State::kOptions;
            break;
        }
        break;
      case State::kOptions:
        state = Options(s);
        break;
      case State::kEnd:
        break;
    }
  }
  throw format::ProgramStop{};
}

int Main(std::istream& in, std::ostream& out, std::ostream& err, bool ask_again) {
  format::Console con(in, out);
  con.SetAskAgain(ask_again);
  Session session(con);
  session.notes = &err;
  try {
    try {
      Run(session);
    } catch (const format::ProgramStop&) {
      con.Free({"Stop - Program terminated."});
      out.flush();
      if (!out) throw format::RunTimeError("write error on console output");
    }
    return 0;
  } catch (const format::RunTimeError& e) {
    out.flush();
    err << "suscep: run-time error: " << e.what() << std::endl;
    if (const auto& answer = con.blamed()) {
      err << "suscep: the answer on line " << answer->line << " of the input, to \""
          << format::Printable(answer->question, 80) << "\"" << std::endl;
    }
    return 2;
  } catch (const std::bad_alloc&) {
    return Fatal(out, err, "out of memory");
  } catch (const std::exception& e) {
    return Fatal(out, err, format::Printable(e.what(), 200));
  } catch (...) {
    return Fatal(out, err, "unexpected exception");
  }
}

}  // namespace driver

#include "driver/command_line.h"

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "format/console.h"

namespace driver {
namespace {

constexpr char kUsage[] = R"(Usage: suscep [--help | --version]
       suscep fit [OPTIONS] MODEL DATA...
       suscep import FILE [OPTIONS]

Fits theoretical expressions for the temperature dependence of the molar
magnetic susceptibility (Curie, zero-field splitting, Ising, Bleaney-Bower,
chains, dimers, clusters, ...) to measured data by simplex minimisation of
the L.S. error, with standard deviations from a quadratic surface. The
program asks one question at a time on the console.

Files:
  DATA FILE    read: the name is the first answer; the number of points
               (1-300), then pairs of temperature (K) and molar
               susceptibility (cm3/mol)
  SUSCEP.OUT   written: the report of the last fit
  SUSCEP.HGL   written: the last HP-GL plot (SUSCEP.SVG: the same picture)
  SUSCEP.JSON  written beside every report: the data, model, parameters,
               statistics and a check of the minimum, for other programs
Every output file is replaced whole, never left cut short. After a fit,
notes on standard error begin "suscep: note: ".

`suscep import` turns a magnetometer's file (a Quantum Design .dat file or a
table of moments or susceptibilities) into a data file, with a record of
the conversion (mass, molar mass, field, corrections) beside it.

A session is a series of answers, one per line; to replay one:
  suscep < answers.txt

Without the dialogue, "suscep fit MODEL DATA..." fits the model of a model
file (JSON; any SUSCEP.JSON is one) to each data file and writes a result
document for each; "suscep fit --template 24" prints a model file to start
from. See "suscep fit --help".

On a terminal, a number that cannot be read, a value out of range and a
data file that cannot be opened are asked again, each with the reason, and
Ctrl-C during a fit ends the search with the best point so far (a second
Ctrl-C ends the program). From a file or pipe an unreadable number or a
data file that cannot be opened ends the program.

Exit status:
  0  an orderly end ("Stop - Program terminated.")
  2  a run-time error: an unreadable number or the end of the input, a data
     file that cannot be read, an output file that cannot be written, or a
     wrong argument
  3  any other failure, such as running out of memory
130  ended by Ctrl-C outside a fit, or by a second Ctrl-C during one (SIGTERM
     143, SIGHUP 129); no temporary file is left
)";

}  // namespace

std::optional<int> CommandLine(int argc, const char* const argv[], std::ostream& out,
                               std::ostream& err) {
  if (argc <= 1) return std::nullopt;
  cli::Grammar grammar("suscep", kUsage);
  grammar.OnWriteError("run-time error: write error on console output", 2);
  bool version = false;
  std::vector<std::string> operands;
  grammar.Flag("--version", version);
  grammar.Operands(operands);
  if (const auto status = grammar.Parse(argc, argv, out, err)) return status;
  if (!operands.empty()) {
    return grammar.Refuse(err, "unexpected argument '" +
                                   format::Printable(operands.front(), format::kNameShown) +
                                   "': the data file is asked for at the start");
  }
  if (version) return grammar.Print(out, err, std::string("suscep ") + SUSCEP_VERSION + "\n");
  return std::nullopt;
}

}  // namespace driver

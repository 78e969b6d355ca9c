#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "format/console.h"
#include "format/errors.h"
#include "format/whole_file.h"
#include "importer/importer.h"
#include "importer/text.h"

namespace importer {
namespace {

constexpr char kHelp[] = R"(Usage: suscep import FILE [options]

Turns a magnetometer's data file into a data file for suscep: the number of
points, then temperature (K) and molar susceptibility (cm3/mol) pairs.
FILE is a Quantum Design .dat file (MPMS3, MPMS-XL, PPMS; recognised by its
[Header] and [Data] sections) or a plain table of numbers in columns
separated by blanks, commas or tabs, with an optional line of names.

  chi_M = (m - m_eicosane) / H * M_w / (mass / 1000) - chi_dia

with m in emu, H in Oe, the sample mass in mg, M_w in g/mol.

Sample:
  --mass MG              sample mass in mg (default: the header's)
  --molar-mass G_PER_MOL molar mass of the formula unit (default: the header's)
  --diamagnetic CM3_PER_MOL   diamagnetic susceptibility to subtract (negative)
  --diamagnetic-estimate      subtract -0.5e-6 * M_w instead (an estimate)
  --eicosane MG          subtract the moment of MG mg of eicosane wax
                         (-2.43e-4 cm3/mol, 282.55 g/mol) before dividing
Selection:
  --field OE             the points at this field (within 2 %, at least 5 Oe);
                         needed when the file holds several fields
  --sweep zfc|fc|N|all   the sweeps, split at comment rows and where the
                         temperature turns back; needed when there are several
  --max-points N         at most N points (1-300, default 300): more are
                         averaged in temperature bins
  --bins log|linear      the bins' spacing (default log)
Columns:
  --column NAME          the moment column of a Quantum Design file (default:
                         the moment column with values in the most rows)
  --columns T,M[,H]      a plain table's columns, numbers from 1 or names
  --moment-unit emu|Am2  a plain table of moments, or
  --chi-unit cm3/mol|cm3/g|m3/mol|m3/kg  of molar or mass susceptibilities
Output:
  -o, --output FILE      the data file (default STEM-chi.dat in the current
                         directory); the record goes beside it as .import.json
  -h, --help             this text

The record (STEM-chi.import.json) holds the source's name and SHA-256, the
columns, the options, mass, molar mass, field, corrections, the points kept
and left out, and each point's field and moment error where the file has
them.
When a diamagnetic correction is applied here, leave the dialogue's DIAM at
0; a factor per magnetic ion stays the dialogue's FACTOR.

Exit status: 0 written, 1 the file refused or not written, 2 a usage error.
)";

// A number option read as the importer reads a cell.
void Real(cli::Grammar& grammar, const std::string& name, std::optional<double>& value) {
  grammar.Option(name, [&value, name](const std::string& text) {
    double v = 0.0;
    if (ParseNumber(text, v) != Cell::kNumber || !std::isfinite(v)) {
      throw cli::UsageError(name + ": '" + format::Printable(text) + "' is not a number");
    }
    value = v;
  });
}

std::vector<std::string> List(std::string_view text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    items.emplace_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

// The grammar of the command line; without a status, `o`, `file` and
// `output` are complete.
std::optional<int> Parse(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                         Options& o, std::string& file, std::string& output) {
  cli::Grammar grammar("suscep import", kHelp);
  std::vector<std::string> files;
  std::optional<std::string> output_name;
  Real(grammar, "--mass", o.mass_mg);
  Real(grammar, "--molar-mass", o.molar_mass);
  Real(grammar, "--diamagnetic", o.diamagnetic);
  grammar.Flag("--diamagnetic-estimate", o.diamagnetic_estimate);
  Real(grammar, "--eicosane", o.eicosane_mg);
  Real(grammar, "--field", o.field_oe);
  grammar.Option("--sweep", [&o](const std::string& text) {
    o.sweep = text;
    if (o.sweep == "ZFC" || o.sweep == "FC" || o.sweep == "ALL") {
      for (char& c : o.sweep) c = static_cast<char>(c - 'A' + 'a');
    }
  });
  grammar.Integer("--max-points", o.max_points, 1, kMaxPoints);
  grammar.Option("--bins", [&o](const std::string& text) {
    if (text != "log" && text != "linear") throw cli::UsageError("--bins: log or linear");
    o.linear_bins = text == "linear";
  });
  grammar.Option("--column", [&o](const std::string& text) { o.column = text; });
  grammar.Option("--columns", [&o](const std::string& text) {
    o.columns = List(text);
    if (o.columns.size() < 2 || o.columns.size() > 3) {
      throw cli::UsageError("--columns: two or three columns, T,M or T,M,H");
    }
  });
  grammar.Option("--moment-unit", [&o](const std::string& text) { o.moment_unit = text; });
  grammar.Option("--chi-unit", [&o](const std::string& text) { o.chi_unit = text; });
  grammar.Text("-o,--output", output_name);
  grammar.Operands(files);
  if (const auto status = grammar.Parse(argc, argv, out, err)) return status;
  if (files.empty()) return grammar.Refuse(err, "the magnetometer's file is missing");
  if (files.size() > 1) {
    return grammar.Refuse(err, "one file at a time: '" + format::Printable(files[1]) + "'");
  }
  file = files[0];
  output = output_name.value_or("");
  return std::nullopt;
}

}  // namespace

int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  namespace fs = std::filesystem;
  Options o;
  std::string file, output;
  if (const auto status = Parse(argc, argv, out, err, o, file, output)) return *status;

  const fs::path source(file);
  const std::string data_file = output.empty() ? source.stem().string() + "-chi.dat" : output;
  // Not STEM-chi.json: `suscep fit` writes its result document there.
  const std::string record_file = fs::path(data_file).replace_extension(".import.json").string();
  const std::string shown = format::Printable(file, format::kNameShown);
  auto fail = [&](const std::string& message) {
    err << "suscep import: " << shown << ": " << message << std::endl;
    return 1;
  };
  for (const auto& name : {data_file, record_file}) {
    std::error_code ec;
    if (fs::equivalent(source, name, ec)) {
      return fail("the output '" + format::Printable(name) + "' is the file itself");
    }
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return fail(std::string("cannot open: ") + std::strerror(errno));
  try {
    const Import im = Read(in, file, o);
    const std::string data = DataFileText(im);
    const std::string record = RecordText(im, o, data_file);
    format::WholeFile a(data_file), b(record_file);
    a.Write(data);
    b.Write(record);
    format::CommitTogether({&a, &b});
    out << SummaryText(im, data_file, record_file) << std::flush;
  } catch (const Error& e) {
    return fail(e.what());
  } catch (const format::RunTimeError& e) {
    err << "suscep import: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace importer

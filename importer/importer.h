// `suscep import`: a magnetometer's data file (a Quantum Design .dat file or
// a plain table) turned into the program's data file of temperatures and
// molar susceptibilities, with a record of how it was made.
#ifndef SUSCEP_IMPORTER_IMPORTER_H_
#define SUSCEP_IMPORTER_IMPORTER_H_

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace importer {

// A file or a choice the importer refuses; what() is the message for the user.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr int kMaxPoints = 300;  // what the dialogue reads
// Pascal molar susceptibility and molar mass of eicosane, C20H42.
constexpr double kEicosaneChi = -2.43e-4;
constexpr double kEicosaneMolarMass = 282.55;
// --diamagnetic-estimate: chi_dia = kDiamagneticPerGram * M_w.
constexpr double kDiamagneticPerGram = -0.5e-6;
// chi*T at the highest temperature outside this range (cm3 K/mol) draws a warning.
constexpr double kChiTLow = 0.01;
constexpr double kChiTHigh = 100.0;

// The command line's choices; unset ones come from the file or a default.
struct Options {
  std::string column;                // --column: the moment column of a QD file
  std::vector<std::string> columns;  // --columns T,M[,H]: numbers from 1 or names
  std::string moment_unit;           // --moment-unit: emu or Am2 (plain tables)
  std::string chi_unit;              // --chi-unit: cm3/mol, cm3/g, m3/mol or m3/kg
  std::optional<double> mass_mg;
  std::optional<double> molar_mass;
  std::optional<double> diamagnetic;
  bool diamagnetic_estimate = false;
  std::optional<double> eicosane_mg;
  std::optional<double> field_oe;
  std::string sweep;  // "", zfc, fc, all or a number from 1
  int max_points = kMaxPoints;
  bool linear_bins = false;
};

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// One point of the data file; a bin's averages when the points were binned.
struct Point {
  double T = 0.0;
  double chi = 0.0;
  double field = kNone;       // Oe
  double moment = kNone;      // emu, after the eicosane correction
  double moment_err = kNone;  // emu, from the file's error column
  double chi_err = kNone;     // cm3/mol, from moment_err
  long count = 1;             // rows averaged
};

struct FieldGroup {
  double oe = 0.0;  // the group's median, to three significant digits
  long points = 0;
};

struct Sweep {
  int number = 0;                  // from 1, in file order
  std::string label;               // the comment row that opened it, "" if none
  double first = 0.0, last = 0.0;  // temperatures of its first and last usable rows
  long points = 0;                 // usable rows at the chosen field
};

// How a file was read and converted.
struct Import {
  std::string source;  // the name as given
  std::string sha256;
  std::uint64_t bytes = 0;
  long lines = 0;
  std::string format;  // e.g. "Quantum Design (MPMS3: value before name)"
  std::string separator;
  bool bom = false, crlf = false;
  std::vector<std::string> columns_found;
  std::string t_column, m_column, h_column, err_column;
  std::string m_column_why;  // why that moment column, when the file has several
  std::string quantity;  // "moment (emu)", "molar susceptibility (cm3/mol)", ...
  std::string formula;   // the conversion, as the summary and the record state it
  std::string sample;    // sample name from the header
  double mass_mg = kNone;
  std::string mass_from;
  double molar_mass = kNone;
  std::string molar_mass_from;
  double diamagnetic = 0.0;
  std::string diamagnetic_from;  // "none", "--diamagnetic" or "estimate"
  double eicosane_mg = 0.0;
  double field_oe = kNone;  // the chosen nominal field
  double field_tolerance = kNone;
  std::vector<FieldGroup> fields;
  std::vector<Sweep> sweeps;
  std::string sweep_chosen;
  std::string sweep_note;  // how unlabelled sweeps were taken for ZFC and FC
  long data_rows = 0;
  long kept = 0;
  long left_missing = 0;         // a missing or non-finite value
  long left_temperature = 0;     // temperature not above 0
  long left_field = 0;           // at another field
  long left_sweep = 0;           // in another sweep
  std::string binning = "none";  // none, logarithmic or linear
  std::vector<Point> points;
  std::vector<std::string> warnings;
};

// Reads the file from `in` (`name` for messages and the record) and
// converts it; throws Error for a file or choice it refuses.
Import Read(std::istream& in, const std::string& name, const Options& options);

// The data file: the count, then one pair per line at full precision.
std::string DataFileText(const Import& import);
// The record of the import, a JSON document.
std::string RecordText(const Import& import, const Options& options, const std::string& data_file);
// The summary for standard output.
std::string SummaryText(const Import& import, const std::string& data_file,
                        const std::string& record_file);

// `suscep import ...`: argv[0] is "import". Exit status 0 when written, 1 when
// the file was refused or an output could not be written, 2 for a usage error.
int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace importer

#endif  // SUSCEP_IMPORTER_IMPORTER_H_

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "format/console.h"
#include "importer/importer.h"
#include "importer/select.h"
#include "importer/text.h"

namespace importer {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr char kNotADataFile[] =
    "not a data file: expected a Quantum Design .dat file (a [Header] section, then [Data], a "
    "line of column names and the rows) or a table of numbers in columns separated by blanks, "
    "commas or tabs";

// Moment columns of Quantum Design files, in the order preferred when two
// hold values in as many rows, each with the error column that goes with it.
// The DC scans' centre fits have a quality column each (1 a perfect fit).
struct MomentColumn {
  const char* name;
  const char* error;
  const char* quality;
};
constexpr MomentColumn kMomentColumns[] = {
    {"Moment (emu)", "M. Std. Err. (emu)", nullptr},
    {"DC Moment Fixed Ctr (emu)", "DC Moment Err Fixed Ctr (emu)", "DC Fixed Fit"},
    {"DC Moment Free Ctr (emu)", "DC Moment Err Free Ctr (emu)", "DC Free Fit"},
    {"Long Moment (emu)", "Long Scan Std Dev", nullptr},
};
constexpr const char* kTemperatureColumns[] = {"Temperature (K)"};
constexpr const char* kFieldColumns[] = {"Magnetic Field (Oe)", "Field (Oe)"};

// Header keys, either order: value before name (MPMS3, PPMS) or after it (MPMS-XL).
constexpr const char* kMassKeys[] = {"SAMPLE_MASS", "WEIGHT", "MASS"};
constexpr const char* kMolarMassKeys[] = {"SAMPLE_MOLECULAR_WEIGHT", "MOLECULAR_WEIGHT",
                                          "MOLECULAR WEIGHT"};
constexpr const char* kNameKeys[] = {"SAMPLE_MATERIAL", "SAMPLE_NAME", "NAME"};

template <std::size_t N>
bool OneOf(std::string_view s, const char* const (&names)[N]) {
  for (const char* n : names) {
    if (SameName(s, n)) return true;
  }
  return false;
}

bool KnownKey(std::string_view s) {
  return OneOf(s, kMassKeys) || OneOf(s, kMolarMassKeys) || OneOf(s, kNameKeys) ||
         SameName(s, "SAMPLE_HOLDER") || SameName(s, "SAMPLE_COMMENT") ||
         SameName(s, "SAMPLE_VOLUME") || SameName(s, "SAMPLE_SIZE") || SameName(s, "SAMPLE_SHAPE");
}

bool UpperName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ' ')) return false;
  }
  return s.front() >= 'A' && s.front() <= 'Z';
}

std::string Quoted(std::string_view s) { return "'" + format::Printable(s, 60) + "'"; }

std::string ColumnList(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& n : names) list += (list.empty() ? "" : ", ") + Quoted(n);
  return list.empty() ? "none" : list;
}

int FindColumn(const std::vector<std::string>& names, std::string_view wanted) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (SameName(names[i], wanted)) return static_cast<int>(i);
  }
  return -1;
}

template <std::size_t N>
int FindColumn(const std::vector<std::string>& names, const char* const (&wanted)[N]) {
  for (const char* w : wanted) {
    if (const int i = FindColumn(names, w); i >= 0) return i;
  }
  return -1;
}

struct HeaderValue {
  std::string text;
  std::string key;
};

// What the header says about the sample.
struct Header {
  HeaderValue mass, molar_mass, name;
  int value_first = 0, name_first = 0;
};

void ReadInfo(const std::vector<std::string>& cells, Header& h) {
  if (cells.size() < 3) return;
  std::string key, value;
  const std::string& first = cells[1];
  const std::string& last = cells.back();
  auto join = [&](std::size_t from, std::size_t to) {
    std::string v;
    for (std::size_t i = from; i < to; ++i) v += (i > from ? "," : "") + cells[i];
    return v;
  };
  if (KnownKey(last) || (!KnownKey(first) && UpperName(last))) {
    key = last;
    value = join(1, cells.size() - 1);
    ++h.value_first;
  } else {
    key = first;
    value = join(2, cells.size());
    ++h.name_first;
  }
  HeaderValue* slot = OneOf(key, kMassKeys)        ? &h.mass
                      : OneOf(key, kMolarMassKeys) ? &h.molar_mass
                      : OneOf(key, kNameKeys)      ? &h.name
                                                   : nullptr;
  if (slot != nullptr && slot->key.empty()) *slot = {std::string(Trim(value)), key};
}

// A value from the command line, else the header, else an error naming the option.
double Required(const std::optional<double>& given, const HeaderValue& header, const char* option,
                const char* what, const char* unit, std::string& from) {
  double v = kNone;
  if (given) {
    v = *given;
    from = option;
  } else if (!header.text.empty()) {
    if (ParseNumber(header.text, v) != Cell::kNumber) {
      throw Error("the header's " + header.key + " is " + Quoted(header.text) +
                  ", not a number: give " + option + " " + unit);
    }
    from = "header " + header.key;
  } else {
    throw Error(std::string("the ") + what + " is not in the file: give " + option + " " + unit);
  }
  if (!(v > 0.0) || !std::isfinite(v)) {
    throw Error(std::string("the ") + what + " is " + Number(v) + " (" + from +
                "): it must be above 0");
  }
  return v;
}

// One moment-like column being read, with its error column and the
// column of its centre fit's quality where the file has one.
struct Candidate {
  int column = -1, error = -1, quality = -1;
  std::deque<double> values, errors, qualities;
  long finite = 0;
  long text_line = 0;  // first line with text in a number cell
  std::string text;
};

// What the head of a file says: its columns and the sample.
struct Layout {
  bool qd = false;
  char sep = ',';
  std::vector<std::string> names;
  Header header;
  int t_col = -1, h_col = -1, comment_col = -1;
  std::vector<Candidate> cand;
  std::vector<std::string> first_row;  // a table's first data row, read already
  long first_line = 0;
};

// The first line that is neither blank nor a comment; "" at the end.
bool FirstLine(LineReader& reader, std::string_view& line) {
  while (reader.Next(line)) {
    if (!Trim(line).empty() && Trim(line)[0] != '#') return true;
  }
  return false;
}

Candidate CandidateAt(const std::vector<std::string>& names, int column, const MomentColumn* m) {
  Candidate c;
  c.column = column;
  if (m != nullptr) {
    c.error = FindColumn(names, m->error);
    if (m->quality != nullptr) c.quality = FindColumn(names, m->quality);
  }
  return c;
}

// The moment columns of a Quantum Design file: --column, or every known one.
std::vector<Candidate> MomentCandidates(const std::vector<std::string>& names, const Options& o) {
  std::vector<Candidate> cand;
  if (!o.column.empty()) {
    const int c = FindColumn(names, o.column);
    if (c < 0) {
      throw Error("no column " + Quoted(o.column) +
                  " (--column); columns found: " + ColumnList(names));
    }
    const MomentColumn* known = nullptr;
    for (const auto& m : kMomentColumns) {
      if (SameName(o.column, m.name)) known = &m;
    }
    cand.push_back(CandidateAt(names, c, known));
    return cand;
  }
  for (const auto& m : kMomentColumns) {
    if (const int c = FindColumn(names, m.name); c >= 0) cand.push_back(CandidateAt(names, c, &m));
  }
  if (cand.empty()) {
    std::string wanted;
    for (const auto& m : kMomentColumns) wanted += (wanted.empty() ? "" : ", ") + Quoted(m.name);
    throw Error("no moment column (" + wanted +
                "; --column names another); columns found: " + ColumnList(names));
  }
  return cand;
}

// A Quantum Design file from its [Header] line to its line of column names.
Layout QdHead(LineReader& reader, const Options& o, Import& im) {
  Layout f;
  f.qd = true;
  std::vector<std::string> cells;
  std::string_view line;
  bool data = false;
  while (!data && reader.Next(line)) {
    const std::string_view t = Trim(line);
    data = SameName(t, "[Data]");
    if (data) break;
    SplitCells(t, t.find('\t') != std::string_view::npos ? '\t' : ',', cells);
    if (!cells.empty() && SameName(cells[0], "INFO")) ReadInfo(cells, f.header);
  }
  if (!data) {
    throw Error(
        "a [Header] section with no [Data] line after it: not a whole Quantum Design data file");
  }
  bool any = false;
  while ((any = reader.Next(line)) && Trim(line).empty()) {
  }
  if (!any) throw Error("no line of column names after [Data]");
  f.sep = line.find('\t') != std::string_view::npos ? '\t' : ',';
  SplitCells(line, f.sep, f.names);
  const Header& h = f.header;
  im.format = h.name_first > h.value_first ? "Quantum Design (MPMS-XL: name before value)"
              : h.value_first > 0          ? "Quantum Design (MPMS3/PPMS: value before name)"
                                           : "Quantum Design";
  f.t_col = FindColumn(f.names, kTemperatureColumns);
  f.h_col = FindColumn(f.names, kFieldColumns);
  f.comment_col = FindColumn(f.names, "Comment");
  if (f.t_col < 0) {
    throw Error("no column " + Quoted(kTemperatureColumns[0]) +
                "; columns found: " + ColumnList(f.names));
  }
  if (f.h_col < 0) {
    throw Error("no column " + Quoted(kFieldColumns[0]) + " or " + Quoted(kFieldColumns[1]) +
                "; columns found: " + ColumnList(f.names));
  }
  f.cand = MomentCandidates(f.names, o);
  if (!o.columns.empty()) throw Error("--columns is for plain tables; --column names the moment");
  if (!o.moment_unit.empty() || !o.chi_unit.empty()) {
    throw Error(
        "a Quantum Design file holds moments in emu: --moment-unit and --chi-unit are for plain "
        "tables");
  }
  im.quantity = "moment (emu)";
  im.sample = f.header.name.text;
  return f;
}

bool AllNumbers(const std::vector<std::string>& cells) {
  for (const auto& c : cells) {
    double v;
    if (ParseNumber(c, v) != Cell::kNumber) return false;
  }
  return true;
}

// A plain table's first lines: its column names, if any, and its first row.
Layout TableHead(LineReader& reader, std::string_view line) {
  Layout f;
  f.sep = line.find('\t') != std::string_view::npos  ? '\t'
          : line.find(',') != std::string_view::npos ? ','
                                                     : ' ';
  std::vector<std::string> cells;
  SplitCells(line, f.sep, cells);
  if (AllNumbers(cells)) {
    for (std::size_t i = 0; i < cells.size(); ++i) f.names.push_back(std::to_string(i + 1));
  } else {
    f.names = cells;
    if (!FirstLine(reader, line)) throw Error(kNotADataFile);
    SplitCells(line, f.sep, cells);
    if (!AllNumbers(cells) || cells.size() != f.names.size()) throw Error(kNotADataFile);
  }
  if (cells.size() < 2) {
    throw Error(std::string(kNotADataFile) +
                " (one number on the first line: already a data file for the dialogue?)");
  }
  f.first_row = cells;
  f.first_line = reader.number();
  return f;
}

// A column of --columns: a number from 1 or a name.
int TableColumn(const std::vector<std::string>& names, const std::string& r) {
  if (!r.empty() &&
      std::all_of(r.begin(), r.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    const long k = r.size() > 6 ? 0 : std::stol(r);
    if (k < 1 || k > static_cast<long>(names.size())) {
      throw Error("--columns: column " + r + ", but the table has " + std::to_string(names.size()) +
                  " columns");
    }
    return static_cast<int>(k - 1);
  }
  const int c = FindColumn(names, r);
  if (c < 0)
    throw Error("--columns: no column " + Quoted(r) + "; columns found: " + ColumnList(names));
  return c;
}

// A plain table's columns and quantity, from the options.
void TableColumns(Layout& f, const Options& o, Import& im) {
  im.format = "plain table";
  if (o.moment_unit.empty() == o.chi_unit.empty()) {
    throw Error(
        "a plain table needs --moment-unit emu|Am2 or --chi-unit cm3/mol|cm3/g|m3/mol|m3/kg, one "
        "of the two");
  }
  if (!o.column.empty()) throw Error("--column is for Quantum Design files; use --columns");
  const bool moments = !o.moment_unit.empty();
  std::vector<std::string> roles = o.columns;
  if (roles.empty()) {
    const std::size_t need = moments ? 3 : 2;
    if (f.names.size() != need) {
      throw Error("the table has " + std::to_string(f.names.size()) +
                  " columns: say which is which with --columns T,M" + (moments ? ",H" : "[,H]"));
    }
    for (std::size_t i = 0; i < need; ++i) roles.push_back(std::to_string(i + 1));
  }
  std::vector<int> index;
  for (const auto& r : roles) index.push_back(TableColumn(f.names, r));
  f.t_col = index[0];
  f.cand.push_back(CandidateAt(f.names, index[1], nullptr));
  if (index.size() > 2) f.h_col = index[2];
  if (moments) {
    if (o.moment_unit != "emu" && o.moment_unit != "Am2") {
      throw Error("--moment-unit " + Quoted(o.moment_unit) + ": emu or Am2");
    }
    im.quantity = "moment (" + o.moment_unit + ")";
    if (f.h_col < 0 && !o.field_oe) {
      throw Error("moments need the field: a third column in --columns T,M,H, or --field OE");
    }
    return;
  }
  static const char* const kUnits[] = {"cm3/mol", "cm3/g", "m3/mol", "m3/kg"};
  if (std::find_if(std::begin(kUnits), std::end(kUnits),
                   [&](const char* u) { return o.chi_unit == u; }) == std::end(kUnits)) {
    throw Error("--chi-unit " + Quoted(o.chi_unit) + ": cm3/mol, cm3/g, m3/mol or m3/kg");
  }
  im.quantity = (o.chi_unit == "cm3/g" || o.chi_unit == "m3/kg" ? "mass" : "molar") +
                std::string(" susceptibility (") + o.chi_unit + ")";
  if (o.eicosane_mg) throw Error("--eicosane corrects moments, not susceptibilities");
}

// The sample's mass, molar mass and corrections, from the options or the header.
void Sample(Import& im, const Header& header, const Options& o) {
  const bool moments = im.quantity.rfind("moment", 0) == 0;
  const bool mass_chi = im.quantity.rfind("mass", 0) == 0;
  if (moments) {
    im.mass_mg = Required(o.mass_mg, header.mass, "--mass", "sample mass", "MG", im.mass_from);
  }
  if (moments || mass_chi || o.diamagnetic_estimate || o.molar_mass) {
    im.molar_mass = Required(o.molar_mass, header.molar_mass, "--molar-mass", "molar mass",
                             "G_PER_MOL", im.molar_mass_from);
  }
  if (o.diamagnetic && o.diamagnetic_estimate) {
    throw Error("--diamagnetic and --diamagnetic-estimate: one or the other");
  }
  im.diamagnetic_from = "none";
  if (o.diamagnetic) {
    if (!std::isfinite(*o.diamagnetic) || *o.diamagnetic > 0.0) {
      throw Error("--diamagnetic " + Number(*o.diamagnetic) +
                  ": a diamagnetic susceptibility is negative (e.g. -4.5e-4 cm3/mol)");
    }
    im.diamagnetic = *o.diamagnetic;
    im.diamagnetic_from = "--diamagnetic";
  } else if (o.diamagnetic_estimate) {
    im.diamagnetic = kDiamagneticPerGram * im.molar_mass;
    im.diamagnetic_from = "estimate";
  }
  if (o.eicosane_mg) {
    if (!(*o.eicosane_mg >= 0.0) || !std::isfinite(*o.eicosane_mg)) {
      throw Error("--eicosane " + Number(*o.eicosane_mg) + ": a mass in mg, not below 0");
    }
    im.eicosane_mg = *o.eicosane_mg;
  }
}

// From the value read to cm3/mol, and the formula that says so.
Conversion ConversionOf(Import& im, const Options& o) {
  const bool moments = im.quantity.rfind("moment", 0) == 0;
  Conversion conv;
  conv.diamagnetic = im.diamagnetic;
  im.formula = moments ? "chi_M = (m - m_eicosane) / H * M_w / (mass / 1000) - chi_dia"
               : o.chi_unit == "cm3/mol" ? "chi_M = chi - chi_dia"
               : o.chi_unit == "m3/mol"  ? "chi_M = chi * 1e6 / (4 pi) - chi_dia"
               : o.chi_unit == "cm3/g"   ? "chi_M = chi_g * M_w - chi_dia"
                                         : "chi_M = chi_g * 1e3 / (4 pi) * M_w - chi_dia";
  if (o.moment_unit == "Am2") im.formula += ", m = 1000 emu per A m2";
  if (moments) {
    conv.scale = im.molar_mass / (im.mass_mg / 1000.0);
    conv.unit = o.moment_unit == "Am2" ? 1000.0 : 1.0;
    conv.eicosane = kEicosaneChi * (im.eicosane_mg / 1000.0 / kEicosaneMolarMass);
    conv.divide_by_field = true;
    return conv;
  }
  const double si = o.chi_unit == "m3/mol"  ? 1e6 / (4.0 * kPi)
                    : o.chi_unit == "m3/kg" ? 1e3 / (4.0 * kPi)
                                            : 1.0;
  conv.scale = im.quantity.rfind("mass", 0) == 0 ? si * im.molar_mass : si;
  conv.divide_by_field = false;
  return conv;
}

// The data rows, one at a time, into `rows` and the candidates.
class RowReader {
 public:
  RowReader(Layout& f, const Options& o, Import& im, Rows& rows)
      : f_(f), o_(o), im_(im), rows_(rows) {
    rows_.has_field = f.h_col >= 0;
  }

  void Row(const std::vector<std::string>& cells, long number) {
    if (cells.size() != f_.names.size()) {
      throw Error("line " + std::to_string(number) + " has " + std::to_string(cells.size()) +
                  " cells where the column names have " + std::to_string(f_.names.size()));
    }
    if (f_.comment_col >= 0 && !cells[f_.comment_col].empty() && cells[f_.t_col].empty()) {
      sweeps_.Comment(cells[f_.comment_col]);
      return;
    }
    const double T = NumberIn(cells, f_.t_col, number, true);
    rows_.T.push_back(T);
    rows_.H.push_back(f_.h_col >= 0 ? NumberIn(cells, f_.h_col, number, true)
                                    : o_.field_oe.value_or(kNone));
    for (auto& c : f_.cand) {
      double v = kNone;
      const Cell kind = ParseNumber(cells[c.column], v);
      if (kind == Cell::kText && c.text_line == 0) {
        c.text_line = number;
        c.text = cells[c.column];
      }
      if (kind != Cell::kNumber) v = kNone;
      if (std::isfinite(v)) ++c.finite;
      c.values.push_back(v);
      if (c.error >= 0) c.errors.push_back(NumberIn(cells, c.error, number, false));
      if (c.quality >= 0) c.qualities.push_back(NumberIn(cells, c.quality, number, false));
    }
    rows_.sweep.push_back(sweeps_.Row(T));
    ++im_.data_rows;
  }

  const std::vector<std::string>& Labels() const { return sweeps_.Labels(); }

 private:
  double NumberIn(const std::vector<std::string>& cells, int c, long number, bool strict) const {
    double v = kNone;
    const Cell kind = ParseNumber(cells[c], v);
    if (kind == Cell::kText && strict) {
      throw Error("line " + std::to_string(number) + ", column " + Quoted(f_.names[c]) + ": " +
                  Quoted(cells[c]) + " is not a number");
    }
    return kind == Cell::kNumber ? v : kNone;
  }

  Layout& f_;
  const Options& o_;
  Import& im_;
  Rows& rows_;
  SweepTracker sweeps_;
};

// The median of the finite values, NaN without any.
double Median(const std::deque<double>& values) {
  std::vector<double> v;
  for (double x : values) {
    if (std::isfinite(x)) v.push_back(x);
  }
  if (v.empty()) return kNone;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// The moment column: the one with values in the most rows; of those with
// as many, the one whose centre fit is better by the file's own quality
// column, else the first. Says which and why in `im`.
std::size_t ChooseMoment(std::vector<Candidate>& cand, const Layout& f, Import& im) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < cand.size(); ++i) {
    if (cand[i].finite > cand[best].finite) best = i;
  }
  std::vector<std::size_t> tied;
  for (std::size_t i = 0; i < cand.size(); ++i) {
    if (cand[i].finite == cand[best].finite) tied.push_back(i);
  }
  if (cand.size() == 1) return best;
  im.m_column_why = "values in the most rows (" + std::to_string(cand[best].finite) + ")";
  if (tied.size() < 2) return best;
  std::vector<double> quality(cand.size(), kNone);
  bool all = true;
  for (std::size_t i : tied) {
    quality[i] = cand[i].quality >= 0 ? Median(cand[i].qualities) : kNone;
    all = all && std::isfinite(quality[i]);
  }
  if (!all) {
    im.m_column_why += "; as many in " + std::to_string(tied.size()) +
                       " columns without a fit-quality column for each: the first";
    return best;
  }
  for (std::size_t i : tied) {
    if (quality[i] > quality[best]) best = i;
  }
  im.m_column_why += "; of the columns with as many, the better centre fit: median";
  for (std::size_t i : tied) {
    im.m_column_why += (i == tied.front() ? " " : ", ") + Quoted(f.names[cand[i].quality]) + " " +
                       Number(quality[i], 4);
  }
  return best;
}

}  // namespace

Import Read(std::istream& in, const std::string& name, const Options& o) {
  Import im;
  im.source = name;
  Sha256 hash;
  LineReader reader(in, hash);
  std::string_view line;
  if (!FirstLine(reader, line)) throw Error("the file is empty");
  Layout f;
  if (SameName(line, "[Header]")) {
    f = QdHead(reader, o, im);
  } else {
    f = TableHead(reader, line);
    TableColumns(f, o, im);
  }
  im.separator = f.sep == '\t' ? "tab" : f.sep == ',' ? "comma" : "blanks";
  im.columns_found = f.names;
  im.t_column = f.names[f.t_col];
  im.h_column = f.h_col >= 0 ? f.names[f.h_col] : "";
  // The sample: what the conversion needs, before the rows are read.
  Sample(im, f.header, o);
  const Conversion conv = ConversionOf(im, o);

  Rows rows;
  RowReader rowReader(f, o, im, rows);
  if (!f.qd) rowReader.Row(f.first_row, f.first_line);
  std::vector<std::string> cells;
  while (reader.Next(line)) {
    const std::string_view t = Trim(line);
    if (t.empty() || (!f.qd && t[0] == '#')) continue;
    SplitCells(line, f.sep, cells);
    rowReader.Row(cells, reader.number());
  }
  im.sha256 = hash.Hex();
  im.bytes = reader.bytes();
  im.lines = reader.number();
  im.bom = reader.bom();
  im.crlf = reader.crlf();

  Candidate& m = f.cand[ChooseMoment(f.cand, f, im)];
  if (m.text_line > 0) {
    throw Error("line " + std::to_string(m.text_line) + ", column " + Quoted(f.names[m.column]) +
                ": " + Quoted(m.text) + " is not a number");
  }
  im.m_column = f.names[m.column];
  im.err_column = m.error >= 0 ? f.names[m.error] : "";
  rows.M = std::move(m.values);
  rows.E = std::move(m.errors);
  f.cand.clear();
  Select(im, rows, rowReader.Labels(), conv, o);
  return im;
}

}  // namespace importer

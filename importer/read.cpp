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
struct MomentColumn {
  const char* name;
  const char* error;
};
constexpr MomentColumn kMomentColumns[] = {
    {"Moment (emu)", "M. Std. Err. (emu)"},
    {"DC Moment Fixed Ctr (emu)", "DC Moment Err Fixed Ctr (emu)"},
    {"DC Moment Free Ctr (emu)", "DC Moment Err Free Ctr (emu)"},
    {"Long Moment (emu)", "Long Scan Std Dev"},
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

// One moment-like column being read, with its error column.
struct Candidate {
  int column = -1, error = -1;
  std::deque<double> values, errors;
  long finite = 0;
  long text_line = 0;  // first line with text in a number cell
  std::string text;
};

}  // namespace

Import Read(std::istream& in, const std::string& name, const Options& o) {
  Import im;
  im.source = name;
  Sha256 hash;
  LineReader reader(in, hash);
  std::vector<std::string> cells;
  std::string_view line;

  bool any = false;
  while ((any = reader.Next(line)) && (Trim(line).empty() || Trim(line)[0] == '#')) {
  }
  if (!any) throw Error("the file is empty");

  const bool qd = SameName(line, "[Header]");
  char sep = ',';
  std::vector<std::string> names;
  Header header;
  int t_col = -1, h_col = -1, comment_col = -1;
  std::vector<Candidate> cand;
  long first_line = 0;  // a table's first data line, read already

  if (qd) {
    bool data = false;
    while (reader.Next(line)) {
      const std::string_view t = Trim(line);
      if (SameName(t, "[Data]")) {
        data = true;
        break;
      }
      SplitCells(t, t.find('\t') != std::string_view::npos ? '\t' : ',', cells);
      if (!cells.empty() && SameName(cells[0], "INFO")) ReadInfo(cells, header);
    }
    if (!data) {
      throw Error(
          "a [Header] section with no [Data] line after it: not a whole Quantum Design "
          "data file");
    }
    while ((any = reader.Next(line)) && Trim(line).empty()) {
    }
    if (!any) throw Error("no line of column names after [Data]");
    sep = line.find('\t') != std::string_view::npos ? '\t' : ',';
    SplitCells(line, sep, names);
    im.format = header.name_first > header.value_first
                    ? "Quantum Design (MPMS-XL: name before value)"
                : header.value_first > 0 ? "Quantum Design (MPMS3/PPMS: value before name)"
                                         : "Quantum Design";
    t_col = FindColumn(names, kTemperatureColumns);
    h_col = FindColumn(names, kFieldColumns);
    comment_col = FindColumn(names, "Comment");
    if (t_col < 0) {
      throw Error("no column " + Quoted(kTemperatureColumns[0]) +
                  "; columns found: " + ColumnList(names));
    }
    if (h_col < 0) {
      throw Error("no column " + Quoted(kFieldColumns[0]) + " or " + Quoted(kFieldColumns[1]) +
                  "; columns found: " + ColumnList(names));
    }
    if (!o.column.empty()) {
      const int c = FindColumn(names, o.column);
      if (c < 0) {
        throw Error("no column " + Quoted(o.column) +
                    " (--column); columns found: " + ColumnList(names));
      }
      int e = -1;
      for (const auto& m : kMomentColumns) {
        if (SameName(o.column, m.name)) e = FindColumn(names, m.error);
      }
      cand.push_back({c, e, {}, {}, 0, 0, {}});
    } else {
      for (const auto& m : kMomentColumns) {
        if (const int c = FindColumn(names, m.name); c >= 0) {
          cand.push_back({c, FindColumn(names, m.error), {}, {}, 0, 0, {}});
        }
      }
      if (cand.empty()) {
        std::string wanted;
        for (const auto& m : kMomentColumns)
          wanted += (wanted.empty() ? "" : ", ") + Quoted(m.name);
        throw Error("no moment column (" + wanted +
                    "; --column names another); columns found: " + ColumnList(names));
      }
    }
    if (!o.columns.empty()) throw Error("--columns is for plain tables; --column names the moment");
    if (!o.moment_unit.empty() || !o.chi_unit.empty()) {
      throw Error(
          "a Quantum Design file holds moments in emu: --moment-unit and --chi-unit are "
          "for plain tables");
    }
    im.quantity = "moment (emu)";
    im.sample = header.name.text;
  } else {
    // A plain table: its first line holds the column names or the first row.
    sep = line.find('\t') != std::string_view::npos  ? '\t'
          : line.find(',') != std::string_view::npos ? ','
                                                     : ' ';
    SplitCells(line, sep, cells);
    bool numbers = true;
    for (const auto& c : cells) {
      double v;
      if (ParseNumber(c, v) != Cell::kNumber) numbers = false;
    }
    if (!numbers) {
      names = cells;
      while ((any = reader.Next(line)) && (Trim(line).empty() || Trim(line)[0] == '#')) {
      }
      if (!any) throw Error(kNotADataFile);
      SplitCells(line, sep, cells);
      for (const auto& c : cells) {
        double v;
        if (ParseNumber(c, v) != Cell::kNumber) throw Error(kNotADataFile);
      }
      if (cells.size() != names.size()) throw Error(kNotADataFile);
    } else {
      for (std::size_t i = 0; i < cells.size(); ++i) names.push_back(std::to_string(i + 1));
    }
    if (cells.size() < 2) {
      throw Error(std::string(kNotADataFile) +
                  " (one number on the first line: already a data file for the dialogue?)");
    }
    first_line = reader.number();
    im.format = "plain table";
    if (o.moment_unit.empty() == o.chi_unit.empty()) {
      throw Error(
          "a plain table needs --moment-unit emu|Am2 or --chi-unit "
          "cm3/mol|cm3/g|m3/mol|m3/kg, one of the two");
    }
    if (!o.column.empty()) throw Error("--column is for Quantum Design files; use --columns");
    const bool moments = !o.moment_unit.empty();
    std::vector<std::string> roles = o.columns;
    if (roles.empty()) {
      const std::size_t need = moments ? 3 : 2;
      if (cells.size() != need) {
        throw Error("the table has " + std::to_string(cells.size()) +
                    " columns: say which is which with --columns T,M" + (moments ? ",H" : "[,H]"));
      }
      for (std::size_t i = 0; i < need; ++i) roles.push_back(std::to_string(i + 1));
    }
    std::vector<int> index;
    for (const auto& r : roles) {
      int c = -1;
      if (!r.empty() &&
          std::all_of(r.begin(), r.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
        const long k = r.size() > 6 ? 0 : std::stol(r);
        if (k < 1 || k > static_cast<long>(names.size())) {
          throw Error("--columns: column " + r + ", but the table has " +
                      std::to_string(names.size()) + " columns");
        }
        c = static_cast<int>(k - 1);
      } else {
        c = FindColumn(names, r);
        if (c < 0) {
          throw Error("--columns: no column " + Quoted(r) +
                      "; columns found: " + ColumnList(names));
        }
      }
      index.push_back(c);
    }
    t_col = index[0];
    cand.push_back({index[1], -1, {}, {}, 0, 0, {}});
    if (index.size() > 2) h_col = index[2];
    if (moments) {
      if (o.moment_unit != "emu" && o.moment_unit != "Am2") {
        throw Error("--moment-unit " + Quoted(o.moment_unit) + ": emu or Am2");
      }
      im.quantity = "moment (" + o.moment_unit + ")";
      if (h_col < 0 && !o.field_oe) {
        throw Error("moments need the field: a third column in --columns T,M,H, or --field OE");
      }
    } else {
      static const char* const kUnits[] = {"cm3/mol", "cm3/g", "m3/mol", "m3/kg"};
      if (std::find_if(std::begin(kUnits), std::end(kUnits),
                       [&](const char* u) { return o.chi_unit == u; }) == std::end(kUnits)) {
        throw Error("--chi-unit " + Quoted(o.chi_unit) + ": cm3/mol, cm3/g, m3/mol or m3/kg");
      }
      im.quantity = (o.chi_unit == "cm3/g" || o.chi_unit == "m3/kg" ? "mass" : "molar") +
                    std::string(" susceptibility (") + o.chi_unit + ")";
      if (o.eicosane_mg) throw Error("--eicosane corrects moments, not susceptibilities");
    }
  }
  im.separator = sep == '\t' ? "tab" : sep == ',' ? "comma" : "blanks";
  im.columns_found = names;
  im.t_column = names[t_col];
  im.h_column = h_col >= 0 ? names[h_col] : "";

  // The sample: what the conversion needs, before the rows are read.
  const bool moments = im.quantity.rfind("moment", 0) == 0;
  const bool mass_chi = im.quantity.rfind("mass", 0) == 0;
  Conversion conv;
  if (moments) {
    im.mass_mg = Required(o.mass_mg, header.mass, "--mass", "sample mass", "MG", im.mass_from);
  }
  if (moments || mass_chi || o.diamagnetic_estimate) {
    im.molar_mass = Required(o.molar_mass, header.molar_mass, "--molar-mass", "molar mass",
                             "G_PER_MOL", im.molar_mass_from);
  } else if (o.molar_mass) {
    im.molar_mass = Required(o.molar_mass, header.molar_mass, "--molar-mass", "molar mass",
                             "G_PER_MOL", im.molar_mass_from);
  }
  if (o.diamagnetic && o.diamagnetic_estimate) {
    throw Error("--diamagnetic and --diamagnetic-estimate: one or the other");
  }
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
  } else {
    im.diamagnetic_from = "none";
  }
  if (o.eicosane_mg) {
    if (!(*o.eicosane_mg >= 0.0) || !std::isfinite(*o.eicosane_mg)) {
      throw Error("--eicosane " + Number(*o.eicosane_mg) + ": a mass in mg, not below 0");
    }
    im.eicosane_mg = *o.eicosane_mg;
  }
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
  } else {
    const double si = o.chi_unit == "m3/mol"  ? 1e6 / (4.0 * kPi)
                      : o.chi_unit == "m3/kg" ? 1e3 / (4.0 * kPi)
                                              : 1.0;
    conv.scale = mass_chi ? si * im.molar_mass : si;
    conv.divide_by_field = false;
  }

  // The rows.
  Rows rows;
  rows.has_field = h_col >= 0;
  SweepTracker sweeps;
  const std::size_t ncols = names.size();
  auto row = [&](long number) {
    if (cells.size() != ncols) {
      throw Error("line " + std::to_string(number) + " has " + std::to_string(cells.size()) +
                  " cells where the column names have " + std::to_string(ncols));
    }
    if (comment_col >= 0 && !cells[comment_col].empty() && cells[t_col].empty()) {
      sweeps.Comment(cells[comment_col]);
      return;
    }
    auto number_in = [&](int c, bool strict) {
      double v = kNone;
      const Cell kind = ParseNumber(cells[c], v);
      if (kind == Cell::kText && strict) {
        throw Error("line " + std::to_string(number) + ", column " + Quoted(names[c]) + ": " +
                    Quoted(cells[c]) + " is not a number");
      }
      return kind == Cell::kNumber ? v : kNone;
    };
    const double T = number_in(t_col, true);
    rows.T.push_back(T);
    rows.H.push_back(h_col >= 0 ? number_in(h_col, true) : o.field_oe.value_or(kNone));
    for (auto& c : cand) {
      double v = kNone;
      const Cell kind = ParseNumber(cells[c.column], v);
      if (kind == Cell::kText && c.text_line == 0) {
        c.text_line = number;
        c.text = cells[c.column];
      }
      if (kind != Cell::kNumber) v = kNone;
      if (std::isfinite(v)) ++c.finite;
      c.values.push_back(v);
      if (c.error >= 0) c.errors.push_back(number_in(c.error, false));
    }
    rows.sweep.push_back(sweeps.Row(T));
    ++im.data_rows;
  };
  if (!qd) {
    row(first_line);
  }
  while (reader.Next(line)) {
    const std::string_view t = Trim(line);
    if (t.empty() || (!qd && t[0] == '#')) continue;
    SplitCells(line, sep, cells);
    row(reader.number());
  }
  im.sha256 = hash.Hex();
  im.bytes = reader.bytes();
  im.lines = reader.number();
  im.bom = reader.bom();
  im.crlf = reader.crlf();

  // The moment column: the one with values in the most rows.
  std::size_t best = 0;
  for (std::size_t i = 1; i < cand.size(); ++i) {
    if (cand[i].finite > cand[best].finite) best = i;
  }
  Candidate& m = cand[best];
  if (m.text_line > 0) {
    throw Error("line " + std::to_string(m.text_line) + ", column " + Quoted(names[m.column]) +
                ": " + Quoted(m.text) + " is not a number");
  }
  im.m_column = names[m.column];
  im.err_column = m.error >= 0 ? names[m.error] : "";
  rows.M = std::move(m.values);
  rows.E = std::move(m.errors);
  cand.clear();
  Select(im, rows, sweeps.Labels(), conv, o);
  return im;
}

}  // namespace importer

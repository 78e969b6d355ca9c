#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "format/console.h"
#include "importer/importer.h"
#include "importer/select.h"
#include "importer/text.h"

namespace importer {
namespace {

using nlohmann::json;

constexpr char kDialogue[] =
    "the diamagnetic correction is applied here: leave the dialogue's DIAM at 0 unless none was "
    "applied; a factor per magnetic ion is the dialogue's FACTOR";

json Value(double v) { return std::isfinite(v) ? json(v) : json(); }
json Text(const std::string& s) { return s.empty() ? json() : json(s); }

bool Moments(const Import& im) { return im.quantity.rfind("moment", 0) == 0; }

const Point& Hottest(const Import& im) {
  return *std::max_element(im.points.begin(), im.points.end(),
                           [](const Point& a, const Point& b) { return a.T < b.T; });
}
const Point& Coldest(const Import& im) {
  return *std::min_element(im.points.begin(), im.points.end(),
                           [](const Point& a, const Point& b) { return a.T < b.T; });
}

}  // namespace

std::string DataFileText(const Import& im) {
  std::string text = std::to_string(im.points.size()) + "\n";
  for (const Point& p : im.points) text += Exact(p.T) + " " + Exact(p.chi) + "\n";
  // Each point's error after the pairs, where every point has one: the
  // dialogue reads the pairs alone, the fits outside it read these too.
  bool errors = !im.points.empty();
  for (const Point& p : im.points) errors = errors && p.chi_err > 0.0 && std::isfinite(p.chi_err);
  if (errors) {
    text += "sigma\n";
    for (const Point& p : im.points) text += Exact(p.chi_err) + "\n";
  }
  return text;
}

namespace {

json SourceJson(const Import& im) {
  return {{"file", im.source},         {"sha256", im.sha256}, {"bytes", im.bytes},
          {"lines", im.lines},         {"format", im.format}, {"separator", im.separator},
          {"byte_order_mark", im.bom}, {"crlf", im.crlf},     {"columns_found", im.columns_found}};
}

json OptionsJson(const Options& o) {
  json columns = o.columns;
  return {{"column", Text(o.column)},
          {"columns", o.columns.empty() ? json() : columns},
          {"moment_unit", Text(o.moment_unit)},
          {"chi_unit", Text(o.chi_unit)},
          {"mass_mg", o.mass_mg ? json(*o.mass_mg) : json()},
          {"molar_mass", o.molar_mass ? json(*o.molar_mass) : json()},
          {"diamagnetic", o.diamagnetic ? json(*o.diamagnetic) : json()},
          {"diamagnetic_estimate", o.diamagnetic_estimate},
          {"eicosane_mg", o.eicosane_mg ? json(*o.eicosane_mg) : json()},
          {"field_oe", o.field_oe ? json(*o.field_oe) : json()},
          {"sweep", o.sweep.empty() ? json() : json(o.sweep)},
          {"max_points", o.max_points},
          {"bins", o.linear_bins ? "linear" : "logarithmic"}};
}

json SweepsJson(const Import& im) {
  json sweeps = json::array();
  for (const auto& s : im.sweeps) {
    sweeps.push_back({{"number", s.number},
                      {"label", s.label},
                      {"first_K", s.first},
                      {"last_K", s.last},
                      {"points", s.points}});
  }
  return {{"found", sweeps}, {"chosen", im.sweep_chosen}, {"note", Text(im.sweep_note)}};
}

json ConversionJson(const Import& im) {
  return {{"formula", im.formula},
          {"units", "m in emu, H in Oe, mass in mg, M_w in g/mol, chi in cm3/mol"},
          {"diamagnetic", {{"cm3_per_mol", im.diamagnetic}, {"from", im.diamagnetic_from}}},
          {"eicosane",
           {{"mg", im.eicosane_mg},
            {"chi_cm3_per_mol", kEicosaneChi},
            {"molar_mass", kEicosaneMolarMass}}},
          {"dialogue", kDialogue}};
}

json PointsJson(const Import& im) {
  return {{"data_rows", im.data_rows},
          {"kept", im.kept},
          {"written", im.points.size()},
          {"left_out",
           {{"missing_or_not_finite", im.left_missing},
            {"temperature_not_above_0", im.left_temperature},
            {"other_field", im.left_field},
            {"other_sweep", im.left_sweep}}},
          {"binning", im.binning}};
}

json DataJson(const Import& im, const std::string& data_file) {
  json d = {{"file", data_file}};
  for (const char* key :
       {"temperature", "chi", "field_oe", "moment_emu", "moment_error_emu", "chi_error", "rows"}) {
    d[key] = json::array();
  }
  for (const Point& p : im.points) {
    d["temperature"].push_back(p.T);
    d["chi"].push_back(p.chi);
    d["field_oe"].push_back(Value(p.field));
    d["moment_emu"].push_back(Value(p.moment));
    d["moment_error_emu"].push_back(Value(p.moment_err));
    d["chi_error"].push_back(Value(p.chi_err));
    d["rows"].push_back(p.count);
  }
  return d;
}

}  // namespace

std::string RecordText(const Import& im, const Options& o, const std::string& data_file) {
  json j;
  j["format"] = "suscep-import";
  j["version"] = 1;
  j["program"] = {{"name", "suscep import"}, {"version", SUSCEP_VERSION}};
  j["source"] = SourceJson(im);
  j["columns"] = {{"temperature", im.t_column},
                  {"value", im.m_column},
                  {"value_chosen_by", Text(im.m_column_why)},
                  {"field", Text(im.h_column)},
                  {"moment_error", Text(im.err_column)},
                  {"quantity", im.quantity}};
  j["options"] = OptionsJson(o);
  j["sample"] = {{"name", Text(im.sample)},
                 {"mass_mg", Value(im.mass_mg)},
                 {"mass_from", Text(im.mass_from)},
                 {"molar_mass", Value(im.molar_mass)},
                 {"molar_mass_from", Text(im.molar_mass_from)}};
  json fields = json::array();
  for (const auto& f : im.fields) fields.push_back({{"oe", f.oe}, {"points", f.points}});
  j["field"] = {
      {"oe", Value(im.field_oe)}, {"tolerance_oe", Value(im.field_tolerance)}, {"found", fields}};
  j["sweeps"] = SweepsJson(im);
  j["conversion"] = ConversionJson(im);
  j["points"] = PointsJson(im);
  j["data"] = DataJson(im, data_file);
  const Point& hot = Hottest(im);
  const Point& cold = Coldest(im);
  j["chi_T"] = {{"highest_T", hot.T},
                {"at_highest_T", hot.chi * hot.T},
                {"lowest_T", cold.T},
                {"at_lowest_T", cold.chi * cold.T}};
  j["warnings"] = im.warnings;
  // Text from the file need not be UTF-8: such bytes become U+FFFD.
  return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

namespace {

// The summary's rows: a label padded to 14 columns, then the text.
class Summary {
 public:
  void Row(const char* what, const std::string& text) {
    std::string label = what;
    label.resize(14, ' ');
    text_ += "  " + label + text + "\n";
  }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

std::string Shown(const std::string& name) { return "'" + format::Printable(name, 60) + "'"; }

void FileRows(Summary& s, const Import& im) {
  std::string fmt = im.format + ", " + im.separator + "-separated";
  if (im.crlf) fmt += ", CR LF";
  if (im.bom) fmt += ", byte-order mark";
  s.Row("format", fmt);
  std::string cols = "T " + Shown(im.t_column) + ", ";
  cols += (Moments(im) ? "m " : "chi ") + Shown(im.m_column);
  if (!im.h_column.empty()) cols += ", H " + Shown(im.h_column);
  if (!im.err_column.empty()) cols += ", error " + Shown(im.err_column);
  s.Row("columns", cols + " (" + im.quantity + ")");
  if (!im.m_column_why.empty()) s.Row("moment", Shown(im.m_column) + ": " + im.m_column_why);
  if (!im.sample.empty()) s.Row("sample", format::Printable(im.sample, 80));
  if (std::isfinite(im.mass_mg)) s.Row("mass", Number(im.mass_mg) + " mg (" + im.mass_from + ")");
  if (std::isfinite(im.molar_mass)) {
    s.Row("molar mass", Number(im.molar_mass) + " g/mol (" + im.molar_mass_from + ")");
  }
}

void SelectionRows(Summary& s, const Import& im) {
  if (std::isfinite(im.field_oe)) {
    s.Row("field", Number(im.field_oe) + " Oe (within " + Number(im.field_tolerance) + " Oe; " +
                       std::to_string(im.fields.size()) + " field" +
                       (im.fields.size() == 1 ? "" : "s") + " in the file)");
  }
  s.Row("sweep", im.sweep_chosen + " (" + std::to_string(im.sweeps.size()) + " found" +
                     (std::isfinite(im.field_oe) ? " at the field)" : ")"));
  if (im.sweeps.size() > 1) s.Row("sweeps", SweepList(im.sweeps));
  if (!im.sweep_note.empty()) s.Row("", im.sweep_note);
  std::string left;
  auto add = [&left](long n, const char* why) {
    if (n > 0) left += (left.empty() ? "" : ", ") + std::to_string(n) + " " + why;
  };
  add(im.left_missing, "with a missing or non-finite value");
  add(im.left_temperature, "with a temperature not above 0");
  add(im.left_field, "at another field");
  add(im.left_sweep, "in another sweep");
  s.Row("points", std::to_string(im.points.size()) + " written from " + std::to_string(im.kept) +
                      " kept of " + std::to_string(im.data_rows) + " data rows" +
                      (left.empty() ? "" : "; left out: " + left));
  if (im.binning != "none") {
    s.Row("binned", std::to_string(im.kept) + " points averaged in " +
                        std::to_string(im.points.size()) + " " + im.binning +
                        " temperature bins (at most 300)");
  }
}

void ConversionRows(Summary& s, const Import& im) {
  const Point& hot = Hottest(im);
  const Point& cold = Coldest(im);
  s.Row("temperature", Number(cold.T, 4) + " K to " + Number(hot.T, 4) + " K");
  s.Row("conversion", im.formula);
  std::string corr = "diamagnetic ";
  if (im.diamagnetic_from == "none") {
    corr += "none";
  } else {
    corr += Number(im.diamagnetic, 4) + " cm3/mol" +
            (im.diamagnetic_from == "estimate" ? " (estimate: -0.5e-6 * M_w)" : "");
  }
  if (Moments(im)) {
    corr +=
        im.eicosane_mg > 0.0 ? "; eicosane " + Number(im.eicosane_mg) + " mg" : "; eicosane none";
  }
  s.Row("corrections", corr);
  s.Row("chi*T", Number(hot.chi * hot.T, 4) + " cm3 K/mol at " + Number(hot.T, 4) + " K, " +
                     Number(cold.chi * cold.T, 4) + " cm3 K/mol at " + Number(cold.T, 4) + " K");
}

}  // namespace

std::string SummaryText(const Import& im, const std::string& data_file,
                        const std::string& record_file) {
  Summary s;
  s.text() = "suscep import: " + format::Printable(im.source, format::kNameShown) + "\n";
  FileRows(s, im);
  SelectionRows(s, im);
  ConversionRows(s, im);
  s.Row("written", format::Printable(data_file, format::kNameShown) + ", " +
                       format::Printable(record_file, format::kNameShown));
  s.Row("dialogue", im.diamagnetic_from == "none"
                        ? "enter the diamagnetic correction as DIAM; FACTOR per magnetic ion"
                        : "leave DIAM at 0 (applied here); FACTOR per magnetic ion");
  for (const auto& w : im.warnings) s.text() += "warning: " + w + "\n";
  return s.text();
}

}  // namespace importer

// `suscep fit`: arguments, output files, the table and the JSON summary,
// failures and exit statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch.h"
#include "engine/engine.h"
#include "tests/batch_util.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using batch_test::BatchDir;
using batch_test::Fit;
using batch_test::Outcome;
using batch_test::ReadFile;
using batch_test::WriteFile;
// A fresh directory with the two worked examples' data and the model of
// expression 24.
class BatchFit : public BatchDir {
 protected:
  void SetUp() override { MakeDir({"dnit2.dat", "cuac.dat"}); }
};

TEST_F(BatchFit, FitsEachFileAndWritesItsDocument) {
  const Outcome r = Fit({P("m.json"), P("dnit2.dat"), P("cuac.dat")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> lines = [&] {
    std::vector<std::string> v;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
  }();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(
      lines[0].substr(lines[0].find("points")),
      "points   L.S.error       g-value       +/-           J-BB       +/-        COEFF1       "
      "+/-  flags");
  const engine::FitResult direct =
      engine::Fit(engine::Template(24), engine::ReadData(P("dnit2.dat")));
  char value[40];
  std::snprintf(value, sizeof value, "%.6E", direct.values[1]);
  EXPECT_NE(lines[1].find(value), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].substr(0, P("dnit2.dat").size()), P("dnit2.dat"));
  EXPECT_EQ(lines[1].substr(lines[1].size() - 6), "budget");
  // The document is the engine's, the file named as given.
  EXPECT_EQ(
      ReadFile(dir_ / "dnit2.json"), direct.document.substr(0, 0) + [&] {
        engine::Data d = engine::ReadData(P("dnit2.dat"));
        return engine::Fit(engine::Template(24), d).document;
      }());
  EXPECT_TRUE(fs::exists(dir_ / "cuac.json"));
  EXPECT_FALSE(fs::exists(dir_ / "dnit2.out"));
  EXPECT_FALSE(fs::exists(dir_ / "dnit2.svg"));
}

// The fit settings as options: the method and the window reach the fits,
// and the table and summary count the points fitted.
TEST_F(BatchFit, MethodAndWindowOptions) {
  const Outcome j =
      Fit({"--method", "lm", "--tmin", "20", "--tmax=200", "--json", P("m.json"), P("dnit2.dat")});
  ASSERT_EQ(j.status, 0) << j.err;
  const json summary = json::parse(j.out);
  const json& r = summary["results"][0];
  EXPECT_EQ(r["method"], "lm");
  EXPECT_EQ(r["points"], 29);
  const int fitted = r["points_fitted"];
  EXPECT_LT(fitted, 29);
  EXPECT_GT(fitted, 3);
  const Outcome t = Fit(
      {"--method", "lm", "--tmin", "20", "--tmax=200", P("m.json"), P("dnit2.dat"), P("cuac.dat")});
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_NE(t.out.find(" " + std::to_string(fitted) + "/29 "), std::string::npos) << t.out;
  const Outcome all = Fit({"--method", "lm", "--json", P("m.json"), P("dnit2.dat")});
  EXPECT_EQ(json::parse(all.out)["results"][0]["points_fitted"], 29);
}

TEST_F(BatchFit, OutputDirReportSvgJsonAndJobs) {
  const std::string out = P("out");
  fs::create_directories(out);
  const Outcome r = Fit({"--output-dir", out, "--report", "--plot", "2", "--json", "--jobs", "2",
                         "--refine", P("m.json"), P("dnit2.dat"), P("cuac.dat")});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(r.out);
  ASSERT_EQ(j["results"].size(), 2u);
  EXPECT_EQ(j["results"][0]["file"], P("dnit2.dat"));
  EXPECT_EQ(j["results"][1]["file"], P("cuac.dat"));
  EXPECT_EQ(j["results"][0]["method"], "Levenberg-Marquardt refinement of the simplex minimum");
  EXPECT_EQ(j["results"][0]["document"], (fs::path(out) / "dnit2.json").string());
  EXPECT_EQ(j["failures"].size(), 0u);
  engine::FitOptions options;
  options.refine = true;
  options.plot = 2;
  options.document_name = (fs::path(out) / "cuac.json").string();
  const engine::FitResult direct =
      engine::Fit(engine::Template(24), engine::ReadData(P("cuac.dat")), options);
  EXPECT_EQ(ReadFile(fs::path(out) / "cuac.json"), direct.document);
  EXPECT_EQ(ReadFile(fs::path(out) / "cuac.out"), direct.report);
  EXPECT_EQ(ReadFile(fs::path(out) / "cuac.svg"), direct.svg);
  EXPECT_EQ(j["results"][1]["parameters"][1]["value"], direct.values[1]);
  EXPECT_FALSE(fs::exists(dir_ / "cuac.json"));
}

// An error stream that notes the threads of the process when it is first
// flushed, which each fit does once done: no thread of the batch can have
// ended before then, since each ends only after it found no file left.
class ThreadsAtFirstFlush : public std::streambuf {
 public:
  static long Threads() {
    return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
  }
  long threads = -1;

 protected:
  int sync() override {
    if (threads < 0) threads = Threads();
    return 0;
  }
  int overflow(int c) override { return traits_type::not_eof(c); }
};

TEST_F(BatchFit, EachPlotDrawsItsQuantityAndJobsFitFilesAtOnce) {
  std::vector<std::string> svgs;
  for (const char* n : {"1", "2", "3", "4", "5"}) {
    const std::string out = P(std::string("plot") + n);
    fs::create_directories(out);
    ASSERT_EQ(Fit({"--output-dir", out, "--plot", n, P("m.json"), P("dnit2.dat")}).status, 0);
    svgs.push_back(ReadFile(fs::path(out) / "dnit2.svg"));
  }
  for (std::size_t i = 0; i < svgs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(svgs[i], svgs[j]) << i + 1 << " " << j + 1;
  }
  EXPECT_NE(svgs[1].find(">eff<"), std::string::npos);  // the effective moment
  ASSERT_EQ(Fit({"--svg", P("m.json"), P("dnit2.dat")}).status, 0);
  EXPECT_EQ(ReadFile(dir_ / "dnit2.svg"), svgs[2]);  // XT vs. T unless told

  // Without --jobs, a fit a processor.
  const long before = ThreadsAtFirstFlush::Threads();
  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (const int jobs : {1, 2, 0}) {
    ThreadsAtFirstFlush counter;
    std::ostream err(&counter);
    std::ostringstream out;
    std::vector<std::string> args = {"fit", P("m.json"), P("dnit2.dat"), P("cuac.dat")};
    if (jobs > 0) args.insert(args.begin() + 1, {"--jobs", std::to_string(jobs)});
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    ASSERT_EQ(batch::Main(static_cast<int>(argv.size()), argv.data(), out, err), 0) << jobs;
    const int threads = jobs > 0 ? jobs : std::min(processors, 2);  // 2 files
    EXPECT_EQ(counter.threads, before + threads - 1) << jobs;
  }
}

// A value without its error shows as "-" in the table; a report may not
// replace an input either.
TEST_F(BatchFit, MissingErrorsAndAReportOverAnInput) {
  engine::ModelDescription d = engine::Template(24);
  d.fit.iterations = 0;
  WriteFile(dir_ / "m0.json", engine::ModelText(d));
  const Outcome table = Fit({P("m0.json"), P("dnit2.dat")});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("E+00    -  -1.000000E+01    -  "), std::string::npos) << table.out;

  WriteFile(dir_ / "r.out", ReadFile(dir_ / "m.json"));
  const Outcome clash = Fit({"--report", P("r.out"), P("r.dat")});
  EXPECT_EQ(clash.status, 2);
  EXPECT_EQ(clash.err, "suscep fit: the output file '" + P("r.out") + "' of '" + P("r.dat") +
                           "' would replace the input file '" + P("r.out") + "'\n");
}

TEST_F(BatchFit, AFailedFileIsNamedAndTheOthersAreFitted) {
  WriteFile(dir_ / "bad.dat", "2\n10 1e-3\n");
  WriteFile(dir_ / "word.dat", "3\n10 1e-3\n\n20 x\n");
  const Outcome r =
      Fit({P("m.json"), P("missing.dat"), P("dnit2.dat"), P("bad.dat"), "", P("word.dat")});
  EXPECT_EQ(r.status, 1);
  // Each file named once, with the line where its fault is.
  EXPECT_EQ(r.err, "suscep fit: open: cannot open data file '" + P("missing.dat") +
                       "': No such file or directory\n"
                       "suscep fit: read: data file '" +
                       P("bad.dat") +
                       "': it ends at line 2, before all its points are read\n"
                       "suscep fit: open: cannot open data file '': empty file name\n"
                       "suscep fit: read: data file '" +
                       P("word.dat") + "', line 4: \"x\" is not a number\n")
      << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "dnit2.json"));
  EXPECT_FALSE(fs::exists(dir_ / "bad.json"));
  // A name is quoted fit for a terminal.
  const Outcome escaped = Fit({P("m.json"), P("a\x1b[2Jb.dat")});
  EXPECT_NE(escaped.err.find(P("a\\x1B[2Jb.dat")), std::string::npos) << escaped.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

TEST_F(BatchFit, UsageErrorsAndBadModelFilesAreStatus2) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  WriteFile(dir_ / "typo.json", R"({"model": {"expression": 24}, "fits": {}})");
  WriteFile(dir_ / "twice.json", R"({"model": {"expression": 24, "expression": 25}})");
  WriteFile(
      dir_ / "names.json",
      R"({"model": {"expression": 24}, "parameters": [{"name": "g\u001b[31m\u0007", "start": 2}]})");
  const std::vector<Case> cases = {
      {{}, "give a model file and at least one data file (see suscep fit --help)"},
      {{P("m.json")}, "give a model file and at least one data file (see suscep fit --help)"},
      {{"--jobs", "0", P("m.json"), P("dnit2.dat")},
       "--jobs needs 1 to 64 (see suscep fit --help)"},
      {{"--jobs", "x", P("m.json"), P("dnit2.dat")},
       "--jobs needs a whole number, not 'x' (see suscep fit --help)"},
      {{"--plot", "6", P("m.json"), P("dnit2.dat")}, "--plot needs 1 to 5 (see suscep fit --help)"},
      {{"--output-dir"}, "--output-dir needs a value (see suscep fit --help)"},
      {{"--jobs=2", "--jobs=3", P("m.json"), P("dnit2.dat")},
       "--jobs is given more than once (see suscep fit --help)"},
      {{"--colour", P("m.json")}, "unknown option '--colour' (see suscep fit --help)"},
      {{"--template", "24", "x"}, "--template takes no files (see suscep fit --help)"},
      {{"--template", "80"},
       "expression 80 has no template: give a standard expression, 1-79 with a units digit that "
       "is not 0"},
      {{P("typo.json"), P("dnit2.dat")},
       "model file '" + P("typo.json") +
           "': unknown key 'fits' in the top level (allowed: corrections, model, parameters, fit; "
           "ignored: format, version, program, data, statistics, minimum_check, curve)"},
      {{P("none.json"), P("dnit2.dat")},
       "open: cannot read model file '" + P("none.json") + "': No such file or directory"},
      {{P("sub"), P("dnit2.dat")},
       "open: cannot read model file '" + P("sub") + "': a directory, not a file"},
      {{P("twice.json"), P("dnit2.dat")},
       "model file '" + P("twice.json") + "': the key 'expression' in 'model' is given twice"},
      {{P("names.json"), P("dnit2.dat")},
       "model file '" + P("names.json") +
           "': the parameters do not match the model: it has 3 (g-value, J-BB, COEFF1), in this "
           "order; the description gives 1 (g\\x1B[31m\\x07)"},
      {{"--output-dir", P("nowhere"), P("m.json"), P("dnit2.dat")},
       "--output-dir '" + P("nowhere") + "': No such file or directory"},
      {{"--output-dir", P("m.json"), P("m.json"), P("dnit2.dat")},
       "--output-dir '" + P("m.json") + "': not a directory"},
      {{P("m.json"), P("dnit2.dat"), P("sub/dnit2.dat")},
       "the data files '" + P("dnit2.dat") + "' and '" + P("sub/dnit2.dat") +
           "' would both write '" + P("dnit2.json") +
           "' (use another --output-dir, or rename one)"},
      {{"--output-dir", dir_.string(), P("m.json"), P("m.dat")},
       "the output file '" + P("m.json") + "' of '" + P("m.dat") +
           "' would replace the input file '" + P("m.json") + "'"},
  };
  fs::create_directories(dir_ / "sub");
  fs::copy_file(dir_ / "dnit2.dat", dir_ / "sub" / "dnit2.dat");
  WriteFile(dir_ / "m.dat", ReadFile(dir_ / "dnit2.dat"));
  for (Case c : cases) {
    if (c.args.size() == 3 && c.args[2] == P("sub/dnit2.dat"))
      c.args.insert(c.args.begin(), {"--output-dir", dir_.string()});
    const Outcome r = Fit(c.args);
    EXPECT_EQ(r.status, 2) << c.err;
    // A mistake in the arguments is followed by the usage line.
    const bool usage = c.err.find("(see suscep fit --help)") != std::string::npos;
    EXPECT_EQ(r.err, "suscep fit: " + c.err + "\n" +
                         (usage ? "Usage: suscep fit [OPTIONS] MODEL DATA...\n" : ""));
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(dir_ / "dnit2.json"));
}

TEST_F(BatchFit, SvgVerboseAndTheFlagsOfAShortFit) {
  engine::ModelDescription d = engine::Template(24);
  d.fit.iterations = 10;
  WriteFile(dir_ / "short.json", engine::ModelText(d));
  const Outcome r = Fit({"--svg", "--verbose", P("short.json"), P("dnit2.dat")});
  ASSERT_EQ(r.status, 0) << r.err;
  // The Std. devn. estimate failed: the table shows the Jacobian's errors.
  EXPECT_EQ(r.out.substr(r.out.size() - 18), " budget,short,jac\n");
  EXPECT_EQ(r.out.find(" - "), std::string::npos) << r.out;
  engine::FitOptions options;
  options.plot = 3;  // XT vs. T unless --plot says otherwise
  options.document_name = P("dnit2.json");
  const engine::FitResult direct = engine::Fit(d, engine::ReadData(P("dnit2.dat")), options);
  EXPECT_EQ(ReadFile(dir_ / "dnit2.svg"), direct.svg);
  // The progress lines and the notes on standard error, under the file's name.
  EXPECT_EQ(r.err.substr(0, 12 + P("dnit2.dat").size() + 2),
            "suscep fit: " + P("dnit2.dat") + ":\n");
  EXPECT_NE(r.err.find("L.S.Error\n   1    2.0000"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Iteration is completed.  Calculation ESDs"), std::string::npos);
  EXPECT_NE(r.err.find(direct.notes.at(1) + "\n"), std::string::npos);
  EXPECT_NE(direct.notes.at(1).find("see " + P("dnit2.json")), std::string::npos);

  const Outcome quiet = Fit({"--json", P("short.json"), P("dnit2.dat"), P("none.dat")});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.err.find("L.S.Error"), std::string::npos);
  const json j = json::parse(quiet.out);
  EXPECT_EQ(j["results"][0]["budget_exhausted"], true);
  EXPECT_EQ(j["results"][0]["stopped_short"], true);
  EXPECT_EQ(j["results"][0]["svg"], nullptr);
  EXPECT_EQ(j["failures"][0]["file"], P("none.dat"));
  EXPECT_EQ(j["failures"][0]["error"],
            "open: cannot open data file '" + P("none.dat") + "': No such file or directory");
}

// Data that cannot be drawn keep their results: the figure says why.
TEST_F(BatchFit, SvgNeverCostsADataFileItsResults) {
  WriteFile(dir_ / "one.dat", "1\n10 0.001\n");
  WriteFile(dir_ / "same.dat", "3\n5 0.001\n5 0.002\n5 0.003\n");
  const Outcome r = Fit({"--svg", "--report", P("m.json"), P("one.dat"), P("same.dat")});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* stem : {"one", "same"}) {
    EXPECT_TRUE(fs::exists(dir_ / (std::string(stem) + ".json"))) << stem;
    EXPECT_TRUE(fs::exists(dir_ / (std::string(stem) + ".out"))) << stem;
    EXPECT_NE(ReadFile(dir_ / (std::string(stem) + ".svg")).find("No figure: "), std::string::npos);
  }
}

TEST_F(BatchFit, OverviewCsvAndTheFiguresOptions) {
  const Outcome r =
      Fit({"--overview", P("all.svg"), "--csv", "--plot", "1", "--residuals", "--width", "170",
           P("m.json"), P("dnit2.dat"), P("cuac.dat"), P("none.dat")});
  EXPECT_EQ(r.status, 1);  // none.dat
  // --plot with --overview alone draws no figure per file.
  EXPECT_FALSE(fs::exists(dir_ / "dnit2.svg"));
  const std::string all = ReadFile(dir_ / "all.svg");
  EXPECT_NE(all.find(">dnit2.dat<"), std::string::npos);
  EXPECT_NE(all.find(">cuac.dat<"), std::string::npos);
  EXPECT_NE(all.find("width=\"170mm\""), std::string::npos);
  EXPECT_NE(all.find("class=\"rtick\""), std::string::npos);
  const std::vector<std::string> names = engine::Model(engine::Template(24)).parameter_names();
  std::string heading = "file,points,ls_error";
  for (const std::string& n : names) heading += "," + n + "," + n + " error";
  EXPECT_EQ(r.out.substr(0, r.out.find("\r\n")), heading + ",method,flags");
  const engine::FitResult direct =
      engine::Fit(engine::Template(24), engine::ReadData(P("cuac.dat")));
  const std::string row = r.out.substr(r.out.find(P("cuac.dat")));
  char g[40];
  EXPECT_NE(row.find("," + std::string(g, std::to_chars(g, g + 40, direct.values[0]).ptr) + ","),
            std::string::npos)
      << row;
  EXPECT_NE(row.find(",simplex,"), std::string::npos) << row;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);

  // Refused: both summaries, an overview over an input or an output.
  EXPECT_EQ(Fit({"--csv", "--json", P("m.json"), P("dnit2.dat")}).status, 2);
  const Outcome over = Fit({"--overview", P("cuac.dat"), P("m.json"), P("cuac.dat")});
  EXPECT_EQ(over.status, 2);
  EXPECT_NE(over.err.find("would replace the input file"), std::string::npos) << over.err;
  EXPECT_EQ(Fit({"--svg", "--overview", P("cuac.svg"), P("m.json"), P("cuac.dat")}).status, 2);
  fs::create_symlink("elsewhere.svg", dir_ / "link.svg");
  const Outcome link = Fit({"--overview", P("link.svg"), P("m.json"), P("cuac.dat")});
  EXPECT_EQ(link.status, 1);
  EXPECT_TRUE(fs::exists(dir_ / "cuac.json"));
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere.svg"));
}

// The file column of the CSV summary: quoted where a name holds a comma or
// a quote, the quotes doubled; plain otherwise.
TEST_F(BatchFit, CsvQuotesTheNamesThatNeedIt) {
  const std::string plain = P("plain.dat"), comma = P("a,b.dat"), quote = P("say \"hi\".dat");
  for (const std::string& name : {plain, comma, quote}) fs::copy_file(P("dnit2.dat"), name);
  const Outcome r = Fit({"--csv", P("m.json"), plain, comma, quote});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> starts = {plain + ",", "\"" + dir_.string() + "/a,b.dat\",",
                                           "\"" + dir_.string() + "/say \"\"hi\"\".dat\","};
  for (const std::string& start : starts) {
    EXPECT_NE(r.out.find("\r\n" + start), std::string::npos) << start << "\n" << r.out;
  }
}

TEST_F(BatchFit, TemplateHelpAndStartsFromValues) {
  const Outcome t = Fit({"--template", "24"});
  EXPECT_EQ(t.status, 0);
  // A new user's model file fits from many starts.
  engine::ModelDescription global = engine::Template(24);
  global.fit.method = "global";
  EXPECT_EQ(t.out, engine::ModelText(global));
  for (const char* help : {"--help", "-h"}) {
    const Outcome h = Fit({"--jobs=x", help});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.substr(0, 39), "Usage: suscep fit [OPTIONS] MODEL DATA.");
  }

  // A result document as the model: --from-values starts at its values.
  ASSERT_EQ(Fit({P("m.json"), P("dnit2.dat")}).status, 0);
  fs::copy_file(dir_ / "dnit2.json", dir_ / "result.json");
  fs::create_directories(dir_ / "again");
  ASSERT_EQ(
      Fit({"--output-dir", P("again"), "--from-values", P("result.json"), P("dnit2.dat")}).status,
      0);
  const json first = json::parse(ReadFile(dir_ / "result.json"));
  const json again = json::parse(ReadFile(dir_ / "again" / "dnit2.json"));
  EXPECT_EQ(again["parameters"][1]["start"], first["parameters"][1]["value"]);
  EXPECT_EQ(again["parameters"][1]["step"], first["parameters"][1]["step"]);
}

}  // namespace

// `suscep import` in-process: options, exit status, and files written whole
// or not at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "importer/importer.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

class ImporterCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("suscep_import_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string ReadBack(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  Outcome Import(std::vector<std::string> args) const {
    args.insert(args.begin(), "import");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = importer::Main(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
  }

  fs::path dir_;
};

const char kFile[] =
    "[Header]\nINFO,10,SAMPLE_MASS\nINFO,500,SAMPLE_MOLECULAR_WEIGHT\nINFO,Sample A,SAMPLE_"
    "MATERIAL\n[Data]\nComment,Temperature (K),Magnetic Field (Oe),Moment (emu),M. Std. Err. "
    "(emu)\n\"FC, 1000\",,,,\n,300,1000,1e-5,1e-9\n,100,1000,3e-5,1e-9\n,10,1000,2e-4,\n"
    ",5,1000,,\n";

TEST_F(ImporterCommand, WritesTheDataFileAndTheRecord) {
  Write("s.dat", kFile);
  const Outcome r = Import({Path("s.dat"), "-o", Path("out.dat"), "--diamagnetic-estimate"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Files(), (std::vector<std::string>{"out.dat", "out.import.json", "s.dat"}));
  const std::string data = ReadBack("out.dat");
  EXPECT_EQ(data.substr(0, 2), "3\n");
  EXPECT_NE(data.find("\n300 0.00075\n"), std::string::npos) << data;  // 5e-4 + 2.5e-4
  const auto j = nlohmann::json::parse(ReadBack("out.import.json"));
  EXPECT_EQ(j["format"], "suscep-import");
  EXPECT_EQ(j["source"]["sha256"].get<std::string>().size(), 64u);
  EXPECT_EQ(j["source"]["file"], Path("s.dat"));
  EXPECT_EQ(j["columns"]["value"], "Moment (emu)");
  EXPECT_EQ(j["sample"]["mass_mg"], 10.0);
  EXPECT_EQ(j["sample"]["mass_from"], "header SAMPLE_MASS");
  EXPECT_EQ(j["conversion"]["diamagnetic"]["from"], "estimate");
  EXPECT_DOUBLE_EQ(j["conversion"]["diamagnetic"]["cm3_per_mol"].get<double>(), -2.5e-4);
  EXPECT_EQ(j["points"]["kept"], 3);
  EXPECT_EQ(j["points"]["left_out"]["missing_or_not_finite"], 1);
  EXPECT_EQ(j["data"]["chi"].size(), 3u);
  EXPECT_EQ(j["data"]["moment_error_emu"][0], 1e-9);
  EXPECT_TRUE(j["data"]["moment_error_emu"][2].is_null());
  EXPECT_EQ(j["sweeps"]["found"][0]["label"], "FC, 1000");
  EXPECT_EQ(j["options"]["max_points"], 300);
  // The summary names what was done.
  for (const char* part :
       {"  sample        Sample A\n", "  mass          10 mg (header SAMPLE_MASS)\n",
        "left out: 1 with a missing or non-finite value",
        "diamagnetic -0.00025 cm3/mol (estimate: -0.5e-6 * M_w)", "  temperature   10 K to 300 K\n",
        "leave DIAM at 0 (applied here)"}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  }
  EXPECT_EQ(r.out.find("warning"), std::string::npos);
}

TEST_F(ImporterCommand, ARefusedFileWritesNothing) {
  Write("s.dat", kFile);
  Write("out.dat", "old\n");
  const Outcome r = Import({Path("s.dat"), "-o", Path("out.dat"), "--mass", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "suscep import: " + Path("s.dat") +
                       ": the sample mass is 0 (--mass): it must be above 0\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadBack("out.dat"), "old\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"out.dat", "s.dat"}));

  const Outcome missing = Import({Path("none.dat"), "-o", Path("x.dat")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.dat: cannot open: No such file or directory"), std::string::npos)
      << missing.err;

  const Outcome self = Import({Path("s.dat"), "-o", Path("s.dat")});
  EXPECT_EQ(self.status, 1);
  EXPECT_NE(self.err.find("is the file itself"), std::string::npos) << self.err;
  EXPECT_EQ(ReadBack("s.dat"), kFile);
}

TEST_F(ImporterCommand, UsageErrors) {
  Write("s.dat", kFile);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "the magnetometer's file is missing"},
      {{Path("s.dat"), "b.dat"}, "one file at a time: 'b.dat'"},
      {{Path("s.dat"), "--mass"}, "--mass needs a value"},
      {{Path("s.dat"), "--mass", "ten"}, "--mass: 'ten' is not a number"},
      {{Path("s.dat"), "--mass=inf"}, "--mass: 'inf' is not a number"},
      {{Path("s.dat"), "--max-points", "301"}, "--max-points needs 1 to 300"},
      {{Path("s.dat"), "--max-points", "2.5"}, "--max-points needs a whole number, not '2.5'"},
      {{Path("s.dat"), "--bins", "cubic"}, "--bins: log or linear"},
      {{Path("s.dat"), "--columns", "1"}, "--columns: two or three columns, T,M or T,M,H"},
      {{Path("s.dat"), "--frobnicate"}, "unknown option '--frobnicate'"},
  };
  for (const auto& [args, message] : cases) {
    const Outcome r = Import(args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err, "suscep import: " + message +
                         " (see suscep import --help)\nUsage: suscep import FILE [options]\n");
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"s.dat"}));
}

TEST_F(ImporterCommand, OptionsInBothSpellingsAndHelp) {
  Write("s.dat", kFile);
  const Outcome r = Import({Path("s.dat"), "--output=" + Path("o.dat"), "--mass=20", "--sweep=FC",
                            "--max-points=2", "--bins=linear", "--eicosane", "5"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(ReadBack("o.import.json"));
  EXPECT_EQ(j["sample"]["mass_mg"], 20.0);
  EXPECT_EQ(j["options"]["sweep"], "fc");
  EXPECT_EQ(j["points"]["binning"], "linear");
  EXPECT_EQ(j["points"]["written"], 2);
  EXPECT_EQ(j["conversion"]["eicosane"]["mg"], 5.0);
  EXPECT_NE(r.out.find("  binned        3 points averaged in 2 linear temperature bins"),
            std::string::npos)
      << r.out;
  const Outcome help = Import({"-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: suscep import FILE [options]\n", 0), 0u);
  for (const char* option : {"--mass", "--molar-mass", "--diamagnetic", "--diamagnetic-estimate",
                             "--eicosane", "--field", "--sweep", "--max-points", "--bins",
                             "--column", "--columns", "--moment-unit", "--chi-unit", "--output"}) {
    EXPECT_NE(help.out.find(std::string(option) + " "), std::string::npos) << option;
  }
}

}  // namespace

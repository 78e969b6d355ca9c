// `suscep import` in-process: options, exit status, and files written whole
// or not at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "importer/importer.h"
#include "tests/test_util.h"

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
  std::string ReadBack(const std::string& name) const { return test_util::ReadFile(Path(name)); }
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

// A name typed with -o where a link, a device, a pipe or a directory
// stands is refused, and nothing is written beside it; the nodes are made
// here, never the machine's.
TEST_F(ImporterCommand, TypedOutputNamesThatAreNotFilesAreRefused) {
  Write("s.dat", kFile);
  Write("target", "kept\n");
  fs::create_symlink(Path("target"), Path("link.dat"));
  fs::create_directories(Path("dir.dat"));
  ASSERT_EQ(::mkfifo(Path("fifo.dat").c_str(), 0600), 0);
  std::vector<std::pair<std::string, std::string>> cases = {
      {"link.dat", "a symbolic link, not replaced"},
      {"dir.dat", "Is a directory"},
      {"fifo.dat", "not a regular file"}};
  if (::geteuid() == 0 && ::mknod(Path("null.dat").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
    cases.emplace_back("null.dat", "not a regular file");
  }
  for (const auto& [name, why] : cases) {
    SCOPED_TRACE(name);
    const Outcome r = Import({Path("s.dat"), "-o", Path(name)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "suscep import: open error on file " + Path(name) + ": " + why + "\n");
    EXPECT_FALSE(fs::exists(fs::path(Path(name)).replace_extension(".import.json")));
  }
  EXPECT_EQ(ReadBack("target"), "kept\n");
  EXPECT_TRUE(fs::is_symlink(Path("link.dat")));
  // The program's own default name beside the data replaces a link there.
  fs::create_symlink(Path("target"), Path("s-chi.dat"));
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  EXPECT_EQ(Import({"s.dat"}).status, 0);
  fs::current_path(cwd);
  EXPECT_EQ(ReadBack("target"), "kept\n");
  EXPECT_FALSE(fs::is_symlink(Path("s-chi.dat")));
}

// A directory or a pipe as the magnetometer's file: refused with the reason,
// never waited on; a name with control bytes is shown escaped.
TEST_F(ImporterCommand, OnlyARegularFileIsRead) {
  fs::create_directories(Path("folder"));
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(Import({Path("folder")}).err,
            "suscep import: " + Path("folder") + ": cannot open: a directory, not a file\n");
  EXPECT_EQ(Import({Path("fifo")}).err,
            "suscep import: " + Path("fifo") + ": cannot open: a pipe, not a regular file\n");
  Write("s.dat", kFile);
  const Outcome r = Import({Path("s.dat"), "-o", Path("a\x1b[2Jb.dat")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("a\\x1B[2Jb.dat"), std::string::npos) << r.out;
}

// Out of memory: exit status 3 with a message, in a child under a limit of
// its address space.
TEST_F(ImporterCommand, OutOfMemoryIsStatus3) {
  if (test_util::kAddressSanitizer || test_util::kThreadSanitizer) {
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
  }
  {
    std::ofstream big(Path("big.dat"), std::ios::binary);
    big << "T chi\n";
    for (int i = 0; i < 2000000; ++i) big << 2 + i * 1e-4 << " 1e-3\n";
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    rlimit as{};
    ::getrlimit(RLIMIT_AS, &as);
    // What the process has now, and 40 MB more: far less than the rows need.
    std::ifstream status("/proc/self/status");
    long vm_kb = 0;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmSize:", 0) == 0) vm_kb = std::stol(line.substr(7));
    }
    as.rlim_cur = static_cast<rlim_t>(vm_kb + 40 * 1024) * 1024;
    if (vm_kb == 0 || ::setrlimit(RLIMIT_AS, &as) != 0) ::_exit(120);
    const Outcome r = Import({Path("big.dat"), "--chi-unit", "cm3/mol", "-o", Path("o.dat")});
    const bool said = r.err == "suscep import: " + Path("big.dat") + ": out of memory\n";
    ::_exit(r.status == 3 && said ? 0 : 100 + r.status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fs::exists(Path("o.dat")));
}

}  // namespace

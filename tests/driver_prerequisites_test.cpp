// tools/prerequisites.sh against stand-ins for dpkg-query, apt-get, sudo and
// id: it installs only what is missing, says what, and uses sudo only when
// not root.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/driver_e2e_util.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
  std::string calls;  // the stand-ins' log: one line per apt-get or sudo call
};

// Runs the script for `task` with the packages in `installed` reported as
// installed and `uid` as the user's id.
Outcome RunScript(const std::string& name, const std::string& task, const std::string& installed,
                  const std::string& uid, bool with_sudo = true) {
  const e2e::Result dir = e2e::Run("prerequisites_" + name, "", {});
  const fs::path bin = dir.dir / "bin";
  fs::create_directory(bin);
  const fs::path log = dir.dir / "calls.txt";
  const auto stand_in = [&bin](const std::string& command, const std::string& body) {
    e2e::WriteFile(bin / command, "#!/bin/bash\n" + body + "\n");
    fs::permissions(bin / command, fs::perms::owner_all);
  };
  // dpkg-query -W -f=FORMAT PACKAGE
  stand_in("dpkg-query", "case \" " + installed + " \" in *\" $3 \"*) printf 'ii ' ;; esac");
  stand_in("apt-get", "echo \"apt-get $*\" >> '" + log.string() + "'");
  if (with_sudo) stand_in("sudo", "echo \"sudo\" >> '" + log.string() + "'; \"$@\"");
  stand_in("id", "echo " + uid);
  // Only the stand-ins and what bash itself needs.
  const std::string path = bin.string() + ":/usr/bin:/bin";
  const std::string command = "cd '" + dir.dir.string() + "' && PATH='" + path + "' bash '" +
                              SUSCEP_SOURCE_DIR "/tools/prerequisites.sh' " + task +
                              " > out.txt 2> err.txt";
  Outcome o;
  const int raw = std::system(command.c_str());
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  o.out = e2e::ReadFile(dir.dir / "out.txt");
  o.err = e2e::ReadFile(dir.dir / "err.txt");
  o.calls = e2e::ReadFile(log);
  return o;
}

constexpr char kRun[] =
    "g++ cmake make libeigen3-dev nlohmann-json3-dev libedit-dev libssl-dev libcli11-dev "
    "libcpp-httplib-dev pkg-config";
constexpr char kTest[] =
    "libgtest-dev librsvg2-bin chromium chromium-driver python3-selenium python3 python3-dev "
    "pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-matplotlib python3-venv "
    "python3-pip python3-setuptools python3-wheel";
constexpr char kCi[] = "libbenchmark-dev python3-lmfit python3-scipy clang libclang-rt-14-dev";

const std::string kAll = std::string(kRun) + " " + kTest + " " + kCi;

TEST(Prerequisites, NothingMissingNothingDoneAndNothingSaid) {
  for (const char* task : {"run", "test", "ci", ""}) {
    const Outcome o = RunScript("none_missing", task, kAll, "1000", false);
    EXPECT_EQ(o.status, 0) << task << o.err;
    EXPECT_EQ(o.out, "") << task;
    EXPECT_EQ(o.err, "") << task;
    EXPECT_EQ(o.calls, "") << task;
  }
  // Each task asks only for its own packages and those before it.
  EXPECT_EQ(RunScript("run_only", "run", kRun, "0").calls, "");
  EXPECT_EQ(RunScript("test_only", "test", std::string(kRun) + " " + kTest, "0").calls, "");
}

TEST(Prerequisites, TheMissingOnesAreNamedAndInstalledAsRootWithoutSudo) {
  const std::string installed =
      std::string(kRun) +
      " chromium chromium-driver python3-selenium python3 python3-dev pybind11-dev python3-pybind11";
  const Outcome o = RunScript("as_root", "test", installed, "0");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "prerequisites: installing libgtest-dev librsvg2-bin python3-numpy python3-pytest "
            "python3-matplotlib python3-venv python3-pip python3-setuptools python3-wheel\n");
  EXPECT_EQ(o.calls,
            "apt-get update -qq\n"
            "apt-get install -y -qq --no-install-recommends libgtest-dev librsvg2-bin "
            "python3-numpy python3-pytest python3-matplotlib python3-venv python3-pip "
            "python3-setuptools python3-wheel\n");
  // The default task is the tests'.
  EXPECT_EQ(RunScript("default_task", "", installed, "0").calls, o.calls);
}

TEST(Prerequisites, AnOrdinaryUserInstallsThroughSudoOrIsToldWhatToDo) {
  const Outcome o = RunScript(
      "as_user", "run",
      "g++ cmake make libedit-dev libssl-dev libcli11-dev libcpp-httplib-dev pkg-config", "1000");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "prerequisites: installing libeigen3-dev nlohmann-json3-dev\n");
  EXPECT_EQ(o.calls,
            "sudo\napt-get update -qq\n"
            "sudo\napt-get install -y -qq --no-install-recommends libeigen3-dev "
            "nlohmann-json3-dev\n");
  const Outcome no_sudo =
      RunScript("no_sudo", "run", "g++ cmake make libcpp-httplib-dev pkg-config", "1000", false);
  if (fs::exists("/usr/bin/sudo") || fs::exists("/bin/sudo")) {
    GTEST_SKIP() << "sudo is installed here: its absence cannot be shown";
  }
  EXPECT_EQ(no_sudo.status, 1);
  EXPECT_EQ(no_sudo.err,
            "prerequisites: run as root, or install sudo, to install libeigen3-dev "
            "nlohmann-json3-dev libedit-dev libssl-dev libcli11-dev\n");
  EXPECT_EQ(no_sudo.calls, "");
}

TEST(Prerequisites, AnUnknownTaskIsAUsageError) {
  const Outcome o = RunScript("unknown", "all", kAll, "0");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "usage: tools/prerequisites.sh [run|test|ci]\n");
}

}  // namespace

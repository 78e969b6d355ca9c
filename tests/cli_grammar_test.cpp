// The command lines' one grammar: both spellings of a value, help anywhere,
// and each kind of mistake with its message, the usage line and status 2.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace {

constexpr char kHelp[] = "Usage: demo [OPTIONS] FILE...\n\nDemonstrates.\n";
constexpr char kUsageLine[] = " (see demo --help)\nUsage: demo [OPTIONS] FILE...\n";

struct Parsed {
  std::optional<int> status;
  std::string out, err;
  bool flag = false;
  std::optional<std::string> text;
  int number = 7;
  std::vector<std::string> files;
};

Parsed Parse(std::vector<const char*> args, bool operands = true) {
  args.insert(args.begin(), "demo");
  Parsed p;
  cli::Grammar grammar("demo", kHelp);
  grammar.Flag("-f,--flag", p.flag);
  grammar.Text("-t,--text", p.text);
  grammar.Integer("--number", p.number, 1, 64);
  if (operands) grammar.Operands(p.files);
  std::ostringstream out, err;
  p.status = grammar.Parse(static_cast<int>(args.size()), args.data(), out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(CliGrammar, ValuesInBothSpellingsAndOperandsAnywhere) {
  const std::vector<std::vector<const char*>> lines = {
      {"--number", "12", "--text", "a b", "-f", "x", "-"},
      {"--number=12", "--text=a b", "--flag", "x", "-"},
      {"x", "-ta b", "--number", "12", "-", "--flag"},
      {"-f", "--text", "a b", "--number=12", "--", "x", "-"},
  };
  for (const auto& line : lines) {
    const Parsed p = Parse(line);
    EXPECT_EQ(p.status, std::nullopt) << p.err;
    EXPECT_TRUE(p.flag);
    EXPECT_EQ(p.text, "a b");
    EXPECT_EQ(p.number, 12);
    EXPECT_EQ(p.files, (std::vector<std::string>{"x", "-"}));
  }
  // After "--" everything is an operand; a negative number is a value.
  const Parsed rest = Parse({"--text", "-5", "--", "--flag", "-h"});
  EXPECT_EQ(rest.status, std::nullopt) << rest.err;
  EXPECT_FALSE(rest.flag);
  EXPECT_EQ(rest.text, "-5");
  EXPECT_EQ(rest.files, (std::vector<std::string>{"--flag", "-h"}));
  const Parsed none = Parse({});
  EXPECT_EQ(none.status, std::nullopt);
  EXPECT_EQ(none.number, 7);
  EXPECT_EQ(none.text, std::nullopt);
}

TEST(CliGrammar, HelpAnywhereWinsOverMistakes) {
  for (const auto& line : std::vector<std::vector<const char*>>{
           {"-h"}, {"--help"}, {"--number", "x", "--help"}, {"--colour", "-h", "x"}}) {
    const Parsed p = Parse(line);
    EXPECT_EQ(p.status, 0) << line.back();
    EXPECT_EQ(p.out, kHelp);
    EXPECT_EQ(p.err, "");
  }
}

TEST(CliGrammar, MistakesAreNamedWithTheUsageLine) {
  const struct {
    std::vector<const char*> args;
    std::string message;
    bool operands = true;
  } cases[] = {
      {{"--colour", "x"}, "unknown option '--colour'"},
      {{"-q"}, "unknown option '-q'"},
      {{"x"}, "unexpected argument 'x'", false},
      {{"--text"}, "--text needs a value"},
      {{"--text", ""}, "--text needs a value"},
      {{"--text=", "x"}, "--text needs a value"},
      {{"-t", "a", "--text", "b"}, "--text is given more than once"},
      {{"--flag=yes"}, "--flag takes no value"},
      {{"--number", "0"}, "--number needs 1 to 64"},
      {{"--number", "65"}, "--number needs 1 to 64"},
      {{"--number", "99999999999"}, "--number needs 1 to 64"},
      {{"--number", "2.5"}, "--number needs a whole number, not '2.5'"},
      {{"--number", "\x1b[2J"}, "--number needs a whole number, not '\\x1B[2J'"},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.args, c.operands);
    EXPECT_EQ(p.status, 2) << c.message;
    EXPECT_EQ(p.err, "demo: " + c.message + kUsageLine);
    EXPECT_EQ(p.out, "");
  }
}

TEST(CliGrammar, RefusalsAndFailedWrites) {
  cli::Grammar grammar("demo", kHelp);
  std::ostringstream out, err;
  EXPECT_EQ(grammar.Refuse(err, "give a file"), 2);
  EXPECT_EQ(err.str(), std::string("demo: give a file") + kUsageLine);
  err.str("");
  EXPECT_EQ(grammar.Print(out, err, "text\n"), 0);
  EXPECT_EQ(out.str(), "text\n");
  out.setstate(std::ios::badbit);
  EXPECT_EQ(grammar.Print(out, err, "text\n"), 3);
  EXPECT_EQ(err.str(), "demo: write error on standard output\n");
  err.str("");
  grammar.OnWriteError("run-time error: write error on console output", 2);
  const char* const help[] = {"demo", "--help"};
  EXPECT_EQ(grammar.Parse(2, help, out, err), 2);
  EXPECT_EQ(err.str(), "demo: run-time error: write error on console output\n");
}

}  // namespace

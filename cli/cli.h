// The program's command lines, one grammar for every command: "--opt value"
// and "--opt=value", -h and --help anywhere for the command's help (status
// 0), and for a mistake one line saying what is wrong followed by the usage
// line (status 2). A command registers its options, then calls Parse:
//
//   int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
//     cli::Grammar grammar("suscep serve", kHelp);
//     int port = 8080;
//     grammar.Integer("--port", port, 1, 65535);
//     if (const auto status = grammar.Parse(argc, argv, out, err)) return *status;
//     ...
//   }
#ifndef SUSCEP_CLI_CLI_H_
#define SUSCEP_CLI_CLI_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A value its option refuses, thrown by an option's reader: what() is the
// message, e.g. "--jobs needs 1 to 64".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Grammar {
 public:
  // `name` as typed ("suscep fit"); `help` the text of --help, whose first
  // line is the usage line shown after a mistake.
  Grammar(std::string name, std::string help);
  ~Grammar();
  Grammar(const Grammar&) = delete;
  Grammar& operator=(const Grammar&) = delete;

  // Options, by their names ("--output" or "-o,--output"). Each may be
  // given once; an empty value is refused as a missing one. Values are read
  // after the whole line, in the order of registration, so that --help
  // anywhere wins over a mistake.
  void Flag(const std::string& names, bool& value);
  void Option(const std::string& names, std::function<void(const std::string& value)> read);
  void Text(const std::string& names, std::optional<std::string>& value);
  // A whole number from `low` to `high`.
  void Integer(const std::string& names, int& value, int low, int high);
  void Integer(const std::string& names, std::optional<int>& value, int low, int high);
  // The operands (arguments that are not options, and all after "--"); a
  // command without them refuses any.
  void Operands(std::vector<std::string>& values);

  // Reads the command line; argv[0] is the command's name. Without a status
  // the command goes on; otherwise its help is written (0) or its mistake.
  std::optional<int> Parse(int argc, const char* const argv[], std::ostream& out,
                           std::ostream& err);

  // A mistake found by the command itself: the message and the usage line
  // on `err`; returns 2.
  int Refuse(std::ostream& err, const std::string& message) const;

  // Writes `text` (the help, a version) to `out`: 0, or when it cannot be
  // written a message on `err` and `write_error_status`.
  int Print(std::ostream& out, std::ostream& err, const std::string& text) const;
  // What Print says and returns when `out` fails; by default "write error
  // on standard output" and 3.
  void OnWriteError(std::string message, int status);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace cli

#endif  // SUSCEP_CLI_CLI_H_

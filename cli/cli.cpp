#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <ostream>
#include <string_view>
#include <utility>

#include "format/console.h"

namespace cli {

namespace {

struct Entry {
  CLI::Option* option;
  std::string name;  // as shown in messages
  std::function<void(const std::string&)> read;
  bool* flag;
};

}  // namespace

struct Grammar::Impl {
  std::string name, help;
  std::string write_error = "write error on standard output";
  int write_error_status = 3;
  CLI::App app;
  std::vector<Entry> entries;
  std::vector<std::string>* operands = nullptr;
  std::vector<std::string> ignored;
};

namespace {

// The name a message uses: the long one where there is one.
std::string Shown(const std::string& names) {
  const std::size_t comma = names.rfind(',');
  return comma == std::string::npos ? names : names.substr(comma + 1);
}

std::string Quoted(const std::string& text) { return "'" + format::Printable(text) + "'"; }

// The message for CLI11's own refusals, which name the option first.
std::string Message(const CLI::ParseError& e, const std::vector<Entry>& entries) {
  const std::string what = e.what();
  std::string name = what.substr(0, what.find_first_of(": "));
  for (const auto& entry : entries) {
    if (entry.option->check_name(name) || entry.option->check_name("--" + name)) {
      name = entry.name;
    }
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
    if (what.find("flag override") != std::string::npos) return name + " takes no value";
    if (what.find("At Most") != std::string::npos) return name + " is given more than once";
    return name + " needs a value";
  }
  return format::Printable(what, 200);
}

int WholeNumber(const std::string& name, const std::string& text, int low, int high) {
  int n = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (ptr != end || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    throw UsageError(name + " needs a whole number, not " + Quoted(text));
  }
  if (ec != std::errc() || n < low || n > high) {
    throw UsageError(name + " needs " + std::to_string(low) + " to " + std::to_string(high));
  }
  return n;
}

}  // namespace

Grammar::Grammar(std::string name, std::string help) : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
  impl_->help = std::move(help);
  impl_->app.name(impl_->name);
  impl_->app.set_help_flag("-h,--help");
  impl_->app.allow_extras();
}

Grammar::~Grammar() = default;

void Grammar::Flag(const std::string& names, bool& value) {
  CLI::Option* option = impl_->app.add_flag(names);
  option->disable_flag_override();
  impl_->entries.push_back({option, Shown(names), nullptr, &value});
}

void Grammar::Option(const std::string& names, std::function<void(const std::string&)> read) {
  CLI::Option* option = impl_->app.add_option(names);
  option->expected(1);
  impl_->entries.push_back({option, Shown(names), std::move(read), nullptr});
}

void Grammar::Text(const std::string& names, std::optional<std::string>& value) {
  Option(names, [&value](const std::string& text) { value = text; });
}

void Grammar::Integer(const std::string& names, int& value, int low, int high) {
  Option(names, [&value, low, high, name = Shown(names)](const std::string& text) {
    value = WholeNumber(name, text, low, high);
  });
}

void Grammar::Integer(const std::string& names, std::optional<int>& value, int low, int high) {
  Option(names, [&value, low, high, name = Shown(names)](const std::string& text) {
    value = WholeNumber(name, text, low, high);
  });
}

void Grammar::Operands(std::vector<std::string>& values) { impl_->operands = &values; }

std::optional<int> Grammar::Parse(int argc, const char* const argv[], std::ostream& out,
                                  std::ostream& err) {
  Impl& g = *impl_;
  std::vector<std::string>& operands = g.operands ? *g.operands : g.ignored;
  g.app.add_option("operands", operands);
  std::vector<std::string> args;
  for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
  // CLI11 would take the next argument as the value of "--opt=".
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view arg = argv[i];
    if (arg.size() > 3 && arg.substr(0, 2) == "--" && arg.back() == '=' &&
        arg.find('=') == arg.size() - 1) {
      return Refuse(err, std::string(arg.substr(0, arg.size() - 1)) + " needs a value");
    }
  }
  try {
    g.app.parse(args);
  } catch (const CLI::CallForHelp&) {
    return Print(out, err, g.help);
  } catch (const CLI::ParseError& e) {
    return Refuse(err, Message(e, g.entries));
  }
  for (const std::string& extra : g.app.remaining()) {
    if (extra == "--") continue;  // the end of the options, kept by CLI11
    return Refuse(
        err, (extra.size() > 1 && extra[0] == '-' ? "unknown option " : "unexpected argument ") +
                 Quoted(extra));
  }
  if (!g.operands && !operands.empty()) {
    return Refuse(err, "unexpected argument " + Quoted(operands.front()));
  }
  try {
    for (const Entry& entry : g.entries) {
      if (entry.option->count() == 0) continue;
      if (entry.flag) {
        *entry.flag = true;
        continue;
      }
      const std::string& value = entry.option->results().front();
      if (value.empty()) throw UsageError(entry.name + " needs a value");
      entry.read(value);
    }
  } catch (const UsageError& e) {
    return Refuse(err, e.what());
  }
  return std::nullopt;
}

int Grammar::Refuse(std::ostream& err, const std::string& message) const {
  const std::string& help = impl_->help;
  err << impl_->name << ": " << message << " (see " << impl_->name << " --help)\n"
      << help.substr(0, help.find('\n')) << std::endl;
  return 2;
}

int Grammar::Print(std::ostream& out, std::ostream& err, const std::string& text) const {
  out << text << std::flush;
  if (out) return 0;
  err << impl_->name << ": " << impl_->write_error << std::endl;
  return impl_->write_error_status;
}

void Grammar::OnWriteError(std::string message, int status) {
  impl_->write_error = std::move(message);
  impl_->write_error_status = status;
}

}  // namespace cli

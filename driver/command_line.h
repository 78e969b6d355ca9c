// The program's arguments.
#ifndef SUSCEP_DRIVER_COMMAND_LINE_H_
#define SUSCEP_DRIVER_COMMAND_LINE_H_

#include <iosfwd>
#include <optional>

namespace driver {

// -h or --help (usage on `out`, status 0), --version (the version on `out`,
// status 0), anything else an error and the usage line on `err`, status 2.
// A failed write is a run-time error (status 2). With no arguments there is
// no status: the session starts.
std::optional<int> CommandLine(int argc, const char* const argv[], std::ostream& out,
                               std::ostream& err);

}  // namespace driver

#endif  // SUSCEP_DRIVER_COMMAND_LINE_H_

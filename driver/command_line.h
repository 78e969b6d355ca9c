// The program's arguments.
#ifndef SUSCEP_DRIVER_COMMAND_LINE_H_
#define SUSCEP_DRIVER_COMMAND_LINE_H_

#include <iosfwd>
#include <optional>

namespace driver {

// "--help" (usage on `out`, status 0), "--version" (the version on `out`,
// status 0), anything else a one-line error on `err` and status 2. With no
// arguments there is no status: the session starts.
std::optional<int> CommandLine(int argc, const char* const argv[], std::ostream& out,
                               std::ostream& err);

}  // namespace driver

#endif  // SUSCEP_DRIVER_COMMAND_LINE_H_

// `suscep fit`: one model fitted to many data files, with no dialogue.
#ifndef SUSCEP_BATCH_BATCH_H_
#define SUSCEP_BATCH_BATCH_H_

#include <iosfwd>

namespace batch {

// The arguments after "fit" (argv[0] is "fit"). Writes the table (or the
// JSON summary) to `out`, failures and notes to `err`. Returns 0 when every
// data file was fitted, 1 when some failed, 2 for a usage error or a model
// file that cannot be used.
int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace batch

#endif  // SUSCEP_BATCH_BATCH_H_

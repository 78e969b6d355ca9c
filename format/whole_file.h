// Output files written whole or not at all. A signal that ends the program
// (see signals/signals.h) removes the temporary files first.
#ifndef SUSCEP_FORMAT_WHOLE_FILE_H_
#define SUSCEP_FORMAT_WHOLE_FILE_H_

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace format {

// What may stand at the name of a WholeFile.
enum class AtName {
  // The program's own file in the working directory: a link there is
  // replaced by the new file, never followed.
  kOwnFile,
  // A name the user typed: a link is refused like a device, since what it
  // points to is someone else's (/dev/stdout).
  kTypedName,
};

// A file built under a temporary name in the directory of `path` and renamed
// over `path` by Commit(): a reader of `path` sees the old file or the new
// one, never half of one. A directory, a device or a pipe at `path` is
// refused, and so is an empty name. The new file keeps the permission bits
// of the regular file it replaces (and its owner and group where the process
// may set them); a hard link to the old file keeps the old contents.
// Destroyed without a successful Commit(), it removes its temporary file and
// leaves `path` as it was. Failures throw RunTimeError naming the operation
// (open, write, close) and `path`; the temporary file is then gone.
class WholeFile {
 public:
  // `sync` false: Commit() leaves the data to the system's write-back, for a
  // caller that syncs many files at once (SyncFileSystem).
  explicit WholeFile(const std::string& path, bool sync = true, AtName at = AtName::kOwnFile);
  WholeFile(const std::string& path, AtName at) : WholeFile(path, true, at) {}
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  void Write(std::string_view data);
  // Flushes, syncs and closes the temporary file, then renames it over the
  // path. Only the first call does anything.
  void Commit();

 private:
  friend void CommitTogether(const std::vector<WholeFile*>& files);
  // Commit() in two halves: the first may fail and leaves `path` alone; the
  // second only renames. Each does something once.
  void Finish();
  void Rename();
  void Flush();
  void WriteOut(std::string_view data);
  [[noreturn]] void Fail(const char* operation, int error);
  [[noreturn]] void Fail(const char* operation, const std::string& reason);
  void Discard();

  // Pieces are gathered until they reach this size.
  static constexpr std::size_t kBuffered = 65536;

  std::string path_;
  bool sync_ = true;
  std::string temp_;
  std::string buffer_;
  int fd_ = -1;
  int slot_ = -1;
};

// Puts several files in place as one, for outputs that belong together (a
// report and its result file, a plot in two formats): every file is first
// flushed, synced and closed (a failure throws, and no path has changed),
// then all are renamed in the order given with SIGINT, SIGTERM and SIGHUP
// held back until the last rename is done, so that a signal leaves all the
// old files or all the new ones. Only a failed rename, which throws, can
// leave the files before it new and the others old. A file already
// committed is passed over. Example:
//   WholeFile report(report_path), result(result_path);
//   report.Write(...); result.Write(...);
//   CommitTogether({&report, &result});
void CommitTogether(std::initializer_list<WholeFile*> files);
void CommitTogether(const std::vector<WholeFile*>& files);

// Writes `content` to `path` through a WholeFile.
void WriteWholeFile(const std::string& path, std::string_view content, bool sync = true,
                    AtName at = AtName::kOwnFile);
inline void WriteWholeFile(const std::string& path, std::string_view content, AtName at) {
  WriteWholeFile(path, content, true, at);
}

// Whether a WholeFile could be made at `path` now: "" when it could, else the
// message its constructor would throw. Leaves nothing behind.
std::string CannotReplace(const std::string& path);

// Why `path` cannot be read as a regular file now ("a directory", "a FIFO",
// "a device", or the open error), or "" when it can. Never blocks on a FIFO.
std::string NotARegularFile(const std::string& path);

// The regular file at `path`, whole, when it has at most `limit` bytes;
// otherwise "" with `why` set to the reason (as NotARegularFile gives it, or
// the size), for the caller's message.
std::string ReadRegularFile(const std::string& path, std::size_t limit, std::string& why);

// Writes out everything written to the file system that holds the directory
// `dir`; a failure throws RunTimeError naming it.
void SyncFileSystem(const std::string& dir);

}  // namespace format

#endif  // SUSCEP_FORMAT_WHOLE_FILE_H_

// Output files written whole or not at all. A signal that ends the program
// (see signals/signals.h) removes the temporary files first.
#ifndef SUSCEP_FORMAT_WHOLE_FILE_H_
#define SUSCEP_FORMAT_WHOLE_FILE_H_

#include <string>
#include <string_view>

namespace format {

// A file built under a temporary name in the directory of `path` and renamed
// over `path` by Commit(): a reader of `path` sees the old file or the new
// one, never half of one, and a link planted at `path` is replaced, not
// followed. A device or a pipe at `path` is refused. Destroyed without a successful Commit(), it
// removes its temporary file and leaves `path` as it was. Failures throw RunTimeError naming the
// operation (open, write, close) and `path`; the temporary file is then gone.
class WholeFile {
 public:
  explicit WholeFile(const std::string& path);
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  void Write(std::string_view data);
  // Flushes, syncs and closes the temporary file, then renames it over the
  // path. Only the first call does anything.
  void Commit();

 private:
  void Flush();
  [[noreturn]] void Fail(const char* operation, int error);
  [[noreturn]] void Fail(const char* operation, const char* reason);
  void Discard();

  std::string path_;
  std::string temp_;
  std::string buffer_;
  int fd_ = -1;
  int slot_ = -1;
};

// Writes `content` to `path` through a WholeFile.
void WriteWholeFile(const std::string& path, std::string_view content);

}  // namespace format

#endif  // SUSCEP_FORMAT_WHOLE_FILE_H_

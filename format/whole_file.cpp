#include "format/whole_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "format/console.h"
#include "signals/signals.h"

namespace format {
namespace {

// The temporary files alive now, for the signal handler. A slot is claimed
// (kClaimed), its name written, and only then marked kLive, so neither the
// handler nor another thread ever sees half a name. The atomics are lock-free,
// which makes them safe to read in a signal handler.
constexpr int kSlots = 256;  // three files for each of 64 jobs, and more
constexpr std::size_t kMaxPath = 4096;
constexpr int kFree = 0, kClaimed = 1, kLive = 2;
char live_paths[kSlots][kMaxPath];
std::atomic<int> live[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// Once the clean-up has begun no thread makes another temporary file; one
// making one now (between mkstemp and its slot) is waited for.
std::atomic<bool> ending{false};
std::atomic<int> making{0};
static_assert(std::atomic<bool>::is_always_lock_free);

// Run by the signal handler before the program ends by a signal.
void RemoveTemporaries() {
  ending.store(true);
  // A few microseconds at most: the file is made with this thread's
  // signals blocked, never inside the handler.
  for (long spins = 0; making.load() != 0 && spins < 100000000L; ++spins) {
  }
  for (int i = 0; i < kSlots; ++i) {
    if (live[i].load() == kLive) ::unlink(live_paths[i]);
  }
}

// A slot holding `path`, or -1 when none is free or the name is too long
// (the file then works, but a signal would leave it behind).
int Register(const std::string& path) {
  static const bool registered = signals::AtSignalEnd(RemoveTemporaries);
  if (!registered || path.size() >= kMaxPath) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (live[i].compare_exchange_strong(expected, kClaimed)) {
      std::memcpy(live_paths[i], path.c_str(), path.size() + 1);
      live[i].store(kLive);
      return i;
    }
  }
  return -1;
}

void Release(int slot) {
  if (slot >= 0) live[slot].store(kFree);
}

// Read once: umask can only be read by setting it, which two threads at once
// would leave at 0.
mode_t CreationMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
  }();
  return mode;
}

}  // namespace

WholeFile::WholeFile(const std::string& path, bool sync, AtName at) : path_(path), sync_(sync) {
  if (path.empty()) Fail("open", "empty file name");
  struct stat st;
  bool replaces_file = false;
  if (::lstat(path.c_str(), &st) == 0) {
    // The rename would fail late, after the whole file is written.
    if (S_ISDIR(st.st_mode)) Fail("open", EISDIR);
    if (S_ISLNK(st.st_mode) && at == AtName::kTypedName) {
      Fail("open", "a symbolic link, not replaced");
    }
    // A device or a pipe would be replaced by a plain file, not written to.
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) Fail("open", "not a regular file");
    // A read-only file is not replaced behind its owner's back.
    if (S_ISREG(st.st_mode) && ::access(path.c_str(), W_OK) != 0) Fail("open", errno);
    replaces_file = S_ISREG(st.st_mode);
  }
  const std::size_t slash = path.rfind('/');
  const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  // The temporary name is at most as long as the longest name allowed.
  constexpr std::size_t kAdded = 8;  // "." and ".XXXXXX"
  const std::size_t kept = std::min(path.size() - name_at, std::size_t{NAME_MAX} - kAdded);
  temp_ = path.substr(0, name_at) + "." + path.substr(name_at, kept) + ".XXXXXX";
  int error = 0;
  bool refused = false;
  {
    const signals::Block block;
    making.fetch_add(1);
    refused = ending.load();
    if (!refused) {
      fd_ = ::mkstemp(temp_.data());
      if (fd_ < 0) {
        error = errno;
      } else {
        slot_ = Register(temp_);
      }
    }
    making.fetch_sub(1);
  }
  if (refused) {
    temp_.clear();
    Fail("open", "the program is ending");
  }
  if (fd_ < 0) {
    temp_.clear();
    // The name itself may be writable: say that the directory is not.
    if (error == EACCES || error == EROFS || error == EPERM) {
      Fail("open", "cannot create a file in its directory: " + std::string(std::strerror(error)));
    }
    Fail("open", error);
  }
  mode_t mode = CreationMode();
  if (replaces_file) {
    mode = st.st_mode & 0777;
    // Owner first: a change of owner may clear permission bits. Where the
    // process may not give the file away, the group alone may still be set.
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(fd_, st.st_uid, st.st_gid) != 0 &&
        ::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0) {
      // Neither: the new file is the process's own, as a new file would be.
    }
  }
  if (::fchmod(fd_, mode) != 0) Fail("open", errno);
}

WholeFile::~WholeFile() { Discard(); }

void WholeFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  Release(slot_);
  slot_ = -1;
}

void WholeFile::Fail(const char* operation, int error) { Fail(operation, std::strerror(error)); }

void WholeFile::Fail(const char* operation, const std::string& reason) {
  Discard();
  if (path_.empty()) throw RunTimeError(std::string(operation) + " error: " + reason);
  throw RunTimeError(std::string(operation) + " error on file " + Printable(path_, kNameShown) +
                     ": " + reason);
}

void WholeFile::Write(std::string_view data) {
  if (fd_ < 0) {
    throw RunTimeError("write error on file " + Printable(path_, kNameShown) + ": file is closed");
  }
  if (buffer_.size() + data.size() < kBuffered) {
    buffer_.append(data);
    return;
  }
  // Once there is enough, what is gathered is written, and the piece after
  // it as it is, uncopied.
  Flush();
  WriteOut(data);
}

void WholeFile::Flush() {
  WriteOut(buffer_);
  buffer_.clear();
}

void WholeFile::WriteOut(std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write", errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

void WholeFile::Finish() {
  if (fd_ < 0) return;
  Flush();
  if (sync_ && ::fsync(fd_) != 0 && errno != EINVAL) Fail("write", errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("close", errno);
}

void WholeFile::Rename() {
  if (fd_ >= 0 || temp_.empty()) return;
  if (::rename(temp_.c_str(), path_.c_str()) != 0) Fail("close", errno);
  temp_.clear();
  Release(slot_);
  slot_ = -1;
}

void WholeFile::Commit() {
  Finish();
  Rename();
}

void CommitTogether(std::initializer_list<WholeFile*> files) {
  CommitTogether(std::vector<WholeFile*>(files));
}

void CommitTogether(const std::vector<WholeFile*>& files) {
  for (WholeFile* file : files) file->Finish();
  const signals::Block block;
  for (WholeFile* file : files) file->Rename();
}

void WriteWholeFile(const std::string& path, std::string_view content, bool sync, AtName at) {
  WholeFile file(path, sync, at);
  file.Write(content);
  file.Commit();
}

std::string CannotReplace(const std::string& path) {
  try {
    WholeFile probe(path);
  } catch (const RunTimeError& e) {
    return e.what();
  }
  return "";
}

namespace {

// An open descriptor of `path` for reading, or -1 with `why` set.
int OpenRegular(const std::string& path, struct stat& st, std::string& why) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    why = "a directory, not a file";
  } else if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    why = "a pipe, not a regular file";
  } else if (!S_ISREG(st.st_mode)) {
    why = "a device, not a regular file";
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

}  // namespace

std::string NotARegularFile(const std::string& path) {
  if (path.empty()) return "empty file name";
  struct stat st;
  std::string why;
  const int fd = OpenRegular(path, st, why);
  if (fd >= 0) ::close(fd);
  return why;
}

std::string ReadRegularFile(const std::string& path, std::size_t limit, std::string& why) {
  struct stat st;
  why = path.empty() ? "empty file name" : "";
  const int fd = why.empty() ? OpenRegular(path, st, why) : -1;
  std::string text;
  if (fd >= 0) {
    // Straight into the text, in chunks of the file's size and one byte
    // more, so that a file that does not grow is read in one call and its
    // end seen in the next. Read one byte past the limit: a file may grow
    // while it is read.
    const std::size_t size = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    const std::size_t chunk = std::clamp<std::size_t>(size + 1, 4096, 1 << 20);
    for (;;) {
      const std::size_t had = text.size();
      text.resize(had + chunk);
      const ssize_t n = ::read(fd, text.data() + had, chunk);
      text.resize(had + (n > 0 ? static_cast<std::size_t>(n) : 0));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) why = std::strerror(errno);
      if (n <= 0) break;
      if (text.size() > limit) {
        why = "larger than " + std::to_string(limit) + " bytes";
        break;
      }
    }
    ::close(fd);
  }
  if (!why.empty()) text.clear();
  return text;
}

void SyncFileSystem(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
#ifdef __linux__
  if (fd >= 0 && ::syncfs(fd) != 0) error = errno;
#else
  if (fd >= 0) ::sync();
#endif
  if (fd >= 0) ::close(fd);
  if (error != 0) {
    throw RunTimeError("write error on directory " + Printable(dir, kNameShown) + ": " +
                       std::strerror(error));
  }
}

}  // namespace format

// Device nodes made in a test's own folder, never the machine's: a refusal
// that breaks can then only damage that folder.
#ifndef SUSCEP_TESTS_DEVICE_NODE_H_
#define SUSCEP_TESTS_DEVICE_NODE_H_

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

namespace test_util {

// Why DeviceNode gave nothing, for GTEST_SKIP.
constexpr char kNoDeviceNode[] =
    "cannot make a device node in the test's folder (mknod needs root, and a filesystem "
    "mounted without nodev)";

// A character device `kind` ("null", "zero" or "full", as Linux numbers
// them) at dir/kind, tried once; nothing when it cannot be made or used.
inline std::optional<std::string> DeviceNode(const std::filesystem::path& dir,
                                             const std::string& kind) {
  const unsigned minor = kind == "null" ? 3 : kind == "zero" ? 5 : kind == "full" ? 7 : 0;
  if (minor == 0) return std::nullopt;
  const std::string path = (dir / kind).string();
  if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDWR);
  if (fd < 0) {
    ::unlink(path.c_str());
    return std::nullopt;
  }
  ::close(fd);
  return path;
}

}  // namespace test_util

#endif  // SUSCEP_TESTS_DEVICE_NODE_H_

// SHA-256 of a stream of bytes.
#ifndef SUSCEP_IMPORTER_SHA256_H_
#define SUSCEP_IMPORTER_SHA256_H_

#include <memory>
#include <string>
#include <string_view>

namespace importer {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Update(std::string_view bytes);
  // The digest in lower-case hex; once only.
  std::string Hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace importer

#endif  // SUSCEP_IMPORTER_SHA256_H_

// `suscep serve`, a program of its own that `suscep serve` runs: only it
// loads the web server's library and the TLS library under it, whose
// loading takes longer than a whole fit.
#include <iostream>

#include "serve/serve.h"
#include "signals/signals.h"

int main(int argc, char* argv[]) {
  signals::Install();
  return serve::Main(argc, argv, std::cout, std::cerr);
}

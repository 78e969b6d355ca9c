#include <iostream>

#include "driver/session.h"

int main() {
  format::InstallSignalCleanup();
  return driver::Main(std::cin, std::cout, std::cerr);
}

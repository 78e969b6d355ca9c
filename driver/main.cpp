#include <iostream>

#include "driver/session.h"

int main() { return driver::Main(std::cin, std::cout, std::cerr); }

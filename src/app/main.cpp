// tessel: small-angle X-ray scattering of macromolecules from atomic models.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  try {
    (void)args;
    return 0;
  } catch (const tessel::NormalExit&) {
    std::cout.flush();
    return 0;
  } catch (const tessel::Error& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return e.status();
  }
}

// tessel: small-angle X-ray scattering of macromolecules from atomic models.
// The one place that prints the errors that end a run and decides the exit status.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/driver.hpp"
#include "app/platform.hpp"
#include "app/process_memory.hpp"
#include "core/errors.hpp"

int main(int argc, char** argv) {
  tessel::prepare_process_memory();
  const std::vector<std::string> args(argv, argv + argc);
  tessel::SystemPlatform platform;
  try {
    return tessel::run_program(args, {std::cin, std::cout, std::cerr}, platform);
  } catch (const tessel::NormalExit&) {
    std::cout.flush();
    return 0;
  } catch (const tessel::Error& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return e.status();
  } catch (const std::exception& e) {
    // A check inside the computation refused its input: a message and status 1, never an abort.
    std::cout.flush();
    std::cerr << " Error -- " << e.what() << '\n';
    return 1;
  }
}

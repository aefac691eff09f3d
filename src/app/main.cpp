// tessel: small-angle X-ray scattering of macromolecules from atomic models.
// The one place that prints fatal stops and decides the exit status.
#include <iostream>
#include <string>
#include <vector>

#include "app/options.hpp"
#include "core/errors.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  try {
    if (args.size() > 1) {
      const tessel::ParseOutcome outcome = tessel::parse_command_line(args);
      if (outcome.action == tessel::ParseOutcome::Action::print_and_exit) {
        std::cout << outcome.text << std::flush;
        return 0;
      }
    }
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

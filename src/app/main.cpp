// tessel: small-angle X-ray scattering of macromolecules from atomic models.
// The one place that prints the errors that end a run and decides the exit status.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/driver.hpp"
#include "app/interrupt.hpp"
#include "app/platform.hpp"
#include "app/process_memory.hpp"
#include "core/errors.hpp"
#include "core/kernels/worker_pool.hpp"

namespace {

// TESSEL_THREADS, when set, is the number of threads of the long loops (1 to the pool's largest
// size); unset, the processors there are. The results are the same whatever the number.
bool read_loop_settings(tessel::LoopSettings& loops) {
  const char* text = std::getenv("TESSEL_THREADS");
  if (text == nullptr || *text == '\0') return true;
  int threads = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, threads);
  if (error != std::errc() || stop != end || threads < 1 || threads > tessel::kMaxThreads) {
    std::cerr << " Error -- TESSEL_THREADS must be a whole number from 1 to " << tessel::kMaxThreads
              << ", not \"" << text << "\"\n";
    return false;
  }
  loops.threads = threads;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tessel::install_interrupt_handlers();
  tessel::prepare_process_memory();
  tessel::LoopSettings loops;
  if (!read_loop_settings(loops)) return 1;
  const std::vector<std::string> args(argv, argv + argc);
  tessel::SystemPlatform platform;
  try {
    return tessel::run_program(args, {std::cin, std::cout, std::cerr}, platform, loops);
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
    std::cerr << tessel::kGeneralErrorLead << e.what() << '\n';
    return 1;
  }
}

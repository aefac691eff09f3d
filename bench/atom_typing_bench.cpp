// Atom typing throughput: every line of a 4,297-atom complex (3hfm.pdb) per iteration.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "io/atom_typing.hpp"

namespace {

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void BM_TypeStructureFile(benchmark::State& state) {
  const std::vector<std::string> lines = read_lines(std::string(TESSEL_TEST_DATA) + "/3hfm.pdb");
  std::size_t atoms = 0;
  for (auto _ : state) {
    tessel::AtomTyper typer({});
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string_view next = i + 1 < lines.size() ? std::string_view(lines[i + 1]) : "";
      const tessel::TypingResult r = typer.type_record(lines[i], next);
      if (r.atom) ++atoms;
      benchmark::DoNotOptimize(r.atom);
    }
  }
  state.counters["atoms/s"] =
      benchmark::Counter(static_cast<double>(atoms), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TypeStructureFile);

}  // namespace

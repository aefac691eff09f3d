// Atom typing throughput: every accepted record of a 4,297-atom complex (3hfm.pdb) per iteration,
// read once beforehand so that only the typing is timed.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "io/atom_typing.hpp"
#include "io/pdb_reader.hpp"

namespace {

void BM_TypeStructureFile(benchmark::State& state) {
  std::ifstream in(std::string(TESSEL_TEST_DATA) + "/3hfm.pdb");
  tessel::AtomStream stream(in, false);
  std::vector<tessel::AtomRecord> records, batch;
  while (stream.next_batch(batch)) records.insert(records.end(), batch.begin(), batch.end());
  for (auto _ : state) {
    tessel::AtomTyper typer({});
    for (const tessel::AtomRecord& record : records) {
      const tessel::TypingResult r = typer.type_atom(record);
      benchmark::DoNotOptimize(r.atom.type);
    }
  }
  state.counters["atoms/s"] = benchmark::Counter(
      static_cast<double>(records.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TypeStructureFile);

}  // namespace

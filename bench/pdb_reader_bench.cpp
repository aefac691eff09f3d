// Throughput of the passes over a structure file: scan, pre-pass and the batched atom stream,
// on the NMR test file (38 models, 11552 atom lines) held in memory.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "io/pdb_reader.hpp"
#include "io/pdb_selection.hpp"

namespace {

const std::string& nmr_text() {
  static const std::string text = [] {
    std::ifstream in(std::string(TESSEL_TEST_DATA) + "/1l2y.pdb", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }();
  return text;
}

void BM_Scan(benchmark::State& state) {
  for (auto _ : state) {
    std::istringstream in(nmr_text());
    benchmark::DoNotOptimize(tessel::scan_structure(in));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nmr_text().size()));
}
BENCHMARK(BM_Scan);

void BM_Prepass(benchmark::State& state) {
  for (auto _ : state) {
    std::istringstream in(nmr_text());
    benchmark::DoNotOptimize(tessel::compute_prepass(in, true));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nmr_text().size()));
}
BENCHMARK(BM_Prepass);

void BM_AtomStream(benchmark::State& state) {
  std::vector<tessel::AtomRecord> batch;
  for (auto _ : state) {
    std::istringstream in(nmr_text());
    tessel::AtomStream atoms(in, true);
    std::size_t n = 0;
    while (atoms.next_batch(batch)) n += batch.size();
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 11552));
}
BENCHMARK(BM_AtomStream);

}  // namespace

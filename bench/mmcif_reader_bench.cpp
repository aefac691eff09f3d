// The reading of a large mmCIF file, apart from the rest of a run: the file read and parsed into
// the atom table, and then the passes the amplitude stage makes over it (scan, pre-pass and the
// record batches, without the typing and the sums). The file is named by the environment
// variable TESSEL_ASSEMBLY (bench/make_assembly.py makes one); without it the cases are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/atom_source.hpp"
#include "io/mmcif_reader.hpp"
#include "io/mmcif_selection.hpp"
#include "io/structure_format.hpp"

namespace {

const char* assembly_file() { return std::getenv("TESSEL_ASSEMBLY"); }

bool gzip_named(const char* file) {
  const auto kind = tessel::structure_file_kind(file);
  return kind && kind->gzip;
}

void BM_MmcifAssemblyParse(benchmark::State& state) {
  const char* file = assembly_file();
  if (!file) {
    state.SkipWithError("TESSEL_ASSEMBLY names no file");
    return;
  }
  std::size_t atoms = 0;
  for (auto _ : state) atoms = tessel::read_mmcif_file(file, gzip_named(file)).atoms.size();
  state.counters["atoms"] = static_cast<double>(atoms);
}
BENCHMARK(BM_MmcifAssemblyParse)->Unit(benchmark::kMillisecond)->Iterations(3);

// What a run spends on reading before and between its sums: parse, scan, pre-pass, batches.
void BM_MmcifAssemblyReading(benchmark::State& state) {
  const char* file = assembly_file();
  if (!file) {
    state.SkipWithError("TESSEL_ASSEMBLY names no file");
    return;
  }
  std::vector<tessel::AtomRecord> batch;
  for (auto _ : state) {
    const tessel::StructureInMemory memory = tessel::read_mmcif_file(file, gzip_named(file));
    benchmark::DoNotOptimize(tessel::scan_mmcif(std::get<tessel::MmcifStructure>(memory)));
    const auto source = tessel::open_atom_source({}, &memory, false);
    benchmark::DoNotOptimize(source->prepass());
    std::size_t n = 0;
    while (source->next_batch(batch)) n += batch.size();
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_MmcifAssemblyReading)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

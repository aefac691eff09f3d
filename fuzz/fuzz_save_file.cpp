// Fuzz target: the save-file reader on arbitrary bytes. A refusal (SaveFormatError) is the
// expected outcome for almost every input. What the reader accepts must write back to the
// very same bytes, and its log lines must be writable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <sstream>
#include <string>

#include "io/save_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessel;
  const auto bytes = std::as_bytes(std::span<const std::uint8_t>(data, size));
  SaveData saved;
  try {
    saved = read_save_data(bytes);
  } catch (const SaveFormatError&) {
    return 0;
  }
  std::ostringstream out;
  write_save_data(out, saved);
  const std::string written = out.str();
  if (written.size() != size || std::memcmp(written.data(), data, size) != 0) std::abort();
  (void)save_file_report(saved, "fuzz.sav");
  return 0;
}

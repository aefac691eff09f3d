// Model and chain selection of a structure file: the scan for models and chains, the choice of
// a model and chains (from the settings or by questions), and the filtered copy that holds only
// the selected atoms.
#pragma once

#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/errors.hpp"
#include "core/run_settings.hpp"
#include "io/report.hpp"
#include "io/structure_open_error.hpp"

namespace tessel {

// Entries of the chain list; later chain changes of the first model are passed over.
inline constexpr std::size_t kMaxChainEntries = 99;

// A model number beyond the last "MODEL" record (two lines of text). The interactive driver
// shows the message and asks for another file name; batch mode ends with status 1.
class ModelNotFoundError : public Error {
 public:
  ModelNotFoundError(int model_number, const std::string& file_name, int model_count);
};

struct ScanResult {
  int model_count = 0;  // "MODEL" records in the file
  // Chain characters of the "ATOM" lines before the second "MODEL" record, one entry each time
  // the character changes (a chain that comes back is listed again), at most kMaxChainEntries.
  // (The chain list of an mmCIF file may hold longer ids, and then is comma-separated: see
  // chain_ids.hpp.)
  std::string chains;
};

// Reads the whole stream once.
ScanResult scan_structure(std::istream& in);
// Throws StructureOpenError when the file cannot be opened.
ScanResult scan_structure_file(const std::filesystem::path& file);

// The model and chains a job reads.
struct StructureSelection {
  bool model_selection = false;
  int model_number = 0;          // 1 or more when model_selection
  bool chain_selection = false;
  // Chains to keep, leave-out list already resolved, in the forms of chain_ids.hpp.
  std::string chain_ids;
};

// The console questions of the interactive choice; the driver plugs in the dialogue.
struct SelectionDialogue {
  // Integer question with its default; returns the answer (or the default).
  std::function<int(std::string_view question, int default_value)> ask_integer;
  // Text question read into a field of `field_length` characters; blank when empty.
  std::function<std::string(std::string_view question, std::size_t field_length)> ask_text;
};

// The selection of a job. Batch mode (`dialogue` null) takes the model number and chain
// identifiers of the settings; interactive mode asks for a model when the file has two or more
// models and for chains when the chain list has two or more entries, writing its notes and
// warnings to the console. A file without "MODEL" records has no model selection. With the
// underscore flag the chain characters are replaced by the chain-list entries they do not name.
StructureSelection choose_selection(const RunSettings& settings, const ScanResult& scan,
                                    std::string_view file_name, const SelectionDialogue* dialogue,
                                    const Report& report);

// The chain-list entries that are none of `leave_out`, in list order (both in the forms of
// chain_ids.hpp).
std::string leave_out_chains(std::string_view chains, std::string_view leave_out);

// A file removed when its owner goes (also when a job stops with an error).
class TemporaryFile {
 public:
  TemporaryFile() = default;
  explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
  TemporaryFile(TemporaryFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile();

  const std::filesystem::path& path() const { return path_; }
  bool empty() const { return path_.empty(); }
  void remove();

 private:
  std::filesystem::path path_;
};

// The name the filtered copy of a selection is known by: the structure file name without its
// extension (strip_extension()), "-", the model number (model selection), the chain ids (chain
// selection; a list without its trailing comma, and longer than 100 characters cut after the ids
// that fit in 64 and followed by "+" and the number of ids left out) and ".pdb". The job's
// output names derive from it.
std::string selection_name(const std::string& file_name, const StructureSelection& selection);

struct FilteredStructure {
  TemporaryFile copy;        // the selected atoms, in a fresh file of the temporary directory
  std::string output_name;   // selection_name(): names the job's outputs
};

// The chain error of a selection that kept no atom.
Error chain_not_found_error(const StructureSelection& selection, const std::string& file_name);

// Hands the lines of a PDB text that a selection keeps to `write_line`, in order: the lines
// filter_structure() writes to its copy, with the same errors (but no file of its own).
void filter_lines(std::istream& in, const std::string& file_name,
                  const StructureSelection& selection, bool keep_hydrogens,
                  const std::function<void(std::string_view)>& write_line);

// Writes the atom lines of the selected model and chains to a new temporary file (created
// exclusively, so no existing file is touched). Waters are left out, and hydrogens too unless
// `keep_hydrogens`. A model copy starts with "MODEL" and the number in 5 columns and ends with
// "ENDMDL" and "END"; a chain copy ends with "END". The selection must have a model or chain
// selection on. Throws ModelNotFoundError, Error with status 1 for a chain with no atom line,
// StructureOpenError, and Error for a copy that cannot be written.
FilteredStructure filter_structure(const std::filesystem::path& file,
                                   const StructureSelection& selection, bool keep_hydrogens);

}  // namespace tessel

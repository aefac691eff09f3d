// Model and chain selection of a structure file and its filtered copy.
#include "io/pdb_selection.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <system_error>

#include "core/trim.hpp"
#include "io/chain_ids.hpp"
#include "io/fortran_format.hpp"
#include "io/pdb_line.hpp"
#include "io/pdb_reader.hpp"
#include "io/structure_format.hpp"

namespace tessel {

namespace {

// A chain part of a selection name longer than this is cut (the one-character form of a PDB file
// never is: its chain list holds at most kMaxChainEntries entries).
constexpr std::size_t kLongestChainsInName = 100;
constexpr std::size_t kChainsShownWhenCut = 64;

// Concatenation by appending (GCC 12 misreports chains of operator+ under -Wrestrict).
std::string join(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out += p;
  return out;
}

std::string without_line_end(std::string s) {
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

// The filtered copy while it is written: a file of the temporary directory, created
// exclusively when the first line is written.
class CopyWriter {
 public:
  explicit CopyWriter(std::string stem) : stem_(std::move(stem)) {}
  CopyWriter(const CopyWriter&) = delete;
  CopyWriter& operator=(const CopyWriter&) = delete;
  ~CopyWriter() {
    if (out_) std::fclose(out_);
  }

  void write_line(std::string_view line) {
    if (!out_) open();
    const std::string text = std::string(trim_right(line)) + '\n';
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) fail();
  }

  // Closes the copy and hands it over.
  TemporaryFile finish() {
    if (out_) {
      const bool bad = std::ferror(out_) != 0;
      const bool closed = std::fclose(out_) == 0;
      out_ = nullptr;
      if (bad || !closed) fail();
    }
    return std::move(file_);
  }

 private:
  void open() {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) throw Error(" Error -- No temporary directory for the filtered PDB file: " + ec.message(), 1);
    std::string name = (dir / ("tessel-" + stem_ + "-XXXXXX")).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
      throw Error(" Error -- Cannot create the filtered PDB file " + name + ": " +
                      std::strerror(errno), 1);
    }
    file_ = TemporaryFile(name);
    out_ = ::fdopen(fd, "w");
    if (!out_) {
      ::close(fd);
      fail();
    }
  }

  [[noreturn]] void fail() const {
    throw Error(" Error -- Cannot write the filtered PDB file " + file_.path().string(), 1);
  }

  std::string stem_;
  TemporaryFile file_;
  std::FILE* out_ = nullptr;
};

// A short, plain version of the selection name for the temporary file's name.
std::string temporary_stem(const std::string& output_name) {
  std::string stem = std::filesystem::path(output_name).stem().string();
  if (stem.size() > 64) stem.resize(64);
  for (char& c : stem) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  return stem;
}

}  // namespace

ModelNotFoundError::ModelNotFoundError(int model_number, const std::string& file_name,
                                       int model_count)
    : Error(" Error -- NMR conformer/model #" + int_text(model_number) + " does not exist\n" +
                " Last model # in PDB file " + file_name + " is " + int_text(model_count),
            1) {}

ScanResult scan_structure(std::istream& in) {
  ScanResult scan;
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    if (record_is(line, "MODEL")) {
      ++scan.model_count;
    } else if (record_is(line, "ATOM") && scan.model_count < 2) {
      const char chain = pdb_column(line, 22);
      if (scan.chains.size() < kMaxChainEntries && (scan.chains.empty() || scan.chains.back() != chain)) {
        scan.chains.push_back(chain);
      }
    }
  }
  return scan;
}

ScanResult scan_structure_file(const std::filesystem::path& file) {
  std::ifstream in = open_structure(file);
  return scan_structure(in);
}

std::string leave_out_chains(std::string_view chains, std::string_view leave_out) {
  const std::vector<std::string> out = split_chain_ids(leave_out);
  std::vector<std::string> kept;
  for (std::string& id : split_chain_ids(chains)) {
    if (std::find(out.begin(), out.end(), id) == out.end()) kept.push_back(std::move(id));
  }
  return join_chain_ids(kept);
}

StructureSelection choose_selection(const RunSettings& settings, const ScanResult& scan,
                                    std::string_view file_name, const SelectionDialogue* dialogue,
                                    const Report& report) {
  StructureSelection selection;
  const std::string name(trim_right(file_name));

  if (scan.model_count > 0) {
    if (dialogue && scan.model_count >= 2) {
      report.to_console(join({" ", int_text(scan.model_count), " models were found in ", name, "\n"}));
      for (;;) {
        const int n = dialogue->ask_integer("Process model number (0=all)", 1);
        if (n >= 0 && n <= scan.model_count) {
          selection.model_selection = n > 0;
          selection.model_number = n;
          break;
        }
        report.to_console(" Error: provide number from 0 to " + int_text(scan.model_count) + "\n");
      }
    } else if (settings.model_selection && settings.model_number >= 1) {
      selection.model_selection = true;
      selection.model_number = settings.model_number;
    }
  }

  bool underscore = false;
  const std::vector<std::string> listed = split_chain_ids(scan.chains);
  if (dialogue && listed.size() >= 2) {
    report.to_console(join({" ", int_text(static_cast<long long>(listed.size())), " (",
                            scan.chains, ") chains were found in ", name, "\n"}));
    for (;;) {
      const std::string answer(
          trim_right(limit_chain_text(dialogue->ask_text("Process chain (0: all chains)", kMaxChainListLength))));
      const bool leading_underscore = !answer.empty() && answer[0] == '_';
      const std::vector<std::string> given =
          split_chain_ids(std::string_view(answer).substr(leading_underscore ? 1 : 0));
      if (given.size() > listed.size()) {
        report.to_console("Warning: too many chains specified\n");
        continue;
      }
      if (answer.empty() || answer[0] == ' ' || answer == "0" || answer == "_") break;
      if (leading_underscore) {
        selection.chain_selection = true;
        selection.chain_ids = join_chain_ids(given);
        underscore = true;
        break;
      }
      const bool all_listed = std::all_of(given.begin(), given.end(), [&](const std::string& id) {
        return std::find(listed.begin(), listed.end(), id) != listed.end();
      });
      if (all_listed) {
        selection.chain_selection = true;
        selection.chain_ids = join_chain_ids(given);
        break;
      }
      report.to_console("Warning: select available chain or all chains\n");
    }
  } else if (settings.chain_selection) {
    selection.chain_selection = true;
    selection.chain_ids = join_chain_ids(split_chain_ids(trim_right(settings.chain_ids)));
    underscore = settings.chain_underscore;
  }
  if (selection.chain_selection && underscore) {
    selection.chain_ids = leave_out_chains(scan.chains, selection.chain_ids);
  }
  return selection;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this != &other) {
    remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

TemporaryFile::~TemporaryFile() { remove(); }

void TemporaryFile::remove() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  path_.clear();
}

std::string selection_name(const std::string& file_name, const StructureSelection& selection) {
  std::string stem = strip_extension(file_name);
  stem += '-';
  if (selection.model_selection) stem += int_text(selection.model_number);
  if (selection.chain_selection) {
    std::string chains(trim_right(selection.chain_ids));
    if (is_chain_id_list(chains) && chains.back() == ',') chains.pop_back();
    if (chains.size() > kLongestChainsInName) {
      // A file name holds some 255 bytes: a long list is cut after the ids that fit.
      const std::vector<std::string> ids = split_chain_ids(chains);
      std::size_t shown = 0;
      std::string head;
      while (shown < ids.size() && head.size() + ids[shown].size() + 1 <= kChainsShownWhenCut) {
        if (shown > 0) head += ',';
        head += ids[shown++];
      }
      chains = head + "+" + std::to_string(ids.size() - shown);
    }
    stem += chains;
  }
  return stem + ".pdb";
}

Error chain_not_found_error(const StructureSelection& selection, const std::string& file_name) {
  return Error(" Error --  chain ID (" + std::string(trim_right(selection.chain_ids)) + ") in PDB file " +
                   file_name + " does not exist",
               1);
}

void filter_lines(std::istream& in, const std::string& name, const StructureSelection& selection,
                  bool keep_hydrogens, const std::function<void(std::string_view)>& write_line) {
  // The selected one-character chain ids, by character (a PDB line has one column for it).
  std::array<bool, 256> chain_selected{};
  for (const std::string& id : split_chain_ids(selection.chain_ids)) {
    if (id.size() == 1) chain_selected[static_cast<unsigned char>(id[0])] = true;
  }
  const auto selected_atom = [&](std::string_view line) {
    return is_atom_line(line) && !is_water_line(line) &&
           (keep_hydrogens || !is_hydrogen_record(line)) &&
           (!selection.chain_selection ||
            chain_selected[static_cast<unsigned char>(pdb_column(line, 22))]);
  };
  const auto close_model = [&] {
    write_line("ENDMDL");
    write_line("END");
  };

  LineReader reader(in);
  std::string line;
  int models = 0;
  bool inside = false;       // within the chosen model
  bool closed = false;       // the closing record was written
  long long copied = 0;      // atom lines copied
  long long since_ter = 0;   // atom lines copied since the last "TER"
  while (!closed && reader.next(line)) {
    if (selection.model_selection) {
      if (record_is(line, "MODEL")) {
        if (inside) {  // the next model begins without "ENDMDL"
          close_model();
          closed = true;
          break;
        }
        if (++models == selection.model_number) {
          write_line(without_line_end(Format("(A,I5)")("MODEL      ", selection.model_number)));
          inside = true;
        }
        continue;
      }
      if (!inside) continue;
      if (record_is(line, "ENDMDL")) {
        close_model();
        closed = true;
        break;
      }
    }
    if (selected_atom(line)) {
      write_line(line);
      ++copied;
      ++since_ter;
    } else if (record_is(line, "TER")) {
      if (since_ter > 0) write_line(line);
      since_ter = 0;
    } else if (!selection.model_selection && copied > 0 && record_is(line, "END") &&
               !record_is(line, "ENDMDL")) {
      write_line("END");
      closed = true;
    }
  }

  if (selection.model_selection && !inside) {
    throw ModelNotFoundError(selection.model_number, name, models);
  }
  if (selection.chain_selection && copied == 0) throw chain_not_found_error(selection, name);
  if (!closed) {
    // The file ends inside the selection: the copy gets its closing records all the same.
    if (selection.model_selection) {
      close_model();
    } else {
      write_line("END");
    }
  }
}

FilteredStructure filter_structure(const std::filesystem::path& file,
                                   const StructureSelection& selection, bool keep_hydrogens) {
  const std::string name = file.string();
  std::ifstream in = open_structure(file);
  FilteredStructure result;
  result.output_name = selection_name(name, selection);
  CopyWriter copy(temporary_stem(result.output_name));
  filter_lines(in, name, selection, keep_hydrogens,
               [&copy](std::string_view line) { copy.write_line(line); });
  result.copy = copy.finish();
  return result;
}

}  // namespace tessel

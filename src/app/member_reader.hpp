// The structures of an ensemble's members, read and selected in file order by a thread of its
// own while the members before them are computed: each file read once (a plain PDB file one model
// at a time, a compressed or mmCIF file whole), at most a fixed number of members ahead of those
// taken.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/run_settings.hpp"
#include "io/job_structure.hpp"

namespace tessel {

// One member: the structure file and its model (0 for a file without MODEL records).
struct EnsembleMemberId {
  std::string file;
  int model = 0;
};

// A member whose structure is selected and waits for its amplitudes.
struct PendingMember {
  JobStructure structure;
  // The whole file in memory, when the member's atoms are read from it (no selection kept apart).
  std::shared_ptr<const StructureInMemory> whole;
  std::string file;  // the structure file as given
};

class MemberReader {
 public:
  // Starts reading `members` in their order (each model as `-nmr` selects it, with the chains
  // and hydrogens of `settings`); the members of one file follow each other.
  MemberReader(std::vector<EnsembleMemberId> members, const RunSettings& settings,
               std::size_t read_ahead);
  // Stops the reading and waits for the thread.
  ~MemberReader();
  MemberReader(const MemberReader&) = delete;
  MemberReader& operator=(const MemberReader&) = delete;

  // Member i (0-based; each taken once), waiting until it is read. Throws the reading's error,
  // or tessel::Error when the files hold fewer members than expected.
  PendingMember take(std::size_t i);

  // Waits for the end of the reading once every member is taken; throws tessel::Error when the
  // files held more members than expected.
  void finish();

 private:
  void read();
  void put(PendingMember member);

  std::vector<EnsembleMemberId> expected_;
  RunSettings settings_;
  std::size_t read_ahead_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::map<std::size_t, PendingMember> members_;  // read and not yet taken, by index
  std::size_t read_ = 0;                          // members read so far
  bool done_ = false;                             // the reading ended (or failed)
  bool stop_ = false;                             // the reading is no longer wanted
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace tessel

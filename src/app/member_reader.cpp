// The structures of an ensemble's members, read ahead by a thread of their own.
#include "app/member_reader.hpp"

#include <utility>
#include <variant>

#include "core/errors.hpp"
#include "io/model_split.hpp"
#include "io/structure_format.hpp"

namespace tessel {

namespace {

// Thrown inside the reading thread to leave a pass over a file that is no longer wanted.
struct ReadingStopped {};

}  // namespace

MemberReader::MemberReader(std::vector<EnsembleMemberId> members, const RunSettings& settings,
                           std::size_t read_ahead)
    : expected_(std::move(members)),
      settings_(settings),
      read_ahead_(read_ahead < 1 ? 1 : read_ahead),
      thread_([this] { read(); }) {}

MemberReader::~MemberReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  thread_.join();
}

PendingMember MemberReader::take(std::size_t i) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [&] { return members_.count(i) > 0 || done_; });
  const auto at = members_.find(i);
  if (at == members_.end()) {
    if (error_) std::rethrow_exception(error_);
    throw Error(" Error -- The structure files changed while they were read");
  }
  PendingMember member = std::move(at->second);
  members_.erase(at);
  lock.unlock();
  room_.notify_all();
  return member;
}

void MemberReader::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [&] { return done_; });
  if (error_) std::rethrow_exception(error_);
}

void MemberReader::put(PendingMember member) {
  if (read_ >= expected_.size()) throw Error(" Error -- The structure files changed while they were read");
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [&] { return stop_ || members_.size() < read_ahead_; });
  if (stop_) throw ReadingStopped{};
  members_.emplace(read_++, std::move(member));
  lock.unlock();
  ready_.notify_all();
}

void MemberReader::read() {
  const Report quiet{};
  try {
    for (std::size_t first = 0, end = 0; first < expected_.size(); first = end) {
      const std::string& file = expected_[first].file;
      while (end < expected_.size() && expected_[end].file == file) ++end;
      // A plain PDB file is read one model at a time; a compressed or mmCIF file is read into
      // memory once and each of its models selected there, as `-nmr` selects it.
      if (!plain_pdb_file(file)) {
        auto whole = std::make_shared<const StructureInMemory>(read_into_memory(file));
        for (std::size_t i = first; i < end; ++i) {
          RunSettings one = settings_;
          one.model_number = expected_[i].model;
          one.model_selection = expected_[i].model >= 1;
          PendingMember member{select_in_memory(file, *whole, one, nullptr, quiet), nullptr, file};
          if (std::holds_alternative<std::monostate>(member.structure.memory)) member.whole = whole;
          put(std::move(member));
        }
        continue;
      }
      // Each model's text is filtered as `-nmr` filters the model in the whole file.
      RunSettings one = settings_;
      one.model_number = 1;
      one.model_selection = true;
      const int models = for_each_model(file, [&](int, PdbText text) {
        StructureInMemory model(std::move(text));
        PendingMember member{select_in_memory(file, model, one, nullptr, quiet), nullptr, file};
        if (std::holds_alternative<std::monostate>(member.structure.memory))
          member.structure.memory = std::move(model);
        put(std::move(member));
      });
      if (models == 0) {
        RunSettings whole = settings_;
        whole.model_number = 0;
        whole.model_selection = false;
        put({prepare_structure(file, whole, nullptr, quiet), nullptr, file});
      }
    }
  } catch (const ReadingStopped&) {
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  ready_.notify_all();
}

}  // namespace tessel

// One pass over a multi-model structure file, one temporary file per model.
#include "io/model_split.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "core/errors.hpp"

namespace tessel {

namespace {

bool starts_record(const std::string& line, std::string_view record) {
  return line.compare(0, record.size(), record) == 0;
}

// A fresh file of the temporary directory, created exclusively; removed on destruction.
class ModelCopy {
 public:
  ModelCopy() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "tessel-model-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw Error(" Error -- Cannot create a temporary copy of a model in " + pattern);
    ::close(fd);
    path_ = pattern;
    out_.open(path_, std::ios::trunc);
  }
  ~ModelCopy() {
    out_.close();
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  ModelCopy(const ModelCopy&) = delete;
  ModelCopy& operator=(const ModelCopy&) = delete;
  void write(const std::string& line) { out_ << line << '\n'; }
  const std::filesystem::path& finish() {
    out_ << "END\n";
    out_.close();
    if (!out_) throw Error(" Error -- Cannot write a temporary copy of a model to " + path_.string());
    return path_;
  }

 private:
  std::filesystem::path path_;
  std::ofstream out_;
};

}  // namespace

void for_each_model(const std::filesystem::path& file,
                    const std::function<void(int model, const std::filesystem::path& copy)>& member) {
  std::ifstream in(file);
  if (!in) throw Error(" Error -- Cannot read " + file.string());
  std::string line;
  int models = 0;
  std::optional<ModelCopy> copy;
  const auto hand_out = [&] {
    member(models, copy->finish());
    copy.reset();
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (starts_record(line, "MODEL")) {
      if (copy) hand_out();  // the next model begins without "ENDMDL"
      ++models;
      copy.emplace();
      copy->write(line);
      continue;
    }
    if (!copy) continue;
    copy->write(line);
    if (starts_record(line, "ENDMDL")) hand_out();
  }
  if (copy) hand_out();
  if (in.bad()) throw Error(" Error -- Cannot read " + file.string());
  if (models == 0) member(0, file);
}

}  // namespace tessel

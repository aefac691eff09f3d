// The fit shown in the curve viewer through two temporary files.
#include "app/fit_display.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "io/fortran_format.hpp"

namespace tessel {
namespace {

// A temporary file this program created (exclusively), deleted when the object goes.
class OwnTempFile {
 public:
  OwnTempFile() = default;
  OwnTempFile(const OwnTempFile&) = delete;
  OwnTempFile& operator=(const OwnTempFile&) = delete;
  ~OwnTempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  // Creates <directory><stem>.dat, or <directory><stem>-XXXXXX.dat with a unique suffix when a
  // file of the plain name exists, and writes the text into it. False on failure.
  bool create(const std::string& directory, const std::string& stem, const std::string& text) {
    std::string name = directory + stem + ".dat";
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
      name = directory + stem + "-XXXXXX.dat";
      fd = ::mkstemps(name.data(), 4);
    }
    if (fd < 0) return false;
    path_ = name;
    const bool written = write_all(fd, text);
    return ::close(fd) == 0 && written;
  }
  const std::string& path() const { return path_; }
  // The name to show: the plain name when the file got it.
  std::string shown_name(const std::string& directory, const std::string& stem) const {
    return path_.empty() ? directory + stem + ".dat" : path_;
  }

 private:
  static bool write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  std::string path_;
};

std::string two_columns(std::span<const double> x, std::span<const double> y, double factor) {
  std::string text;
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) text += free_form_line(x[i], factor * y[i]);
  return text;
}

bool is_executable_file(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

// Starts the viewer with the two file names and waits for it. The console is flushed first so
// that the viewer's output follows ours.
void run_viewer(const std::string& viewer, const std::string& first, const std::string& second,
                const Report& report) {
  if (report.console) report.console->flush();
  std::cout.flush();
  std::fflush(stdout);
  std::vector<char*> argv = {const_cast<char*>(viewer.c_str()), const_cast<char*>(first.c_str()),
                             const_cast<char*>(second.c_str()), nullptr};
  const pid_t child = ::fork();
  if (child < 0) {
    report.to_console(std::string(" Warning: the curve viewer could not be started: ") + std::strerror(errno) + '\n');
    return;
  }
  if (child == 0) {
    ::execv(viewer.c_str(), argv.data());
    static const char message[] = " Warning: the curve viewer could not be started\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string find_viewer() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path beside = self.parent_path() / kViewerName;
    if (is_executable_file(beside)) return beside.string();
  }
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string_view dirs(path);
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string_view dir = dirs.substr(start, end - start);
    const std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : std::string(dir)) / kViewerName;
    if (is_executable_file(candidate)) return candidate.string();
    start = end + 1;
  }
  return {};
}

void show_fit(Dialogue& dialogue, const Report& report, const FitPlot& plot, const ViewerSetup& setup) {
  if (dialogue.ask_yes_no("Plot the fit ", 'Y') == 'N') return;
  const std::string viewer = setup.viewer.empty() ? find_viewer() : setup.viewer;
  if (viewer.empty() || !is_executable_file(viewer)) {
    report.to_console(std::string(" Warning: the curve viewer ") + kViewerName + " was not found\n");
    return;
  }
  std::string directory = setup.directory;
  if (!directory.empty() && directory.back() != '/') directory += '/';

  static const Format saving_error("(' Warning: error saving data to the file ', A)");
  OwnTempFile measured;
  if (!measured.create(directory, "tmpfit1", two_columns(plot.s_measured, plot.i_measured, 1.0))) {
    report.to_console(saving_error(measured.shown_name(directory, "tmpfit1")));
    return;
  }
  OwnTempFile model;
  if (!model.create(directory, "tmpfit2", two_columns(plot.s_model, plot.i_model, plot.scale))) {
    report.to_console(saving_error(model.shown_name(directory, "tmpfit2")));
    return;
  }
  run_viewer(viewer, measured.path(), model.path(), report);
}

}  // namespace tessel

// Tests of the fit display: the plot question, the two temporary files as the viewer sees them,
// their removal, and files of the same names that belong to the user.
#include "app/fit_display.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A directory with a stand-in viewer that copies the two files it is given and records its
// arguments.
struct ViewerDir {
  fs::path dir;
  fs::path viewer;
  ViewerDir() {
    dir = fs::temp_directory_path() / ("tessel_fit_display_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    viewer = dir / "viewer.sh";
    std::ofstream(viewer) << "#!/bin/sh\n"
                             "cp \"$1\" \"" << (dir / "seen1.txt").string() << "\"\n"
                             "cp \"$2\" \"" << (dir / "seen2.txt").string() << "\"\n"
                             "echo \"$1 $2\" > \"" << (dir / "args.txt").string() << "\"\n";
    fs::permissions(viewer, fs::perms::owner_all);
  }
  ~ViewerDir() { fs::remove_all(dir); }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct Plot {
  std::vector<double> s_e{0.1, 0.2}, i_e{10.0, 2.5};
  std::vector<double> s_c{0.0, 0.25, 0.5}, i_c{1000.0, 100.0, 4.0};
  tessel::FitPlot plot() const { return {s_e, i_e, s_c, i_c, 0.5}; }
};

void show(const std::string& answers, const ViewerDir& v, std::string* console_text = nullptr) {
  std::istringstream in(answers);
  std::ostringstream console;
  tessel::Dialogue dialogue(in, console);
  tessel::show_fit(dialogue, tessel::Report{&console, nullptr, nullptr}, Plot{}.plot(),
                   {v.viewer.string(), v.dir.string()});
  if (console_text) *console_text = console.str();
}

TEST(ShowFit, AnswerNoCreatesNothing) {
  const ViewerDir v;
  show("N\n", v);
  EXPECT_EQ(v.files(), std::vector<std::string>{"viewer.sh"});
}

TEST(ShowFit, ViewerSeesBothCurvesAndTheFilesAreGoneAfterwards) {
  const ViewerDir v;
  show("\n", v);  // the default is yes
  EXPECT_EQ(read(v.dir / "args.txt"),
            (v.dir / "tmpfit1.dat").string() + " " + (v.dir / "tmpfit2.dat").string() + "\n");
  // Free form: a leading blank, 15 significant digits.
  EXPECT_EQ(read(v.dir / "seen1.txt"),
            " 0.100000000000000 10.0000000000000\n"
            " 0.200000000000000 2.50000000000000\n");
  // The model multiplied by the scale 0.5, without background.
  EXPECT_EQ(read(v.dir / "seen2.txt"),
            " 0.0 500.000000000000\n"
            " 0.250000000000000 50.0000000000000\n"
            " 0.500000000000000 2.00000000000000\n");
  EXPECT_FALSE(fs::exists(v.dir / "tmpfit1.dat"));
  EXPECT_FALSE(fs::exists(v.dir / "tmpfit2.dat"));
}

TEST(ShowFit, FilesOfTheUserAreNeverReplacedOrDeleted) {
  const ViewerDir v;
  std::ofstream(v.dir / "tmpfit1.dat") << "my own data\n";
  std::ofstream(v.dir / "tmpfit2.dat") << "more of my data\n";
  show("Y\n", v);
  EXPECT_EQ(read(v.dir / "tmpfit1.dat"), "my own data\n");
  EXPECT_EQ(read(v.dir / "tmpfit2.dat"), "more of my data\n");
  // The viewer got the plot under other names, and those are gone again.
  EXPECT_EQ(read(v.dir / "seen1.txt").substr(0, 18), " 0.100000000000000");
  const std::string args = read(v.dir / "args.txt");
  EXPECT_EQ(args.find((v.dir / "tmpfit1.dat").string() + " "), std::string::npos);
  EXPECT_EQ(v.files(), (std::vector<std::string>{"args.txt", "seen1.txt", "seen2.txt", "tmpfit1.dat",
                                                 "tmpfit2.dat", "viewer.sh"}));
}

TEST(ShowFit, MissingViewerIsReportedAndLeavesNoFile) {
  ViewerDir v;
  v.viewer = v.dir / "no-such-viewer";
  std::string console;
  show("Y\n", v, &console);
  EXPECT_NE(console.find(" Warning: the curve viewer grafon was not found"), std::string::npos);
  EXPECT_EQ(v.files(), std::vector<std::string>{"viewer.sh"});
}

TEST(ShowFit, FileThatCannotBeCreatedIsReported) {
  const ViewerDir v;
  const fs::path missing = v.dir / "no-such-directory";
  std::istringstream in("Y\n");
  std::ostringstream console;
  tessel::Dialogue dialogue(in, console);
  tessel::show_fit(dialogue, tessel::Report{&console, nullptr, nullptr}, Plot{}.plot(),
                   {v.viewer.string(), missing.string()});
  EXPECT_NE(console.str().find(" Warning: error saving data to the file " + (missing / "tmpfit1.dat").string() + "\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(v.dir / "args.txt"));  // the viewer did not run
}

}  // namespace

// The folders of src/ form layers (common < records < response < spectral < viewers < project):
// a file includes from its own folder and the ones below it, the core never includes a window
// header, and the windows (a folder's gui/) sit over their own folder's core.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 6> kLayers = {"common",   "records", "response",
                                                     "spectral", "viewers", "project"};

// The place of a folder among the layers; -1 for a folder that is none (cli, the tools).
int LayerOf(std::string_view folder) {
  const auto it = std::find(kLayers.begin(), kLayers.end(), folder);
  return it == kLayers.end() ? -1 : static_cast<int>(it - kLayers.begin());
}

// Every include of the layer files under src that breaks the rule, as "file:line: include".
std::vector<std::string> LayerViolations(const fs::path& src) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    const fs::path rel = entry.path().lexically_relative(src);
    const std::vector<fs::path> parts(rel.begin(), rel.end());
    const int own = LayerOf(parts.front().string());
    if (own < 0) continue;
    const bool gui = parts.size() > 2 && parts[1] == "gui";
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      const std::string_view text = line;
      if (text.rfind("#include", 0) != 0) continue;
      const size_t open = text.find_first_of("\"<");
      if (open == std::string_view::npos) continue;
      const std::string_view target = text.substr(open + 1);
      bool bad = false;
      if (text[open] == '<') {
        // Qt's headers all begin with Q.
        bad = !gui && !target.empty() && target[0] == 'Q';
      } else {
        const std::string_view folder = target.substr(0, target.find('/'));
        const int layer = LayerOf(folder);
        const bool window = target.find("/gui/") != std::string_view::npos;
        bad = folder == "cli" || layer > own || (window && !gui);
      }
      if (bad) found.push_back(rel.generic_string() + ":" + std::to_string(number) + ": " + line);
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

fs::path SourceTree() {
  // The test data lies in testdata/real beside src.
  return fs::path(TARVIK_TESTDATA_DIR).parent_path().parent_path() / "src";
}

TEST(Layers, NoIncludeRunsUpward) {
  const fs::path src = SourceTree();
  ASSERT_TRUE(fs::is_directory(src / "records")) << src;
  const std::vector<std::string> violations = LayerViolations(src);
  std::string listed;
  for (const std::string& v : violations) listed += "\n  " + v;
  EXPECT_TRUE(violations.empty()) << "includes against the layer order:" << listed;
}

struct IncludeCase {
  const char* File;
  const char* Include;
  bool Violation;
};

TEST(Layers, TheRuleTellsUpwardIncludesFromAllowedOnes) {
  const IncludeCase cases[] = {
      {"records/a.cpp", "#include \"common/datetime.h\"", false},
      {"records/a.cpp", "#include \"records/b.h\"", false},
      {"project/a.cpp", "#include \"viewers/preview_model.h\"", false},
      {"viewers/a.cpp", "#include \"project/driver.h\"", true},
      {"common/a.h", "#include \"records/record_model.h\"", true},
      {"spectral/a.cpp", "#include \"viewers/x.h\"", true},
      {"spectral/a.cpp", "#include \"cli/commands.h\"", true},
      {"viewers/a.cpp", "#include \"viewers/gui/spc_form.h\"", true},
      {"viewers/a.cpp", "#include <QString>", true},
      {"viewers/gui/a.cpp", "#include <QWidget>", false},
      {"viewers/gui/a.cpp", "#include \"viewers/spectrum_show.h\"", false},
      {"viewers/gui/a.cpp", "#include \"project/gui/main_form.h\"", true},
      {"project/gui/a.cpp", "#include \"viewers/gui/spc_form.h\"", false},
      {"cli/a.cpp", "#include \"project/gui/main_form.h\"", false},
      {"records/a.cpp", "#include <vector>", false},
  };
  for (const IncludeCase& c : cases) {
    testing::TempDir dir;
    const fs::path file = dir.Path() / c.File;
    fs::create_directories(file.parent_path());
    testing::WriteText(file.string(), std::string("// a file\n") + c.Include + "\n");
    const std::vector<std::string> found = LayerViolations(dir.Path());
    if (c.Violation) {
      ASSERT_EQ(found.size(), 1u) << c.File << " " << c.Include;
      EXPECT_EQ(found[0], std::string(c.File) + ":2: " + c.Include);
    } else {
      EXPECT_TRUE(found.empty()) << c.File << " " << c.Include;
    }
  }
}

}  // namespace
}  // namespace tarvik

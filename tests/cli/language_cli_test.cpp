// The command line speaks one language per run: English outside a Russian locale, Russian in
// one, --lang over both. The failures the suites provoke are told without a Russian word
// outside the data (station names, paths).

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "demo_recordings.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::CliRun;
using testing::CliWithLocale;
using testing::Quote;
using testing::TempDir;

// The Cyrillic letters of text, one line each, once the data named are taken out.
std::string CyrillicLines(std::string text, const std::vector<std::string>& data) {
  for (const std::string& d : data) {
    for (size_t at = text.find(d); at != std::string::npos; at = text.find(d, at))
      text.erase(at, d.size());
  }
  std::string lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    for (unsigned char c : line) {
      if (c >= 0xD0 && c <= 0xD3) {
        lines += line + "\n";
        break;
      }
    }
    start = end + 1;
  }
  return lines;
}

class LanguageCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("data"), 2, 120.0, 1);
    ASSERT_EQ(Run("C", "add " + Quote(project_) + " " + Quote(dir_.File("data"))).status, 0);
  }

  CliRun Run(const std::string& lang, const std::string& args) {
    return CliWithLocale(lang, args, dir_);
  }

  // The failures of the suites, each as the arguments after the command.
  std::vector<std::string> Failures() const {
    const std::string p = Quote(project_);
    return {
        "run " + Quote(dir_.File("none.tvp")),
        "run " + p + " --yes",                    // no responses set
        "edit " + p + " --all --adc 0",           // ADC coefficient not above 0
        "edit " + p + " --all --rate 0",          // rate out of range
        "edit " + p + " --all --station Zürich",  // not in Windows-1251
        "edit " + p + " --all --channel-resp " + Quote(dir_.File("none.paz")),
        "edit " + p + " --all --select-start 2030-01-01T00:00:00",  // beyond the record
        "settings " + p + " FMin=50 FMax=1",                        // filter corners reversed
        "run " + p + " --hv --yes",                                 // H/V without spectra
        "edit " + p + " --all --process off --hv off",
        "run " + p,  // nothing checked
        "bands " + Quote(dir_.File("none.dat")) + " --range 1to5",
    };
  }

  TempDir dir_;
  const std::string project_ = dir_.File("proj.tvp");
};

TEST_F(LanguageCli, FailuresInTheCLocaleHoldNoRussianOutsideTheData) {
  const std::vector<std::string> data = {dir_.File(""), "Zürich"};
  for (const std::string& args : Failures()) {
    const CliRun run = Run("C", args);
    EXPECT_EQ(CyrillicLines(run.err + run.out, data), "") << args << "\n" << run.err;
  }
}

TEST_F(LanguageCli, RussianLocaleAndTheOptionChooseTheLanguage) {
  const std::string missing = "run " + Quote(dir_.File("none.tvp"));
  const std::string path = dir_.File("none.tvp");
  EXPECT_EQ(Run("ru_RU.UTF-8", missing).err, "Файл " + path + " не найден\n");
  EXPECT_EQ(Run("C", missing).err, "File " + path + " not found\n");
  EXPECT_EQ(Run("C", missing + " --lang ru").err, "Файл " + path + " не найден\n");
  EXPECT_EQ(Run("ru_RU.UTF-8", "--lang=en " + missing).err, "File " + path + " not found\n");
  EXPECT_EQ(Run("C", missing + " --lang de").status, 2);

  // A run's stages follow the language too.
  const CliRun en = Run("C", "run " + Quote(project_) + " --yes");
  EXPECT_NE(en.err.find("Loading the project\n"), std::string::npos) << en.err;
  const CliRun ru = Run("ru_RU.UTF-8", "run " + Quote(project_) + " --yes");
  EXPECT_NE(ru.err.find("Загрузка проекта\n"), std::string::npos) << ru.err;
}

}  // namespace
}  // namespace tarvik

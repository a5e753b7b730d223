// The command line speaks one language per run: English outside a Russian locale, Russian in
// one, --lang over both. The failures the suites provoke are told without a Russian word
// outside the data (station names, paths).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "../records/miniseed3_test_files.h"
#include "cli_runner.h"
#include "common/bytes.h"
#include "demo_recordings.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::CliRun;
using testing::CliWithLocale;
using testing::Quote;
using testing::TempDir;

// The lines of text holding a character for which is(c) holds, once the data named are taken
// out, one line each.
template <typename Is>
std::string LinesWith(std::string text, const std::vector<std::string>& data, Is is) {
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
    if (std::any_of(line.begin(), line.end(), is)) lines += line + "\n";
    start = end + 1;
  }
  return lines;
}

// The lines of text with a Cyrillic letter (a lead byte of its UTF-8 form), data taken out.
std::string CyrillicLines(const std::string& text, const std::vector<std::string>& data) {
  return LinesWith(text, data, [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0xD0 && u <= 0xD3;
  });
}

class LanguageCli : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteShortRecordings(dir_.File("data"), 2, 120.0, 1);
    ASSERT_EQ(Run("C", "add " + Quote(project_) + " " + Quote(dir_.File("data"))).Status, 0);
    std::filesystem::create_directories(dir_.File("empty"));
  }

  CliRun Run(const std::string& lang, const std::string& args) {
    return CliWithLocale(lang, args, dir_);
  }

  // A seismogram file of the project's folder.
  std::string FirstDataFile() const {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_.File("data")))
      files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files.empty() ? std::string() : files.front();
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
        "add " + p,                                   // nothing to add
        "add " + Quote(dir_.File("data")) + " " + p,  // the project not first
        "hvsr " + p,                                  // no records named
        "run " + p + " --only 9",                     // beyond the records
        "preview " + p + " --record 9 --output " + Quote(dir_.File("p.png")),
        "compress " + p + " --record 9",
        "scan " + Quote(dir_.File("data")) + " --format xyz",
        // The refusals and warnings of the record edits, the records' own commands and the
        // settings.
        "edit " + p + " --all --rate abc",
        "edit " + p + " --all --select-start 31.04.2024",
        "edit " + p + " --all --select-start 2010-01-01T00:00:00",  // brought into the record
        "edit " + p + " --all --channel 1 --rename Zürich",
        "combine " + p + " --records 1",
        "change-path " + p + " --all " + Quote(dir_.File("Zürich")),
        "channels " + p + " --all --from-ini " + Quote(dir_.File("none.ini")),
        "channels " + p + " --all --from-ini " + p,  // not a channel-settings file
        "settings " + p + " Nonsense=1",
        "settings " + p + " NoiseFiletr1=1",  // a key of the event settings
        "settings " + p + " MaxSpan=1000",
        "settings " + p + " EdgeOrder=abc",
        "info " + Quote(dir_.File("none.msd")),             // no such file
        "info " + p,                                        // not a seismogram file
        "segments " + p,                                    // not a seismogram file
        "samples " + Quote(dir_.File("none.msd")),          // no such file
        "add " + p + " --sds " + Quote(dir_.File("data")),  // --sds without --stations
        "add " + p + " --sds " + Quote(dir_.File("data")) + " --stations XX",
        "add " + p + " " + Quote(dir_.File("data")) + " --from 2024-01-01",  // --from needs --sds
        "add " + p + " --sds " + Quote(dir_.File("data")) + " --stations XX.A --from 2024-13-01",
        "hvsr " + p + " --all --grid 0.5 20 10.5",  // N not whole
        "hvsr " + p + " --all --every 5parsecs",    // not a duration
        "psd-stats " + Quote(dir_.File("data")),    // no store there
        "compress " + p + " --output " + Quote(dir_.File("c.msd")),
        "compress " + Quote(dir_.File("data")) + " --record 1",
        "compress " + Quote(FirstDataFile()) + " --output " + Quote(dir_.File("data")),
        "compress " + Quote(FirstDataFile()) + " --output " + Quote(FirstDataFile()),
        // The paths add refuses, and a H/V run that tells how to compute the spectra it lacks
        // after switching the settings to amplitude spectra.
        "add " + p + " " + Quote(dir_.File("none")),
        "add " + p + " " + Quote(dir_.File("empty")),
        "add " + p + " --folder " + Quote(dir_.File("none")),
        "add " + p + " --folder " + Quote(dir_.File("empty")) + " --format 0",
        "add " + p + " " + p,  // not a seismogram file
        "settings " + p + " SpectrumType=1",
        "run " + p + " --hv --yes --all",
        // The parser's own complaints about the line.
        "",
        "nosuchcommand",
        "info --bogus",
        "info " + p + " --bogus --bad",
        "info --rate",
        "psd " + p + " --segment abc",
        "hvsr " + p + " --all --band 1",
        "info --rate 0 " + p,
        "info --rate abc " + p,
        "run " + p + " --only abc",
        "run " + p + " --jobs 0",
        "run " + p + " --only 1 --shard 1/2",
        "edit " + p + " --station X",
        "edit " + p + " --all --channel 1 --component Q",
        "--lang xx info " + p,
        "info",
        // The record selections and channel numbers the commands refuse.
        "edit " + p + " --records 9 --station X",
        "edit " + p + " --records 1 --channel 9 --level 5",
        "settings " + p + " SilenceDur",
        "hvsr " + p + " --records x",
        "psd " + p + " --records 9",
    };
  }

  TempDir dir_;
  const std::string project_ = dir_.File("proj.tvp");
};

TEST_F(LanguageCli, FailuresInTheCLocaleHoldNoRussianOutsideTheData) {
  const std::vector<std::string> data = {dir_.File(""), "Zürich"};
  for (const std::string& args : Failures()) {
    const CliRun run = Run("C", args);
    EXPECT_EQ(CyrillicLines(run.Err + run.Out, data), "") << args << "\n" << run.Err;
  }
}

// The lines of text no Cyrillic letter ever appears in: each failure in Russian tells at least
// one Russian line, and no line of the command line's own is left in English.
TEST_F(LanguageCli, FailuresInRussianAreToldInRussian) {
  for (const std::string& args : Failures()) {
    const CliRun run = Run("ru_RU.UTF-8", args);
    const std::string text = run.Err + run.Out;
    EXPECT_NE(CyrillicLines(text, {}), "") << args << "\n" << text;
    for (const char* english : {"warning:",
                                "not added",
                                "nothing to add",
                                "the project has",
                                "name the records",
                                "comes first",
                                "record ",
                                "spectra run",
                                "H/V run",
                                "unknown data format",
                                "no such file",
                                "not a recognised",
                                "is not",
                                "go together",
                                "are for",
                                "must be",
                                "not a duration",
                                "no PSD store",
                                "segments of",
                                "samples at",
                                " Hz",
                                " s (",
                                "level",
                                "settings for",
                                "  station:",
                                "  format:",
                                "is a folder",
                                "is required",
                                "belongs to",
                                "no record",
                                "not expected",
                                "more information",
                                "not in range",
                                "not in {",
                                "Could not convert",
                                "required",
                                "excludes",
                                "subcommand",
                                ", then ",
                                "first:",
                                "its header",
                                "its path",
                                "its format",
                                "no seismogram",
                                "no files of",
                                "no day files",
                                "is not a record",
                                " has ",
                                "not KEY"}) {
      // An option's name ("--record 1") is no English word of the line.
      size_t at = text.find(english);
      while (at != std::string::npos && at >= 2 && text.compare(at - 2, 2, "--") == 0)
        at = text.find(english, at + 1);
      EXPECT_EQ(at, std::string::npos) << args << ": " << english << "\n" << text;
    }
  }
}

// Lines of the command line's own, whole, in each language: the English as it always read, the
// Russian without an English word.
TEST_F(LanguageCli, MessageLinesReadTheSameInEachLanguage) {
  const std::string p = Quote(project_);
  struct Case {
    std::string Args;
    std::string English;  // how stderr ends in the C locale
    std::string Russian;  // and in a Russian one
  };
  const std::vector<Case> cases = {
      {"add " + p, "add: nothing to add: give files, --folder or --sds\n",
       "add: нечего добавлять: укажите файлы, --folder или --sds\n"},
      {"run " + p + " --only 9", "run: record 9: the project has 2 records\n",
       "run: запись 9: в проекте записей 2\n"},
      {"scan " + Quote(dir_.File("data")) + " --format xyz", "scan: unknown data format xyz\n",
       "scan: неизвестный формат данных xyz\n"},
      {"hvsr " + p + " --all --grid 0.5 20 10.5",
       "hvsr: --grid: N must be a whole number, not 10.5\n",
       "hvsr: --grid: N должно быть целым числом, а не 10.5\n"},
      {"add " + p + " --sds " + Quote(dir_.File("data")) + " --stations XX",
       "add: --stations: XX is not NET.STA or NET.STA.LOC\n",
       "add: --stations: XX — не NET.STA и не NET.STA.LOC\n"},
      {"info " + Quote(dir_.File("none.msd")), dir_.File("none.msd") + ": no such file\n",
       dir_.File("none.msd") + ": нет такого файла\n"},
      {"compress " + Quote(FirstDataFile()) + " --output " + Quote(dir_.File("data")),
       "compress: " + dir_.File("data") + " is a folder, not a file to write\n",
       "compress: " + dir_.File("data") + " — папка, а не файл для записи\n"},
      // The parser's complaints: the English the library has always printed, the Russian of
      // the catalogue.
      {"info " + p + " --bogus",
       "The following argument was not expected: --bogus\nRun with --help for more information.\n",
       "Лишний аргумент: --bogus\nПодробнее: --help.\n"},
      {"info --rate 0 " + p,
       "--rate: must be a number above 0, not 0\nRun with --help for more information.\n",
       "--rate: нужно число больше 0, а не 0\nПодробнее: --help.\n"},
      {"psd " + p + " --segment abc",
       "Could not convert: --segment = abc\nRun with --help for more information.\n",
       "--segment: abc — не число\nПодробнее: --help.\n"},
      {"hvsr " + p + " --all --band 1",
       "--band: At least 2 required but received 1\nRun with --help for more information.\n",
       "--band: нужно значений не меньше 2, задано 1\nПодробнее: --help.\n"},
      {"info --rate",
       "--rate: 1 required FLOAT:POSITIVE missing\nRun with --help for more information.\n",
       "--rate: не задано значение (1 FLOAT:POSITIVE)\nПодробнее: --help.\n"},
      {"info " + p + " --bogus --bad",
       "The following arguments were not expected: --bad --bogus\nRun with --help for more "
       "information.\n",
       "Лишние аргументы: --bad --bogus\nПодробнее: --help.\n"},
      {"run " + p + " --only 1 --shard 1/2",
       "--only excludes --shard\nRun with --help for more information.\n",
       "--only нельзя задавать вместе с --shard\nПодробнее: --help.\n"},
      {"", "A subcommand is required\nRun with --help for more information.\n",
       "Не задана команда\nПодробнее: --help.\n"},
      {"run " + p + " --jobs 0",
       "--jobs: Value 0 not in range 1 to 256\nRun with --help for more information.\n",
       "--jobs: значение 0 вне диапазона от 1 до 256\nПодробнее: --help.\n"},
      {"edit " + p + " --all --channel 1 --component Q",
       "--component: Q not in {E,N,Z}\nRun with --help for more information.\n",
       "--component: Q — не из {E,N,Z}\nПодробнее: --help.\n"},
      {"edit " + p + " --station X",
       "Exactly 1 option from [--records,--all] is required\nRun with --help for more "
       "information.\n",
       "Нужен ровно один из параметров [--records,--all]\nПодробнее: --help.\n"},
      {"info", "FILE is required\nRun with --help for more information.\n",
       "FILE: обязательный параметр не задан\nПодробнее: --help.\n"},
      {"add " + p + " " + Quote(dir_.File("none")),
       dir_.File("none") + ": not added: no such file or folder\nadd: nothing was added; " +
           project_ + " is left as it was\n",
       dir_.File("none") + ": не добавлен: нет такого файла или папки\nadd: ничего не добавлено; " +
           project_ + " оставлен как был\n"},
  };
  const auto ends_with = [](const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
  };
  for (const Case& c : cases) {
    const CliRun en = Run("C", c.Args);
    EXPECT_NE(en.Status, 0) << c.Args;
    EXPECT_TRUE(ends_with(en.Err, c.English)) << c.Args << "\n" << en.Err;
    const CliRun ru = Run("ru_RU.UTF-8", c.Args);
    EXPECT_EQ(ru.Status, en.Status) << c.Args;
    EXPECT_TRUE(ends_with(ru.Err, c.Russian)) << c.Args << "\n" << ru.Err;
  }
}

// The readable output of show, info and scan: labels, durations, sample counts and units in the
// language of the run, none of the other language's left.
TEST_F(LanguageCli, ReadableOutputFollowsTheLanguage) {
  struct Case {
    std::string Args;
    std::vector<std::string> English;
    std::vector<std::string> Russian;
  };
  const std::vector<Case> cases = {
      {"show " + Quote(project_),
       {"segments of ", " samples at ", " Hz)", "components from names ",
        "spectra run: ", " noise [E,N,Z] "},
       {"сегменты по ", " отсчётов при ", " Гц)", "компоненты по именам ",
        "расчёт спектров: ", " Ш [E,N,Z] "}},
      {"info " + Quote(FirstDataFile()),
       {"  format:   ", "  samples:  ", "  blocks:   ", " samples\n", " Hz\n"},
       {"  формат:   ", "  отсчётов: ", "  блоков:   ", " отсчётов\n", " Гц\n"}},
      {"scan " + Quote(dir_.File("data")),
       {"record 1\n", "  finish:   ", "  channels: ", " Hz\n"},
       {"запись 1\n", "  конец:    ", "  каналов:  ", " Гц\n"}},
  };
  for (const Case& c : cases) {
    const CliRun en = Run("C", c.Args);
    ASSERT_EQ(en.Status, 0) << c.Args << "\n" << en.Err;
    const CliRun ru = Run("ru_RU.UTF-8", c.Args);
    ASSERT_EQ(ru.Status, 0) << c.Args << "\n" << ru.Err;
    for (const std::string& e : c.English) {
      EXPECT_NE(en.Out.find(e), std::string::npos) << c.Args << ": " << e << "\n" << en.Out;
      EXPECT_EQ(ru.Out.find(e), std::string::npos) << c.Args << ": " << e << "\n" << ru.Out;
    }
    for (const std::string& r : c.Russian)
      EXPECT_NE(ru.Out.find(r), std::string::npos) << c.Args << ": " << r << "\n" << ru.Out;
    // The window's own marks (the record's kind, "нет" for no H/V pair) are not left in.
    EXPECT_EQ(CyrillicLines(en.Out, {dir_.File("")}), "") << c.Args;
  }
}

// The JSON of info carries the code of a file's failure beside its text in the language chosen.
TEST_F(LanguageCli, InfoJsonCarriesTheCodeOfTheFailure) {
  struct Case {
    std::string File;
    std::string Code;
  };
  const std::vector<Case> cases = {{dir_.File("none.msd"), "file_not_found"},
                                   {project_, "not_recognised"}};
  for (const Case& c : cases) {
    for (const std::string& lang : {std::string("C"), std::string("ru_RU.UTF-8")}) {
      const CliRun run = Run(lang, "info --json " + Quote(c.File));
      EXPECT_EQ(run.Status, 1) << c.File;
      const nlohmann::json doc = nlohmann::json::parse(run.Out);
      EXPECT_EQ(doc["error_code"], c.Code) << lang << ": " << run.Out;
      EXPECT_EQ(CyrillicLines(doc["error"].get<std::string>(), {}).empty(), lang == "C")
          << lang << ": " << run.Out;
    }
  }
}

// The refusals of add and of the record edits carry their codes in JSON, beside the text in the
// language chosen.
TEST_F(LanguageCli, RefusalsCarryTheirCodesInJson) {
  const std::string p = Quote(project_);
  struct Case {
    std::string Args;
    std::string Code;
  };
  testing::WriteBytes(dir_.File("notes.txt"), {'a', '\n'});
  const std::vector<Case> add_cases = {{Quote(dir_.File("none")), "no_such_file"},
                                       {Quote(dir_.File("empty")), "no_seismogram_files"},
                                       // taken for a text format whose header lacks a line
                                       {Quote(dir_.File("notes.txt")), "header_unreadable"}};
  for (const Case& c : add_cases) {
    for (const std::string& lang : {std::string("C"), std::string("ru_RU.UTF-8")}) {
      const CliRun run = Run(lang, "add --json " + p + " " + c.Args);
      EXPECT_EQ(run.Status, 1) << c.Args << "\n" << run.Err;
      const nlohmann::json doc = nlohmann::json::parse(run.Out);
      ASSERT_EQ(doc["not_added"].size(), 1u) << run.Out;
      EXPECT_EQ(doc["not_added"][0]["code"], c.Code) << lang << ": " << run.Out;
      EXPECT_EQ(CyrillicLines(doc["not_added"][0]["reason"].get<std::string>(), {}).empty(),
                lang == "C")
          << lang << ": " << run.Out;
    }
  }
  const std::vector<Case> edit_cases = {{"--all --station Zürich", "not_in_cp1251"},
                                        {"--records 1 --channel 9 --level 5", "no_such_channel"},
                                        {"--all --select-start 31.04.2024", "bad_date_time"},
                                        {"--all", "usage_error"}};
  for (const Case& c : edit_cases) {
    for (const std::string& lang : {std::string("C"), std::string("ru_RU.UTF-8")}) {
      const CliRun run = Run(lang, "edit --json " + p + " " + c.Args);
      EXPECT_NE(run.Status, 0) << c.Args << "\n" << run.Err;
      const nlohmann::json doc = nlohmann::json::parse(run.Out);
      EXPECT_EQ(doc["saved"], false) << run.Out;
      EXPECT_EQ(doc["error_code"], c.Code) << lang << ": " << run.Out;
      EXPECT_FALSE(doc["error"].get<std::string>().empty()) << run.Out;
    }
  }
}

// The lines of text with a Latin letter, data taken out.
std::string LatinLines(const std::string& text, const std::vector<std::string>& data) {
  return LinesWith(text, data,
                   [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

// A damaged file of each format is refused in the language of the run, the reader's cause
// included: in Russian no Latin word but the path, the format's name and the names of its
// fields; in English no Cyrillic letter.
TEST_F(LanguageCli, DamagedFilesAreRefusedInTheLanguageOfTheRun) {
  std::vector<uint8_t> seg2 =
      testing::ReadBytes(testing::RealFile("seg2/20130107_103041000.CET.3c.cont.0.seg2"));
  StoreU32LE(&seg2[40], 0x00ffffff);  // the third trace pointer, beyond the file
  testing::WriteBytes(dir_.File("shot.dat"), seg2);
  testing::Ms3Fields fields;
  fields.Count = 1;
  fields.Payload = {1, 0, 0, 0};
  std::vector<uint8_t> ms3 = testing::MakeMs3(fields);
  ms3.resize(ms3.size() - 3);  // the record's lengths run past the file
  testing::WriteBytes(dir_.File("day.mseed"), ms3);
  std::vector<uint8_t> sac = testing::ReadBytes(testing::RealFile("sac/LMOW.BHE.SAC"));
  sac.resize(700);
  testing::WriteBytes(dir_.File("cut.sac"), sac);
  testing::WriteText(
      dir_.File("nokey.saf"),
      "SESAME ASCII data format (saf) v. 1\nSAMP_FREQ = 100\nNDAT = 1\n####\n1 2 3\n");
  testing::WriteText(dir_.File("rows.saf"),
                     "SESAME ASCII data format (saf) v. 1\nSTART_TIME = 2020 01 02 03 04 05.0\n"
                     "SAMP_FREQ = 100\nNDAT = 2\n####\n1 2 3\n1 x 3\n");

  struct Case {
    std::string File;
    std::vector<std::string> Data;  // the format's name and the fields the cause names
    std::string English;            // a part of the English cause
  };
  const std::vector<Case> cases = {
      {"shot.dat", {"SEG-2"}, "trace 3: its pointer (byte 40) 16777215 lies beyond the end"},
      {"day.mseed", {"miniSEED 3"}, "record 1 (byte 0): its "},
      {"cut.sac", {"SAC"}, "truncated: 700 bytes hold 17 of the 100 samples"},
      {"nokey.saf", {"SAF", "START_TIME"}, "the header has no START_TIME"},
      {"rows.saf", {"SAF", "\"x\""}, "row 2 (line 7): \"x\" is not a number"},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.File(c.File);
    const CliRun en = Run("C", "info " + Quote(path));
    EXPECT_EQ(en.Status, 1) << c.File << "\n" << en.Err;
    EXPECT_NE(en.Err.find(c.English), std::string::npos) << c.File << "\n" << en.Err;
    EXPECT_EQ(CyrillicLines(en.Err + en.Out, {path}), "") << c.File;

    const CliRun ru = Run("ru_RU.UTF-8", "info " + Quote(path));
    EXPECT_EQ(ru.Status, 1) << c.File << "\n" << ru.Err;
    EXPECT_NE(CyrillicLines(ru.Err, {}), "") << c.File << "\n" << ru.Err;
    std::vector<std::string> data = c.Data;
    data.insert(data.begin(), path);
    EXPECT_EQ(LatinLines(ru.Err + ru.Out, data), "") << c.File << "\n" << ru.Err;
  }
}

// The help of the program and of every command: English without a Russian word in the C locale
// (but for the name of the window's button it refers to), Russian under --lang ru and in a
// Russian locale, where none of the English descriptions is left.
TEST_F(LanguageCli, HelpFollowsTheLanguage) {
  const CliRun top = Run("C", "--help");
  ASSERT_EQ(top.Status, 0);
  std::vector<std::string> commands = {""};
  const size_t list = top.Out.find("\nSubcommands:\n");
  ASSERT_NE(list, std::string::npos) << top.Out;
  for (size_t at = top.Out.find('\n', list + 1) + 1; at < top.Out.size();) {
    size_t end = top.Out.find('\n', at);
    if (end == std::string::npos) end = top.Out.size();
    const std::string line = top.Out.substr(at, end - at);
    if (line.size() > 2) commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    at = end + 1;
  }
  ASSERT_GT(commands.size(), 20u);
  for (const std::string& command : commands) {
    const CliRun en = Run("C", command + " --help");
    EXPECT_EQ(en.Status, 0) << command;
    EXPECT_EQ(CyrillicLines(en.Out, {"\"Восстановить по умолчанию\""}), "") << command;
    // The descriptions: the first line and what stands from the 31st column of the others.
    std::vector<std::string> descriptions;
    size_t start = 0;
    while (start < en.Out.size()) {
      size_t end = en.Out.find('\n', start);
      if (end == std::string::npos) end = en.Out.size();
      const std::string line = en.Out.substr(start, end - start);
      if (start == 0 && !command.empty()) {
        descriptions.push_back(line);
      } else if (line.size() > 30 && line[0] == ' ' && line[28] == ' ' && line[29] == ' ' &&
                 line[30] != ' ' && line[30] != '-') {
        descriptions.push_back(line.substr(30));
      }
      start = end + 1;
    }
    EXPECT_FALSE(descriptions.empty()) << command;
    for (const std::string& lang : {std::string("C"), std::string("ru_RU.UTF-8")}) {
      const std::string args =
          lang == "C" ? "--lang ru " + command + " --help" : command + " --help";
      const CliRun ru = Run(lang, args);
      EXPECT_EQ(ru.Status, 0) << args;
      EXPECT_NE(ru.Out.find("Использование: tarvik-cli"), std::string::npos) << args << ru.Out;
      EXPECT_NE(ru.Out.find("Показать эту справку и выйти"), std::string::npos) << args;
      for (const std::string& d : descriptions)
        EXPECT_EQ(ru.Out.find(d), std::string::npos) << args << ": left in English: " << d;
    }
  }
}

// The JSON of show carries the code of the problem beside its text in the language chosen.
TEST_F(LanguageCli, ShowJsonCarriesTheCodeOfTheProblem) {
  ASSERT_EQ(Run("C", "edit " + Quote(project_) + " --all --process on").Status, 0);
  for (const auto& [lang, text] :
       {std::pair<std::string, std::string>{"C", "No response files set for record"},
        {"ru_RU.UTF-8", "Не заданы файлы с ЧХ для записи"}}) {
    const CliRun run = Run(lang, "show " + Quote(project_) + " --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const nlohmann::json doc = nlohmann::json::parse(run.Out);
    EXPECT_EQ(doc["primary_list"]["code"], "responses_not_set") << run.Out;
    EXPECT_EQ(doc["primary_list"]["message"].get<std::string>().rfind(text, 0), 0u)
        << lang << ": " << doc["primary_list"]["message"];
    // The readable form tells the same problem in the same language.
    const CliRun shown = Run(lang, "show " + Quote(project_));
    EXPECT_NE(shown.Out.find(text), std::string::npos) << shown.Out;
  }
}

TEST_F(LanguageCli, RussianLocaleAndTheOptionChooseTheLanguage) {
  const std::string missing = "run " + Quote(dir_.File("none.tvp"));
  const std::string path = dir_.File("none.tvp");
  EXPECT_EQ(Run("ru_RU.UTF-8", missing).Err, "Файл " + path + " не найден\n");
  EXPECT_EQ(Run("C", missing).Err, "File " + path + " not found\n");
  EXPECT_EQ(Run("C", missing + " --lang ru").Err, "Файл " + path + " не найден\n");
  EXPECT_EQ(Run("ru_RU.UTF-8", "--lang=en " + missing).Err, "File " + path + " not found\n");
  EXPECT_EQ(Run("C", missing + " --lang de").Status, 2);

  // A run's stages follow the language too.
  const CliRun en = Run("C", "run " + Quote(project_) + " --yes");
  EXPECT_NE(en.Err.find("Loading the project\n"), std::string::npos) << en.Err;
  const CliRun ru = Run("ru_RU.UTF-8", "run " + Quote(project_) + " --yes");
  EXPECT_NE(ru.Err.find("Загрузка проекта\n"), std::string::npos) << ru.Err;
}

// The noise statistics fail in the language of the run: in English no Cyrillic letter, in
// Russian no Latin word but the data (paths, station and channel codes, the values given, the
// command and option names); the JSON of psd carries the code of each error beside its text.
TEST_F(LanguageCli, NoiseStatisticsFailInTheLanguageOfTheRun) {
  const std::string demo = dir_.File("demo");
  ASSERT_EQ(Run("C", "demo " + Quote(demo) + " -q --minutes 60").Status, 0);
  // A record of TVK01 at another rate on the same day as the demo's.
  TDemoOptions slow;
  slow.Stations = {{"TVK01", 2.0}};
  slow.Rate = 50.0;
  slow.Files = 1;
  slow.FileSeconds = 3600.0;
  slow.TransientsPerFile = 0;
  slow.Start = EncodeDateTime(2024, 5, 14) + 3.0 / 24.0;
  TFilterPack sensor;
  sensor.ZP.NormFactor = 1.0;
  std::vector<TDemoRecording> written;
  std::string error;
  std::filesystem::create_directories(dir_.File("slow"));
  ASSERT_TRUE(WriteDemoRecordings(dir_.File("slow"), sensor.ZP, slow, written, error)) << error;
  const std::string mixed = dir_.File("mixed.tvp");
  ASSERT_EQ(
      Run("C", "add " + Quote(mixed) + " " + Quote(demo + "/data") + " " + Quote(dir_.File("slow")))
          .Status,
      0);
  ASSERT_EQ(Run("C", "edit " + Quote(mixed) +
                         " --all --all-channels --process on --adc 1000 --channel-resp " +
                         Quote(testing::RealFile("resp/SAC_PZs_NZ_CRLZ_HHZ.sac")))
                .Status,
            0);

  const std::string project = demo + "/demo.tvp";
  const std::string store = demo + "/results/PSD";
  ASSERT_EQ(Run("C", "psd " + Quote(project) + " --all").Status, 0);
  // A damaged day: the run leaves it as it is, the statistics leave it out.
  const std::string day = store + "/.TVK01..HHZ/2024-135.psd";
  std::vector<uint8_t> bytes = testing::ReadBytes(day);
  bytes.resize(bytes.size() - 5);
  testing::WriteBytes(day, bytes);
  std::filesystem::create_directories(dir_.File("bare/PSD"));

  struct Case {
    std::string Args;
    std::string Code;  // the code of the first error in the JSON of psd, "" for psd-stats
  };
  const std::string stats = "psd-stats " + Quote(store) + " --channel .TVK02..HHZ";
  const std::vector<Case> cases = {
      {"psd " + Quote(project) + " --all --overlap 1", ""},
      {"psd " + Quote(project) + " --all --segment 0", ""},
      {"psd " + Quote(project) + " --all --segment 90000", "psd_selection_too_short"},
      {"psd " + Quote(project_) + " --all", "psd_no_response"},
      {"psd " + Quote(mixed) + " --all", "psd_rate_differs"},
      {"psd " + Quote(project) + " --all", "psd_store_damaged"},
      {"psd-stats " + Quote(store) + " --channel .TVK01..HHZ", ""},
      {"psd-stats " + Quote(dir_.File("bare/PSD")), ""},
      {stats + " --hours 25", ""},
      {stats + " --hours x", ""},
      {stats + " --hours 24", ""},
      {stats + " --weekdays 0", ""},
      {stats + " --months 6-13", ""},
      {stats + " --tz Mars/Olympus", ""},
  };
  // The longest first, so that no part of a path is taken out before the path.
  const std::vector<std::string> data = {day,
                                         store,
                                         dir_.File("bare/PSD"),
                                         dir_.Path().string(),
                                         "«x»",
                                         ".TVK01..HHZ",
                                         ".TVK02..HHZ",
                                         "Mars/Olympus",
                                         "TVK01",
                                         "TVK02",
                                         "HHE",
                                         "HHN",
                                         "HHZ",
                                         "2024-135",
                                         "psd-stats",
                                         "psd",
                                         "--tz",
                                         "--hours",
                                         "--weekdays",
                                         "--months",
                                         "PSD"};
  for (const Case& c : cases) {
    const CliRun en = Run("C", c.Args);
    EXPECT_NE(en.Status, 0) << c.Args;
    EXPECT_NE(en.Err, "") << c.Args;
    EXPECT_EQ(CyrillicLines(en.Err + en.Out, {}), "") << c.Args << "\n" << en.Err;
    const CliRun ru = Run("ru_RU.UTF-8", c.Args);
    EXPECT_EQ(ru.Status, en.Status) << c.Args;
    EXPECT_NE(CyrillicLines(ru.Err, {}), "") << c.Args << "\n" << ru.Err;
    EXPECT_EQ(LatinLines(ru.Err + ru.Out, data), "") << c.Args << "\n" << ru.Err;
    if (c.Code.empty()) continue;
    for (const std::string lang : {"C", "ru_RU.UTF-8"}) {
      const CliRun run = Run(lang, c.Args + " --json");
      ASSERT_FALSE(run.Out.empty()) << c.Args << "\n" << run.Err;
      const nlohmann::json doc = nlohmann::json::parse(run.Out);
      ASSERT_FALSE(doc["error_codes"].empty()) << run.Out;
      EXPECT_EQ(doc["error_codes"][0], c.Code) << c.Args;
      EXPECT_EQ(doc["errors"].size(), doc["error_codes"].size()) << run.Out;
      EXPECT_EQ(CyrillicLines(doc["errors"][0].get<std::string>(), {}).empty(), lang == "C")
          << lang << ": " << doc["errors"][0];
    }
  }
}

// The command line's own validators, the response readers' refusals and the warnings of
// change-path, in each language: the English as it always read, the Russian without a Latin word
// but the data, the option names and the names of formats, sections and keys.
TEST_F(LanguageCli, ValidatorsAndResponseRefusalsFollowTheLanguage) {
  const std::string p = Quote(project_);
  testing::WriteText(dir_.File("text.rsp"), "hello\n");
  testing::WriteText(dir_.File("zeros.rsp"),
                     "[DEVICE]\nZP available=True\n[ZP]\nNumber of zeroes=41\n");
  testing::WriteText(dir_.File("broken.xml"), "<FDSNStationXML><Network></FDSNStationXML>");
  testing::WriteText(dir_.File("gain0.xml"),
                     "<FDSNStationXML><Network code=\"XX\"><Station code=\"STA\">"
                     "<Channel code=\"HHZ\" locationCode=\"\"><Response><Stage number=\"1\">"
                     "<StageGain><Value>0</Value></StageGain></Stage></Response></Channel>"
                     "</Station></Network></FDSNStationXML>");
  for (const char* name : {"a.hv", "b.hv", "a_time.json", "b_time.json"})
    testing::WriteText(dir_.File(name), "");
  const std::string gone = dir_.File("gone");
  // The paths change-path names: each data file where it is and where it is said to be now.
  std::vector<std::string> moved_paths;
  for (const auto& e : std::filesystem::directory_iterator(dir_.File("data"))) {
    moved_paths.push_back(e.path().string());
    moved_paths.push_back(gone + "/" + e.path().filename().string());
  }
  struct Case {
    std::string Args;
    int Status;
    std::string English;            // a part of stderr in the C locale
    std::vector<std::string> Data;  // what a Russian line may hold in Latin letters
  };
  const std::vector<std::string> usage = {"--help"};
  const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const std::vector<Case> cases = {
      {"response " + Quote(dir_.File("text.rsp")),
       1,
       dir_.File("text.rsp") + ": not a response file: it has no [DEVICE] section\n",
       {dir_.File("text.rsp"), "[DEVICE]"}},
      {"response " + Quote(dir_.File("zeros.rsp")),
       1,
       dir_.File("zeros.rsp") + ", line 4: \"Number of zeroes\" in [ZP] is 41; it must lie in "
                                "0..40 (the most zeros a response holds)\n",
       {dir_.File("zeros.rsp"), "Number of zeroes", "[ZP]"}},
      {"response " + Quote(dir_.File("broken.xml")),
       1,
       dir_.File("broken.xml") + ": not well-formed XML (Start-end tags mismatch at byte ",
       {dir_.File("broken.xml"), "XML"}},
      {"response " + Quote(dir_.File("gain0.xml")),
       1,
       dir_.File("gain0.xml") + ": XX.STA..HHZ: stage 1: a stage gain of 0\n",
       {dir_.File("gain0.xml"), "XX.STA..HHZ"}},
      {"response " + Quote(dir_.File("gain0.xml")) + " --channel TVK01.HHZ", 2,
       "--channel: \"TVK01.HHZ\" is not a channel code NET.STA.LOC.CHA\n",
       with({"--channel", "TVK01.HHZ", "NET.STA.LOC.CHA"}, usage)},
      {"response " + Quote(dir_.File("gain0.xml") + "#XX.STA..HHZ") + " --channel XX.STA..HHZ", 2,
       "--channel: FILE already names a channel after its \"#\"\n",
       with({"--channel", "FILE"}, usage)},
      {"plot --json " + Quote(dir_.File("a.hv")) + " " + Quote(dir_.File("b.hv")), 2,
       "FILE: an H/V statistics file (.hv) is drawn alone\n", with({"FILE", "H/V", ".hv"}, usage)},
      {"plot --json " + Quote(dir_.File("a.hv")) + " --hv", 2,
       "--hvsr: --hv and --noise-models do not apply to a .hv file\n",
       with({"--hvsr", "--hv", "--noise-models", ".hv"}, usage)},
      {"plot --json " + Quote(dir_.File("a_time.json")) + " " + Quote(dir_.File("b_time.json")), 2,
       "FILE: a file of H/V statistics through time or by direction is drawn alone\n",
       with({"FILE", "H/V"}, usage)},
      {"run " + p + " --shard 4/3", 2,
       "--shard: must be K/N with 1 <= K <= N (shard K of N), not 4/3\n",
       with({"--shard", "K/N", "K", "N"}, usage)},
      {"change-path " + p + " --all --dry-run " + Quote(gone), 0,
       "change-path: warning: " + gone + " is not a folder\n",
       with(moved_paths, {project_, gone, "change-path", "TVK01", "TVK02", "File"})},
  };
  for (const Case& c : cases) {
    const CliRun en = Run("C", c.Args);
    EXPECT_EQ(en.Status, c.Status) << c.Args << "\n" << en.Err;
    EXPECT_NE(en.Err.find(c.English), std::string::npos) << c.Args << "\n" << en.Err;
    EXPECT_EQ(CyrillicLines(en.Err + en.Out, {}), "") << c.Args;

    const CliRun ru = Run("ru_RU.UTF-8", c.Args);
    EXPECT_EQ(ru.Status, c.Status) << c.Args << "\n" << ru.Err;
    EXPECT_NE(CyrillicLines(ru.Err, {}), "") << c.Args << "\n" << ru.Err;
    EXPECT_EQ(LatinLines(ru.Err + ru.Out, c.Data), "") << c.Args << "\n" << ru.Err << ru.Out;
  }
  // change-path names each record whose file is not in the new folder.
  const CliRun moved = Run("C", "change-path " + p + " --all --dry-run " + Quote(gone));
  EXPECT_NE(moved.Err.find(": warning: record 1 (TVK01): " + gone + "/"), std::string::npos)
      << moved.Err;
  EXPECT_NE(moved.Err.find(" is not there\n"), std::string::npos) << moved.Err;

  // show names what the first checked record lacks in the run's language, not the window's.
  ASSERT_EQ(Run("C", "edit " + p + " --all --process on").Status, 0);
  const CliRun shown = Run("C", "show " + p);
  EXPECT_NE(shown.Out.find("Channel 1 (HHE): "), std::string::npos) << shown.Out;
  EXPECT_EQ(CyrillicLines(shown.Out, {" Ш "}), "") << shown.Out;  // " Ш ": the list's kind mark
  const CliRun shown_ru = Run("ru_RU.UTF-8", "show " + p);
  EXPECT_NE(shown_ru.Out.find("Канал 1 (HHE): "), std::string::npos) << shown_ru.Out;
}

}  // namespace
}  // namespace tarvik

// End-to-end runs of the file commands of tarvik-cli (info, segments, scan, samples, response)
// over the real corpus, checked against the corpus' own reference values.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::RealFile;
using testing::TempDir;

// A run in the C locale, for the English texts the lines are compared with.
CliRun CliC(const std::string& args, const TempDir& dir) {
  return testing::CliWithLocale("C", args, dir);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (double x; in >> x;) v.push_back(x);
  return v;
}

const std::string kGcf = "gcf/20160603_1955n.gcf";
// The first samples of kGcf as the corpus lists them.
const std::vector<double> kGcfFirst = {-49378, -49213, -49273, -49277, -49341, -49415, -49289,
                                       -49309, -49277, -49381, -49441, -49276, -49331, -49268,
                                       -49250, -49407, -49421, -49282, -49224, -49281};

TEST(FileCli, InfoJsonGivesOneObjectPerFileAndFailsOnAnUnknownOne) {
  TempDir dir;
  // Any .txt is taken for a one-column text recording; an unknown extension is nothing.
  const std::string unknown = dir.File("notes.bin");
  testing::WriteText(unknown, "not a recording\n");
  const CliRun run =
      CliC("info --json " + Quote(RealFile(kGcf)) + " " +
               Quote(RealFile("mseed/int32_Steim2_bigEndian.mseed")) + " " + Quote(unknown),
           dir);
  EXPECT_EQ(run.Status, 1);
  // The reason of the failure goes to stderr, as with the text output.
  EXPECT_NE(run.Err.find("notes.bin: not a recognised seismogram file"), std::string::npos)
      << run.Err;
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 3u) << run.Out;

  const nlohmann::json gcf = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(gcf["tag"], "[HGU");
  EXPECT_EQ(gcf["station"], "6018");
  EXPECT_EQ(gcf["start"], "2016-06-03T19:55:00.000Z");
  // 2016-06-03 is day 42524 after 1899-12-30; 19:55 is 1195/1440 of a day.
  EXPECT_NEAR(gcf["start_days"].get<double>(), 42524.0 + 1195.0 / 1440.0, 1e-9);
  EXPECT_EQ(gcf["samp_rate"], 100.0);
  EXPECT_EQ(gcf["sample_count"], 300);
  EXPECT_EQ(gcf["channel_count"], 1);
  ASSERT_EQ(gcf["channels"].size(), 1u);
  EXPECT_EQ(gcf["channels"][0]["name"], "N");

  // The corpus reference: station TEST, channel BHE, epoch 1103068800 s, 1 Hz, 50 samples.
  const nlohmann::json ms = nlohmann::json::parse(lines[1]);
  EXPECT_EQ(ms["tag"], "[HMS");
  EXPECT_EQ(ms["station"], "TEST");
  EXPECT_EQ(ms["start"], "2004-12-15T00:00:00.000Z");
  EXPECT_EQ(ms["samp_rate"], 1.0);
  EXPECT_EQ(ms["sample_count"], 50);
  EXPECT_EQ(ms["channels"][0]["name"], "BHE");

  const nlohmann::json none = nlohmann::json::parse(lines[2]);
  EXPECT_EQ(none["tag"], 0);
  EXPECT_TRUE(none["channels"].empty());
  for (const char* key :
       {"file", "tag", "station", "start", "start_days", "samp_rate", "sample_count",
        "channel_count", "block_count", "block_samples", "channels"}) {
    EXPECT_TRUE(none.contains(key)) << key;
  }
}

TEST(FileCli, SegmentsAndSamplesGiveTheDecodedValues) {
  TempDir dir;
  const CliRun seg = Cli("segments --samples " + Quote(RealFile(kGcf)), dir);
  ASSERT_EQ(seg.Status, 0) << seg.Err;
  const std::vector<std::string> lines = Lines(seg.Out);
  // A header line, then per segment its line and its samples.
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("station\t", 0), 0u);
  EXPECT_NE(lines[1].find("2016-06-03T19:55:00.000Z"), std::string::npos);
  std::vector<double> first = Numbers(lines[2]);
  ASSERT_GE(first.size(), kGcfFirst.size());
  first.resize(kGcfFirst.size());
  EXPECT_EQ(first, kGcfFirst);

  const CliRun raw = Cli("samples --no-demean " + Quote(RealFile(kGcf)), dir);
  ASSERT_EQ(raw.Status, 0) << raw.Err;
  const std::vector<std::string> rows = Lines(raw.Out);
  ASSERT_EQ(rows.size(), 301u);  // the channel name, then 300 samples
  EXPECT_EQ(rows[0], "N");
  double sum = 0.0;
  for (size_t i = 1; i < rows.size(); ++i) {
    const double v = std::stod(rows[i]);
    if (i <= kGcfFirst.size()) {
      EXPECT_EQ(v, kGcfFirst[i - 1]) << "sample " << i - 1;
    }
    sum += v;
  }

  // Without --no-demean each value loses the record's mean (rounded to a whole count).
  const CliRun demeaned = Cli("samples " + Quote(RealFile(kGcf)), dir);
  ASSERT_EQ(demeaned.Status, 0) << demeaned.Err;
  const std::vector<std::string> centred = Lines(demeaned.Out);
  ASSERT_EQ(centred.size(), rows.size());
  const double mean = sum / 300.0;
  EXPECT_NEAR(std::stod(centred[1]), kGcfFirst[0] - mean, 0.5 + 1e-9);
}

TEST(FileCli, ResponseEvaluatesChainsAndWritesTheUnitTemplate) {
  TempDir dir;
  // CONSTANT·|Π(s − z)/Π(s − p)| of the file at 0.1, 1 and 10 Hz, computed independently. The
  // file declares "INPUT UNIT : M": what the spectra divide by, and what is printed, is the
  // response to velocity, that divided by 2πf.
  const std::vector<double> displacement = {2370975519.368238, 23757092293.574776,
                                            51503925434.33007};
  const double freq[] = {0.1, 1.0, 10.0};
  const std::string file = RealFile("resp/IU_ANMO_00_BHZ.paz");
  const std::string paz = Quote(file);
  const std::string freqs = " --freq 0.1 --freq 1 --freq 10";
  const CliRun sensor = Cli("response " + paz + freqs, dir);
  ASSERT_EQ(sensor.Status, 0) << sensor.Err;
  EXPECT_EQ(sensor.Err, file + ": входная единица M, ЧХ вычислена для скорости в м/с\n");
  std::vector<std::string> lines = Lines(sensor.Out);
  ASSERT_EQ(lines.size(), 3u);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::vector<double> row = Numbers(lines[i]);
    ASSERT_EQ(row.size(), 3u) << lines[i];
    EXPECT_NEAR(row[1] / (displacement[i] / (2 * std::numbers::pi * freq[i])), 1.0, 1e-9)
        << lines[i];
  }

  // The template is a unit response: alone it gives modulus 1 and phase 0; as the amplifier of
  // a chain it leaves the sensor's values unchanged.
  const std::string unit = dir.File("unit.rsp");
  const CliRun tmpl = Cli("response --template " + Quote(unit) + " --rate 100 --note HHZ", dir);
  ASSERT_EQ(tmpl.Status, 0) << tmpl.Err;
  const CliRun flat = Cli("response " + Quote(unit) + freqs, dir);
  ASSERT_EQ(flat.Status, 0) << flat.Err;
  for (const std::string& line : Lines(flat.Out)) {
    const std::vector<double> row = Numbers(line);
    ASSERT_EQ(row.size(), 3u) << line;
    EXPECT_NEAR(row[1], 1.0, 1e-12);
    EXPECT_NEAR(row[2], 0.0, 1e-12);
  }
  const CliRun chained = Cli("response " + paz + " --chain " + Quote(unit) + freqs, dir);
  ASSERT_EQ(chained.Status, 0) << chained.Err;
  EXPECT_EQ(chained.Out, sensor.Out);
}

TEST(FileCli, FailuresAndWrongUsageHaveTheirExitStatus) {
  TempDir dir;
  // A response file that is not there, whatever its extension, alone or as the amplifier.
  const std::string unit = dir.File("unit.rsp");
  ASSERT_EQ(Cli("response --template " + Quote(unit) + " --rate 100", dir).Status, 0);
  for (const std::string& args : {Quote(dir.File("absent.paz")), Quote(dir.File("absent.txt")),
                                  Quote(unit) + " --chain " + Quote(dir.File("absent.txt"))}) {
    const CliRun gone = Cli("response " + args, dir);
    EXPECT_EQ(gone.Status, 1) << args;
    EXPECT_TRUE(gone.Out.empty()) << args;
    EXPECT_NE(gone.Err.find("absent."), std::string::npos) << gone.Err;
  }

  const struct {
    const char* Args;
  } usage[] = {{"response"},
               {"response --rate 5"},
               {"segments"},
               {"info"},
               {"no-such-command"},
               {"samples --rate 0 x.gcf"},
               {"scan --max-span -1 x"}};
  for (const auto& u : usage) EXPECT_EQ(Cli(u.Args, dir).Status, 2) << u.Args;
}

// A SEED RESP listing under its usual name (RESP.XX.NS085..BHZ), SAC poles and zeros under the
// name rdseed gives, a StationXML file and a text file: the first two are read for what they are
// (the responses of their usual extensions, no notice); the StationXML file and the text file
// are refused with their names, exit 1, never taken as a flat response. An .rsp file of [DEVICE]
// alone is the one flat response, and says so.
TEST(FileCli, ResponseFilesAreRecognisedByContent) {
  TempDir dir;
  struct Case {
    const char* Real;
    const char* Usual;
    const char* Archive;
  };
  for (const Case& c : {
           Case{"resp/RESP.XX.NS085..BHZ.STS2_gen3.120.1500.seed", "ns085.seed",
                "RESP.XX.NS085..BHZ"},
           Case{"resp/SAC_PZs_NZ_CRLZ_HHZ.sac", "crlz.sac",
                "SAC_PZs_NZ_CRLZ_HHZ_10_2003.071.00.00.00.0000_2037.365.23.59.59.99999"},
       }) {
    const std::vector<uint8_t> bytes = testing::ReadBytes(RealFile(c.Real));
    testing::WriteBytes(dir.File(c.Usual), bytes);
    testing::WriteBytes(dir.File(c.Archive), bytes);
    const CliRun usual = Cli("response " + Quote(dir.File(c.Usual)) + " --freq 1", dir);
    const CliRun archive = Cli("response " + Quote(dir.File(c.Archive)) + " --freq 1", dir);
    ASSERT_EQ(archive.Status, 0) << archive.Err;
    EXPECT_EQ(archive.Err, "");
    EXPECT_EQ(archive.Out, usual.Out);
    EXPECT_NE(archive.Out, "1\t1\t0\n");
  }

  const std::string xml = dir.File("IU_ANMO_00_BHZ.xml");
  const std::string txt = dir.File("x.txt");
  const std::string rsp = dir.File("x.rsp");
  testing::WriteBytes(xml, testing::ReadBytes(RealFile("stationxml/IU_ANMO_00_BHZ.xml")));
  testing::WriteText(txt, "hello\n");
  testing::WriteText(rsp, "hello\n");
  struct Refusal {
    std::string Args;
    std::string Said;
  };
  for (const Refusal& r : {
           Refusal{Quote(xml) + " --channel IU.ANMO.10.BHZ",
                   xml + ": в документе нет канала IU.ANMO.10.BHZ\n"},
           Refusal{Quote(txt), txt +
                                   ": не файл ЧХ: его содержимое не SEED RESP, не полюса и нули "
                                   "SAC, не GSE2 CAL2, не таблица FAP, не StationXML и не .rsp\n"},
           Refusal{Quote(rsp), rsp + ": не файл характеристики: в нем нет раздела [DEVICE]\n"},
           Refusal{Quote(dir.File("ns085.seed")) + " --chain " + Quote(txt), txt + ": не файл ЧХ"},
       }) {
    const CliRun run = Cli("response " + r.Args + " --freq 1", dir);
    EXPECT_EQ(run.Status, 1) << r.Args;
    EXPECT_EQ(run.Out, "") << r.Args;
    EXPECT_EQ(run.Err.rfind(r.Said, 0), 0u) << run.Err;
  }
  const CliRun json_bad = Cli("response --json " + Quote(txt), dir);
  EXPECT_EQ(json_bad.Status, 1);
  EXPECT_NE(nlohmann::json::parse(json_bad.Out)["files"][0]["error"].get<std::string>().find(
                "не файл ЧХ"),
            std::string::npos);

  const std::string flat_file = dir.File("flat.rsp");
  testing::WriteText(flat_file, "[DEVICE]\nNote=on purpose\n");
  const CliRun flat =
      CliC("response " + Quote(flat_file) + " --freq 1 --chain " + Quote(flat_file), dir);
  EXPECT_EQ(flat.Status, 0);
  EXPECT_EQ(flat.Out, "1\t1\t0\n");
  EXPECT_EQ(flat.Err, "taken as a flat response: " + flat_file + "\n");
  const CliRun json = Cli("response --json " + Quote(flat_file) + " --freq 2 --freq 3", dir);
  ASSERT_EQ(json.Status, 0);
  const nlohmann::json doc = nlohmann::json::parse(json.Out);
  EXPECT_EQ(doc["files"][0]["file"], flat_file);
  EXPECT_TRUE(doc["files"][0]["flat"].get<bool>());
  EXPECT_FALSE(doc["files"][0]["converted"].get<bool>());
  ASSERT_EQ(doc["lines"].size(), 2u);
  EXPECT_EQ(doc["lines"][1]["modulus"], 1.0);
}

// An empty or garbage ".msd", and a file that is not there: each says why, exit 1, nothing on
// stdout.
TEST(FileCli, DamagedOrMissingFilesSayWhy) {
  TempDir dir;
  const std::string empty = dir.File("empty.msd");
  const std::string garbage = dir.File("garbage.msd");
  testing::WriteText(empty, "");
  std::string noise(1000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919) % 251);
  testing::WriteText(garbage, noise);
  struct Case {
    std::string File;
    std::string Said;
  };
  for (const Case& c :
       {Case{empty, "not read as miniSEED: shorter than the 48-byte fixed header of a record"},
        Case{garbage, "not read as miniSEED: record 1 (byte 0): the sequence number is not digits"},
        Case{dir.File("none.msd"), "no such file"}, Case{dir.File("none.gcf"), "no such file"}}) {
    for (const char* command : {"info ", "segments "}) {
      const CliRun run = CliC(command + Quote(c.File), dir);
      EXPECT_EQ(run.Status, 1) << command << c.File;
      EXPECT_EQ(run.Out, "") << command << c.File;
      EXPECT_EQ(run.Err, c.File + ": " + c.Said + "\n") << command << c.File;
    }
  }
  for (const std::string& command :
       {"samples " + Quote(dir.File("none.msd")),
        "compress " + Quote(dir.File("none.msd")) + " -o " + Quote(dir.File("x.rec"))}) {
    const CliRun run = testing::CliWithLocale("C", command, dir);
    EXPECT_EQ(run.Status, 1) << command;
    EXPECT_EQ(run.Err, dir.File("none.msd") + ": no such file\n") << command;
  }
  const nlohmann::json j = nlohmann::json::parse(CliC("info --json " + Quote(empty), dir).Out);
  EXPECT_EQ(j["error"], "not read as miniSEED: shorter than the 48-byte fixed header of a record");
}

// Random bytes, a PNG picture and a README renamed to ".gcf" are not GCF data: "info" says so
// with the file and the field that gives it away, and "add" makes no record of them (nor a
// project).
TEST(FileCli, FilesThatAreNotGcfAreRefusedWhateverTheirName) {
  TempDir dir;
  std::mt19937 rng(83);
  std::vector<uint8_t> random(7 * 1024 * 1024);
  for (uint8_t& b : random) b = static_cast<uint8_t>(rng());
  testing::WriteBytes(dir.File("random.gcf"), random);
  testing::WriteBytes(
      dir.File("picture.gcf"),
      testing::ReadBytes(testing::RealFile("../../docs/screenshots/main_records.png")));
  testing::WriteBytes(dir.File("readme.gcf"), testing::ReadBytes(testing::RealFile("README.md")));
  for (const char* name : {"random.gcf", "picture.gcf", "readme.gcf"}) {
    const std::string file = dir.File(name);
    const CliRun info = CliC("info " + Quote(file), dir);
    EXPECT_EQ(info.Status, 1) << name;
    EXPECT_EQ(info.Out, "") << name;
    EXPECT_EQ(info.Err.rfind(file + ": not read as GCF: block 1 (byte 0): ", 0), 0u) << info.Err;
    EXPECT_NE(info.Err.find(" is "), std::string::npos) << info.Err;  // the field and its range

    const std::string project = dir.File("p.tvp");
    const CliRun add = Cli("add " + Quote(project) + " " + Quote(file), dir);
    EXPECT_EQ(add.Status, 1) << name;
    EXPECT_NE(add.Err.find(file + ": не добавлен: его заголовок не прочитан: блок 1 (байт 0): "),
              std::string::npos)
        << add.Err;
    EXPECT_NE(add.Err.find("add: ничего не добавлено"), std::string::npos) << add.Err;
    EXPECT_FALSE(std::filesystem::exists(project)) << name;
  }
  // The real GCF files beside them still read.
  const CliRun real = CliC("info " + Quote(testing::RealFile("gcf/20160603_1955n.gcf")), dir);
  EXPECT_EQ(real.Status, 0) << real.Err;
  EXPECT_NE(real.Out.find("station:  6018"), std::string::npos) << real.Out;
}

// One default rate for the commands that read files outside a project, that of a new project;
// and the two counts of a file with gaps say what they count.
TEST(FileCli, DefaultRateAndCountsWithGaps) {
  TempDir dir;
  for (const char* command : {"info", "segments", "scan", "samples", "compress"}) {
    const CliRun help = Cli(std::string(command) + " --help", dir);
    EXPECT_NE(help.Out.find("--rate FLOAT:POSITIVE=50 "), std::string::npos) << command << "\n"
                                                                             << help.Out;
  }
  const CliRun info = CliC("info " + Quote(RealFile("mseed/gaps.mseed")), dir);
  ASSERT_EQ(info.Status, 0);
  // 54376 samples of 200 Hz from the first sample to the end of the last, 52728 of them held.
  EXPECT_NE(info.Out.find("  samples:  54376 (from the first sample to the end of the last, gaps "
                          "included)\n  held:     52728 (samples the file holds"),
            std::string::npos)
      << info.Out;
  EXPECT_EQ(nlohmann::json::parse(
                Cli("info --json " + Quote(RealFile("mseed/gaps.mseed")), dir).Out)["samples_held"],
            52728);
  // With the one 412-sample record of the same station that joins it, a record counts both
  // files' spans.
  fs::create_directories(dir.File("bgld"));
  for (const char* name : {"gaps.mseed", "one_record_already_applied_time_correction.mseed"}) {
    fs::copy_file(RealFile(std::string("mseed/") + name), dir.File(std::string("bgld/") + name));
  }
  const CliRun scan = Cli("scan " + Quote(dir.File("bgld")), dir);
  ASSERT_EQ(scan.Status, 0) << scan.Err;
  EXPECT_NE(scan.Out.find("  отсчётов: 54788 (сумма длительностей её файлов, с разрывами внутри "
                          "файлов)\n"),
            std::string::npos)
      << scan.Out;
}

// The CSS text file lists the samples of the three wfdisc lines of a station in their order:
// HHZ, HHE, HHN.
TEST(FileCli, CssTextHoldsTheChannelsInTheOrderOfTheWfdiscLines) {
  TempDir dir;
  const CliRun seg = Cli(
      "segments --json --samples --station TESTbe " + Quote(RealFile("css/test_css.wfdisc")), dir);
  ASSERT_EQ(seg.Status, 0) << seg.Err;
  const nlohmann::json doc = nlohmann::json::parse(seg.Out);
  EXPECT_EQ(doc["format"], "CSS 3.0 wfdisc");
  const nlohmann::json& segments = doc["segments"];
  ASSERT_EQ(segments.size(), 3u);
  std::ifstream text(RealFile("css/201101311155.10.ascii"));
  const char* order[] = {"HHZ", "HHE", "HHN"};
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(segments[k]["channel"], order[k]);
    const std::vector<int32_t> samples = segments[k]["samples"].get<std::vector<int32_t>>();
    ASSERT_EQ(samples.size(), 4800u);
    for (size_t i = 0; i < samples.size(); ++i) {
      int32_t expected = 0;
      ASSERT_TRUE(text >> expected);
      ASSERT_EQ(samples[i], expected) << order[k] << " sample " << i;
    }
  }
}

}  // namespace
}  // namespace tarvik

// The command line over SEG-2 and miniSEED 3 files: damaged files are named with their cause,
// sound ones form records whose samples are the files' own.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "common/binary_file.h"
#include "common/bytes.h"
#include "miniseed3_test_files.h"
#include "records/seg2.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::TempDir;

const std::string kSeg2 = "seg2/20130107_103041000.CET.3c.cont.0.seg2";

struct DamagedCase {
  const char* Name;
  const char* File;
  const char* Cause;
};

class NewFormatsDamaged : public ::testing::TestWithParam<DamagedCase> {};

// A SEG-2 file whose third trace pointer lies beyond the file, and a miniSEED 3 record whose
// CRC fails.
void WriteDamaged(const TempDir& dir) {
  std::vector<uint8_t> seg2 = testing::ReadBytes(testing::RealFile(kSeg2));
  StoreU32LE(&seg2[40], 0x00ffffff);
  testing::WriteBytes(dir.File("shot.dat"), seg2);
  testing::Ms3Fields s;
  s.Count = 1;
  s.Payload = {1, 0, 0, 0};
  std::vector<uint8_t> ms3 = testing::MakeMs3(s);
  ms3.back() = 2;
  testing::WriteBytes(dir.File("day.mseed"), ms3);
}

TEST_P(NewFormatsDamaged, InfoNamesTheFileAndTheCause) {
  TempDir dir;
  WriteDamaged(dir);
  const std::string path = dir.File(GetParam().File);
  // The readers' causes are English; the C locale reads the whole line in English.
  const CliRun run = CliWithLocale("C", "info " + Quote(path), dir);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find(path + ": not read as " + GetParam().Name), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(GetParam().Cause), std::string::npos) << run.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, NewFormatsDamaged,
    ::testing::Values(DamagedCase{"SEG-2", "shot.dat",
                                  "trace 3: its pointer (byte 40) 16777215 lies beyond the end of "
                                  "the file (29248 bytes)"},
                      DamagedCase{"miniSEED 3", "day.mseed", "record 1 (byte 0): the CRC-32C"}));

// The record that a SEG-2 file begins holds its traces' counts, channel by channel.
TEST(NewFormatsCli, Seg2SamplesAreTheTraces) {
  TempDir dir;
  const std::string path = testing::RealFile(kSeg2);
  const CliRun run = Cli("samples " + Quote(path) + " --no-demean", dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::optional<Seg2File> f = ReadSeg2Fields(path);
  ASSERT_TRUE(f);
  BinaryFile file(path);
  std::vector<std::vector<int32_t>> traces;
  for (const Seg2Trace& t : f->Traces) traces.push_back(ReadSeg2Samples(file, *f, t));
  std::istringstream out(run.Out);
  std::string line;
  std::getline(out, line);  // the channel names
  size_t rows = 0;
  for (; std::getline(out, line); ++rows) {
    std::istringstream row(line);
    for (size_t c = 0; c < traces.size(); ++c) {
      long long v = 0;
      row >> v;
      ASSERT_EQ(v, traces[c][rows]) << "row " << rows << " channel " << c + 1;
    }
  }
  EXPECT_EQ(rows, traces[0].size());
}

// Two miniSEED 3 files of a station, the second 10 s after the first, added to a project: one
// record whose samples hold both, the gap between them zero.
TEST(NewFormatsCli, MiniSeed3FilesJoinOneRecord) {
  TempDir dir;
  for (int k = 0; k < 2; ++k) {
    testing::Ms3Fields s;
    s.Sid = "FDSN:XX_JOIN_00_H_H_Z";
    s.UnixStart = 1700000000.0 + 20.0 * k;
    s.Count = 1000;
    for (int i = 0; i < 1000; ++i)
      testing::PutU32LE(s.Payload, static_cast<uint32_t>(k * 1000 + i));
    testing::WriteBytes(dir.File("part" + std::to_string(k) + ".ms3"), testing::MakeMs3(s));
  }
  const std::string project = dir.File("p.tvp");
  const CliRun add = Cli("add " + Quote(project) + " " + Quote(dir.File("part0.ms3")) + " " +
                             Quote(dir.File("part1.ms3")),
                         dir);
  ASSERT_EQ(add.Status, 0) << add.Err;
  const CliRun show = Cli("show " + Quote(project), dir);
  EXPECT_NE(show.Out.find("JOIN"), std::string::npos) << show.Out;
  const CliRun run = Cli("samples " + Quote(dir.File("part0.ms3")) + " --no-demean", dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::istringstream out(run.Out);
  std::string line;
  std::getline(out, line);
  std::vector<long long> values;
  while (std::getline(out, line)) {
    std::istringstream row(line);
    long long v = 0;
    row >> v;
    values.push_back(v);
  }
  ASSERT_EQ(values.size(), 3000u);
  EXPECT_EQ(values[999], 999);
  EXPECT_EQ(values[1000], 0);
  EXPECT_EQ(values[1999], 0);
  EXPECT_EQ(values[2000], 1000);
  EXPECT_EQ(values[2999], 1999);
}

}  // namespace
}  // namespace tarvik

// tarvik-cli on SAC and SAF files: the samples of the record a file begins, and the
// refusal of a damaged file, named with its cause.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_runner.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::Quote;
using testing::TempDir;

TEST(SacSafCli, SamplesOfASafRecord) {
  TempDir dir;
  testing::WriteText(dir.File("site"),
                     "SESAME ASCII data format (saf) v. 2\n"
                     "STA_CODE = S1\nSTART_TIME = 2020 05 06 07 08 09.5\nSAMP_FREQ = 200\n"
                     "NDAT = 2\nCH0_ID = V\nCH1_ID = N\nCH2_ID = E\nUNITS = count\n"
                     "####----\n"
                     "10 -20 30\n"
                     "-1 2 -3\n");
  const CliRun run = Cli("samples --no-demean " + Quote(dir.File("site")), dir);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("10\t-20\t30\n-1\t2\t-3\n"), std::string::npos) << run.Out;
}

TEST(SacSafCli, DamagedFilesAreNamedWithTheirCause) {
  TempDir dir;
  std::vector<uint8_t> bytes = testing::ReadBytes(testing::RealFile("sac/LMOW.BHE.SAC"));
  bytes.resize(700);
  testing::WriteBytes(dir.File("cut.sac"), bytes);
  testing::WriteText(dir.File("nokey.saf"),
                     "SESAME ASCII data format (saf) v. 1\nSAMP_FREQ = 100\nNDAT = 1\n"
                     "####\n1 2 3\n");
  struct Case {
    const char* File;
    const char* English;
    const char* Russian;
  };
  for (const Case& c :
       {Case{"cut.sac", "truncated: 700 bytes hold 17 of the 100 samples",
             "файл обрезан: 700 байт вмещают 17 из 100 отсчетов"},
        Case{"nokey.saf", "the header has no START_TIME", "в заголовке нет START_TIME"}}) {
    const CliRun en = CliWithLocale("C", "info " + Quote(dir.File(c.File)), dir);
    EXPECT_EQ(en.Status, 1) << c.File;
    EXPECT_NE(en.Err.find(dir.File(c.File)), std::string::npos) << en.Err;
    EXPECT_NE(en.Err.find(c.English), std::string::npos) << en.Err;
    const CliRun ru = Cli("info " + Quote(dir.File(c.File)), dir);
    EXPECT_EQ(ru.Status, 1) << c.File;
    EXPECT_NE(ru.Err.find(dir.File(c.File)), std::string::npos) << ru.Err;
    EXPECT_NE(ru.Err.find(c.Russian), std::string::npos) << ru.Err;
  }
}

}  // namespace
}  // namespace tarvik

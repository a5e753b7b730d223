// What reading headers, forming records, finding a record's files, loading its samples and a
// whole run give on the real files and on designed folders, written out as text and compared
// line by line with the text kept in tests/records/data/same_results.txt. The kept text was
// made by the code before header caching and header-only reading, so a difference here is a
// changed result, not a changed cost. TARVIK_WRITE_SAME_RESULTS=PATH writes the text made now.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "project/demo.h"
#include "project/driver.h"
#include "project/result_manifest.h"
#include "record_test_files.h"
#include "recording_ui_host.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::MsChannel;
using testing::RecordingUiHost;
using testing::TempDir;
using testing::TestSignal;
using testing::WriteMiniSeed;

constexpr double kSecond = 1.0 / kSecondsPerDay;

// FNV-1a over bytes, for samples and file contents.
class Hash {
 public:
  void Add(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) value_ = (value_ ^ p[i]) * 1099511628211ull;
  }
  void Add(const std::string& s) {
    Add(s.data(), s.size());
    Add("\x1f", 1);
  }
  template <typename T>
  void AddValue(T v) {
    Add(&v, sizeof v);
  }
  std::string Text() const {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value_));
    return buf;
  }

 private:
  uint64_t value_ = 14695981039346656037ull;
};

std::string Num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// Paths under root are written relative to it, so that the text does not depend on where the
// folders lie.
std::string Rel(const std::string& path, const std::string& root) {
  if (path.compare(0, root.size(), root) == 0) return "." + path.substr(root.size());
  return path;
}

std::string HeaderText(const TFileRecordInfo& h) {
  std::ostringstream out;
  out << "station=" << h.Station << " start=" << Num(h.Start) << " rate=" << Num(h.SampRate)
      << " samples=" << h.SampleCount << " channels=" << h.ChannelCount
      << " blocks=" << h.BlockCount << " block_samples=" << h.BlockSamples << " names=";
  for (int c = 0; c < kMaxChannels; ++c) {
    if (c < h.ChannelCount || !h.ChannelNames[c].empty()) out << h.ChannelNames[c] << ",";
  }
  out << " coefs=";
  for (int c = 0; c < std::clamp(h.ChannelCount, 0, kMaxChannels); ++c) {
    out << Num(h.ChannelCoefs[c]) << ",";
  }
  return out.str();
}

std::string RecordText(const TFileRecord& r, const std::string& root) {
  std::ostringstream out;
  out << "file=" << Rel(r.File, root) << " station=" << r.Station << " start=" << Num(r.Start)
      << " finish=" << Num(r.Finish) << " select=" << Num(r.SelectStart) << ".."
      << Num(r.SelectFinish) << " samples=" << r.SampleCount << " rate=" << Num(r.SampRate)
      << " channels=" << r.ChannelCount() << " [";
  for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
    out << r.Channels[c].Channel << ":" << ComponentNumber(r.Channels[c].Axis) << ":"
        << Num(r.Channels[c].ADCCoef) << ":" << r.Channels[c].Level << ":" << r.Channels[c].Selected
        << " ";
  }
  out << "]";
  return out.str();
}

std::string SegmentsText(const TRecList& list, const std::string& root) {
  Hash h;
  for (const TRecordDescription& s : list.Items) {
    h.Add(Rel(s.FileName, root));
    h.Add(s.Station);
    h.Add(s.Location);
    h.Add(s.Channel);
    h.AddValue(s.StartTime);
    h.AddValue(s.SampRate);
    h.AddValue(s.Calib);
    for (int32_t v : {s.DataType, s.Skip, s.Count, s.Stride, s.Offset, s.BlockSize, s.TimingQuality,
                      s.Handle}) {
      h.AddValue(v);
    }
  }
  return std::to_string(list.size()) + " segments " + h.Text();
}

// Every file below folder: its tag, its header and its segments.
void DescribeFiles(const std::string& folder, const std::string& root, std::ostream& out) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  for (const std::string& path : files) {
    const FormatTag tag = Recognize(path);
    out << "file " << Rel(path, root) << " tag=" << TagText(tag);
    if (tag != 0) {
      TFileRecordInfo info;
      const bool ok = ReadHeader(path, tag, info, 50.0).Ok();
      out << " ok=" << ok << " " << HeaderText(info);
      const FormatInfo* format = FindFormat(tag);
      if (format != nullptr && format->BuildSegments != nullptr) {
        TRecList list;
        try {
          format->BuildSegments(path, list, "");
        } catch (const std::exception&) {
          out << " throws";
        }
        out << " " << SegmentsText(list, root);
      }
    }
    out << "\n";
  }
}

// The records that adding files in the given order forms; for each, the files found again from
// its first file and the samples a load gives.
void DescribeRecords(const std::vector<std::string>& paths, const std::string& root,
                     const AssemblySettings& settings, std::ostream& out) {
  RecordingUiHost host;
  TFileRecords records;
  const std::vector<AddedFile> added = AddFiles(records, paths, settings, host);
  for (const AddedFile& a : added) {
    out << "add " << Rel(a.Path, root) << " status=" << static_cast<int>(a.Result.Status)
        << " tag=" << TagText(a.Result.Tag) << " record=" << a.Result.Record << "\n";
  }
  for (TFileRecord& r : records) {
    out << "record " << RecordText(r, root) << "\n";
    const RecordFiles files = FindRecordFiles(r.File, settings.WorkingRate, r.Start, r.Finish, host,
                                              nullptr, r.Station, RecordLocation(r));
    out << "  found tag=" << TagText(files.Tag) << " block_samples=" << files.BlockSamples
        << " total=" << files.TotalSamples << " first: " << HeaderText(files.First) << "\n";
    for (size_t k = 0; k < files.Paths.size(); ++k) {
      out << "    " << Rel(files.Paths[k], root) << " " << HeaderText(files.Headers[k]) << "\n";
    }
    TFileRecord loaded = r;
    TData32 data;
    LoadSettings load;
    load.DefaultRate = settings.WorkingRate;
    load.Demean = false;
    LoadReport report;
    const bool ok = LoadRecord(loaded, data, host, load, &report);
    Hash h;
    for (const std::vector<int32_t>& channel : data) {
      h.Add(channel.data(), channel.size() * sizeof(int32_t));
      h.Add("|", 1);
    }
    out << "  load ok=" << ok << " samples=" << loaded.SampleCount
        << " rate=" << Num(loaded.SampRate) << " channels=" << data.size()
        << " found=" << report.FilesFound << " read=" << report.FilesRead
        << " allocated=" << report.Allocated << " data=" << h.Text() << "\n";
  }
}

std::vector<std::string> FilesOf(const std::string& folder) {
  std::vector<std::string> out = ListFolder(folder, "*");
  return out;
}

// Hourly-style miniSEED pieces of two stations in one folder: continuous files, an overlap, a
// gap beyond the join tolerance, a file of the other extension, one the mask leaves out and one
// in a subfolder.
void WriteStationsFolder(const std::string& folder) {
  const TDateTime t0 = EncodeDateTime(2021, 6, 1, 10, 0, 0);
  auto piece = [&](const std::string& name, const std::string& station, double start_seconds,
                   int seed, size_t samples = 600) {
    MsChannel ch;
    ch.Station = station;
    ch.Rate = 10;
    ch.Start = t0 + start_seconds * kSecond;
    ch.Samples = TestSignal(samples, seed);
    WriteMiniSeed(folder + "/" + name, {ch});
  };
  fs::create_directories(folder + "/sub");
  for (int i = 0; i < 4; ++i) piece("AAA_" + std::to_string(i) + ".msd", "AAA", 60.0 * i, i + 1);
  piece("AAA_5.msd", "AAA", 300.0, 6);
  piece("AAA_6.msd", "AAA", 330.0, 7);  // overlaps the one before
  piece("AAA_8.mseed", "AAA", 30.0, 9, 100);
  piece("AAA_7.seed", "AAA", 30.0, 8, 100);
  piece("sub/AAA_9.msd", "AAA", 30.0, 10, 100);
  for (int i = 0; i < 3; ++i) piece("BBB_" + std::to_string(i) + ".msd", "BBB", 60.0 * i, i + 20);
  // Three channels in one file.
  std::vector<MsChannel> three;
  for (int c = 0; c < 3; ++c) {
    MsChannel ch;
    ch.Station = "CCC";
    ch.Channel = std::string("HH") + "ZNE"[c];
    ch.Rate = 10;
    ch.Start = t0;
    ch.Samples = TestSignal(900, 30 + c);
    three.push_back(ch);
  }
  WriteMiniSeed(folder + "/CCC_0.msd", three);
}

std::string MakeText() {
  std::ostringstream out;
  const std::string real = fs::path(testing::RealFile("")).lexically_normal().string();
  const std::string real_root = real.back() == '/' ? real.substr(0, real.size() - 1) : real;

  out << "# headers and segments of the real files\n";
  DescribeFiles(real_root, real_root, out);

  AssemblySettings settings;
  for (const char* sub : {"mseed", "gcf", "reftek", "css"}) {
    out << "# records of " << sub << "\n";
    DescribeRecords(FilesOf(real_root + "/" + sub), real_root, settings, out);
  }

  TempDir dir;
  const std::string root = dir.Path().string();
  const std::string stations = root + "/stations";
  WriteStationsFolder(stations);
  out << "# designed folder of two stations\n";
  DescribeFiles(stations, root, out);
  DescribeRecords(FilesOf(stations), root, settings, out);
  // Added in reverse order, files become first files of records they did not begin.
  std::vector<std::string> reversed = FilesOf(stations);
  std::reverse(reversed.begin(), reversed.end());
  out << "# the same added in reverse order\n";
  DescribeRecords(reversed, root, settings, out);

  // The demo recordings: three stations' consecutive files in one folder, the project a user
  // would make of them, its spectra and its ratios.
  TDemoOptions options;
  options.Stations = {{"TVK01", 2.0}, {"TVK02", 3.0}, {"TVK03", 5.0}};
  options.Files = 3;
  options.FileSeconds = 120.0;
  options.Rate = 50.0;
  options.TransientsPerFile = 1;
  RecordingUiHost host;
  TProject project;
  std::vector<TDemoRecording> recordings;
  std::string error;
  const std::string demo = root + "/demo";
  if (!BuildDemoProject(demo, kDemoGeophonePaz, options, host, project, recordings, error)) {
    out << "demo failed: " << error << "\n";
    return out.str();
  }
  out << "# demo folder\n";
  for (const TFileRecord& r : project.Records) out << "record " << RecordText(r, root) << "\n";
  DescribeRecords(FilesOf(demo + "/data"), root, settings, out);
  project.Folder = demo;
  const TResultFolders folders = DeriveResultFolders(project.General.ResultDir);
  for (int jobs : {1, 2}) {
    fs::remove_all(project.General.ResultDir);
    TRunOptions run;
    run.Jobs = jobs;
    const TRunReport primary = RunPrimary(project, folders, host, run);
    const TRunReport hv = RunHV(project, folders, host, TRunOptions{});
    out << "# run with " << jobs << " jobs: primary written=" << primary.Written.size()
        << " failed=" << primary.Failed.size() << " hv written=" << hv.Written.size()
        << " failed=" << hv.Failed.size() << "\n";
    std::vector<std::string> results;
    for (const auto& e : fs::recursive_directory_iterator(project.General.ResultDir)) {
      // The manifest holds the time of writing, not a result.
      if (e.is_regular_file() && e.path().filename() != kResultManifestName)
        results.push_back(e.path().string());
    }
    std::sort(results.begin(), results.end());
    for (const std::string& path : results) {
      Hash h;
      const std::vector<uint8_t> bytes = testing::ReadBytes(path);
      h.Add(bytes.data(), bytes.size());
      out << "result " << Rel(path, root) << " " << bytes.size() << " bytes " << h.Text() << "\n";
    }
    for (const TFileRecord& r : project.Records) out << "after " << RecordText(r, root) << "\n";
  }
  return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(SameResults, CorpusAndDesignedFoldersGiveTheKeptResults) {
  const std::string text = MakeText();
  if (const char* write = std::getenv("TARVIK_WRITE_SAME_RESULTS")) {
    std::ofstream(write, std::ios::binary) << text;
  }
  const std::string kept_path =
      std::string(TARVIK_TESTDATA_DIR) + "/../../tests/records/data/same_results.txt";
  std::ifstream kept_file(kept_path, std::ios::binary);
  ASSERT_TRUE(kept_file) << kept_path;
  std::stringstream kept;
  kept << kept_file.rdbuf();
  const std::vector<std::string> want = Lines(kept.str());
  const std::vector<std::string> got = Lines(text);
  int shown = 0;
  for (size_t i = 0; i < std::max(want.size(), got.size()) && shown < 20; ++i) {
    const std::string w = i < want.size() ? want[i] : "<none>";
    const std::string g = i < got.size() ? got[i] : "<none>";
    if (w != g) {
      ADD_FAILURE() << "line " << i + 1 << "\n kept: " << w << "\n  now: " << g;
      ++shown;
    }
  }
  EXPECT_EQ(want.size(), got.size());
}

}  // namespace
}  // namespace tarvik

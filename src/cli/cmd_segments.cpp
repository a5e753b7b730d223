// tarvik-cli segments FILE [--samples]: the segments a packet or index file is made of.

#include <cstdio>
#include <memory>
#include <string>

#include <algorithm>
#include <filesystem>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "common/paths.h"
#include "records/formats.h"
#include "records/read_samples.h"

namespace tarvik::cli {

namespace {

void PrintSamples(const std::vector<int32_t>& data, size_t count) {
  std::string line;
  for (size_t i = 0; i < count && i < data.size(); ++i) {
    if (i) line += ' ';
    line += std::to_string(data[i]);
  }
  std::printf("%s\n", line.c_str());
}

// Bytes of the file and of the files beside it with the same name and another extension (the
// channel files of a set), which bound what reading it can produce.
int64_t SetSize(const std::string& path) {
  const std::string name = FileName(path);
  const std::string stem = name.substr(0, name.rfind('.'));
  int64_t total = 0;
  for (const std::string& f : ListFolder(FolderOf(path), stem + ".*")) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(f, ec);
    if (!ec) total += static_cast<int64_t>(size);
  }
  return total;
}

// Formats read block by block have no segment list: read the file into a matrix as the loader
// would and describe one run per channel.
int DescribeSequential(const std::string& path, const FormatInfo& format, bool samples,
                       double default_rate) {
  TFileRecordInfo info;
  if (!ReadHeader(path, format.tag, info, default_rate)) {
    std::fprintf(stderr, "%s: the %s header cannot be read\n", path.c_str(), format.name);
    return 1;
  }
  const int channels = std::clamp(info.ChannelCount, 0, kMaxChannels);
  const int64_t length = std::clamp<int64_t>(info.SampleCount, 0, MaxSamplesInFile(SetSize(path)));
  TData32 data(static_cast<size_t>(channels), std::vector<int32_t>(static_cast<size_t>(length)));
  LoadTarget target;
  target.data = &data;
  target.record_start = info.Start;
  target.first = info;
  target.default_rate = default_rate;
  format.read_into(path, target);
  std::printf("station\tlocation\tchannel\tstart\trate\tcount\ttype\toffset\n");
  for (int c = 0; c < channels; ++c) {
    int64_t count = target.position;
    if (c < 16) count = std::max(count, target.channel_positions[static_cast<size_t>(c)]);
    count = std::min(count, length);
    std::printf("%s\t00\t%s\t%s\t%s\t%lld\ti4\t0\n", info.Station.c_str(),
                info.ChannelNames[static_cast<size_t>(c)].c_str(), FormatIso(info.Start).c_str(),
                FormatNumber(info.SampRate).c_str(), static_cast<long long>(count));
    if (samples) PrintSamples(data[static_cast<size_t>(c)], static_cast<size_t>(count));
  }
  return 0;
}

}  // namespace

void RegisterSegments(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string file;
    bool samples = false;
    std::string station;
    double default_rate = 100.0;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("segments", "List the segments the format's builder makes");
  cmd->add_option("FILE", opt->file, "seismogram file")->required();
  cmd->add_flag("--samples", opt->samples, "print the decoded samples of each segment");
  cmd->add_option("--station", opt->station, "only this station's lines (index files)");
  cmd->add_option("--rate", opt->default_rate,
                  "sampling rate for formats that do not store one (Hz)")
      ->capture_default_str();
  cmd->callback([opt, &result] {
    const FormatTag tag = Recognize(opt->file);
    const FormatInfo* format = FindFormat(tag);
    if (format == nullptr) {
      std::fprintf(stderr, "%s: not a recognised seismogram file\n", opt->file.c_str());
      result.status = 1;
      return;
    }
    if (format->build_segments == nullptr) {
      if (format->read_into == nullptr) {
        std::fprintf(stderr, "%s: %s files cannot be read\n", opt->file.c_str(), format->name);
        result.status = 1;
        return;
      }
      result.status = DescribeSequential(opt->file, *format, opt->samples, opt->default_rate);
      return;
    }
    TRecList list;
    format->build_segments(opt->file, list, opt->station);
    std::printf("station\tlocation\tchannel\tstart\trate\tcount\ttype\toffset\n");
    SampleReader reader;
    for (const TRecordDescription& seg : list.Items) {
      std::printf("%s\t%s\t%s\t%s\t%s\t%d\t%s\t%d\n", seg.Station.c_str(), seg.Location.c_str(),
                  seg.Channel.c_str(), FormatIso(seg.StartTime).c_str(),
                  FormatNumber(seg.SampRate).c_str(), seg.Count,
                  std::string(SampleTypeText(seg.DataType)).c_str(), seg.Offset);
      if (opt->samples) {
        const std::vector<int32_t> data = reader.Read(seg);
        PrintSamples(data, data.size());
      }
    }
    result.status = 0;
  });
}

}  // namespace tarvik::cli

// tarvik-cli segments FILE [--samples] [--json]: the segments a packet or index file is made of.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/record_options.h"
#include "common/paths.h"
#include "records/formats.h"
#include "records/read_samples.h"

namespace tarvik::cli {

namespace {

// One segment, as a TSV line or as a JSON object.
struct SegmentRow {
  std::string Station, Location, Channel;
  TDateTime Start = 0.0;
  double Rate = 0.0;
  int64_t Count = 0;
  std::string Type;
  int64_t Offset = 0;
  std::vector<int32_t> Samples;
  bool WithSamples = false;
};

// Prints segments as TSV lines as they come, or gathers them into one JSON document.
class SegmentPrinter {
 public:
  explicit SegmentPrinter(bool json) : json_(json) {}

  void Add(const SegmentRow& r) {
    if (json_) {
      nlohmann::ordered_json j = {{"station", r.Station}, {"location", r.Location},
                                  {"channel", r.Channel}, {"start", FormatIso(r.Start)},
                                  {"samp_rate", r.Rate},  {"count", r.Count},
                                  {"type", r.Type},       {"offset", r.Offset}};
      if (r.WithSamples) j["samples"] = r.Samples;
      segments_.push_back(std::move(j));
      return;
    }
    if (!header_printed_) {
      std::printf("station\tlocation\tchannel\tstart\trate\tcount\ttype\toffset\n");
      header_printed_ = true;
    }
    std::printf("%s\t%s\t%s\t%s\t%s\t%lld\t%s\t%lld\n", r.Station.c_str(), r.Location.c_str(),
                r.Channel.c_str(), FormatIso(r.Start).c_str(), FormatNumber(r.Rate).c_str(),
                static_cast<long long>(r.Count), r.Type.c_str(), static_cast<long long>(r.Offset));
    if (!r.WithSamples) return;
    std::string line;
    for (size_t i = 0; i < r.Samples.size(); ++i) {
      if (i) line += ' ';
      line += std::to_string(r.Samples[i]);
    }
    std::printf("%s\n", line.c_str());
  }

  void Finish(const std::string& path, const char* format) {
    if (!json_) return;
    const nlohmann::ordered_json doc = {
        {"file", path}, {"format", format}, {"segments", segments_}};
    // Compact: with --samples the document holds every sample.
    std::printf("%s\n", doc.dump().c_str());
  }

 private:
  bool json_;
  bool header_printed_ = false;
  nlohmann::ordered_json segments_ = nlohmann::ordered_json::array();
};

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

// Formats read block by block have no segment list: the file is read into a matrix as the
// loader would, one run per channel.
std::vector<SegmentRow> SequentialRows(const std::string& path, const FormatInfo& format,
                                       const TFileRecordInfo& info, bool samples,
                                       double default_rate) {
  const int channels = std::clamp(info.ChannelCount, 0, kMaxChannels);
  const int64_t length = std::clamp<int64_t>(info.SampleCount, 0, MaxSamplesInFile(SetSize(path)));
  TData32 data(static_cast<size_t>(channels), std::vector<int32_t>(static_cast<size_t>(length)));
  LoadTarget target;
  target.Data = &data;
  target.RecordStart = info.Start;
  target.First = info;
  target.DefaultRate = default_rate;
  format.ReadInto(path, target);
  std::vector<SegmentRow> rows;
  for (int c = 0; c < channels; ++c) {
    int64_t count = target.Position;
    if (c < 16) count = std::max(count, target.ChannelPositions[static_cast<size_t>(c)]);
    count = std::min(count, length);
    SegmentRow r{info.Station,
                 "00",
                 info.ChannelNames[static_cast<size_t>(c)],
                 info.Start,
                 info.SampRate,
                 count,
                 "i4",
                 0,
                 {},
                 samples};
    if (samples) {
      const auto& row = data[static_cast<size_t>(c)];
      r.Samples.assign(row.begin(), row.begin() + count);
    }
    rows.push_back(std::move(r));
  }
  return rows;
}

}  // namespace

void RegisterSegments(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string File;
    bool Samples = false;
    std::string Station;
    double DefaultRate = cli::DefaultRate();
    bool Json = false;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("segments", "List the segments the format's builder makes");
  cmd->add_option("FILE", opt->File, "seismogram file")->required();
  cmd->add_flag("--samples", opt->Samples, "print the decoded samples of each segment");
  cmd->add_option("--station", opt->Station, "only this station's lines (index files)");
  cmd->add_option("--rate", opt->DefaultRate,
                  "sampling rate for formats that do not store one (Hz)")
      ->check(PositiveNumber())
      ->capture_default_str();
  cmd->add_flag("--json", opt->Json, "one JSON document: the file, its format and its segments");
  cmd->callback([opt, &result] {
    TFileRecordInfo info;
    const FileReading reading = ReadFileHeader(opt->File, opt->DefaultRate, info);
    const FormatInfo* format = FindFormat(reading.Tag);
    if (!reading.Error.Ok() || format == nullptr) {
      ErrReason(opt->File, Told(reading.Error.Code, reading.Error.Args));
      result.Status = 1;
      return;
    }
    const auto nothing = [&] {
      if (opt->Station.empty()) {
        ErrLine(TCode::kCliNoValidRecord, {opt->File, format->Name});
      } else {
        ErrLine(TCode::kCliNoValidRecordOf, {opt->File, format->Name, opt->Station});
      }
      result.Status = 1;
    };
    SegmentPrinter printer(opt->Json);
    if (format->BuildSegments == nullptr) {
      if (format->ReadInto == nullptr) {
        ErrLine(TCode::kCliFilesUnreadable, {opt->File, format->Name});
        result.Status = 1;
        return;
      }
      const std::vector<SegmentRow> rows =
          SequentialRows(opt->File, *format, info, opt->Samples, opt->DefaultRate);
      if (rows.empty()) return nothing();
      for (const SegmentRow& r : rows) printer.Add(r);
    } else {
      TRecList list;
      format->BuildSegments(opt->File, list, opt->Station);
      if (list.Items.empty()) return nothing();
      // Each segment's samples are decoded and printed in turn, so that a long file is never
      // held whole.
      SampleReader reader;
      for (const TRecordDescription& seg : list.Items) {
        SegmentRow r{seg.Station,
                     seg.Location,
                     seg.Channel,
                     seg.StartTime,
                     seg.SampRate,
                     seg.Count,
                     std::string(SampleTypeText(seg.DataType)),
                     seg.Offset,
                     {},
                     opt->Samples};
        if (opt->Samples) r.Samples = reader.Read(seg);
        printer.Add(r);
      }
    }
    printer.Finish(opt->File, format->Name);
    result.Status = 0;
  });
}

}  // namespace tarvik::cli

// tarvik-cli segments FILE [--samples]: the segments a packet or index file is made of.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "records/formats.h"
#include "records/read_samples.h"

namespace tarvik::cli {

void RegisterSegments(CLI::App& app, CommandResult& result) {
  struct Options {
    std::string file;
    bool samples = false;
    std::string station;
  };
  auto opt = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("segments", "List the segments the format's builder makes");
  cmd->add_option("FILE", opt->file, "seismogram file")->required();
  cmd->add_flag("--samples", opt->samples, "print the decoded samples of each segment");
  cmd->add_option("--station", opt->station, "only this station's lines (index files)");
  cmd->callback([opt, &result] {
    const FormatTag tag = Recognize(opt->file);
    const FormatInfo* format = FindFormat(tag);
    if (format == nullptr) {
      std::fprintf(stderr, "%s: not a recognised seismogram file\n", opt->file.c_str());
      result.status = 1;
      return;
    }
    if (format->build_segments == nullptr) {
      std::fprintf(stderr, "%s: %s files are read block by block and have no segment list\n",
                   opt->file.c_str(), format->name);
      result.status = 1;
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
        std::string line;
        for (size_t i = 0; i < data.size(); ++i) {
          if (i) line += ' ';
          line += std::to_string(data[i]);
        }
        std::printf("%s\n", line.c_str());
      }
    }
    result.status = 0;
  });
}

}  // namespace tarvik::cli

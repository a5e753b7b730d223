// A record of one or two arbitrary miniSEED or GCF files read in blocks must give, block after
// block, the samples, unread spans and length of the same record loaded whole. The first input
// byte picks the format (bit 0) and where the rest is split into two files (the others: none,
// or a fraction of the bytes); blocks of 1 to 64 samples and the files decoded again in the
// second pass make every border of the reading appear.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/ui_host.h"
#include "fuzz_support.h"
#include "records/assembly.h"
#include "records/load_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  if (size < 2) return 0;
  const bool gcf = (data[0] & 1) != 0;
  const size_t rest = size - 2;
  const size_t split = (data[0] >> 1) == 0 ? rest : rest * (data[0] >> 1) / 128;
  const int64_t block = 1 + data[1] % 64;
  const char* ext = gcf ? ".gcf" : ".msd";
  std::vector<std::string> paths = {
      fuzz::WriteScratchFile(std::string("a") + ext, data + 2, split)};
  if (split < rest) {
    paths.push_back(fuzz::WriteScratchFile(std::string("b") + ext, data + 2 + split, rest - split));
  }

  AssemblySettings settings;
  settings.MaxSpan = 999;
  TFileRecords records;
  NullUiHost host;
  AddFiles(records, paths, settings, host);
  for (const TFileRecord& found : records) {
    for (const bool demean : {true, false}) {
      LoadSettings load;
      load.Demean = demean;
      TFileRecord whole_record = found;
      TData32 whole;
      LoadReport report;
      const bool loaded = LoadRecord(whole_record, whole, host, load, &report);
      TFileRecord block_record = found;
      RecordBlocks blocks;
      if (blocks.Open(block_record, host, load, nullptr, block, 0) != loaded) __builtin_trap();
      if (!loaded) continue;
      if (blocks.Count() != whole_record.SampleCount ||
          block_record.SampleCount != whole_record.SampleCount ||
          blocks.Unread() != report.Unread) {
        __builtin_trap();
      }
      int64_t at = 0;
      RecordBlock got;
      while (blocks.Next(got)) {
        if (got.First != at || got.Samples.size() != whole.size()) __builtin_trap();
        for (size_t c = 0; c < whole.size(); ++c) {
          const auto n = static_cast<int64_t>(got.Samples[c].size());
          if (n > block || at + n > static_cast<int64_t>(whole[c].size())) __builtin_trap();
          for (int64_t i = 0; i < n; ++i) {
            if (got.Samples[c][static_cast<size_t>(i)] != whole[c][static_cast<size_t>(at + i)]) {
              __builtin_trap();
            }
          }
        }
        at += whole.empty() ? 0 : static_cast<int64_t>(got.Samples[0].size());
        if (whole.empty()) break;
      }
      if (!whole.empty() && at != static_cast<int64_t>(whole[0].size())) __builtin_trap();
    }
  }

  std::error_code ec;
  for (const std::string& path : paths) std::filesystem::remove(path, ec);
  return 0;
}

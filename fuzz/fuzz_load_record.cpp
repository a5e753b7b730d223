// One arbitrary file under each recognised extension: recognition, header reading, adding it
// as a record and loading that record's samples. The first input byte picks the file name
// (its extension decides the format); TARVIK_FUZZ_FORMAT=<key> pins one name for a whole run,
// the first byte then being ignored. Keys: sl rec bi sdas iss ugr wfd gcf msd adb ddb baikal
// reftek.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/ui_host.h"
#include "fuzz_support.h"
#include "records/assembly.h"
#include "records/formats.h"
#include "records/load_record.h"

namespace {

struct NamedFormat {
  const char* Key;
  const char* File;
};

// Names that the record masks of their formats also match, so that the file search runs.
constexpr NamedFormat kNames[] = {
    {"sl", "fuzz.sl"},
    {"rec", "fuzz.rec"},
    {"bi", "fuzz.bi"},
    {"sdas", "fuzz.sdas"},
    {"iss", "fuzz.iss_dat"},
    {"ugr", "050307_12Z3015_25.ugrABC"},
    {"wfd", "fuzz.wfd"},
    {"gcf", "fuzz.gcf"},
    {"msd", "fuzz.msd"},
    {"adb", "fuzz.adb"},
    {"ddb", "fuzz.ddb"},
    {"baikal", "2005030u.baikal"},
    {"reftek", "123456789_0000ABCD"},
};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

int PinnedFormat() {
  const char* key = std::getenv("TARVIK_FUZZ_FORMAT");
  if (key == nullptr) return -1;
  for (size_t i = 0; i < kNameCount; ++i) {
    if (std::strcmp(kNames[i].Key, key) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvik;
  if (size == 0) return 0;
  static const int kPinned = PinnedFormat();
  const size_t pick = kPinned >= 0 ? static_cast<size_t>(kPinned) : data[0] % kNameCount;
  // The scratch folder is the process's own and the file goes when the input is done, so the
  // folder search sees this input only.
  const std::string path = fuzz::WriteScratchFile(kNames[pick].File, data + 1, size - 1);

  const FormatTag tag = Recognize(path);
  TFileRecordInfo info;
  ReadHeader(path, tag, info, 50.0);

  AssemblySettings settings;
  TFileRecords records;
  AddFile(records, path, settings);
  // Files that are not added (no rate, no reader) are loaded all the same, as a record formed
  // straight from their header.
  TFileRecord record = records.empty() ? FormRecord(path, info, true) : records.front();
  NullUiHost host;
  TData32 samples;
  LoadReport report;
  if (LoadRecord(record, samples, host, LoadSettings(), &report)) {
    // One list of unread spans per channel, sorted, apart, inside the samples, and read as 0.
    if (report.Unread.size() != samples.size()) __builtin_trap();
    for (size_t c = 0; c < samples.size(); ++c) {
      int64_t previous = -2;
      for (const auto& [a, b] : report.Unread[c]) {
        if (a <= previous + 1 || b < a || b >= static_cast<int64_t>(samples[c].size())) {
          __builtin_trap();
        }
        for (int64_t i = a; i <= b; ++i) {
          if (samples[c][static_cast<size_t>(i)] != 0) __builtin_trap();
        }
        previous = b;
      }
    }
  }

  std::error_code ec;
  std::filesystem::remove(path, ec);
  return 0;
}

#include "records/formats.h"

#include <array>
#include <exception>

#include "common/binary_file.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "records/adb_ddb.h"
#include "records/baikal.h"
#include "records/bigeo.h"
#include "records/gcf.h"
#include "records/iss_text.h"
#include "records/miniseed.h"
#include "records/rec.h"
#include "records/reftek.h"
#include "records/sdas.h"
#include "records/sl.h"
#include "records/ugr.h"
#include "records/wfdisc.h"

namespace tarvik {

namespace {

// The SL tags share one reader; "[HS1" is never produced by recognition but is read alike.
constexpr std::array<FormatInfo, 20> kFormats = {{
    {kTagSL0, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl"},
    {kTagSL1, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl"},
    {kTagSL2, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl"},
    {kTagSL3, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl"},
    {kTagSL4, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl"},
    {kTagRec1, "REC", ReadRecHeader1, nullptr, ReadRecInto, "*.rec"},
    {kTagRec2, "REC", ReadRecHeader2, nullptr, ReadRecInto, "*.rec"},
    {kTagRecC1, "REC block", nullptr, nullptr, nullptr, nullptr},
    {kTagSdasBad, "SDAS (unreadable header)", nullptr, nullptr, nullptr, nullptr},
    {kTagSdas, "SDAS", ReadSdasHeader, nullptr, ReadSdasInto, "*.sdas"},
    {kTagBiGeo, "BI/GEO", nullptr, nullptr, nullptr, nullptr},
    {kTagIssText, "ISS text", ReadIssHeader, nullptr, ReadIssInto, "*.iss_dat"},
    {kTagUgr, "UGR one-component", ReadUgrHeader, nullptr, ReadUgrInto, "?????????Z*.ugr*"},
    {kTagWfdisc, "CSS 3.0 wfdisc", ReadWfdiscHeader, BuildWfdiscSegments, nullptr, "*.wfd*"},
    {kTagGcf, "GCF", ReadGcfHeader, BuildGcfSegments, nullptr, "*.gcf"},
    {kTagMiniSeed, "miniSEED", ReadMiniSeedHeader, BuildMiniSeedSegments, nullptr, "*.msd"},
    {kTagAdb, "ADB", ReadAdbHeader, BuildAdbSegments, nullptr, nullptr},
    {kTagDdb, "DDB", ReadDdbHeader, BuildDdbSegments, nullptr, nullptr},
    {kTagBaikal, "Baikal", ReadBaikalHeader, BuildBaikalSegments, nullptr, "????????u*.*"},
    {kTagReftek, "Reftek 130", ReadReftekHeader, BuildReftekSegments, ReadReftekInto,
     "?????????_*"},
}};

FormatTag RecognizeOrThrow(const std::string& path) {
  BinaryFile file;
  if (!file.Open(path)) return 0;
  const std::string ext = AsciiUpper(FileExtension(path));
  if (ext == ".SL") return file.Size() > 40 ? RecognizeSl(path, nullptr) : 0;
  if (ext == ".REC") return ReadFirstBlockTag(path);
  if (ext == ".BI" || ext == ".GEO") return IsBiGeoFile(path) ? kTagBiGeo : kTagBiGeoProvisional;
  if (ext == ".SDAS") {
    TFileRecordInfo info;
    return ReadSdasHeader(path, info, 0.0) ? kTagSdas : kTagSdasBad;
  }
  if (ext == ".TXT" || ext == ".DAT" || ext == ".ISS_DAT") return kTagIssText;
  if (ext.compare(0, 4, ".UGR") == 0) return kTagUgr;
  if (ext == ".WFDISC" || ext == ".WFD") return kTagWfdisc;
  if (ext == ".GCF") return kTagGcf;
  if (ext == ".MSD" || ext == ".MSEED") return kTagMiniSeed;
  if (ext == ".ADB") return kTagAdb;
  if (ext == ".DDB") return kTagDdb;
  if (ext == ".BAIKAL" || ext == ".00") return kTagBaikal;
  uint8_t head[8];
  if (!file.ReadExact(0, head, sizeof head)) return 0;
  if ((head[0] == 'E' && head[1] == 'H') || (head[0] == 'D' && head[1] == 'T')) return kTagReftek;
  return 0;
}

}  // namespace

const FormatInfo* FindFormat(FormatTag tag) {
  for (const FormatInfo& f : kFormats) {
    if (f.tag == tag) return &f;
  }
  return nullptr;
}

std::span<const FormatInfo> AllFormats() { return kFormats; }

FormatTag Recognize(const std::string& path) {
  try {
    return RecognizeOrThrow(path);
  } catch (const std::exception&) {
    return 0;
  }
}

bool ReadHeader(const std::string& path, FormatTag tag, TFileRecordInfo& info,
                double default_rate) {
  const FormatInfo* f = FindFormat(tag);
  if (f == nullptr || f->read_header == nullptr) return false;
  try {
    return f->read_header(path, info, default_rate);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace tarvik

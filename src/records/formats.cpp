#include "records/formats.h"

#include <bzlib.h>

#include <algorithm>
#include <array>
#include <exception>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/paths.h"
#include "common/text_encoding.h"
#include "records/adb_ddb.h"
#include "records/baikal.h"
#include "records/bigeo.h"
#include "records/gcf.h"
#include "records/iss_text.h"
#include "records/miniseed.h"
#include "records/miniseed3.h"
#include "records/read_samples.h"
#include "records/rec.h"
#include "records/reftek.h"
#include "records/sac.h"
#include "records/saf.h"
#include "records/sdas.h"
#include "records/seg2.h"
#include "records/sl.h"
#include "records/ugr.h"
#include "records/wfdisc.h"

namespace tarvik {

namespace {

int64_t OwnFileCapacity(const std::string& path) {
  BinaryFile file;
  return file.Open(path) ? MaxSamplesInFile(file.Size()) : 0;
}

// An SL set keeps each channel's samples in its own data file; the largest one bounds them.
int64_t SlCapacity(const std::string& path, const TFileRecordInfo& info) {
  int64_t most = 0;
  const int channels = std::clamp(info.ChannelCount, 1, kMaxChannels);
  for (int c = 0; c < channels; ++c) {
    most = std::max(most, OwnFileCapacity(SlChannelFileName(path, c)));
  }
  return most;
}

// A wfdisc index only points at its data files.
int64_t WfdiscCapacity(const std::string& path, const TFileRecordInfo& info) {
  TRecList list;
  BuildWfdiscSegments(path, list, info.Station);
  std::vector<std::string> files;
  for (const TRecordDescription& seg : list.Items) files.push_back(seg.FileName);
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  int64_t total = 0;
  for (const std::string& f : files) total += OwnFileCapacity(f);
  return total;
}

// The bytes a bzip2 stream of size bytes at offset decompresses to, counting no further than
// limit; what was decoded before any damage.
int64_t Bzip2OutputSize(BinaryFile& file, int64_t offset, int64_t size, int64_t limit) {
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return 0;
  std::vector<char> in(1 << 16);
  std::vector<char> out(1 << 16);
  int64_t produced = 0;
  int64_t at = offset;
  const int64_t end = offset + size;
  while (produced < limit) {
    if (stream.avail_in == 0 && at < end) {
      const auto want = static_cast<size_t>(std::min<int64_t>(end - at, std::ssize(in)));
      const size_t got = file.ReadAt(at, in.data(), want);
      at = got == 0 ? end : at + static_cast<int64_t>(got);
      stream.next_in = in.data();
      stream.avail_in = static_cast<unsigned>(got);
    }
    stream.next_out = out.data();
    stream.avail_out = static_cast<unsigned>(out.size());
    const int rc = BZ2_bzDecompress(&stream);
    produced += static_cast<int64_t>(out.size() - stream.avail_out);
    if (rc != BZ_OK) break;  // the end of the stream, or damage
    if (stream.avail_out == out.size() && stream.avail_in == 0 && at >= end) break;
  }
  BZ2_bzDecompressEnd(&stream);
  return std::min(produced, limit);
}

// Plain data blocks hold no more samples than MaxSamplesInFile of their bytes, but a "[DSZ"
// block of slowly varying samples compresses far below that; when the header claims more than
// the plain bound, the compressed runs are measured (never beyond the claim).
int64_t RecCapacity(const std::string& path, const TFileRecordInfo& info) {
  BinaryFile file;
  if (!file.Open(path)) return 0;
  const int64_t size = file.Size();
  const int64_t plain = MaxSamplesInFile(size);
  const int64_t claim = std::max<int64_t>(info.SampleCount, 0);
  if (claim <= plain) return plain;
  const int channels = std::clamp(info.ChannelCount, 1, kMaxChannels);
  int64_t total = 0;
  RecBlock block;
  for (int64_t at = 0; total < claim && ReadRecBlockAt(file, at, block);
       at = NextRecBlockOffset(block)) {
    if (!IsRecDataTag(block.Tag)) continue;
    const int64_t body_end = std::min(block.BodyOffset + block.Length, size);
    if (block.Tag != kBlockDSZ) {
      total += MaxSamplesInFile(std::max<int64_t>(body_end - block.BodyOffset, 0));
      continue;
    }
    int64_t longest = 0;
    int64_t run = block.BodyOffset + kRecDataHeaderSize;
    for (int c = 0; c < channels && run + 4 <= body_end; ++c) {
      uint8_t head[4];
      if (!file.ReadExact(run, head, 4)) break;
      const int64_t packed = std::min<int64_t>(LoadI32LE(head), body_end - run - 4);
      if (packed < 0) break;
      const int64_t bytes = Bzip2OutputSize(file, run + 4, packed, (claim - total) * 4);
      longest = std::max(longest, bytes / 4);
      run += 4 + packed;
    }
    total += longest;
  }
  return std::max(plain, std::min(total, claim));
}

// The SL tags share one reader; "[HS1" is never produced by recognition but is read alike.
// miniSEED records continue in files of either extension that recognition accepts.
constexpr std::array<FormatInfo, 24> kFormats = {{
    {kTagSL0, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl", SlCapacity},
    {kTagSL1, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl", SlCapacity},
    {kTagSL2, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl", SlCapacity},
    {kTagSL3, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl", SlCapacity},
    {kTagSL4, "SL", ReadSlHeader, nullptr, ReadSlInto, "*.sl", SlCapacity},
    {kTagRec1, "REC", ReadRecHeader1, nullptr, ReadRecInto, "*.rec", RecCapacity},
    {kTagRec2, "REC", ReadRecHeader2, nullptr, ReadRecInto, "*.rec", RecCapacity},
    {kTagRecC1, "REC block", nullptr, nullptr, nullptr, nullptr, nullptr},
    {kTagSdasBad, "SDAS (unreadable header)", nullptr, nullptr, nullptr, nullptr, nullptr},
    {kTagSdas, "SDAS", ReadSdasHeader, nullptr, ReadSdasInto, "*.sdas", nullptr},
    {kTagBiGeo, "BI/GEO", nullptr, nullptr, nullptr, nullptr, nullptr},
    {kTagIssText, "ISS text", ReadIssHeader, nullptr, ReadIssInto, "*.iss_dat", nullptr},
    {kTagUgr, "UGR one-component", ReadUgrHeader, nullptr, ReadUgrInto, "?????????Z*.ugr*",
     nullptr},
    {kTagWfdisc, "CSS 3.0 wfdisc", ReadWfdiscHeader, BuildWfdiscSegments, nullptr, "*.wfd*",
     WfdiscCapacity},
    {kTagGcf, "GCF", ReadGcfHeader, BuildGcfSegments, nullptr, "*.gcf", nullptr},
    {kTagMiniSeed, "miniSEED", ReadMiniSeedHeader, BuildMiniSeedSegments, nullptr,
     "*.msd;*.mseed;*.miniseed", nullptr},
    {kTagAdb, "ADB", ReadAdbHeader, BuildAdbSegments, nullptr, nullptr, nullptr},
    {kTagDdb, "DDB", ReadDdbHeader, BuildDdbSegments, nullptr, nullptr, nullptr},
    {kTagBaikal, "Baikal", ReadBaikalHeader, BuildBaikalSegments, nullptr, "????????u*.*", nullptr},
    {kTagReftek, "Reftek 130", ReadReftekHeader, BuildReftekSegments, ReadReftekInto, "?????????_*",
     nullptr},
    {kTagSeg2, "SEG-2", ReadSeg2Header, nullptr, ReadSeg2Into, "*.seg2;*.sg2;*.dat", nullptr},
    {kTagMiniSeed3, "miniSEED 3", ReadMiniSeed3Header, BuildMiniSeed3Segments, nullptr,
     "*.ms3;*.mseed3;*.mseed;*.msd;*.miniseed", nullptr},
    {kTagSac, "SAC", ReadSacHeader, BuildSacSegments, ReadSacInto, "*.sac", nullptr},
    {kTagSaf, "SAF", ReadSafHeader, BuildSafSegments, ReadSafInto, "*.saf", nullptr},
}};

// A miniSEED 2 record begins with a six-character sequence number (digits, blanks or zeros),
// a data-quality letter and a blank, and its fixed header and blockette 1000 must read as one
// record that lies wholly in the file.
bool LooksLikeMiniSeed2(std::span<const uint8_t> head, int64_t file_size) {
  if (head.size() < static_cast<size_t>(kMiniSeedFixedHeader)) return false;
  for (size_t i = 0; i < 6; ++i) {
    const uint8_t c = head[i];
    if (!((c >= '0' && c <= '9') || c == ' ' || c == 0)) return false;
  }
  if (std::string_view("DRQM").find(static_cast<char>(head[6])) == std::string_view::npos) {
    return false;
  }
  if (head[7] != ' ' && head[7] != 0) return false;
  TMiniSEEDPacket packet;
  return ParseMiniSeedRecord(head, file_size, packet) == MiniSeedStatus::kOk;
}

// GCF blocks carry no signature; a first block whose every head field is in range and whose
// decoded differences end on the block's own reverse integration constant is GCF.
bool LooksLikeGcf(std::span<const uint8_t> head) {
  if (head.size() < static_cast<size_t>(kGcfBlockBytes)) return false;
  const TGcfBlockHeader h =
      ParseGcfBlockHeader(std::span<const uint8_t, kGcfHeaderBytes>(head.data(), kGcfHeaderBytes));
  if (!h.CarriesSamples || h.SampleCount <= 0) return false;
  std::vector<int32_t> samples(static_cast<size_t>(h.SampleCount));
  const std::span<const uint8_t> data = head.subspan(kGcfHeaderBytes, kGcfDataBytes);
  const size_t decoded = DecodeGcf(data, h.Compression, samples);
  return decoded == samples.size() &&
         GcfSoundSamples(data, h.Compression, samples, decoded) == decoded;
}

// Formats known by their first bytes whatever the file's name ("x.dat" may be SEG-2, an SDS
// day file or a name without extension miniSEED). A signature is taken together with the header
// fields around it, which no file of the formats the extension rules name begins with.
FormatTag RecognizeByContent(BinaryFile& file) {
  std::vector<uint8_t> head(kMiniSeedDefaultRecordLength);
  head.resize(file.ReadAt(0, head.data(), head.size()));
  const std::span<const uint8_t> bytes(head);
  if (LooksLikeSeg2(bytes, file.Size())) return kTagSeg2;
  if (LooksLikeMiniSeed3(bytes)) return kTagMiniSeed3;
  if (LooksLikeMiniSeed2(bytes, file.Size())) return kTagMiniSeed;
  if (LooksLikeSacHeader(bytes.data(), bytes.size())) return kTagSac;
  if (LooksLikeGcf(bytes)) return kTagGcf;
  return 0;
}

FormatTag RecognizeOrThrow(const std::string& path) {
  BinaryFile file;
  if (!file.Open(path)) return 0;
  if (const FormatTag tag = RecognizeByContent(file); tag != 0) return tag;
  // A SAF file names its format on its first line, which no file of another format begins with,
  // so it is known by that whatever its name.
  if (IsSafFile(path)) return kTagSaf;
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
  if (ext == ".MSD" || ext == ".MSEED" || ext == ".MINISEED") return kTagMiniSeed;
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
    if (f.Tag == tag) return &f;
  }
  return nullptr;
}

std::span<const FormatInfo> AllFormats() {
  return kFormats;
}

int64_t SampleCapacityOf(const std::string& path, FormatTag tag, const TFileRecordInfo& info) {
  const FormatInfo* f = FindFormat(tag);
  try {
    if (f != nullptr && f->SampleCapacity != nullptr) return f->SampleCapacity(path, info);
    return OwnFileCapacity(path);
  } catch (const std::exception&) {
    return 0;
  }
}

std::vector<std::string> ListRecordMask(const std::string& folder, std::string_view mask) {
  std::vector<std::string> out;
  while (!mask.empty()) {
    const size_t cut = mask.find(';');
    const std::string_view one = mask.substr(0, cut);
    if (!one.empty()) {
      std::vector<std::string> found = ListFolder(folder, one);
      out.insert(out.end(), found.begin(), found.end());
    }
    mask = cut == std::string_view::npos ? std::string_view() : mask.substr(cut + 1);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

FormatTag Recognize(const std::string& path, TStatus* status) {
  FormatTag tag = 0;
  TStatus found;
  try {
    tag = RecognizeOrThrow(path);
    if (tag == 0 && status != nullptr) {
      BinaryFile file;
      found =
          MakeStatus(file.Open(path) ? TCode::kFormatNotRecognized : TCode::kRecordFileNotOpened);
    }
  } catch (const std::exception& e) {
    // A damaged file may claim sizes no allocation can meet; it is refused, not fatal.
    found = MakeStatus(TCode::kReaderFailed, {e.what()});
  }
  if (!found.Ok()) found.File = path;
  if (status != nullptr) *status = std::move(found);
  return tag;
}

std::vector<std::string> RecognizedFilesIn(const std::string& folder) {
  std::vector<std::string> out = ListFolder(folder, "*");
  std::erase_if(out, [](const std::string& f) { return Recognize(f) == 0; });
  return out;
}

namespace {

// The refusals that tell of a file ending before what the reader needs.
bool TellsOfCut(const TStatus& reason) {
  switch (reason.Code) {
    case TCode::kRefuseShorterThanHeader:
    case TCode::kRefuseShorterThanRecordHeader:
    case TCode::kRefuseHeaderPastEnd:
    case TCode::kRefuseLengthsPastEnd:
    case TCode::kRefuseShorterThanBlock:
    case TCode::kRefuseShorterThanChannelHeaders:
    case TCode::kRefuseRecHeaderCut:
    case TCode::kRefuseShorterThanDescriptor:
    case TCode::kRefusePointerBlockPastEnd:
    case TCode::kRefuseDescriptorPastEnd:
    case TCode::kRefuseBlockSize:
    case TCode::kRefuseShorterThanSacHeader:
    case TCode::kRefuseShorterThanPacket:
    case TCode::kRefuseShorterThanPacketHead:
      return true;
    default:
      break;
  }
  for (const TArg& arg : reason.Args) {
    if (arg.Nested != nullptr && TellsOfCut(*arg.Nested)) return true;
  }
  return false;
}

// The status of a header reader's refusal of path: why it refused, where, and whether the file
// is merely cut; a file that cannot be opened at all says so whatever the reader's words.
TStatus FileRefusal(const std::string& path, std::string_view format_name, TStatus reason) {
  BinaryFile file;
  TStatus status;
  if (!file.Open(path)) {
    status = MakeStatus(TCode::kRecordFileNotOpened);
  } else if (reason.Ok()) {
    status = MakeStatus(TCode::kNoValidData, {format_name});
  } else {
    const int64_t named = reason.Offset;
    const bool cut = TellsOfCut(reason);
    const int record = reason.Record;
    status = MakeStatus(cut ? TCode::kRecordFileCut : TCode::kNotOfFormat, {reason});
    // A cut file is refused where it ends, unless the reader names an earlier byte.
    status.Offset = named >= 0 ? named : (cut ? file.Size() : -1);
    status.Record = record;
    status.Line = reason.Line;
  }
  status.File = path;
  return status;
}

}  // namespace

TStatus ReadHeader(const std::string& path, FormatTag tag, TFileRecordInfo& info,
                   double default_rate) {
  const FormatInfo* f = FindFormat(tag);
  if (f == nullptr || f->ReadHeader == nullptr) {
    TStatus status = MakeStatus(TCode::kNoHeaderReader, {f != nullptr ? f->Name : ""});
    status.File = path;
    return status;
  }
  TStatus reason;
  try {
    info.Reset();
    if (f->ReadHeader(path, info, default_rate, &reason)) return {};
  } catch (const std::exception& e) {
    TStatus status = MakeStatus(TCode::kReaderFailed, {e.what()});
    status.File = path;
    return status;
  }
  return FileRefusal(path, f->Name, std::move(reason));
}

namespace {

// Formats whose one file may hold several stations: a header for each.
using StationHeadersReader = bool (*)(const std::string& path,
                                      std::vector<TFileRecordInfo>& headers, TStatus* why);
struct StationHeaders {
  FormatTag Tag;
  StationHeadersReader Read;
};
constexpr StationHeaders kStationHeaders[] = {
    {kTagMiniSeed, ReadMiniSeedHeaders},
    {kTagWfdisc, ReadWfdiscHeaders},
    {kTagMiniSeed3, ReadMiniSeed3Headers},
};

}  // namespace

FileHeaders ReadHeaders(const std::string& path, FormatTag tag, double default_rate) {
  FileHeaders out;
  for (const StationHeaders& reader : kStationHeaders) {
    if (reader.Tag != tag) continue;
    try {
      TStatus reason;
      out.Status = reader.Read(path, out.Headers, &reason)
                       ? TStatus{}
                       : FileRefusal(path, FindFormat(tag)->Name, std::move(reason));
    } catch (const std::exception& e) {
      out.Status = MakeStatus(TCode::kReaderFailed, {e.what()});
      out.Status.File = path;
    }
    // A file that gives nothing has the empty header ReadHeader gives it.
    if (out.Headers.empty()) out.Headers.resize(1);
    return out;
  }
  out.Headers.resize(1);
  out.Status = ReadHeader(path, tag, out.Headers[0], default_rate);
  return out;
}

const TFileRecordInfo& HeaderOfStation(const FileHeaders& read, std::string_view station,
                                       std::string_view location) {
  const TFileRecordInfo* found = nullptr;
  for (const TFileRecordInfo& h : read.Headers) {
    if (ShortName(h.Station) != station) continue;
    if (h.Location == location) return h;
    if (found == nullptr) found = &h;
  }
  return found != nullptr ? *found : read.Headers.front();
}

}  // namespace tarvik

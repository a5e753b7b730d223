#include "records/wfdisc.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "common/binary_file.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/rounding.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

// The trimmed text of the 1-based columns [first, last]; the part past the line's end is empty.
std::string Column(std::string_view line, size_t first, size_t last) {
  if (first > line.size()) return {};
  const size_t begin = first - 1;
  const size_t end = std::min(last, line.size());
  return Trim(line.substr(begin, end - begin));
}

// Load date: a year, a day of year and "hh:mm:ss"; failing that the field as an ISO date and
// time; failing that 0. Nothing downstream uses it, so it never fails the line.
TDateTime ParseLoadDate(std::string_view line) {
  int32_t year = 0, doy = 0, h = 0, m = 0, s = 0;
  const std::string clock = Column(line, 276, 283);
  if (ParseInto(ParseInt32(Column(line, 267, 270)), year) &&
      ParseInto(ParseInt32(Column(line, 272, 274)), doy) && clock.size() == 8 && clock[2] == ':' &&
      clock[5] == ':' && ParseInto(ParseInt32(std::string_view(clock).substr(0, 2)), h) &&
      ParseInto(ParseInt32(std::string_view(clock).substr(3, 2)), m) &&
      ParseInto(ParseInt32(std::string_view(clock).substr(6, 2)), s) && year > 0 && year < 10000 &&
      doy >= 1 && doy <= 366 && h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 61) {
    return EncodeDayOfYear(year, doy, h, m, s);
  }
  return ParseIso(Column(line, 267, 283)).value_or(0.0);
}

// Calls fn for every line of the text (LF or CR LF ends) until fn returns false.
template <typename Fn>
void ForEachLine(const std::vector<uint8_t>& bytes, Fn fn) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (const std::string_view line : SplitLines(text)) {
    if (!fn(line)) return;
  }
}

bool IsBlankLine(std::string_view line) {
  return Trim(line).empty();
}

// Why a line cannot describe a segment; null when it can. The header reader and the segment
// builder both stop at such a line.
std::optional<TCode> LineProblem(const std::optional<TWfdiscLine>& line) {
  if (!line) return TCode::kRefuseWfdiscColumns;
  if (!(line->Samprate > 0.0) || !std::isfinite(line->Samprate) || !std::isfinite(line->Time)) {
    return TCode::kRefuseWfdiscRate;
  }
  if (line->Nsamp < 0 || line->Foff < 0) return TCode::kRefuseWfdiscNegative;
  return std::nullopt;
}

}  // namespace

std::optional<TWfdiscLine> ParseWfdiscLine(std::string_view line) {
  TWfdiscLine w;
  w.Sta = Column(line, 1, 6);
  w.Chan = Column(line, 8, 15);
  if (!ParseInto(ParseDouble(Column(line, 17, 33)), w.Time)) return std::nullopt;
  w.Wfid = ParseInt32(Column(line, 35, 42)).value_or(0);
  w.Chanid = ParseInt32(Column(line, 44, 51)).value_or(0);
  w.Jdate = ParseInt32(Column(line, 53, 60)).value_or(0);
  w.Endtime = ParseDouble(Column(line, 62, 78)).value_or(0.0);
  if (!ParseInto(ParseInt32(Column(line, 80, 87)), w.Nsamp)) return std::nullopt;
  if (!ParseInto(ParseDouble(Column(line, 89, 99)), w.Samprate)) return std::nullopt;
  if (!ParseInto(ParseDouble(Column(line, 101, 116)), w.Calib)) return std::nullopt;
  w.Calper = ParseDouble(Column(line, 118, 133)).value_or(0.0);
  w.Instype = Column(line, 135, 140);
  w.Segtype = Column(line, 142, 142);
  w.Datatype = Column(line, 144, 145);
  w.Clip = Column(line, 147, 147);
  w.Dir = Column(line, 149, 212);
  w.Dfile = Column(line, 214, 245);
  if (!ParseInto(ParseInt32(Column(line, 247, 256)), w.Foff)) return std::nullopt;
  w.Commid = ParseInt32(Column(line, 258, 265)).value_or(0);
  w.Lddate = ParseLoadDate(line);
  return w;
}

std::string WfdiscDataPath(const std::string& index_path, const TWfdiscLine& line) {
  std::string stored;
  if (!line.Dir.empty() && line.Dir != "-") stored = line.Dir + "\\";
  stored += line.Dfile;
  const std::string relative = NativePath(stored);
  if (!line.Dir.empty() && line.Dir != "-" && std::filesystem::path(relative).is_absolute()) {
    return relative;
  }
  return JoinPath(FolderOf(index_path), relative);
}

bool ReadWfdiscHeaders(const std::string& path, std::vector<TFileRecordInfo>& headers,
                       TStatus* why) {
  headers.clear();
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  bool damaged = false;
  std::vector<TDateTime> latest_end;
  size_t last = 0;
  int64_t number = 0;
  ForEachLine(bytes, [&](std::string_view text) {
    ++number;
    if (IsBlankLine(text)) return true;
    const std::optional<TWfdiscLine> line = ParseWfdiscLine(text);
    if (const std::optional<TCode> problem = LineProblem(line)) {
      damaged = true;
      TStatus refusal =
          MakeStatus(TCode::kRefuseInLine, {std::to_string(number), Refusal(*problem)});
      refusal.Line = number;
      RefuseFile(why, std::move(refusal));
      return false;
    }
    const TDateTime start = UnixToDateTime(line->Time);
    if (last >= headers.size() || headers[last].Station != line->Sta) {
      last = static_cast<size_t>(
          std::find_if(headers.begin(), headers.end(),
                       [&](const TFileRecordInfo& h) { return h.Station == line->Sta; }) -
          headers.begin());
      if (last == headers.size()) {
        // A station's first line gives its start and rate.
        TFileRecordInfo& info = headers.emplace_back();
        info.Station = line->Sta;
        info.Start = start;
        info.SampRate = line->Samprate;
        latest_end.push_back(start);
      }
    }
    TFileRecordInfo& info = headers[last];
    info.Start = std::min(info.Start, start);
    if (info.SampRate > 0.0) {
      latest_end[last] =
          std::max(latest_end[last], start + SpanOfSamples(line->Nsamp, info.SampRate));
    }
    const std::string name = ShortName(line->Chan);
    const auto names_end = info.ChannelNames.begin() + info.ChannelCount;
    // Channels beyond the 32 a record can hold are left out.
    if (std::find(info.ChannelNames.begin(), names_end, name) == names_end &&
        info.ChannelCount < kMaxChannels) {
      info.ChannelNames[static_cast<size_t>(info.ChannelCount)] = name;
      info.ChannelCoefs[static_cast<size_t>(info.ChannelCount)] =
          line->Calib > 0.0 ? 1e9 / line->Calib : 1.0;
      ++info.ChannelCount;
    }
    return true;
  });
  for (size_t k = 0; k < headers.size(); ++k) {
    TFileRecordInfo& info = headers[k];
    const int64_t samples =
        info.SampRate > 0.0 ? SamplesInSpan(latest_end[k] - info.Start, info.SampRate) : 0;
    info.SampleCount = ClampToInt32(std::max<int64_t>(samples, 0));
    info.BlockSamples = info.SampleCount;
    info.BlockCount = 1;
  }
  if (headers.empty() && !damaged) RefuseFile(why, Refusal(TCode::kRefuseNoLine));
  return !headers.empty() && !damaged;
}

bool ReadWfdiscHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                      TStatus* why) {
  std::vector<TFileRecordInfo> headers;
  const bool read = ReadWfdiscHeaders(path, headers, why);
  info = headers.empty() ? TFileRecordInfo{} : std::move(headers.front());
  return read;
}

void BuildWfdiscSegments(const std::string& path, TRecList& list, const std::string& station) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  ForEachLine(bytes, [&](std::string_view text) {
    if (IsBlankLine(text)) return true;
    const std::optional<TWfdiscLine> line = ParseWfdiscLine(text);
    if (LineProblem(line)) return false;
    if (!station.empty() && line->Sta != station) return true;
    TRecordDescription seg;
    seg.FileName = WfdiscDataPath(path, *line);
    seg.Station = line->Sta;
    seg.Location = "00";
    seg.Channel = line->Chan;
    seg.StartTime = UnixToDateTime(line->Time);
    seg.SampRate = line->Samprate;
    seg.Count = line->Nsamp;
    seg.DataType = SampleTypeFromText(line->Datatype);
    seg.Offset = line->Foff;
    seg.Calib = (line->Calib == 0.0 ? 1.0 : line->Calib) / 1e9;
    list.Add(std::move(seg));
    return true;
  });
}

}  // namespace tarvik

#include "spectral/psd_run.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "common/binary_file.h"
#include "common/datetime.h"
#include "common/replace_file.h"
#include "common/rounding.h"
#include "common/ui_host.h"
#include "records/load_record.h"
#include "records/record_window.h"
#include "records/sample_ranges.h"
#include "spectral/psd_store.h"
#include "spectral/spectrum_engine.h"

namespace tarvik {

namespace {

// One segment a record's selection holds for one channel.
struct Candidate {
  double Start = 0.0;  // Unix seconds
  int64_t First = 0;   // sample index in the record
  int64_t Day = 0;
};

struct UnitKey {
  std::string Channel;
  int64_t Day = 0;
  auto operator<=>(const UnitKey&) const = default;
};

// A channel's day while the run fills it.
struct DayState {
  std::filesystem::path Path;
  bool Damaged = false;  // the stored file could not be read: it is left alone
  bool HasStored = false;
  TPsdDay Stored;
  TPsdDay Out;  // header set by the first record that gives the day segments
  bool HeaderSet = false;
  std::set<double> Candidates;  // every start this run looked at, computed or not
  std::map<double, TPsdSegment> Fresh;
  int Remaining = 0;  // records still to give segments
  std::set<std::string> Responses;
};

bool InShard(const TPsdRunOptions& o, int64_t day) {
  if (o.ShardCount <= 1) return true;
  return ((day % o.ShardCount) + o.ShardCount) % o.ShardCount == o.ShardIndex;
}

// The segments of the selection at rate, for the record starting at start_unix with count
// samples (count < 0: not known yet, taken from the selection alone).
std::vector<Candidate> Candidates(const TFileRecord& record, double rate, int64_t count,
                                  const TPsdSettings& settings, int64_t segment_samples) {
  std::vector<Candidate> out;
  if (!(rate > 0.0) || segment_samples <= 0) return out;
  const double start_unix = DateTimeToUnix(record.Start);
  auto index_of = [&](TDateTime t) { return RoundToInt64((t - record.Start) * 86400.0 * rate); };
  const int64_t first = std::max<int64_t>(0, index_of(std::max(record.SelectStart, record.Start)));
  int64_t last = index_of(std::min(record.SelectFinish, record.Finish));
  if (count >= 0) last = std::min(last, count - 1);
  if (last - first + 1 < segment_samples) return out;
  const double step = settings.SegmentSeconds * (1.0 - settings.Overlap);
  const double first_time = start_unix + first / rate;
  for (double k = std::ceil(first_time / step - 1e-9);; k += 1.0) {
    const double t = k * step;
    const int64_t s = RoundToInt64((t - start_unix) * rate);
    if (s < first) continue;
    if (s + segment_samples - 1 > last) break;
    out.push_back({t, s, static_cast<int64_t>(std::floor(t / 86400.0))});
  }
  return out;
}

std::string ResponseText(const TFileRecord& record, int c) {
  const TRecordChannel& ch = record.Channels[static_cast<size_t>(c)];
  std::string text;
  if (!ch.ChannelResp.empty()) text += "channel " + ch.ChannelResp + "; ";
  if (!ch.SensorResp.empty()) text += "sensor " + ch.SensorResp + "; ";
  if (!ch.AmplifierResp.empty()) text += "amplifier " + ch.AmplifierResp + "; ";
  char adc[64];
  std::snprintf(adc, sizeof adc, "ADC %.17g", ch.ADCCoef);
  return text + adc;
}

bool HoldsUnread(const TChannelRanges& unread, int c, int64_t first, int64_t last) {
  if (static_cast<size_t>(c) >= unread.size()) return false;
  const TRecordRanges& ranges = unread[static_cast<size_t>(c)];
  const auto it = FirstRangeEndingAtOrAfter(ranges, first);
  return it != ranges.end() && it->first <= last;
}

}  // namespace

std::string PsdChannelCode(const TFileRecord& record, int c) {
  const auto [location, channel] =
      SplitChannelLocation(record.Channels[static_cast<size_t>(c)].Channel);
  return "." + record.Station + "." + std::string(location) + "." + std::string(channel);
}

TStatus MissingPsdResponse(const TFileRecord& r, int c) {
  const TRecordChannel& ch = r.Channels[static_cast<size_t>(c)];
  if (!ch.ChannelResp.empty()) return {};
  TStatus missing;
  if (ch.SensorResp.empty() && ch.AmplifierResp.empty()) {
    missing = MakeStatus(TCode::kPsdNoResponse, {std::to_string(c + 1), ch.Channel});
  } else if (ch.SensorResp.empty()) {
    missing = MakeStatus(TCode::kPsdNoSensorResponse, {std::to_string(c + 1), ch.Channel});
  } else if (ch.AmplifierResp.empty()) {
    missing = MakeStatus(TCode::kPsdNoAmplifierResponse, {std::to_string(c + 1), ch.Channel});
  }
  missing.Channel = missing.Ok() ? -1 : c;
  return missing;
}

const TStatus& PsdReason(const TStatus& status) {
  if (status.Code == TCode::kPsdAt && status.Args.size() == 2 && status.Args[1].Nested != nullptr)
    return PsdReason(*status.Args[1].Nested);
  return status;
}

TPsdRunReport RunPsd(std::vector<TFileRecord>& records, const std::vector<std::string>& labels,
                     const std::filesystem::path& store, const TPsdRunOptions& options,
                     UiHost& host) {
  TPsdRunReport report;
  TStatus why;
  if (!CheckPsdSettings(options.Settings, &why)) {
    report.Errors.push_back(why);
    return report;
  }
  auto label = [&](size_t i) { return i < labels.size() ? labels[i] : records[i].Station; };
  // A reason put under what it concerns (a record's label, a channel's code), keeping the file,
  // byte and channel it names.
  auto at = [](const std::string& where, const TStatus& reason) {
    TStatus status = MakeStatus(TCode::kPsdAt, {where, reason});
    status.File = reason.File;
    status.Offset = reason.Offset;
    status.Channel = reason.Channel;
    return status;
  };

  // The plan: which records give segments to which channel days, so that a day is written once
  // every record holding it has been computed.
  std::map<UnitKey, DayState> days;
  std::vector<bool> usable(records.size(), false);
  for (size_t i = 0; i < records.size(); ++i) {
    const TFileRecord& r = records[i];
    bool refused = false;
    bool any_channel = false;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      if (!r.Channels[static_cast<size_t>(c)].Selected) continue;
      any_channel = true;
      if (const TStatus missing = MissingPsdResponse(r, c); !missing.Ok()) {
        report.Errors.push_back(at(label(i), missing));
        refused = true;
      }
    }
    if (!any_channel) {
      report.Errors.push_back(at(label(i), MakeStatus(TCode::kPsdNoChannelSelected)));
      continue;
    }
    if (refused) continue;
    TPsdGeometry geometry;
    if (!MakePsdGeometry(options.Settings, r.SampRate, geometry, &why)) {
      report.Errors.push_back(at(label(i), why));
      continue;
    }
    const std::vector<Candidate> candidates =
        Candidates(r, r.SampRate, -1, options.Settings, geometry.SegmentSamples);
    if (candidates.empty()) {
      char selected[32];
      char segment[32];
      std::snprintf(
          selected, sizeof selected, "%.6g",
          (std::min(r.SelectFinish, r.Finish) - std::max(r.SelectStart, r.Start)) * 86400.0);
      std::snprintf(segment, sizeof segment, "%.6g", options.Settings.SegmentSeconds);
      report.Errors.push_back(
          at(label(i), MakeStatus(TCode::kPsdSelectionTooShort, {selected, segment})));
      continue;
    }
    std::set<int64_t> record_days;
    for (const Candidate& k : candidates) {
      if (InShard(options, k.Day)) record_days.insert(k.Day);
    }
    if (record_days.empty()) continue;
    usable[i] = true;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      if (!r.Channels[static_cast<size_t>(c)].Selected) continue;
      const std::string code = PsdChannelCode(r, c);
      for (int64_t d : record_days) {
        DayState& state = days[{code, d}];
        if (state.Remaining++ == 0) {
          state.Path = store / PsdChannelFolder(code) / PsdDayFileName(d);
        }
      }
    }
  }

  // Reads a day's stored file the first time the day is met.
  auto open_day = [&](const UnitKey& key, DayState& state) {
    if (state.HeaderSet || state.Damaged) return;
    std::error_code ec;
    if (!std::filesystem::exists(state.Path, ec)) return;
    if (!ReadPsdDay(state.Path, state.Stored, &why)) {
      state.Damaged = true;
      TStatus damaged = MakeStatus(TCode::kPsdStoreDamagedKept,
                                   {key.Channel, PsdDayFileName(key.Day).substr(0, 8), why});
      damaged.File = why.File;
      damaged.Offset = why.Offset;
      report.Errors.push_back(std::move(damaged));
      return;
    }
    state.HasStored = true;
  };

  auto finish_day = [&](const UnitKey& key, DayState& state) {
    if (state.Damaged || !state.HeaderSet) return;
    TPsdDay& out = state.Out;
    for (const auto& [start, seg] : state.Fresh) out.Segments.push_back(seg);
    // Segments stored earlier from records outside this run stay; those this run looked at were
    // replaced (or dropped when the data there now holds a gap).
    if (state.HasStored && state.Stored.SameSettings(out)) {
      for (TPsdSegment& seg : state.Stored.Segments) {
        if (!state.Candidates.count(seg.Start)) out.Segments.push_back(std::move(seg));
      }
    }
    std::sort(out.Segments.begin(), out.Segments.end(),
              [](const TPsdSegment& a, const TPsdSegment& b) { return a.Start < b.Start; });
    out.Response.clear();
    for (const std::string& r : state.Responses) {
      if (!out.Response.empty()) out.Response += "\n";
      out.Response += r;
    }
    const std::string bytes = EncodePsdDay(out);
    if (state.HasStored) {
      const std::vector<uint8_t> old = ReadWholeFile(state.Path.string());
      if (old.size() == bytes.size() &&
          std::equal(old.begin(), old.end(), bytes.begin(),
                     [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); })) {
        ++report.DaysUnchanged;
        return;
      }
    }
    TStatus error;
    if (!ReplaceFileContents(state.Path, bytes, error)) {
      report.Errors.push_back(at(key.Channel, error));
      return;
    }
    ++report.DaysWritten;
    report.Written.push_back(state.Path.string());
  };

  const int record_count = static_cast<int>(std::count(usable.begin(), usable.end(), true));
  int record_done = 0;
  host.SetOperation(MakeStatus(TCode::kPsdRun));
  for (size_t i = 0; i < records.size() && !host.StopRequested(); ++i) {
    if (!usable[i]) continue;
    host.SetGauge(record_done++, record_count);
    TFileRecord& r = records[i];
    // The days this record was planned to give, per channel code.
    std::vector<std::pair<int, std::vector<UnitKey>>> planned;
    {
      TPsdGeometry g;
      MakePsdGeometry(options.Settings, r.SampRate, g, nullptr);
      std::set<int64_t> record_days;
      for (const Candidate& k : Candidates(r, r.SampRate, -1, options.Settings, g.SegmentSamples)) {
        if (InShard(options, k.Day)) record_days.insert(k.Day);
      }
      for (int c = 0; c < r.ChannelCount(); ++c) {
        if (!r.Channels[static_cast<size_t>(c)].Selected) continue;
        std::vector<UnitKey> keys;
        for (int64_t d : record_days) keys.push_back({PsdChannelCode(r, c), d});
        planned.push_back({c, std::move(keys)});
      }
    }
    host.SetStatus(MakeStatus(TCode::kPsdLoading, {label(i)}));
    LoadSettings load;
    load.DefaultRate = options.DefaultRate;
    load.Headers = options.Headers;
    load.ClearStop = false;
    LoadReport loaded;
    // The record is read in blocks: memory holds the segments being computed, not the record.
    RecordBlocks blocks;
    const bool ok = blocks.Open(r, host, load, &loaded) && blocks.Channels() > 0;
    if (host.StopRequested()) break;
    auto done_with = [&](const std::vector<UnitKey>& keys) {
      for (const UnitKey& key : keys) {
        auto it = days.find(key);
        if (it == days.end()) continue;
        if (--it->second.Remaining == 0) finish_day(it->first, it->second);
      }
    };
    if (!ok) {
      TStatus unread = MakeStatus(TCode::kPsdRecordUnreadable, {r.File});
      unread.File = r.File;
      report.Errors.push_back(at(label(i), unread));
      for (const auto& [c, keys] : planned) done_with(keys);
      continue;
    }
    TPsdGeometry geometry;
    if (!MakePsdGeometry(options.Settings, r.SampRate, geometry, &why)) {
      report.Errors.push_back(at(label(i), why));
      for (const auto& [c, keys] : planned) done_with(keys);
      continue;
    }
    const int64_t count = blocks.Count();
    const std::vector<Candidate> candidates =
        Candidates(r, r.SampRate, count, options.Settings, geometry.SegmentSamples);

    // A segment to look at: its samples decide whether the stored one is kept or it is
    // computed again. Print, their fingerprint, is known once the window holds them.
    struct Pending {
      int Channel;
      const Candidate* Where;
      DayState* Day;
      uint64_t ResponsePrint;
      const std::vector<double>* Factors;
      bool CompareStored;
      uint64_t Print = 0;
    };
    std::vector<Pending> pending;
    std::set<UnitKey> other_rate;  // the channel days this record cannot join
    std::vector<std::vector<double>> factors(kMaxChannels);
    const double settings_key[3] = {options.Settings.SegmentSeconds, options.Settings.Overlap,
                                    geometry.Rate};
    for (const auto& [c, keys] : planned) {
      if (c >= blocks.Channels()) continue;
      const std::string code = PsdChannelCode(r, c);
      TCombinedFilter chain;
      const TStatus chain_status = LoadRecordChain(r, c, chain);
      if (!chain_status.Ok()) {
        report.Errors.push_back(at(label(i), chain_status));
        continue;
      }
      factors[static_cast<size_t>(c)] =
          AccelerationFactors(chain, r.Channels[static_cast<size_t>(c)].ADCCoef, geometry);
      const std::vector<double>& f = factors[static_cast<size_t>(c)];
      const uint64_t response_print = Fingerprint(f.data(), f.size() * sizeof(double),
                                                  Fingerprint(settings_key, sizeof settings_key));
      for (const Candidate& k : candidates) {
        auto it = days.find({code, k.Day});
        if (it == days.end()) continue;
        DayState& state = it->second;
        open_day(it->first, state);
        if (state.Damaged) continue;
        TPsdDay header;
        header.Channel = code;
        header.Rate = geometry.Rate;
        header.SegmentSeconds = options.Settings.SegmentSeconds;
        header.Overlap = options.Settings.Overlap;
        header.Nfft = geometry.Nfft;
        header.Periods = geometry.Periods;
        if (!state.HeaderSet) {
          state.Out = header;
          state.HeaderSet = true;
        } else if (!state.Out.SameSettings(header)) {
          // Told once per channel day, not once per segment.
          if (other_rate.insert(it->first).second) {
            TStatus differs =
                MakeStatus(TCode::kPsdRateDiffers, {code, PsdDayFileName(k.Day).substr(0, 8)});
            differs.Channel = c;
            report.Errors.push_back(at(label(i), differs));
          }
          continue;
        }
        state.Responses.insert(ResponseText(r, c));
        if (!state.Candidates.insert(k.Start).second) continue;  // another record gave it
        if (HoldsUnread(loaded.Unread, c, k.First, k.First + geometry.SegmentSamples - 1)) {
          ++state.Out.Skipped;
          ++report.Skipped;
          continue;
        }
        pending.push_back({c, &k, &state, response_print, &f,
                           state.HasStored && state.Stored.SameSettings(header)});
      }
    }
    // In the order of the record, so that the window moves forward only.
    std::stable_sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) {
      return a.Where->First < b.Where->First;
    });

    host.SetStatus(MakeStatus(TCode::kPsdSegments, {label(i), std::to_string(pending.size())}),
                   static_cast<int>(pending.size()));
    std::vector<const Pending*> jobs;  // the segments to compute, in pending (not resized now)
    std::vector<TPsdSegment> results;
    std::atomic<int> finished{0};
    const int threads = std::clamp<int>(options.Jobs, 1, 256);
    // One transform per thread for the whole record.
    std::vector<std::unique_ptr<TPsdCalculator>> calculators(static_cast<size_t>(threads));
    const int64_t transforms = static_cast<int64_t>(pending.size()) * geometry.Windows;
    RecordWindow window(blocks);
    const int64_t length = geometry.SegmentSamples;
    // Segments are taken in batches that start within this many samples of each other.
    const int64_t reach = std::max<int64_t>(length, 2 * RecordBlocks::kMaxBlock);
    for (size_t p = 0; p < pending.size() && !host.StopRequested();) {
      const int64_t from = pending[p].Where->First;
      size_t q = p + 1;
      while (q < pending.size() && pending[q].Where->First - from < reach) ++q;
      window.Drop(from);
      window.Fill(pending[q - 1].Where->First + length);
      const int64_t base = window.Base();
      const size_t batch_begin = jobs.size();
      for (size_t j = p; j < q; ++j) {
        Pending& s = pending[j];
        DayState& state = *s.Day;
        const Candidate& k = *s.Where;
        s.Print = Fingerprint(window.Row(static_cast<size_t>(s.Channel)) + (k.First - base),
                              static_cast<size_t>(length) * sizeof(int32_t), s.ResponsePrint);
        if (s.CompareStored) {
          const auto& stored = state.Stored.Segments;
          const auto same =
              std::lower_bound(stored.begin(), stored.end(), k.Start,
                               [](const TPsdSegment& t, double start) { return t.Start < start; });
          if (same != stored.end() && same->Start == k.Start && same->Fingerprint == s.Print) {
            state.Fresh[k.Start] = *same;
            ++report.Kept;
            ++finished;
            continue;
          }
        }
        jobs.push_back(&s);
      }
      p = q;

      // The new segments of the batch, on up to Jobs threads, each with its own transform.
      results.resize(jobs.size());
      std::atomic<size_t> next{batch_begin};
      auto work = [&](size_t t) {
        for (size_t j = next++; j < jobs.size(); j = next++) {
          if (host.StopRequested()) return;
          if (calculators[t] == nullptr) {
            calculators[t] = std::make_unique<TPsdCalculator>(geometry, transforms);
          }
          const Pending& job = *jobs[j];
          TPsdSegment& seg = results[j];
          seg.Start = job.Where->Start;
          seg.Fingerprint = job.Print;
          calculators[t]->Compute(
              window.Row(static_cast<size_t>(job.Channel)) + (job.Where->First - base),
              *job.Factors, seg.Full, seg.Grid);
          host.SetProgress(++finished, static_cast<int>(pending.size()));
        }
      };
      const size_t batch = jobs.size() - batch_begin;
      std::vector<std::thread> pool;
      for (int t = 1; t < threads && static_cast<size_t>(t) < batch; ++t)
        pool.emplace_back(work, t);
      work(0);
      for (std::thread& t : pool) t.join();
    }
    if (host.StopRequested()) break;
    for (size_t j = 0; j < jobs.size(); ++j) {
      jobs[j]->Day->Fresh[results[j].Start] = std::move(results[j]);
    }
    report.Computed += static_cast<int64_t>(jobs.size());
    for (const auto& [c, keys] : planned) done_with(keys);
  }
  report.Stopped = host.StopRequested();
  if (!report.Stopped) host.SetGauge(record_count, record_count);
  return report;
}

}  // namespace tarvik

#include "project/demo.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <system_error>

#include "common/bytes.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "project/driver.h"
#include "project/project_file.h"
#include "records/assembly.h"
#include "response/load_response.h"
#include "spectral/result_files.h"

namespace tarvik {

const char kDemoGeophonePaz[] =
    "# 1 Hz geophone: ground velocity (m/s) in, output voltage (V) out.\n"
    "# Natural frequency 1.0 Hz, damping 0.707 of critical, generator constant 28.8 V/(m/s):\n"
    "# H(s) = 28.8 * s^2 / (s^2 + 2*h*w0*s + w0^2), w0 = 2*pi*1.0 rad/s, roots in rad/s.\n"
    "ZEROS 2\n"
    "0.0 0.0\n"
    "0.0 0.0\n"
    "POLES 2\n"
    "-4.442212 4.443554\n"
    "-4.442212 -4.443554\n"
    "CONSTANT 28.8\n";

namespace {

// Writes size bytes as the whole file at path; false with the reason in error.
bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

namespace fs = std::filesystem;
using Complex = std::complex<double>;

constexpr int kRecordLength = 4096;
constexpr int kRecordExponent = 12;
constexpr int kDataOffset = 64;
constexpr int kSamplesPerRecord = (kRecordLength - kDataOffset) / 4;
constexpr char kNetwork[] = "XX";
constexpr int kDataFormatMiniSeed = 7;  // ".msd" in the data-format list
constexpr double kTransientSeconds = 3.0;
constexpr double kTransientFrequency = 8.0;
constexpr double kTransientDecay = 0.5;       // s
constexpr double kTransientAmplitude = 40.0;  // in RMS of the channel
constexpr double kPeakBandLow = 0.5;
constexpr double kPeakBandHigh = 20.0;

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in (0, 1).
  double Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) / 9007199254740992.0; }
  // Standard normal, by the Box–Muller transform.
  double Gaussian() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    const double r = std::sqrt(-2.0 * std::log(Uniform()));
    const double phi = 2.0 * std::numbers::pi * Uniform();
    spare_ = r * std::sin(phi);
    has_spare_ = true;
    return r * std::cos(phi);
  }

 private:
  uint64_t state_;
  double spare_ = 0.0;
  bool has_spare_ = false;
};

// A digital filter b(q)/a(q), q = z⁻¹, a[0] = 1, run in transposed direct form II.
struct Iir {
  std::vector<double> B, A;

  void Apply(std::vector<double>& x) const {
    const size_t order = std::max(A.size(), B.size());
    std::vector<double> state(order, 0.0);
    for (double& v : x) {
      const double in = v;
      const double out = B[0] * in + state[0];
      for (size_t k = 1; k < order; ++k) {
        const double bk = k < B.size() ? B[k] : 0.0;
        const double ak = k < A.size() ? A[k] : 0.0;
        state[k - 1] = bk * in - ak * out + (k < order - 1 ? state[k] : 0.0);
      }
      v = out;
    }
  }
};

// Multiplies the polynomial p (in q) by c0 + c1·q.
void MultiplyLinear(std::vector<Complex>& p, Complex c0, Complex c1) {
  std::vector<Complex> r(p.size() + 1, Complex(0.0));
  for (size_t i = 0; i < p.size(); ++i) {
    r[i] += p[i] * c0;
    r[i + 1] += p[i] * c1;
  }
  p = std::move(r);
}

// The bilinear transform s = 2·fs·(1 − q)/(1 + q) of an analog poles-and-zeros response.
Iir Bilinear(const TComplexFilter& zp, double fs) {
  const double k = 2.0 * fs;
  std::vector<Complex> num{Complex(zp.NormFactor)};
  std::vector<Complex> den{Complex(1.0)};
  const int zeros = std::clamp(zp.ZeroCount, 0, kMaxRoots);
  const int poles = std::clamp(zp.PoleCount, 0, kMaxRoots);
  for (int i = 0; i < zeros; ++i) MultiplyLinear(num, k - zp.Zeros[i], -k - zp.Zeros[i]);
  for (int i = 0; i < poles; ++i) MultiplyLinear(den, k - zp.Poles[i], -k - zp.Poles[i]);
  // Each factor (s − r) brings a 1/(1 + q); what does not cancel stays as (1 + q) factors.
  for (int i = zeros; i < poles; ++i) MultiplyLinear(num, 1.0, 1.0);
  for (int i = poles; i < zeros; ++i) MultiplyLinear(den, 1.0, 1.0);
  Iir f;
  const double a0 = den[0].real();
  for (const Complex& c : num) f.B.push_back(c.real() / a0);
  for (const Complex& c : den) f.A.push_back(c.real() / a0);
  return f;
}

// A band-pass resonance of unit gain at f0 (prewarped, so the digital peak is at f0 exactly).
Iir Resonance(double f0, double q, double fs) {
  const double w = 2.0 * fs * std::tan(std::numbers::pi * f0 / fs);
  TComplexFilter zp;
  zp.NormFactor = w / q;
  zp.ZeroCount = 1;
  zp.Zeros[0] = 0.0;
  zp.PoleCount = 2;
  const double re = -w / (2.0 * q);
  const double im = w * std::sqrt(std::max(0.0, 1.0 - 1.0 / (4.0 * q * q)));
  zp.Poles[0] = Complex(re, im);
  zp.Poles[1] = Complex(re, -im);
  return Bilinear(zp, fs);
}

int32_t ToCounts(double v) {
  const double r = std::nearbyint(v);
  if (!(r > -2147483648.0)) return INT32_MIN;
  if (r > 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(r);
}

void PutText(uint8_t* p, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) p[i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

// Writes samples[first, first + count) of each channel as 4096-byte miniSEED records of 32-bit
// big-endian integers, channel after channel.
bool WriteMiniSeed(const std::string& path, const std::string& station,
                   const std::array<std::vector<int32_t>, 3>& samples, size_t first, size_t count,
                   TDateTime start, double rate, std::string& error) {
  std::vector<uint8_t> out;
  int sequence = 0;
  for (size_t c = 0; c < samples.size(); ++c) {
    for (size_t done = 0; done < count; done += kSamplesPerRecord) {
      const size_t n = std::min<size_t>(kSamplesPerRecord, count - done);
      uint8_t rec[kRecordLength] = {};
      char seq[8];
      std::snprintf(seq, sizeof seq, "%06d", ++sequence % 1000000);
      std::memcpy(rec, seq, 6);
      rec[6] = 'D';
      rec[7] = ' ';
      PutText(rec + 8, station, 5);
      PutText(rec + 13, "", 2);
      PutText(rec + 15, kDemoChannels[c], 3);
      PutText(rec + 18, kNetwork, 2);
      // Start time in ten-thousandths of a second.
      const TDateTime t = start + SpanOfSamples(static_cast<double>(done), rate);
      const auto ticks = static_cast<int64_t>(std::llround(t * 864000000.0));
      const int64_t day = ticks / 864000000;
      const int64_t in_day = ticks % 864000000;
      const CivilTime civil = DecodeDateTime(static_cast<double>(day));
      const int64_t doy =
          DaysFromCivil(civil.Year, civil.Month, civil.Day) - DaysFromCivil(civil.Year, 1, 1) + 1;
      StoreU16BE(rec + 20, static_cast<uint16_t>(civil.Year));
      StoreU16BE(rec + 22, static_cast<uint16_t>(doy));
      rec[24] = static_cast<uint8_t>(in_day / 36000000);
      rec[25] = static_cast<uint8_t>(in_day / 600000 % 60);
      rec[26] = static_cast<uint8_t>(in_day / 10000 % 60);
      StoreU16BE(rec + 28, static_cast<uint16_t>(in_day % 10000));
      StoreU16BE(rec + 30, static_cast<uint16_t>(n));
      StoreU16BE(rec + 32, static_cast<uint16_t>(rate));  // rate factor
      StoreU16BE(rec + 34, 1);                            // rate multiplier
      rec[39] = 1;                                        // one blockette
      StoreU16BE(rec + 44, kDataOffset);
      StoreU16BE(rec + 46, 48);
      StoreU16BE(rec + 48, 1000);
      StoreU16BE(rec + 50, 0);
      rec[52] = 3;  // 32-bit integers
      rec[53] = 1;  // big-endian
      rec[54] = kRecordExponent;
      for (size_t i = 0; i < n; ++i)
        StoreU32BE(rec + kDataOffset + 4 * i, static_cast<uint32_t>(samples[c][first + done + i]));
      out.insert(out.end(), rec, rec + kRecordLength);
    }
  }
  return WriteWholeFile(path, out.data(), out.size(), error);
}

double Rms(const std::vector<int32_t>& x) {
  if (x.empty()) return 0.0;
  double sum = 0.0;
  for (int32_t v : x) sum += static_cast<double>(v) * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
  return WriteWholeFile(path, text.data(), text.size(), error);
}

}  // namespace

std::array<std::vector<int32_t>, 3> SynthesizeDemoCounts(const TDemoStation& station,
                                                         const TComplexFilter& sensor,
                                                         const TDemoOptions& options,
                                                         int station_index) {
  const auto per_file = static_cast<size_t>(std::llround(options.FileSeconds * options.Rate));
  const size_t n = per_file * static_cast<size_t>(std::max(0, options.Files));
  const Iir sensor_filter = Bilinear(sensor, options.Rate);
  const Iir resonance = Resonance(station.Resonance, options.QualityFactor, options.Rate);
  std::array<std::vector<int32_t>, 3> counts;
  for (size_t c = 0; c < 3; ++c) {
    Random random(options.Seed + 1000003ull * static_cast<uint64_t>(station_index) + c);
    std::vector<double> v(n);
    for (double& x : v) x = options.VelocityRms * random.Gaussian();
    if (c < 2) {
      // The site amplifies the horizontal motion around its resonance.
      std::vector<double> r = v;
      resonance.Apply(r);
      for (size_t i = 0; i < n; ++i) v[i] += options.Amplification * r[i];
    }
    sensor_filter.Apply(v);
    counts[c].resize(n);
    for (size_t i = 0; i < n; ++i) counts[c][i] = ToCounts(v[i] * options.AdcCoef);
  }
  return counts;
}

bool WriteDemoRecordings(const std::string& folder, const TComplexFilter& sensor,
                         const TDemoOptions& options, std::vector<TDemoRecording>& recordings,
                         std::string& error) {
  recordings.clear();
  if (!(options.Rate >= 1.0 && options.Rate <= 32767.0) ||
      options.Rate != std::floor(options.Rate) || options.Files < 1 ||
      !(options.FileSeconds * options.Rate >= 1.0) || options.FileSeconds > 86400.0) {
    error = "the demo needs a whole sampling rate and files of one sample to one day";
    return false;
  }
  const auto per_file = static_cast<size_t>(std::llround(options.FileSeconds * options.Rate));
  for (size_t s = 0; s < options.Stations.size(); ++s) {
    const TDemoStation& station = options.Stations[s];
    std::array<std::vector<int32_t>, 3> counts =
        SynthesizeDemoCounts(station, sensor, options, static_cast<int>(s));
    TDemoRecording rec;
    rec.Station = station.Name;
    rec.Resonance = station.Resonance;
    std::array<double, 3> rms{};
    for (size_t c = 0; c < 3; ++c) {
      rms[c] = Rms(counts[c]);
      rec.Levels[c] = std::max(1, ToCounts(options.LevelFactor * rms[c]));
    }
    // Short transients (a passing vehicle, footsteps) well above the levels.
    Random random(options.Seed ^ (0xA5A5A5A5ull + s));
    const auto burst = static_cast<size_t>(kTransientSeconds * options.Rate);
    for (int f = 0; f < options.Files; ++f) {
      for (int t = 0; t < options.TransientsPerFile; ++t) {
        const double where = (t + 0.25 + 0.5 * random.Uniform()) / options.TransientsPerFile;
        const size_t at = static_cast<size_t>(f) * per_file +
                          static_cast<size_t>(where * static_cast<double>(per_file));
        for (size_t i = 0; i < burst && at + i < counts[0].size(); ++i) {
          const double tau = static_cast<double>(i) / options.Rate;
          const double shape = std::exp(-tau / kTransientDecay) *
                               std::sin(2.0 * std::numbers::pi * kTransientFrequency * tau);
          for (size_t c = 0; c < 3; ++c) {
            const double v = counts[c][at + i] + kTransientAmplitude * rms[c] * shape;
            counts[c][at + i] = ToCounts(v);
          }
        }
      }
    }
    for (int f = 0; f < options.Files; ++f) {
      const TDateTime start = options.Start + f * options.FileSeconds / kSecondsPerDay;
      const std::string name = station.Name + "." + kNetwork + "." +
                               FormatDateTime("yyyymmdd", start) + "T" +
                               FormatDateTime("hhnnss", start) + ".msd";
      const std::string path = JoinPath(folder, name);
      if (!WriteMiniSeed(path, station.Name, counts, static_cast<size_t>(f) * per_file, per_file,
                         start, options.Rate, error)) {
        return false;
      }
      rec.Files.push_back(path);
    }
    recordings.push_back(std::move(rec));
  }
  return true;
}

bool HVPeakFrequency(const std::string& ratio_path, double fmin, double fmax, double& peak,
                     UiHost& host) {
  TMatrix2D values, stdev;
  std::vector<double> frequencies;
  if (!ReadRelative(ratio_path, host, values, stdev, frequencies) || values.size() < 3)
    return false;
  const std::vector<double>& hz = values[2];
  bool found = false;
  double best = 0.0;
  for (size_t i = 0; i < frequencies.size() && i < hz.size(); ++i) {
    if (frequencies[i] < fmin || frequencies[i] > fmax || !std::isfinite(hz[i])) continue;
    if (!found || hz[i] > best) {
      best = hz[i];
      peak = frequencies[i];
      found = true;
    }
  }
  return found;
}

bool BuildDemoProject(const std::string& dir, const std::string& sensor_paz_text,
                      const TDemoOptions& options, UiHost& host, TProject& project,
                      std::vector<TDemoRecording>& recordings, std::string& error) {
  std::error_code ec;
  const std::string root = fs::absolute(fs::path(dir), ec).lexically_normal().string();
  const std::string data = JoinPath(root, "data");
  const std::string responses = JoinPath(root, "responses");
  fs::create_directories(data, ec);
  if (!ec) fs::create_directories(responses, ec);
  if (ec) {
    error = "cannot create " + data + ": " + ec.message();
    return false;
  }
  // Files of an earlier demo run would join the new records.
  for (const TDemoStation& s : options.Stations) {
    for (const std::string& old : ListFolder(data, s.Name + "." + kNetwork + ".*.msd"))
      fs::remove(old, ec);
  }

  const std::string paz_path = JoinPath(responses, kDemoGeophoneFileName);
  if (!WriteTextFile(paz_path, sensor_paz_text, error)) return false;
  TFilterPack sensor;
  if (const TStatus st = LoadResponse(paz_path, sensor); !st.Ok()) {
    error = Text(st, host.Language());
    return false;
  }
  if (!WriteDemoRecordings(data, sensor.ZP, options, recordings, error)) return false;

  // The project, as a user would make it: records from the folder, then the channels described.
  project = TProject{};
  project.General.ResultDir = JoinPath(root, "results");
  project.General.DataFormat = kDataFormatMiniSeed;
  project.WorkingRate = options.Rate;
  for (TSpectrumSettings& s : project.Settings) s.UnitOut = 1;  // velocity
  AssemblySettings assembly;
  assembly.MaxSpan = project.General.MaxSpan;
  assembly.RecognizeComponent = project.General.RecognizeComponent;
  assembly.WorkingRate = project.WorkingRate;
  AddFolder(project.Records, data, kDataFormatMiniSeed, assembly, host);
  for (TFileRecord& r : project.Records) {
    const auto rec = std::find_if(recordings.begin(), recordings.end(),
                                  [&](const TDemoRecording& d) { return d.Station == r.Station; });
    if (rec == recordings.end()) continue;
    for (int c = 0; c < std::clamp(r.ChannelCount(), 0, kMaxChannels); ++c) {
      const auto k = std::find(kDemoChannels.begin(), kDemoChannels.end(), r.Channels[c].Channel);
      if (k == kDemoChannels.end()) continue;
      r.Channels[c].ChannelResp = paz_path;
      r.Channels[c].ADCCoef = options.AdcCoef;
      r.Channels[c].Level = rec->Levels[static_cast<size_t>(k - kDemoChannels.begin())];
      r.Channels[c].Selected = true;
    }
    r.ToProcess = true;
    r.ToProcessNakamura = true;
  }
  if (project.Records.size() != recordings.size()) {
    error = "the demo recordings formed " + std::to_string(project.Records.size()) +
            " records instead of " + std::to_string(recordings.size());
    return false;
  }
  return true;
}

TDemoResult RunDemo(const std::string& dir, const std::string& sensor_paz_text,
                    const TDemoOptions& options, int jobs, UiHost& host) {
  TDemoResult result;
  host.SetOperation(MakeStatus(TCode::kDemoData));
  TProject project;
  std::vector<TDemoRecording> recordings;
  if (!BuildDemoProject(dir, sensor_paz_text, options, host, project, recordings, result.Error))
    return result;
  std::error_code ec;
  const std::string root = fs::absolute(fs::path(dir), ec).lexically_normal().string();
  const SaveResult saved = SaveProject(project, JoinPath(root, "demo.tvp"), 0, host);
  if (!saved.Ok) {
    result.Error = Text(saved.Error, host.Language());
    return result;
  }
  result.ProjectFile = saved.FileName;

  // Run from the file, as "tarvik-cli run" would.
  TProject loaded;
  if (LoadProject(loaded, saved.FileName, host) != LoadStatus::kLoaded) {
    result.Error = "the demo project did not load back";
    return result;
  }
  const TResultFolders folders = DeriveResultFolders(loaded.General.ResultDir, loaded.Folder);
  TRunOptions run;
  run.Jobs = jobs;
  const TRunReport primary = RunPrimary(loaded, folders, host, run);
  const TRunReport hv = RunHV(loaded, folders, host, TRunOptions{});
  if (!primary.Ran || !hv.Ran) {
    result.Error = "the demo run did not start";
    return result;
  }
  for (const TFileRecord& r : loaded.Records) {
    TDemoStationResult s;
    s.Station = r.Station;
    const auto rec = std::find_if(recordings.begin(), recordings.end(),
                                  [&](const TDemoRecording& d) { return d.Station == r.Station; });
    if (rec != recordings.end()) s.Resonance = rec->Resonance;
    s.RatioFile = RatioFilePath(folders, r);
    if (!HVPeakFrequency(s.RatioFile, kPeakBandLow, kPeakBandHigh, s.Peak, host)) s.Peak = 0.0;
    result.Stations.push_back(s);
  }
  result.Ok = true;
  return result;
}

}  // namespace tarvik

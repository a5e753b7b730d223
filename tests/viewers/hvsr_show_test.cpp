// The chart of a per-window H/V analysis, built from the three files the analysis writes: the
// curves it draws against the result they were written from, the criteria panel, and what
// happens when a file is missing, damaged or from another run.

#include "viewers/hvsr_show.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "hvsr_windows.h"
#include "recording_ui_host.h"
#include "spectral/hv_export.h"
#include "test_files.h"

namespace tarvik {
namespace {

using testing::HvsrTestRecord;
using testing::PeakedWindows;
using testing::RecordingUiHost;
using testing::TempDir;

// Twelve windows peaking near 2 Hz, two outliers at 8 Hz (rejected), a flat one (no peak) and
// one with a zero on its curve (unusable).
THvsrResult Mixed() {
  std::vector<double> peaks;
  for (int w = 0; w < 12; ++w) peaks.push_back(2.0 * std::exp(0.02 * ((w % 5) - 2)));
  peaks.insert(peaks.end(), {8.0, 8.0, 0.0, -1.0});
  return AnalyseWindows(PeakedWindows(peaks, 30.0), THvsrSettings{});
}

// Writes the result's three files into dir as the analysis does; returns the ".hv" path.
std::string Write(const TempDir& dir, const THvsrResult& result) {
  THvsrPaths paths;
  paths.Hv = dir.File("ST1_230102-030405.hv");
  paths.Windows = HvWindowsPath(paths.Hv);
  paths.Report = HvReportPath(paths.Hv);
  std::string message;
  EXPECT_TRUE(WriteHvsrFiles(paths, result, HvsrTestRecord(), message)) << message;
  return paths.Hv;
}

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadBytes(path);
  return {b.begin(), b.end()};
}

// text with its line `line` (1-based) replaced.
std::string WithLine(const std::string& text, int line, const std::string& replacement) {
  size_t start = 0;
  for (int k = 1; k < line; ++k) start = text.find('\n', start) + 1;
  const size_t end = text.find('\n', start);
  std::string out = text;
  out.replace(start, end == std::string::npos ? std::string::npos : end - start, replacement);
  return out;
}

const TChartSeries* Find(const TSpectrumView& view, const std::string& title) {
  for (const TChartSeries& s : view.Series) {
    if (s.Title == title) return &s;
  }
  return nullptr;
}

std::vector<const TChartSeries*> WindowSeries(const TSpectrumView& view) {
  std::vector<const TChartSeries*> out;
  for (const TChartSeries& s : view.Series) {
    if (s.Title.rfind("Окно ", 0) == 0) out.push_back(&s);
  }
  return out;
}

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// The files carry six significant digits.
void ExpectNear6(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 5.1e-6 * std::fabs(want) + 1e-9) << what;
}

TEST(HvsrShow, CompanionsAreFoundWhereTheAnalysisWritesThem) {
  TResultFolders folders;
  folders.SpectraPrimary = "/r/Spectra/Primary";
  folders.SpectraNakamura = "/r/Spectra/Nakamura";
  const THvsrPaths p = HvsrFilePaths(folders, HvsrTestRecord());
  EXPECT_EQ(HvWindowsPath(p.Hv), p.Windows);
  EXPECT_EQ(HvReportPath(p.Hv), p.Report);
  EXPECT_TRUE(IsHvFile(p.Hv));
  EXPECT_TRUE(IsHvFile("/a/B.HV"));
  EXPECT_FALSE(IsHvFile("/a/b.hvx"));
  EXPECT_FALSE(IsHvFile("/a.hv/b.dat"));
}

TEST(HvsrShow, CurvesAreTheResultsMeanSpreadAndWindows) {
  const THvsrResult r = Mixed();
  ASSERT_EQ(r.Count(TWindowFate::kRejected), 2);
  ASSERT_EQ(r.Count(TWindowFate::kNoPeak), 1);
  ASSERT_EQ(r.Count(TWindowFate::kUnusable), 1);
  ASSERT_TRUE(r.Ok);
  TempDir dir;
  const std::string hv = Write(dir, r);
  RecordingUiHost host;
  TSpectrumView view;
  ASSERT_EQ(ShowHvsrResult(view, hv, host), THvsrShown::kWhole);
  EXPECT_TRUE(host.Messages.empty());
  EXPECT_TRUE(view.LogX);
  EXPECT_FALSE(view.LogY);

  // The mean and the mean divided and multiplied by exp σ_ln, on the whole grid.
  const TChartSeries* mean = Find(view, "Средняя H/V");
  const TChartSeries* low = Find(view, "Средняя ÷ exp σ");
  const TChartSeries* high = Find(view, "Средняя × exp σ");
  ASSERT_TRUE(mean && low && high);
  ASSERT_EQ(mean->X.size(), r.Grid.size());
  ASSERT_EQ(low->Y.size(), r.Grid.size());
  ASSERT_EQ(high->Y.size(), r.Grid.size());
  for (size_t i = 0; i < r.Grid.size(); ++i) {
    ExpectNear6(mean->X[i], r.Grid[i], "grid");
    ExpectNear6(mean->Y[i], r.Mean[i], "mean");
    ExpectNear6(low->Y[i], r.Mean[i] * std::exp(-r.SigmaLn[i]), "mean / exp σ");
    ExpectNear6(high->Y[i], r.Mean[i] * std::exp(r.SigmaLn[i]), "mean × exp σ");
  }
  for (const TChartSeries* s : {mean, low, high}) {
    EXPECT_TRUE(s->FitsAxes);
    EXPECT_FALSE(s->Behind);
  }

  // The f0 ± σf band of the windows' peak frequencies.
  const auto band = std::find_if(view.Series.begin(), view.Series.end(), [](const TChartSeries& s) {
    return s.Kind == TSeriesKind::kBand;
  });
  ASSERT_NE(band, view.Series.end());
  ASSERT_EQ(band->X.size(), 2u);
  ExpectNear6(band->X[0], r.F0Median - r.SigmaF, "band low");
  ExpectNear6(band->X[1], r.F0Median + r.SigmaF, "band high");
  EXPECT_EQ(band->Title, "f0 = " + Fixed(r.F0Median, 2) + " ± " + Fixed(r.SigmaF, 2) + " Гц");

  // One curve per window that has one, each behind the result and out of the axis fit; the
  // kept ones drawn last, the others in colours of their own and titled by their fate.
  const auto windows = WindowSeries(view);
  ASSERT_EQ(windows.size(), r.Curves.size() - 1);  // the unusable window has no curve
  std::vector<std::string> fates;
  for (size_t w = 0; w < r.Curves.size(); ++w) {
    const std::string title = "Окно " + std::to_string(w + 1);
    const TChartSeries* s = nullptr;
    for (const char* suffix : {"", " (отклонено)", " (нет пика)", " (непригодно)"}) {
      if (s == nullptr) s = Find(view, title + suffix);
    }
    if (r.Fate[w] == TWindowFate::kUnusable) {
      EXPECT_EQ(s, nullptr) << title;
      continue;
    }
    ASSERT_NE(s, nullptr) << title;
    EXPECT_TRUE(s->Behind);
    EXPECT_FALSE(s->FitsAxes);
    EXPECT_EQ(s->Y.size(), r.Grid.size());
    ExpectNear6(s->Y[40], r.Curves[w][40], title);
    const bool kept = r.Fate[w] == TWindowFate::kKept;
    EXPECT_EQ(s->Title == title, kept) << s->Title;
    EXPECT_EQ(s->Color == windows.back()->Color, kept) << s->Title;
  }
  EXPECT_EQ(Find(view, "Окно 13 (отклонено)")->Color, Find(view, "Окно 14 (отклонено)")->Color);
  EXPECT_NE(Find(view, "Окно 13 (отклонено)")->Color, Find(view, "Окно 15 (нет пика)")->Color);
  EXPECT_EQ(windows.back()->Title.find("отклонено"), std::string::npos);

  // A rendered legend names each group once, with its count.
  std::vector<std::string> legend;
  for (const TChartSeries* s : windows) {
    if (s->InLegend) legend.push_back(s->LegendTitle);
  }
  EXPECT_EQ(legend,
            (std::vector<std::string>{"Окна без пика (1)", "Отклоненные окна (2)", "Окна (12)"}));
  for (const TChartSeries& s : view.Series) {
    for (double y : s.Y) ASSERT_TRUE(std::isfinite(y)) << s.Title;
  }
}

TEST(HvsrShow, PanelListsEachCriterionWithValueThresholdAndOutcome) {
  // Three 30 s windows at 2 Hz: lw · nw · f0 = 180 fails the second reliability test.
  const THvsrResult few = AnalyseWindows(PeakedWindows({2.0, 2.0, 2.0}, 30.0), THvsrSettings{});
  const THvsrResult mixed = Mixed();
  for (const THvsrResult* r : {&mixed, &few}) {
    TempDir dir;
    RecordingUiHost host;
    TSpectrumView view;
    ASSERT_EQ(ShowHvsrResult(view, Write(dir, *r), host), THvsrShown::kWhole);
    const TSidePanel& panel = view.Panel;
    EXPECT_EQ(panel.Title, "Критерии SESAME");
    ASSERT_EQ(panel.Rows.size(), 11u);
    EXPECT_TRUE(panel.Rows[0].Heading);
    EXPECT_TRUE(panel.Rows[4].Heading);
    EXPECT_EQ(panel.Rows[0].Name, "Надежность кривой: " + std::to_string(r->Sesame.ReliablePassed) +
                                      " из 3 (нужны все)");
    EXPECT_EQ(panel.Rows[4].Name,
              "Четкость пика: " + std::to_string(r->Sesame.ClearPassed) + " из 6 (нужны 5)");
    std::vector<TSesameCriterion> criteria = r->Sesame.Reliability;
    criteria.insert(criteria.end(), r->Sesame.Clarity.begin(), r->Sesame.Clarity.end());
    ASSERT_EQ(criteria.size(), 9u);
    size_t c = 0;
    for (const TPanelRow& row : panel.Rows) {
      if (row.Heading) continue;
      const TSesameCriterion& want = criteria[c++];
      EXPECT_EQ(row.Id, want.Id);
      EXPECT_EQ(row.Pass, want.Pass) << row.Id;
      EXPECT_EQ(row.Evaluated, want.Evaluated) << row.Id;
      EXPECT_NEAR(row.Value, want.Value, 1e-9 * std::fabs(want.Value)) << row.Id;
      EXPECT_NEAR(row.Threshold, want.Threshold, 1e-9 * std::fabs(want.Threshold)) << row.Id;
      EXPECT_FALSE(row.Name.empty());
      EXPECT_FALSE(row.ValueText.empty());
    }
  }

  // The texts of the failing case, as the window shows them.
  TempDir dir;
  RecordingUiHost host;
  TSpectrumView view;
  ShowHvsrResult(view, Write(dir, few), host);
  struct Want {
    size_t Row;
    std::string Id, Value, Threshold;
    bool Pass;
  };
  const Want wants[] = {
      {1, "reliable.1", Fixed(few.F0Mean, 2) + " Гц", "> 0.333 Гц", true},
      {2, "reliable.2", Fixed(90.0 * few.F0Mean, 0), "> 200", false},
      {7, "clear.3", Fixed(few.A0Mean, 2), "> 2.00", true},
  };
  for (const Want& w : wants) {
    const TPanelRow& row = view.Panel.Rows[w.Row];
    EXPECT_EQ(row.Id, w.Id);
    EXPECT_EQ(row.ValueText, w.Value) << w.Id;
    EXPECT_EQ(row.ThresholdText, w.Threshold) << w.Id;
    EXPECT_EQ(row.Pass, w.Pass) << w.Id;
  }
  // clear.4 is a relative deviation, shown in percent.
  EXPECT_EQ(view.Panel.Rows[8].Id, "clear.4");
  EXPECT_EQ(view.Panel.Rows[8].ThresholdText, "< 5.00 %");
  ASSERT_FALSE(view.Panel.Notes.empty());
  EXPECT_EQ(view.Panel.Notes[0], few.Sesame.Clear() ? "Итог: кривая ненадежна, пик четкий"
                                                    : "Итог: кривая ненадежна, пик нечеткий");
}

TEST(HvsrShow, WithoutACompanionTheHvFileIsStillShown) {
  const THvsrResult r = Mixed();
  struct Case {
    bool Windows, Report;
    size_t WindowCurves;
    std::string LeftOut;
  };
  const Case cases[] = {
      {true, false, 15, "Критерии SESAME не показаны."},
      {false, true, 0, "Кривые окон не показаны."},
      {false, false, 0, "Показано только то, что есть в файле "},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string hv = Write(dir, r);
    if (!c.Windows) std::filesystem::remove(HvWindowsPath(hv));
    if (!c.Report) std::filesystem::remove(HvReportPath(hv));
    RecordingUiHost host;
    TSpectrumView view;
    ASSERT_EQ(ShowHvsrResult(view, hv, host), THvsrShown::kPartial);
    ASSERT_EQ(host.Messages.size(), 1u);
    const std::string& message = host.Messages[0];
    for (const auto& [present, path] :
         {std::pair{c.Windows, HvWindowsPath(hv)}, std::pair{c.Report, HvReportPath(hv)}}) {
      EXPECT_EQ(message.find("Файл " + path + " не найден") != std::string::npos, !present)
          << message;
    }
    EXPECT_NE(message.find(c.LeftOut), std::string::npos) << message;
    EXPECT_EQ(view.Panel.Notes.back().rfind(c.LeftOut, 0), 0u);
    EXPECT_EQ(WindowSeries(view).size(), c.WindowCurves);
    ASSERT_NE(Find(view, "Средняя H/V"), nullptr);
    EXPECT_EQ(Find(view, "Средняя H/V")->Y.size(), r.Grid.size());

    const auto band = std::find_if(view.Series.begin(), view.Series.end(),
                                   [](const auto& s) { return s.Kind == TSeriesKind::kBand; });
    ASSERT_NE(band, view.Series.end());
    if (c.Report) {
      EXPECT_EQ(view.Panel.Rows.size(), 11u);
      ExpectNear6(band->X[0], r.F0Median - r.SigmaF, "band low");
    } else {
      // The ".hv" file's own spread: the lognormal median divided and multiplied by exp σ_ln.
      EXPECT_TRUE(view.Panel.Rows.empty());
      ExpectNear6(band->X[0], r.F0Median * std::exp(-r.SigmaLnF0), "band low");
      ExpectNear6(band->X[1], r.F0Median * std::exp(r.SigmaLnF0), "band high");
    }
  }
}

// A damaged file: which of the three, how it is changed (nullopt: removed), what is shown and
// what the message must say besides the file's path.
enum TWhich { kHv, kCsv, kJson };
struct TDamage {
  const char* Name;
  TWhich Which;
  std::function<std::optional<std::string>(const std::string&)> Change;
  THvsrShown Shown;
  std::vector<std::string> Says;
};

std::function<std::optional<std::string>(const std::string&)> Line(int line, std::string text) {
  return [=](const std::string& s) { return WithLine(s, line, text); };
}

std::function<std::optional<std::string>(const std::string&)> Json(
    std::function<void(nlohmann::json&)> edit) {
  return [=](const std::string& s) {
    nlohmann::json j = nlohmann::json::parse(s);
    edit(j);
    return j.dump(2);
  };
}

// The ".csv" without its last grid column: a whole file of another grid.
std::optional<std::string> DropLastColumn(const std::string& s) {
  std::string out;
  size_t start = 0;
  while (start < s.size()) {
    size_t end = s.find('\n', start);
    if (end == std::string::npos) end = s.size();
    std::string line = s.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out += line.substr(0, line.rfind(',')) + "\n";
    start = end + 1;
  }
  return out;
}

TEST(HvsrShow, DamagedFilesAreRefusedNamingFileAndLine) {
  const THvsrResult r = Mixed();
  using J = nlohmann::json;
  const TDamage damages[] = {
      {"hv data line", kHv, Line(12, "1.5\tabc\t2\t3"), THvsrShown::kNothing, {"line 12"}},
      {"hv header value", kHv, Line(3, "# f0 from average\tx"), THvsrShown::kNothing, {"line 3"}},
      {"hv empty",
       kHv,
       [](const std::string&) { return std::string(); },
       THvsrShown::kNothing,
       {"line 1"}},
      {"hv missing",
       kHv,
       [](const std::string&) { return std::nullopt; },
       THvsrShown::kNothing,
       {"не найден"}},
      {"csv short row",
       kCsv,
       [](const std::string& s) { return WithLine(s, 3, "3,6000,60,kept,2"); },
       THvsrShown::kPartial,
       {"строка 3", "5 полей вместо 85"}},
      {"csv fate",
       kCsv,
       Line(2, "1,0,0,maybe,2" + std::string(80, ',')),
       THvsrShown::kPartial,
       {"строка 2", "судьба окна \"maybe\""}},
      {"csv overflow",
       kCsv,
       Line(2, "1,0,0,kept,1e999" + std::string(80, ',')),
       THvsrShown::kPartial,
       {"строка 2", "f0 \"1e999\""}},
      {"csv header",
       kCsv,
       Line(1, "window,first_sample,start_s,fate,f0,2,1"),
       THvsrShown::kPartial,
       {"строка 1", "не возрастают"}},
      {"csv foreign header",
       kCsv,
       Line(1, "frequency,a,b"),
       THvsrShown::kPartial,
       {"строка 1", "заголовок"}},
      {"csv of another grid",
       kCsv,
       DropLastColumn,
       THvsrShown::kPartial,
       {"не от того же расчета", "79 частот"}},
      {"csv missing",
       kCsv,
       [](const std::string&) { return std::nullopt; },
       THvsrShown::kPartial,
       {"не найден", "Кривые окон не показаны."}},
      {"json syntax",
       kJson,
       Line(4, "  \"station\": ,"),
       THvsrShown::kPartial,
       {"строка 4: не JSON"}},
      {"json number overflow",
       kJson,
       Line(3, "    \"station\": 1e400,"),
       THvsrShown::kPartial,
       {"строка 3: не JSON"}},
      {"json truncated",
       kJson,
       [](const std::string& s) { return s.substr(0, s.size() / 2); },
       THvsrShown::kPartial,
       {"не JSON"}},
      {"json nesting",
       kJson,
       [](const std::string&) { return std::string(100000, '['); },
       THvsrShown::kPartial,
       {"вложенность"}},
      {"json key missing",
       kJson,
       Json([](J& j) { j.erase("verdict"); }),
       THvsrShown::kPartial,
       {"verdict: нет ключа"}},
      {"json value null",
       kJson,
       Json([](J& j) { j["sesame"]["clear"]["criteria"][2]["value"] = nullptr; }),
       THvsrShown::kPartial,
       {"sesame.clear.criteria[2].value: не число"}},
      {"json criteria count",
       kJson,
       Json([](J& j) { j["sesame"]["reliable"]["criteria"].erase(0); }),
       THvsrShown::kPartial,
       {"sesame.reliable.criteria: не список из 3"}},
      {"json passed count",
       kJson,
       Json([](J& j) { j["sesame"]["clear"]["passed"] = 2; }),
       THvsrShown::kPartial,
       {"sesame.clear.passed: 2"}},
      {"json counts",
       kJson,
       Json([](J& j) { j["windows"]["kept"] = 99; }),
       THvsrShown::kPartial,
       {"не равно total"}},
      {"json negative sigma",
       kJson,
       Json([](J& j) { j["f0_from_windows"]["sigma_f"] = -1; }),
       THvsrShown::kPartial,
       {"sigma_f"}},
      {"json other run",
       kJson,
       Json([](J& j) {
         j["windows"]["total"] = 17;
         j["windows"]["kept"] = 13;
       }),
       THvsrShown::kPartial,
       {"не от того же расчета", "окон 17"}},
  };
  for (const TDamage& d : damages) {
    SCOPED_TRACE(d.Name);
    TempDir dir;
    const std::string hv = Write(dir, r);
    const std::string path = d.Which == kHv    ? hv
                             : d.Which == kCsv ? HvWindowsPath(hv)
                                               : HvReportPath(hv);
    const std::optional<std::string> changed = d.Change(ReadText(path));
    if (changed) {
      testing::WriteText(path, *changed);
    } else {
      std::filesystem::remove(path);
    }
    RecordingUiHost host;
    TSpectrumView view;
    EXPECT_EQ(ShowHvsrResult(view, hv, host), d.Shown);
    ASSERT_EQ(host.Messages.size(), 1u);
    const std::string& message = host.Messages[0];
    EXPECT_NE(message.find("Файл " + path + " "), std::string::npos) << message;
    for (const std::string& s : d.Says) EXPECT_NE(message.find(s), std::string::npos) << message;
    ASSERT_FALSE(host.Statuses.empty());
    EXPECT_EQ(host.Statuses[0].Code, TCode::kLoadingHvsrStatistics);
    const TStatus& told = host.Statuses.back();
    if (d.Shown == THvsrShown::kPartial) {
      // One companion left out: its reason, then what the chart lacks.
      EXPECT_EQ(told.Code, TCode::kHvsrLeftOut);
      ASSERT_EQ(told.Args.size(), 2u);
      ASSERT_TRUE(told.Args[0].Nested);
      EXPECT_EQ(told.Args[0].Nested->File, path);
    } else {
      EXPECT_EQ(told.File, path);
    }
    if (d.Shown == THvsrShown::kNothing) {
      EXPECT_TRUE(view.Series.empty());
      EXPECT_TRUE(view.Panel.Empty());
    } else {
      // What was left out is left out whole: no half-read curves or criteria.
      EXPECT_EQ(WindowSeries(view).empty(), d.Which == kCsv);
      EXPECT_EQ(view.Panel.Rows.empty(), d.Which == kJson);
    }
    for (const TChartSeries& s : view.Series) {
      for (double y : s.Y) ASSERT_TRUE(std::isfinite(y)) << s.Title;
    }
  }
}

TEST(HvWindowsCsv, EmptyFieldsAreGapsAndTheRowsKeepTheirFate) {
  THvWindowsFile f;
  const TStatus parsed = ParseHvWindowsCsv(
      "window,first_sample,start_s,fate,f0,1,2,4\r\n"
      "1,0,0,kept,2,1.5,3,1.2\r\n"
      "\r\n"
      "2,100,1,no_peak,,1,1,1\r\n"
      "3,200,2,unusable,,,,\r\n",
      f);
  ASSERT_TRUE(parsed.Ok()) << Text(parsed, TLanguage::kEnglish);
  EXPECT_EQ(f.Grid, (std::vector<double>{1, 2, 4}));
  ASSERT_EQ(f.Windows.size(), 3u);
  EXPECT_EQ(f.Windows[0].Values, (std::vector<double>{1.5, 3, 1.2}));
  EXPECT_EQ(f.Windows[1].Fate, TWindowFate::kNoPeak);
  EXPECT_EQ(f.Windows[1].F0, 0.0);
  EXPECT_EQ(f.Windows[2].Fate, TWindowFate::kUnusable);
  EXPECT_EQ(f.Windows[2].FirstSample, 200);
  EXPECT_TRUE(std::isnan(f.Windows[2].Values[1]));

  struct TBad {
    const char* Text;
    TCode Code;
    int64_t Line;
  };
  const TBad bad[] = {
      {"", TCode::kHvFileEmpty, 1},
      {"window,first_sample,start_s,fate,f0,1,nan\n", TCode::kHvGridNotPositive, 1},
      {"window,first_sample,start_s,fate,f0,1\n0,0,0,kept,,1\n", TCode::kHvWindowNumber, 2},
      {"window,first_sample,start_s,fate,f0,1\n1,-5,0,kept,,1\n", TCode::kHvFirstSample, 2},
      {"window,first_sample,start_s,fate,f0,1\n1,0,0,kept,0,1\n", TCode::kHvWindowF0, 2},
      {"window,first_sample,start_s,fate,f0,1\n99999999999,0,0,kept,,1\n", TCode::kHvWindowNumber,
       2},
  };
  for (const TBad& b : bad) {
    const TStatus status = ParseHvWindowsCsv(b.Text, f);
    EXPECT_EQ(status.Code, b.Code) << b.Text << ": " << CodeName(status.Code);
    EXPECT_EQ(status.Line, b.Line) << b.Text;
    EXPECT_TRUE(f.Windows.empty() && f.Grid.empty());
  }
}

}  // namespace
}  // namespace tarvik

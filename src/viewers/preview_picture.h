#pragma once

// The preview's picture as data: what the window and the command line paint, in pixels of the
// model's paint area, and what the tests check.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

class TPreviewModel;

// A vertical stroke at column X from the row of the column's largest sample (Top) to that of
// its smallest (Bottom); consecutive strokes are joined, bottom to the next top.
struct TPreviewStroke {
  int X = 0;
  int Top = 0;
  int Bottom = 0;
};

struct TPreviewLine {
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

// Inclusive pixel bounds.
struct TPreviewRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

inline constexpr int kPreviewTickSpacing = 110;
// Marks of a strip's amplitude axis stand at least this many pixels apart.
inline constexpr int kPreviewLevelTickSpacing = 24;

// A mark of a strip's amplitude axis: its row and its value in counts from the strip's middle
// line ("0", "+500", "−500").
struct TPreviewLevelTick {
  int Y = 0;
  int64_t Value = 0;
  std::string Label;
};

// The step of the amplitude marks: the smallest 1, 2 or 5 times a power of ten counts that is
// at least min_counts (1 for anything up to 1).
int64_t RoundCountStep(double min_counts);
inline constexpr char kNoLevelNote[] = "уровень не задан";

struct TPreviewStrip {
  int Channel = 0;  // 0-based channel of the record
  std::string Name;
  // Said beside the name: "уровень не задан" for a channel without an admissible level (every
  // interval then counts as disturbed).
  std::string Note;
  // The amplitude scale: the counts from the strip's middle line (the channel's mean) to its
  // edge, "±1200 отсч.".
  std::string Scale;
  // The amplitude axis at the right edge: the middle line and whole steps above and below it,
  // from top to bottom.
  std::vector<TPreviewLevelTick> LevelTicks;
  int Top = 0, Bottom = 0;
  std::vector<TPreviewStroke> Strokes;
  // From the channel's last sample to the right edge, when it ends before the view does.
  std::optional<TPreviewLine> Tail;
};

// A mark of the time axis along the bottom edge: its column and its label, the full date and
// time on the first mark and where the day changes, the time of day elsewhere.
struct TPreviewTick {
  int X = 0;
  std::string Label;
};

struct TPreviewPicture {
  int Width = 0, Height = 0;
  // The time axis: marks at a round step, at least kPreviewTickSpacing pixels apart.
  std::vector<TPreviewTick> TimeTicks;
  std::vector<TPreviewStrip> Strips;
  // Outside SelectStart..SelectFinish: shaded grey over the trace.
  std::vector<TPreviewRect> Shaded;
  // Disturbed intervals, at least 2 pixels wide: filled red under the trace.
  std::vector<TPreviewRect> Disturbed;
  // Within each strip, the samples its channel did not record (gaps, damaged blocks), at least
  // 2 pixels wide: filled in a colour of their own over the red.
  std::vector<TPreviewRect> Gaps;
  // Within each disturbed interval, each strip's level above and below the channel's mean.
  std::vector<TPreviewLine> LevelLines;
  // The focus rectangle of a zoom or level drag.
  std::optional<TPreviewRect> Focus;
};

// The picture of the model's current state in its paint area.
TPreviewPicture BuildPreviewPicture(const TPreviewModel& model);

}  // namespace tarvik

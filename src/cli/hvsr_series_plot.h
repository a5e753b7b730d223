#pragma once

// plot for the files of the H/V statistics through time and by direction: f0 with its ±σf
// band over time and the H/V spectrogram, or the H/V map over azimuth and frequency.

#include <string>

#include <nlohmann/json.hpp>

#include "viewers/hvsr_chart.h"

namespace tarvik::cli {

// The chart as data: what it draws, the f0 curve and the map's size and range.
nlohmann::ordered_json HvsrSeriesChartJson(const THvsrSeriesChart& chart);

// Draws the chart into path (.png or .pdf); false with the reason in error. Needs the chart
// rendering of a tarvik-cli built with Qt.
bool RenderHvsrSeriesChart(const THvsrSeriesChart& chart, const std::string& path, int width,
                           int height, std::string& error);

}  // namespace tarvik::cli

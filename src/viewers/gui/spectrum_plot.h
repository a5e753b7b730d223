#pragma once

// Drawing a TSpectrumView with QCustomPlot: shared by the viewer window and by the command
// line, which renders the same chart offscreen into a PNG or PDF file.

#include <string>
#include <vector>

#include "viewers/spectrum_chart.h"

class QCustomPlot;
class QCPLayerable;

namespace tarvik::gui {

struct TPlotStyle {
  // A legend of the drawn curves inside the chart (the window has its check list instead).
  bool Legend = false;
  // The view's caption above the chart (the window shows it in its title bar).
  bool Title = false;
  // Spreads as shaded bands whatever the view says: a rendered file is read without zooming,
  // where dots crowd.
  bool SpreadAsBand = false;
};

// Replaces the plot's curves and items with the view's series, in order: a graph per line or
// point series (on a layer under the others when marked Behind; a spread drawn as a band is a
// graph filled down to a hidden lower edge), a shaded rectangle item per band with the band's
// title at its top, a colour map per colour-map series with a colour scale right of the chart
// for the first; an unchecked series is hidden. Sets the axis titles
// and scales and fits the axes to the drawn data. Returns the layerable of each series, so that
// a check-list entry can show or hide it.
std::vector<QCPLayerable*> FillPlot(QCustomPlot& plot, const TSpectrumView& view,
                                    const TPlotStyle& style = {});

// Logarithmic or linear axes with their tickers, minor ticks and number formats.
void SetAxisScales(QCustomPlot& plot, bool log_x, bool log_y);

// Fits both axes to the visible curves of view (positive values only on a logarithmic axis),
// leaving out reference curves unless nothing else is visible. layers are FillPlot's.
void FitToData(QCustomPlot& plot, const TSpectrumView& view,
               const std::vector<QCPLayerable*>& layers);

// Renders view into path, a PNG or a PDF by its extension, width × height pixels, with a legend
// (outside the chart when a colour map fills it), the caption as a title and spreads as bands.
// Needs a QApplication (the command line makes an offscreen one). False with the reason in error
// when the extension is neither or the file cannot be written.
bool RenderChart(const TSpectrumView& view, const std::string& path, int width, int height,
                 std::string& error);

}  // namespace tarvik::gui

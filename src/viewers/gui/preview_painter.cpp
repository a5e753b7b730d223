#include "viewers/gui/preview_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <vector>

namespace tarvik::gui {

namespace {

const QColor kTrace(0, 0, 0);
const QColor kShade(0x80, 0x80, 0x80);
const QColor kDisturbed(0xFF, 0x80, 0x80);
// Samples that were never recorded: a blue apart from the red of interference.
const QColor kGap(0x80, 0xB0, 0xF0);
const QColor kLevel(0x00, 0x80, 0x00);
const QColor kSeparator(0xC8, 0xC8, 0xC8);

QRect ToRect(const TPreviewRect& r) {
  return QRect(QPoint(r.Left, r.Top), QPoint(r.Right, r.Bottom));
}

// The trace of one strip. Strokes in neighbouring columns are joined by a line that splits
// between the two columns, so each column becomes one vertical run of pixels, filled as a
// rectangle: a day-long view is a few thousand rectangles rather than millions of line pixels.
// Strokes further apart are joined by a drawn line.
void PaintTrace(QPainter& painter, const TPreviewStrip& strip, std::vector<QRect>& runs) {
  runs.clear();
  const std::vector<TPreviewStroke>& strokes = strip.Strokes;
  for (size_t i = 0; i < strokes.size(); ++i) {
    const TPreviewStroke& s = strokes[i];
    int lo = s.Top, hi = s.Bottom;
    if (i > 0) {
      const TPreviewStroke& p = strokes[i - 1];
      if (s.X - p.X <= 1) {
        const int mid = (p.Bottom + s.Top) / 2;
        QRect& before = runs.back();
        before.setTop(std::min({before.top(), p.Bottom, mid}));
        before.setBottom(std::max({before.bottom(), p.Bottom, mid}));
        lo = std::min({lo, mid, s.Top});
        hi = std::max({hi, mid, s.Top});
      } else {
        painter.drawLine(p.X, p.Bottom, s.X, s.Top);
      }
    }
    runs.push_back(QRect(s.X, lo, 1, hi - lo + 1));
  }
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(kTrace);
  painter.drawRects(runs.data(), static_cast<int>(runs.size()));
  painter.restore();
  if (strip.Tail) painter.drawLine(strip.Tail->X1, strip.Tail->Y1, strip.Tail->X2, strip.Tail->Y2);
}

}  // namespace

void PaintPreview(QPainter& painter, const TPreviewPicture& picture) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(0, 0, picture.Width, picture.Height), Qt::white);

  // The grey and the red lie under the trace: drawn first, the black trace stays black on them,
  // as multiplying them into the picture would leave it.
  for (const TPreviewRect& r : picture.Shaded) painter.fillRect(ToRect(r), kShade);
  for (const TPreviewRect& r : picture.Disturbed) painter.fillRect(ToRect(r), kDisturbed);
  for (const TPreviewRect& r : picture.Gaps) painter.fillRect(ToRect(r), kGap);

  painter.setPen(QPen(kSeparator, 1));
  for (size_t k = 1; k < picture.Strips.size(); ++k) {
    const int y = picture.Strips[k].Top;
    painter.drawLine(0, y, picture.Width - 1, y);
  }

  painter.setPen(QPen(kTrace, 1));
  std::vector<QRect> runs;
  for (const TPreviewStrip& strip : picture.Strips) PaintTrace(painter, strip, runs);

  // The admissible levels over the trace.
  painter.setPen(QPen(kLevel, 1));
  for (const TPreviewLine& l : picture.LevelLines) painter.drawLine(l.X1, l.Y1, l.X2, l.Y2);

  // Channel names in the strips' upper left corners, on a white patch so they stay legible.
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  for (const TPreviewStrip& strip : picture.Strips) {
    if ((strip.Name.empty() && strip.Note.empty()) || strip.Bottom - strip.Top < metrics.height())
      continue;
    QString name = QString::fromStdString(strip.Name);
    if (!strip.Note.empty()) name += " — " + QString::fromStdString(strip.Note);
    const QRect box(3, strip.Top + 2, metrics.horizontalAdvance(name) + 6, metrics.height());
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.setPen(kTrace);
    painter.drawText(box, Qt::AlignCenter, name);
  }

  // Each strip's amplitude scale in its upper right corner.
  for (const TPreviewStrip& strip : picture.Strips) {
    if (strip.Scale.empty() || strip.Bottom - strip.Top < 2 * metrics.height()) continue;
    const QString scale = QString::fromStdString(strip.Scale);
    const int w = metrics.horizontalAdvance(scale) + 6;
    const QRect box(std::max(0, picture.Width - w - 3), strip.Top + 2, w, metrics.height());
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.setPen(kTrace);
    painter.drawText(box, Qt::AlignCenter, scale);
  }

  // Each strip's amplitude axis along the right edge: a mark per step and its value in counts
  // from the middle line, in a smaller type; a value that would run into the scale or into the
  // value above it is left out, its mark stays.
  QFont small = font;
  small.setPixelSize(10);
  const QFontMetrics small_metrics(small);
  painter.setFont(small);
  for (const TPreviewStrip& strip : picture.Strips) {
    const int right = picture.Width - 1;
    int free_from = strip.Top + 2 + (strip.Scale.empty() ? 0 : metrics.height());
    for (const TPreviewLevelTick& tick : strip.LevelTicks) {
      painter.setPen(QPen(kTrace, 1));
      painter.drawLine(right - 5, tick.Y, right, tick.Y);
      const QString label = QString::fromStdString(tick.Label);
      const int w = small_metrics.horizontalAdvance(label) + 4;
      const int h = small_metrics.height();
      const QRect box(std::max(0, right - 6 - w), tick.Y - h / 2, w, h);
      if (box.top() < free_from || box.bottom() > strip.Bottom) continue;
      free_from = box.bottom() + 2;
      painter.fillRect(box, QColor(255, 255, 255, 200));
      painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, label);
    }
  }
  painter.setFont(font);

  // The time axis along the bottom edge: a mark and its time on a white patch.
  // A label that would run into the one before it is left out; its mark stays.
  int free_from = 0;
  for (const TPreviewTick& tick : picture.TimeTicks) {
    const int bottom = picture.Height - 1;
    painter.setPen(QPen(kTrace, 1));
    painter.drawLine(tick.X, bottom - 6, tick.X, bottom);
    const QString label = QString::fromStdString(tick.Label);
    const int w = metrics.horizontalAdvance(label) + 6;
    const int left = std::clamp(tick.X - w / 2, 0, std::max(0, picture.Width - w));
    if (left < free_from) continue;
    free_from = left + w + 4;
    const QRect box(left, bottom - 6 - metrics.height(), w, metrics.height());
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.drawText(box, Qt::AlignCenter, label);
  }

  if (picture.Focus) {
    QPen dotted(kTrace, 1, Qt::DotLine);
    painter.setPen(dotted);
    painter.setBrush(Qt::NoBrush);
    const QRect r = ToRect(*picture.Focus);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
  }
  painter.restore();
}

QImage RenderPreview(const TPreviewPicture& picture) {
  QImage image(std::max(picture.Width, 1), std::max(picture.Height, 1), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintPreview(painter, picture);
  painter.end();
  return image;
}

}  // namespace tarvik::gui

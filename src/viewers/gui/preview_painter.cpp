#include "viewers/gui/preview_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

namespace tarvik::gui {

namespace {

const QColor kTrace(0, 0, 0);
const QColor kShade(0x80, 0x80, 0x80);
const QColor kDisturbed(0xFF, 0x80, 0x80);
const QColor kLevel(0x00, 0x80, 0x00);
const QColor kSeparator(0xC8, 0xC8, 0xC8);

QRect ToRect(const TPreviewRect& r) {
  return QRect(QPoint(r.Left, r.Top), QPoint(r.Right, r.Bottom));
}

}  // namespace

void PaintPreview(QPainter& painter, const TPreviewPicture& picture) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(0, 0, picture.Width, picture.Height), Qt::white);

  // Multiplying keeps black black: the red and grey lie under the trace whatever the order.
  painter.setCompositionMode(QPainter::CompositionMode_Multiply);
  for (const TPreviewRect& r : picture.Disturbed) painter.fillRect(ToRect(r), kDisturbed);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

  painter.setPen(QPen(kSeparator, 1));
  for (size_t k = 1; k < picture.Strips.size(); ++k) {
    const int y = picture.Strips[k].Top;
    painter.drawLine(0, y, picture.Width - 1, y);
  }

  painter.setPen(QPen(kTrace, 1));
  for (const TPreviewStrip& strip : picture.Strips) {
    QPolygon line;
    line.reserve(static_cast<int>(strip.Strokes.size()) * 2);
    for (const TPreviewStroke& s : strip.Strokes) {
      line << QPoint(s.X, s.Top);
      if (s.Bottom != s.Top) line << QPoint(s.X, s.Bottom);
    }
    if (line.size() == 1) {
      painter.drawPoint(line.front());
    } else {
      painter.drawPolyline(line);
    }
    if (strip.Tail)
      painter.drawLine(strip.Tail->X1, strip.Tail->Y1, strip.Tail->X2, strip.Tail->Y2);
  }

  painter.setCompositionMode(QPainter::CompositionMode_Multiply);
  for (const TPreviewRect& r : picture.Shaded) painter.fillRect(ToRect(r), kShade);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

  painter.setPen(QPen(kLevel, 1));
  for (const TPreviewLine& l : picture.LevelLines) painter.drawLine(l.X1, l.Y1, l.X2, l.Y2);

  // Channel names in the strips' upper left corners, on a white patch so they stay legible.
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  for (const TPreviewStrip& strip : picture.Strips) {
    if (strip.Name.empty() || strip.Bottom - strip.Top < metrics.height()) continue;
    const QString name = QString::fromStdString(strip.Name);
    const QRect box(3, strip.Top + 2, metrics.horizontalAdvance(name) + 6, metrics.height());
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.setPen(kTrace);
    painter.drawText(box, Qt::AlignCenter, name);
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

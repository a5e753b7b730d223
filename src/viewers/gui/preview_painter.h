#pragma once

// Paints the preview's picture: shared by the preview window and "tarvik-cli preview", so that
// a file shows exactly what the window does.

#include <QImage>

#include "viewers/preview_picture.h"

class QPainter;

namespace tarvik::gui {

// Paints picture into the rectangle (0, 0, Width, Height) of painter's device: white ground,
// grey shading and red disturbed intervals under the black trace (which so stays black on
// both), green level lines over everything, channel names, the focus rectangle.
void PaintPreview(QPainter& painter, const TPreviewPicture& picture);

// The picture as an image of its own size.
QImage RenderPreview(const TPreviewPicture& picture);

}  // namespace tarvik::gui

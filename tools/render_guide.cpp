// render_guide OUT.pdf GUIDE.md: renders the user guide (Markdown, images relative to the
// guide's folder) to a PDF of A4 pages with Qt's own Markdown reader and PDF writer. Pictures
// wider than the text are scaled down to its width.

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

namespace {

// Scales every picture down to the text width; false when a picture cannot be read.
bool FitImages(QTextDocument& doc, const QString& base, double text_width) {
  bool ok = true;
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid() || !fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat format = fragment.charFormat().toImageFormat();
      const QString path = QFileInfo(base + "/" + format.name()).absoluteFilePath();
      const QImage image(path);
      if (image.isNull()) {
        std::fprintf(stderr, "render_guide: cannot read the picture %s\n", qPrintable(path));
        ok = false;
        continue;
      }
      doc.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
      const double width = std::min<double>(image.width(), text_width);
      format.setWidth(width);
      format.setHeight(width * image.height() / image.width());
      QTextCursor cursor(&doc);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(format);
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing into a PDF needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: render_guide OUT.pdf GUIDE.md\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString guide = QString::fromLocal8Bit(argv[2]);
  QFile file(guide);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "render_guide: cannot open %s\n", qPrintable(guide));
    return 1;
  }
  const QString markdown = QString::fromUtf8(file.readAll());

  QPdfWriter writer(out);
  writer.setTitle("Tarvik: руководство пользователя");
  writer.setCreator("Tarvik");
  writer.setResolution(150);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(18, 16, 18, 16), QPageLayout::Millimeter));

  QTextDocument doc;
  // Fonts are measured in the writer's units, so that 10 points print as 10 points.
  doc.documentLayout()->setPaintDevice(&writer);
  QFont font("DejaVu Sans");
  font.setPointSizeF(10.0);
  doc.setDefaultFont(font);
  doc.setDefaultStyleSheet("code { font-family: 'DejaVu Sans Mono'; }");
  doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  // Page size in the document's units: points of the writer's resolution.
  const QRectF page = writer.pageLayout().paintRectPixels(writer.resolution());
  doc.setPageSize(page.size());
  // Picture sizes are taken in screen pixels (96 per inch) and scaled to the writer's.
  const double text_width = page.width() * 0.98 * 96.0 / writer.resolution();
  const bool pictures = FitImages(doc, QFileInfo(guide).absolutePath(), text_width);
  doc.print(&writer);
  if (!pictures) return 1;
  std::printf("render_guide: %s, %d pages\n", qPrintable(out), doc.pageCount());
  return 0;
}

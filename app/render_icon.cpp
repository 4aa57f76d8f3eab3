// Build helper: renders the program's SVG icon as a PNG of the given size, for the icon theme.
// render_icon IN.svg OUT.png SIZE
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_icon IN.svg OUT.png SIZE\n");
    return 1;
  }
  const int size = std::atoi(argv[3]);
  QSvgRenderer svg{QString(argv[1])};
  if (!svg.isValid() || size <= 0) {
    std::fprintf(stderr, "render_icon: cannot render %s\n", argv[1]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  svg.render(&painter, QRectF(0, 0, size, size));
  painter.end();
  return image.save(QString(argv[2])) ? 0 : 1;
}

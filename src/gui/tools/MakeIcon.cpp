// Draws the program's icon in the usual hicolor sizes below the folder named
// on the command line ("<folder>/<N>x<N>/apps/popclipmill.png"): a blue
// rounded square with a film strip and a play mark. Run at build time,
// offscreen.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage Draw(int n) {
  QImage img(n, n, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(n / 64.0, n / 64.0);
  QLinearGradient g(0, 0, 0, 64);
  g.setColorAt(0, QColor("#4a8df0"));
  g.setColorAt(1, QColor("#1f56b3"));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  // Film strip with its perforations.
  p.setBrush(QColor("#f4f7fc"));
  p.drawRoundedRect(QRectF(10, 14, 44, 36), 4, 4);
  p.setBrush(QColor("#1f56b3"));
  for (int i = 0; i < 5; ++i) {
    p.drawRect(QRectF(13 + i * 8.5, 17, 4, 4));
    p.drawRect(QRectF(13 + i * 8.5, 43, 4, 4));
  }
  // Play mark.
  QPainterPath play;
  play.moveTo(27, 24);
  play.lineTo(40, 32);
  play.lineTo(27, 40);
  play.closeSubpath();
  p.setBrush(QColor("#f08a24"));
  p.drawPath(play);
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  for (int n : {16, 22, 24, 32, 48, 64, 128, 256}) {
    QString dir = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(n);
    QDir().mkpath(dir);
    if (!Draw(n).save(dir + "/popclipmill.png")) {
      std::fprintf(stderr, "cannot write %s/popclipmill.png\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}

// Draws every picture the window loads from "images" beside the executable:
// profile button faces (normal and highlighted) from the catalog's display
// names, category pictures, the page-turning strips, the title images, the
// profile icon and the toolbar glyphs. Run at build time, offscreen.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

#include "profiles/Catalog.h"
#include "profiles/PickerState.h"

namespace {

const QColor kInk("#1d2433");
const QColor kMuted("#5b6475");
const QColor kAccent("#2f6fd6");
const QColor kLight("#e6effc");
const QColor kLine("#d5dbe5");

QString outDir;

bool Save(const QImage& img, const QString& rel) {
  QString path = outDir + "/" + rel;
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!img.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QImage Canvas(int w, int h, QColor fill) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(fill);
  return img;
}

QFont Font(int px, bool bold = false) {
  QFont f("DejaVu Sans");
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

// Splits "MP3-MPEG Layer-3Audio(*.mp3)" into a badge ("MP3"), a title and the
// extension pattern.
void SplitName(const QString& name, QString& badge, QString& title, QString& ext) {
  int open = name.lastIndexOf('(');
  QString rest = open > 0 ? name.left(open).trimmed() : name;
  ext = open > 0 ? name.mid(open + 1).chopped(name.endsWith(')') ? 1 : 0) : QString();
  int dash = rest.indexOf('-');
  QString head = dash > 0 ? rest.left(dash).trimmed() : QString();
  if (!head.isEmpty() && head.size() <= 6 && !head.contains(' ')) {
    badge = head;
    title = rest.mid(dash + 1).trimmed();
  } else {
    badge = ext.mid(ext.indexOf('.') + 1).toUpper();
    title = rest;
  }
  if (badge.isEmpty()) badge = "?";
}

QImage ButtonFace(int n, int h, bool lit) {
  QImage img = Canvas(310, h, lit ? kLight : Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(kLine);
  p.drawLine(0, h - 1, 310, h - 1);
  if (lit) p.fillRect(0, 0, 4, h, kAccent);
  // The face says what a click does: the profile it applies or the family
  // its sub-panel holds; a button that does neither stays blank.
  const std::string caption = pcm::PickerState::ButtonCaption(n);
  if (caption.empty()) return img;
  QString badge, title, ext;
  SplitName(QString::fromStdString(caption), badge, title, ext);
  // A parent opens a panel beside it.
  if (pcm::PickerState::SubPanelOf(n)) title += QString::fromUtf8(" \u25b8");
  QRectF b(14, (h - 26) / 2.0, 54, 26);
  p.setPen(Qt::NoPen);
  p.setBrush(lit ? kAccent : QColor("#eef1f6"));
  p.drawRoundedRect(b, 5, 5);
  p.setPen(lit ? Qt::white : kAccent);
  QFont bf = Font(badge.size() > 4 ? 10 : 12, true);
  p.setFont(bf);
  p.drawText(b, Qt::AlignCenter, QFontMetrics(bf).elidedText(badge, Qt::ElideRight, 50));
  QFont tf = Font(12, true);
  p.setFont(tf);
  p.setPen(kInk);
  QRectF t(80, b.top() - 2, 220, 16);
  p.drawText(t, Qt::AlignLeft | Qt::AlignVCenter, QFontMetrics(tf).elidedText(title, Qt::ElideRight, 220));
  p.setFont(Font(11));
  p.setPen(kMuted);
  p.drawText(QRectF(80, b.top() + 14, 220, 16), Qt::AlignLeft | Qt::AlignVCenter, ext);
  return img;
}

QImage Strip(const QString& text, Qt::Alignment align) {
  QImage img = Canvas(310, 17, QColor("#f2f4f8"));
  QPainter p(&img);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(kAccent);
  p.setFont(Font(11, true));
  p.drawText(QRect(10, 0, 290, 17), align | Qt::AlignVCenter, text);
  return img;
}

const char* const kCategoryNames[13] = {"Video",    "Audio",    "iPod", "iPhone",       "Smartphone",
                                        "Apple TV", "PSP",      "Xbox", "Mobile Phone", "Windows Mobile",
                                        "PMP",      "HD Video", "Flash"};
const char* const kCategoryFiles[13] = {
    "img_video1.bmp",  "img_audio1.bmp", "img_ipod.bmp",     "img_iphone.bmp", "img_gphone.bmp",
    "img_appletv.bmp", "img_psp.bmp",    "img_xbox.bmp",     "img_phone.bmp",  "img_win.bmp",
    "img_pmp.bmp",     "img_hd.bmp",     "img_animation.bmp"};

QImage CategoryPicture(int k, bool lit) {
  int h = k == 1 ? 27 : 25;
  QImage img = Canvas(153, h, lit ? kAccent : Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(kLine);
  p.drawLine(0, h - 1, 153, h - 1);
  p.setPen(lit ? Qt::white : kInk);
  p.setFont(Font(12, lit));
  p.drawText(QRect(12, 0, 120, h), Qt::AlignLeft | Qt::AlignVCenter, kCategoryNames[k - 1]);
  p.drawText(QRect(130, 0, 16, h), Qt::AlignCenter, QString::fromUtf8("\u203a"));
  return img;
}

QImage Title(const QString& name, const QString& tag) {
  QImage img(300, 30, QImage::Format_ARGB32);
  img.fill(QColor("#243150"));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor("#4d8ff0"));
  p.drawRoundedRect(QRectF(2, 6, 18, 18), 4, 4);
  p.setBrush(Qt::white);
  QPainterPath tri;
  tri.moveTo(8, 10);
  tri.lineTo(16, 15);
  tri.lineTo(8, 20);
  tri.closeSubpath();
  p.drawPath(tri);
  p.setPen(Qt::white);
  QFont f = Font(15, true);
  p.setFont(f);
  p.drawText(QRect(28, 0, 200, 30), Qt::AlignLeft | Qt::AlignVCenter, name);
  int w = QFontMetrics(f).horizontalAdvance(name);
  if (!tag.isEmpty()) {
    p.setPen(QColor("#a9c5f5"));
    p.setFont(Font(12));
    p.drawText(QRect(36 + w, 0, 120, 30), Qt::AlignLeft | Qt::AlignVCenter, tag);
  }
  return img;
}

// Toolbar glyphs, drawn in a 24 x 24 box.
QImage Glyph(const QString& name, QColor ink) {
  QImage img(24, 24, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  auto plus = [&](QPointF c) {
    p.drawLine(c + QPointF(-4, 0), c + QPointF(4, 0));
    p.drawLine(c + QPointF(0, -4), c + QPointF(0, 4));
  };
  auto triangle = [&](qreal x, qreal y, qreal s, bool right) {
    QPainterPath t;
    t.moveTo(x, y - s);
    t.lineTo(right ? x + s * 1.5 : x - s * 1.5, y);
    t.lineTo(x, y + s);
    t.closeSubpath();
    p.setBrush(ink);
    p.drawPath(t);
    p.setBrush(Qt::NoBrush);
  };
  if (name == "bt_dvdopen") {
    p.drawRect(QRectF(4, 3, 12, 16));
    plus(QPointF(17, 17));
  } else if (name == "bt_ifo") {
    QPainterPath f;
    f.moveTo(3, 6);
    f.lineTo(9, 6);
    f.lineTo(11, 8);
    f.lineTo(19, 8);
    f.lineTo(19, 18);
    f.lineTo(3, 18);
    f.closeSubpath();
    p.drawPath(f);
    plus(QPointF(18, 18));
  } else if (name == "bt_remove") {
    p.drawEllipse(QPointF(12, 12), 8, 8);
    p.drawLine(QPointF(8, 12), QPointF(16, 12));
  } else if (name == "bt_clear") {
    p.drawLine(QPointF(5, 7), QPointF(19, 7));
    p.drawRect(QRectF(7, 7, 10, 13));
    p.drawLine(QPointF(10, 4), QPointF(14, 4));
  } else if (name == "bt_chapte") {
    p.drawEllipse(QPointF(12, 12), 8, 8);
    p.drawLine(QPointF(12, 11), QPointF(12, 16));
    p.drawPoint(QPointF(12, 8));
  } else if (name == "bt_set") {
    p.drawEllipse(QPointF(12, 12), 3, 3);
    for (int i = 0; i < 8; ++i) {
      qreal a = i * M_PI / 4;
      p.drawLine(QPointF(12 + 5.5 * std::cos(a), 12 + 5.5 * std::sin(a)),
                 QPointF(12 + 8.5 * std::cos(a), 12 + 8.5 * std::sin(a)));
    }
  } else if (name == "pause") {
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(7, 6, 3, 12), 1, 1);
    p.drawRoundedRect(QRectF(14, 6, 3, 12), 1, 1);
  } else if (name == "bt_start" || name == "bt_play" || name == "continue") {
    triangle(8, 12, 7, true);
  } else if (name == "Bt_Convertstop" || name == "bt_playstop") {
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(6, 6, 12, 12), 2, 2);
  } else if (name == "bt_back") {
    triangle(12, 12, 5, false);
    triangle(19, 12, 5, false);
  } else if (name == "bt_next") {
    triangle(5, 12, 5, true);
    triangle(12, 12, 5, true);
  } else if (name == "bt_cut") {
    p.drawEllipse(QPointF(7, 17), 3, 3);
    p.drawEllipse(QPointF(17, 17), 3, 3);
    p.drawLine(QPointF(9, 15), QPointF(17, 4));
    p.drawLine(QPointF(15, 15), QPointF(7, 4));
  } else if (name == "bt_images") {
    p.drawRoundedRect(QRectF(3, 7, 18, 12), 2, 2);
    p.drawEllipse(QPointF(12, 13), 3.5, 3.5);
    p.drawLine(QPointF(8, 7), QPointF(10, 4));
    p.drawLine(QPointF(10, 4), QPointF(14, 4));
    p.drawLine(QPointF(14, 4), QPointF(16, 7));
  } else if (name == "bt_web") {
    p.drawEllipse(QPointF(12, 12), 8, 8);
    p.drawLine(QPointF(4, 12), QPointF(20, 12));
    p.drawEllipse(QPointF(12, 12), 3.5, 8);
  }
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  outDir = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  for (int n = 1; n <= pcm::kProfileCount; ++n) {
    const pcm::ProfileRecord* r = pcm::ProfileInfo(n);
    int h = r->button == pcm::ButtonKind::Foot ? 17 : r->place == 1 ? 53 : 48;
    if (r->button == pcm::ButtonKind::Foot) {
      ok &= Save(Strip(QString(), Qt::AlignLeft), QString("sub/general/%1.bmp").arg(n));
      ok &= Save(Strip(QString(), Qt::AlignLeft), QString("sub/move/%1.bmp").arg(n));
      continue;
    }
    ok &= Save(ButtonFace(n, h, false), QString("sub/general/%1.bmp").arg(n));
    ok &= Save(ButtonFace(n, h, true), QString("sub/move/%1.bmp").arg(n));
  }
  for (int k = 1; k <= 13; ++k) {
    ok &= Save(CategoryPicture(k, false), QString("main/general/") + kCategoryFiles[k - 1]);
    ok &= Save(CategoryPicture(k, true), QString("main/move/") + kCategoryFiles[k - 1]);
  }
  ok &= Save(Strip(QString::fromUtf8("More formats \u25b8"), Qt::AlignRight), "main/page_next.bmp");
  ok &= Save(Strip(QString::fromUtf8("\u25c2 Back"), Qt::AlignLeft), "main/page_prev.bmp");
  ok &= Save(Strip(QString(), Qt::AlignLeft), "main/foot.bmp");
  ok &= Save(Canvas(310, 358, QColor("#f7f9fc")), "main/back.bmp");
  // The profile icon beside the profile name.
  QImage icon(16, 16, QImage::Format_RGB32);
  icon.fill(Qt::white);
  {
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 4, 8, 2));
    p.drawRect(QRectF(4, 7, 8, 2));
    p.drawRect(QRectF(4, 10, 5, 2));
  }
  ok &= Save(icon, "main/2.bmp");
  ok &= Save(Title("PopClipMill", ""), "main/popclipmill.bmp");
  ok &= Save(Title("PopClipMill", "DVD"), "main/popclipmill-dvd.bmp");
  QImage appIcon =
      Glyph("bt_start", Qt::white).scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  QImage framed(64, 64, QImage::Format_ARGB32);
  framed.fill(Qt::transparent);
  {
    QPainter p(&framed);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.drawImage(QRect(10, 8, 48, 48), appIcon);
  }
  ok &= Save(framed, "main/icon.png");
  const char* glyphs[] = {"bt_dvdopen", "bt_ifo",         "bt_remove", "bt_clear",    "bt_chapte", "bt_set",
                          "bt_start",   "Bt_Convertstop", "bt_play",   "bt_playstop", "bt_back",   "bt_next",
                          "bt_cut",     "bt_images",      "bt_web",    "pause",       "continue"};
  for (const char* g : glyphs) {
    QColor ink = QString(g) == "bt_start"         ? QColor(Qt::white)
                 : QString(g) == "Bt_Convertstop" ? QColor("#c0392b")
                                                  : kInk;
    ok &= Save(Glyph(g, ink), QString("buttons/%1.png").arg(g));
  }
  return ok ? 0 : 1;
}

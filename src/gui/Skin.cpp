#include "gui/Skin.h"

#include <QFile>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cstdlib>

namespace pcm {

namespace {

// Forms are windows: each side is painted into a buffer of its own, so a
// skin asking for 30000 x 30000 would take gigabytes. Nothing on a screen
// needs more than this many pixels a side, nor a font above kMaxFontSize.
constexpr int kMaxSide = 8192;
constexpr int kMaxFontSize = 512;

QString Pixels(int w, int h) { return QString::number(w) + " x " + QString::number(h); }

QRect ReadRect(const QJsonValue& v, const QString& where) {
  QJsonArray a = v.toArray();
  if (a.size() != 4)
    throw SkinError(("skin: " + where + " needs a rectangle [left, top, width, height]").toStdString());
  QRect r(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
  if (r.width() < 0 || r.height() < 0 || r.width() > kMaxSide || r.height() > kMaxSide ||
      std::abs(r.left()) > kMaxSide || std::abs(r.top()) > kMaxSide)
    throw SkinError(("skin: " + where + " has the rectangle [" + QString::number(r.left()) + ", " +
                     QString::number(r.top()) + ", " + QString::number(r.width()) + ", " +
                     QString::number(r.height()) + "], beyond " + Pixels(kMaxSide, kMaxSide) + " pixels")
                        .toStdString());
  return r;
}

QColor ReadColor(const QJsonObject& o, const char* key) {
  return o.contains(key) ? QColor(o.value(key).toString()) : QColor();
}

const QStringList kKinds = {"plain", "text",    "button", "menu",    "bar",
                            "strip", "picture", "close",  "minimize"};

}  // namespace

void SkinFile::Load(const QString& path) {
  path_ = path;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw SkinError(("cannot read the skin file " + path).toStdString());
  QJsonParseError err;
  QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
  if (doc.isNull())
    throw SkinError(("the skin file " + path + " is not valid JSON: " + err.errorString()).toStdString());
  QJsonObject forms = doc.object().value("forms").toObject();
  forms_.clear();
  for (auto it = forms.begin(); it != forms.end(); ++it) {
    QJsonObject fo = it.value().toObject();
    SkinFormDesc form;
    form.name = it.key();
    QJsonArray size = fo.value("size").toArray();
    // A number that is not a whole one in int range reads as 0 and is refused.
    form.size = size.isEmpty() ? QSize(640, 480) : QSize(size.at(0).toInt(0), size.at(1).toInt(0));
    if (form.size.width() < 1 || form.size.height() < 1 || form.size.width() > kMaxSide ||
        form.size.height() > kMaxSide)
      throw SkinError(("the skin file " + path + ": form \"" + form.name + "\" has the size " +
                       Pixels(form.size.width(), form.size.height()) + ", not within 1 x 1 to " +
                       Pixels(kMaxSide, kMaxSide) + " pixels")
                          .toStdString());
    form.background = ReadColor(fo, "background");
    form.border = ReadColor(fo, "border");
    for (const QJsonValue& ev : fo.value("elements").toArray()) {
      QJsonObject eo = ev.toObject();
      SkinElementDesc e;
      e.name = eo.value("name").toString();
      e.kind = eo.value("kind").toString("plain");
      if (e.name.isEmpty())
        throw SkinError(("skin: an element of form " + form.name + " has no name").toStdString());
      if (!kKinds.contains(e.kind))
        throw SkinError(
            ("skin: element \"" + e.name + "\" has unknown kind \"" + e.kind + "\"").toStdString());
      e.rect = ReadRect(eo.value("rect"), "element \"" + e.name + "\"");
      e.text = eo.value("text").toString();
      e.color = ReadColor(eo, "color");
      e.textColor = ReadColor(eo, "textColor");
      e.hoverColor = ReadColor(eo, "hoverColor");
      e.borderColor = ReadColor(eo, "borderColor");
      e.fontSize = eo.value("fontSize").toInt(12);
      if (e.fontSize < 1 || e.fontSize > kMaxFontSize)
        throw SkinError(("skin: element \"" + e.name + "\" has the font size " + QString::number(e.fontSize) +
                         ", not within 1 to " + QString::number(kMaxFontSize))
                            .toStdString());
      e.bold = eo.value("bold").toBool(false);
      e.align = eo.value("align").toString("left");
      e.image = eo.value("image").toString();
      e.visible = eo.value("visible").toBool(true);
      e.radius = eo.value("radius").toInt(0);
      e.mouse = eo.value("mouse").toBool(true);
      form.elements.push_back(e);
    }
    QJsonObject controls = fo.value("controls").toObject();
    for (auto c = controls.begin(); c != controls.end(); ++c)
      form.controls.insert(c.key(), ReadRect(c.value(), "control \"" + c.key() + "\""));
    forms_.insert(form.name, form);
  }
}

const SkinFormDesc& SkinFile::Form(const QString& name) const {
  auto it = forms_.find(name);
  if (it == forms_.end())
    throw SkinError(("the skin file " + path_ + " has no form \"" + name + "\"").toStdString());
  return *it;
}

void SkinFile::Require(const QString& form, const QStringList& elements, const QStringList& controls) const {
  const SkinFormDesc& f = Form(form);
  for (const QString& name : elements) {
    bool found = false;
    for (const auto& e : f.elements) found = found || e.name == name;
    if (!found)
      throw SkinError(
          ("the skin file " + path_ + " lacks the element \"" + name + "\" of form \"" + form + "\"")
              .toStdString());
  }
  for (const QString& name : controls)
    if (!f.controls.contains(name))
      throw SkinError(
          ("the skin file " + path_ + " lacks the control \"" + name + "\" of form \"" + form + "\"")
              .toStdString());
}

SkinElement::SkinElement(const SkinElementDesc& desc, const QString& baseDir, SkinForm* form)
    : QWidget(form), desc_(desc), form_(form) {
  setObjectName(desc.name);
  setGeometry(desc.rect);
  setMouseTracking(true);
  setVisible(desc.visible);
  setAttribute(Qt::WA_TransparentForMouseEvents, !desc.mouse);
  if (!desc.image.isEmpty()) SetImage(baseDir + desc.image);
  if (desc.kind == "button" || desc.kind == "menu" || desc.kind == "close" || desc.kind == "minimize")
    setCursor(Qt::PointingHandCursor);
}

void SkinElement::SetText(const QString& text) {
  desc_.text = text;
  update();
}

void SkinElement::SetPosition(int p) {
  position_ = std::clamp(p, 0, 10000);
  update();
}

bool SkinElement::SetImage(const QString& path) {
  QPixmap p;
  if (!p.load(path)) return false;
  pixmap_ = p;
  update();
  return true;
}

int SkinElement::PositionAt(int x) const {
  if (width() <= 1) return 0;
  return std::clamp(int(qint64(x) * 10000 / (width() - 1)), 0, 10000);
}

void SkinElement::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const QString& k = desc_.kind;
  QColor fill = desc_.color;
  if ((k == "button" || k == "menu" || k == "close" || k == "minimize") && hover_ && isEnabled() &&
      desc_.hoverColor.isValid())
    fill = down_ ? desc_.hoverColor.darker(115) : desc_.hoverColor;
  if (fill.isValid() || desc_.borderColor.isValid()) {
    p.save();
    // A disabled button fades into the form, as the toolbar's buttons do.
    if (k == "button" && !isEnabled()) p.setOpacity(0.5);
    p.setPen(desc_.borderColor.isValid() ? QPen(desc_.borderColor) : Qt::NoPen);
    p.setBrush(fill.isValid() ? QBrush(fill) : Qt::NoBrush);
    p.drawRoundedRect(r, desc_.radius, desc_.radius);
    p.restore();
  }
  if (!pixmap_.isNull() && k == "button") {
    // A button's picture is its glyph: drawn centred at the size of the
    // toolbar's icons, faint while the button is disabled.
    QRectF glyph(0, 0, 18, 18);
    glyph.moveCenter(QRectF(rect()).center());
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!isEnabled()) p.setOpacity(0.4);
    p.drawPixmap(glyph, pixmap_, QRectF(pixmap_.rect()));
    p.restore();
  } else if (!pixmap_.isNull()) {
    p.drawPixmap(rect(), pixmap_);
  }
  QColor ink = desc_.textColor.isValid() ? desc_.textColor : QColor("#1d2433");
  if (!isEnabled()) ink.setAlpha(110);
  if (k == "bar") {
    int cy = height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(ink.red(), ink.green(), ink.blue(), 60));
    p.drawRoundedRect(QRectF(0, cy - 2, width(), 4), 2, 2);
    qreal x = qreal(position_) * (width() - 12) / 10000 + 6;
    p.setBrush(ink);
    p.drawEllipse(QPointF(x, cy), 6, 6);
    return;
  }
  if (k == "close" || k == "minimize") {
    p.setPen(QPen(ink, 1.6));
    QPointF c = QRectF(rect()).center();
    if (k == "close") {
      p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
      p.drawLine(c + QPointF(-5, 5), c + QPointF(5, -5));
    } else {
      p.drawLine(c + QPointF(-5, 4), c + QPointF(5, 4));
    }
    return;
  }
  if (desc_.text.isEmpty()) return;
  QFont f = font();
  f.setPixelSize(desc_.fontSize);
  f.setBold(desc_.bold);
  p.setFont(f);
  p.setPen(ink);
  Qt::Alignment a = Qt::AlignVCenter;
  a |= desc_.align == "center" ? Qt::AlignHCenter : desc_.align == "right" ? Qt::AlignRight : Qt::AlignLeft;
  int pad = (k == "text" && !fill.isValid()) ? 0 : 8;
  if (k == "button" || k == "menu") pad = 4;
  QRect tr = rect().adjusted(pad, 0, -pad, 0);
  p.drawText(tr, a, QFontMetrics(f).elidedText(desc_.text, Qt::ElideRight, tr.width()));
}

void SkinElement::mousePressEvent(QMouseEvent* e) {
  down_ = true;
  update();
  emit form_->pressed(desc_.name, e->position().toPoint());
  if (desc_.kind == "bar" && e->button() == Qt::LeftButton) {
    SetPosition(PositionAt(e->position().toPoint().x()));
    emit form_->barTracked(desc_.name, position_);
  }
}

void SkinElement::mouseReleaseEvent(QMouseEvent* e) {
  bool wasDown = down_;
  down_ = false;
  update();
  emit form_->released(desc_.name);
  if (!wasDown || !rect().contains(e->position().toPoint()) || e->button() != Qt::LeftButton) return;
  if (desc_.kind == "close") {
    window()->close();
  } else if (desc_.kind == "minimize") {
    window()->showMinimized();
  } else {
    emit form_->clicked(desc_.name);
  }
}

void SkinElement::mouseMoveEvent(QMouseEvent* e) {
  emit form_->pointerMoved(desc_.name, e->position().toPoint(), e->buttons());
  if (desc_.kind == "bar" && (e->buttons() & Qt::LeftButton)) {
    SetPosition(PositionAt(e->position().toPoint().x()));
    emit form_->barTracked(desc_.name, position_);
  }
}

void SkinElement::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void SkinElement::leaveEvent(QEvent*) {
  hover_ = false;
  down_ = false;
  update();
}

SkinForm::SkinForm(const SkinFormDesc& desc, const QString& baseDir, QWidget* parent)
    : QWidget(parent), desc_(desc) {
  setObjectName(desc.name);
  setFixedSize(desc.size);
  for (const auto& e : desc.elements) elements_.insert(e.name, new SkinElement(e, baseDir, this));
}

void SkinForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), desc_.background.isValid() ? desc_.background : QColor("#f4f6fa"));
}

void SkinForm::DrawBorder() {
  if (!desc_.border.isValid()) return;
  if (!frame_) {
    frame_ = new QFrame(this);
    frame_->setObjectName("form_border");
    frame_->setAttribute(Qt::WA_TransparentForMouseEvents);
    frame_->setStyleSheet("QFrame#form_border { background: transparent; border: 1px solid " +
                          desc_.border.name() + "; }");
  }
  frame_->setGeometry(rect());
  frame_->raise();
}

}  // namespace pcm

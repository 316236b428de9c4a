#pragma once
#include <QColor>
#include <QFrame>
#include <QJsonObject>
#include <QMap>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <stdexcept>

namespace pcm {

// The skin file "skn.skn": a JSON document describing the forms
// ("popclipmill", "cutter") and their named elements, plus the rectangles of
// the ordinary controls laid over each form.
struct SkinElementDesc {
  QString name;
  QString kind;  // plain, text, button, menu, bar, strip, picture, close, minimize
  QRect rect;
  QString text;
  QColor color;       // background or fill
  QColor textColor;   // text and glyphs
  QColor hoverColor;  // buttons and menu items under the pointer
  QColor borderColor;
  int fontSize = 12;
  bool bold = false;
  QString align;  // left (default), center, right
  QString image;  // picture path below the executable's directory
  bool visible = true;
  int radius = 0;
  bool mouse = true;  // false: clicks and moves go to what lies below
};

struct SkinFormDesc {
  QString name;
  QSize size;
  QColor background;
  QColor border;  // a one-pixel frame around the form
  QList<SkinElementDesc> elements;
  QMap<QString, QRect> controls;
};

class SkinError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SkinFile {
 public:
  // Reads and checks the file; throws SkinError naming what is wrong.
  void Load(const QString& path);
  // The named form; throws SkinError when missing.
  const SkinFormDesc& Form(const QString& name) const;
  // Throws SkinError naming the first element or control that is missing.
  void Require(const QString& form, const QStringList& elements, const QStringList& controls) const;

 private:
  QMap<QString, SkinFormDesc> forms_;
  QString path_;
};

class SkinForm;

// One painted element of a skinned form. Reports its events to the form.
class SkinElement : public QWidget {
  Q_OBJECT
 public:
  SkinElement(const SkinElementDesc& desc, const QString& baseDir, SkinForm* form);

  const SkinElementDesc& desc() const { return desc_; }
  void SetText(const QString& text);
  QString Text() const { return desc_.text; }
  // Bars: position 0..10000.
  void SetPosition(int p);
  int Position() const { return position_; }
  // Picture elements: loads a picture; false when it cannot be read.
  bool SetImage(const QString& path);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  int PositionAt(int x) const;

  SkinElementDesc desc_;
  SkinForm* form_;
  QPixmap pixmap_;
  int position_ = 0;
  bool hover_ = false;
  bool down_ = false;
};

// A widget skinned with one form of the skin file. Delivers click, press,
// release, pointer-move and bar-track events with the element's name.
class SkinForm : public QWidget {
  Q_OBJECT
 public:
  SkinForm(const SkinFormDesc& desc, const QString& baseDir, QWidget* parent = nullptr);

  SkinElement* Element(const QString& name) const { return elements_.value(name); }
  const SkinFormDesc& desc() const { return desc_; }
  QRect ControlRect(const QString& name) const { return desc_.controls.value(name); }
  // Puts the form's frame, when it has one, above everything built on it.
  void DrawBorder();

 signals:
  void clicked(const QString& name);
  void pressed(const QString& name, const QPoint& pos);
  void released(const QString& name);
  void pointerMoved(const QString& name, const QPoint& pos, Qt::MouseButtons buttons);
  void barTracked(const QString& name, int position);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  friend class SkinElement;
  SkinFormDesc desc_;
  QMap<QString, SkinElement*> elements_;
  QFrame* frame_ = nullptr;
};

}  // namespace pcm

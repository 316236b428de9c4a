#include "gui/ProfilePicker.h"

#include "gui/GuiServices.h"
#include "gui/Skin.h"
#include "profiles/Catalog.h"

namespace pcm {

namespace {

constexpr int kPanelWidth = 310;
constexpr int kSubPanelWidth = 311;
constexpr int kPanelHeight = 358;
constexpr int kFootTop = 341;
constexpr int kFootHeight = 17;

int ButtonTop(int place) { return place == 1 ? -1 : 52 + (place - 2) * 48; }

bool IsSubPanel(const QString& p) {
  return p == "pl_avi" || p == "pl_mpeg" || p == "pl_mp4" || p == "pl_mkv";
}

}  // namespace

ProfilePicker::ProfilePicker(QWidget* form, SkinDisplay& display, SkinElement* backdrop,
                             const std::string& imagesDir, const VariantLayout& layout)
    : QObject(form), display_(display), backdrop_(backdrop), images_(imagesDir) {
  const QString frameStyle = "QFrame#%1 { background: #ffffff; border: 1px solid #b9c3d3; }";
  back_ = new QFrame(form);
  back_->setObjectName("pl_back");
  back_->setGeometry(layout.panelLeft, layout.panelTop, kPanelWidth, kPanelHeight);
  AddPicture("Image13", back_, {0, 0, kPanelWidth, kPanelHeight}, "main/back.bmp");
  back_->hide();

  auto* column = new QFrame(form);
  column->setObjectName("pl_main");
  column->setStyleSheet(frameStyle.arg("pl_main"));
  column->setGeometry(layout.categoryLeft, layout.categoryTop, 153, 27 + 12 * 25);
  panels_.insert("pl_main", column);
  for (int k = 1; k <= 13; ++k) {
    QString file = PickerState::CategoryPicture(k);
    QString name = k == 1 ? QString("img_gvideo1") : file.chopped(4);
    AddPicture(name, column, {0, k == 1 ? 0 : 27 + (k - 2) * 25, 153, k == 1 ? 27 : 25},
               "main/general/" + file);
  }
  column->hide();

  for (const std::string& p : PickerState::Panels()) {
    QString name = QString::fromStdString(p);
    auto* panel = new QFrame(form);
    panel->setObjectName(name);
    panel->setStyleSheet(frameStyle.arg(name));
    bool sub = IsSubPanel(name);
    panel->setGeometry(layout.panelLeft + (sub ? layout.subPanelOffset : 0), layout.panelTop,
                       sub ? kSubPanelWidth : kPanelWidth, kPanelHeight);
    panels_.insert(name, panel);
  }
  for (int n = 1; n <= kProfileCount; ++n) {
    const ProfileRecord* r = ProfileInfo(n);
    QWidget* panel = panels_.value(r->panel);
    bool foot = r->button == ButtonKind::Foot || r->place == 8;
    QRect g = foot ? QRect(0, kFootTop, kPanelWidth, kFootHeight)
                   : QRect(0, ButtonTop(r->place), panel->width(), r->place == 1 ? 53 : 48);
    AddPicture(QString("btim_%1").arg(n), panel, g, QString("sub/general/%1.bmp").arg(n));
  }
  // Page strips: the decoration under them and the picture that turns.
  struct Strip {
    const char* panel;
    const char* decoration;
    const char* turn;
    const char* file;
    bool turnOnRight;
  };
  const Strip strips[4] = {{"pl_video1", "btim_next", "Image94", "main/page_next.bmp", true},
                           {"pl_video2", "btim_pre", "Image93", "main/page_prev.bmp", false},
                           {"pl_audio1", "Image1", "Image2", "main/page_next.bmp", true},
                           {"pl_audio2", "Image4", "Image5", "main/page_prev.bmp", false}};
  for (const Strip& s : strips) {
    QWidget* panel = panels_.value(s.panel);
    AddPicture(s.decoration, panel, {s.turnOnRight ? 0 : 155, kFootTop, 155, kFootHeight}, "main/foot.bmp");
    PictureLabel* turn =
        AddPicture(s.turn, panel, {s.turnOnRight ? 155 : 0, kFootTop, 155, kFootHeight}, s.file);
    turn->setCursor(Qt::PointingHandCursor);
    turn->raise();
  }
  for (QWidget* p : panels_) p->hide();
}

PictureLabel* ProfilePicker::AddPicture(const QString& name, QWidget* parent, QRect r, const QString& file) {
  auto* l = new PictureLabel(name, parent);
  l->setGeometry(r);
  l->setPixmap(QPixmap(QString::fromStdString(images_) + file));
  display_.AddPicture(name.toStdString(), l);
  pictures_.insert(name, l);
  connect(l, &PictureLabel::pointed, this, &ProfilePicker::pointed);
  connect(l, &PictureLabel::clicked, this, &ProfilePicker::clicked);
  return l;
}

void ProfilePicker::LoadButtonPicture(int n, bool highlighted) {
  display_.SetPicture("btim_" + std::to_string(n),
                      images_ + (highlighted ? "sub/move/" : "sub/general/") + std::to_string(n) + ".bmp");
}

void ProfilePicker::LoadCategoryPicture(int k, bool highlighted) {
  const char* file = PickerState::CategoryPicture(k);
  if (!file) return;
  std::string name =
      k == 1 ? "img_gvideo1" : "img_" + std::string(file).substr(0, std::string(file).size() - 4);
  display_.SetPicture(name, images_ + (highlighted ? "main/move/" : "main/general/") + file);
}

void ProfilePicker::SetVisible(const std::string& panel, bool visible) {
  if (QWidget* p = panels_.value(QString::fromStdString(panel))) {
    p->setVisible(visible);
    if (visible) p->raise();
  }
}

bool ProfilePicker::Visible(const std::string& panel) const {
  QWidget* p = panels_.value(QString::fromStdString(panel));
  return p && !p->isHidden();
}

void ProfilePicker::Move(const std::string& panel, int left, int top) {
  if (QWidget* p = panels_.value(QString::fromStdString(panel))) p->move(left, top);
}

Rect ProfilePicker::Geometry(const std::string& panel) const {
  QWidget* p = panels_.value(QString::fromStdString(panel));
  if (!p) return {};
  QRect g = p->geometry();
  return {g.left(), g.top(), g.width(), g.height()};
}

void ProfilePicker::Raise(const std::string& panel) {
  if (QWidget* p = panels_.value(QString::fromStdString(panel))) p->raise();
}

void ProfilePicker::PlaceButton(int n, int top) {
  if (PictureLabel* l = pictures_.value(QString("btim_%1").arg(n))) l->move(l->x(), top);
}

void ProfilePicker::ShowBackdrop(const Rect& r) {
  if (backdrop_) {
    backdrop_->setGeometry(r.left, r.top, r.width, r.height);
    backdrop_->show();
  }
  back_->move(r.left, r.top);
  back_->show();
  // The panels stay in front of the backdrop, the sub-panels in front of
  // the first video page.
  if (!panels_.value("pl_main")->isHidden()) panels_.value("pl_main")->raise();
  for (const std::string& name : PickerState::Panels()) {
    QWidget* p = panels_.value(QString::fromStdString(name));
    if (p && !p->isHidden()) p->raise();
  }
}

void ProfilePicker::HideBackdrop() {
  if (backdrop_) backdrop_->hide();
  back_->hide();
}

}  // namespace pcm

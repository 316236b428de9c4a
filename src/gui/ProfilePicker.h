#pragma once
#include <QFrame>
#include <QMap>
#include <QObject>
#include <functional>

#include "profiles/PickerState.h"

namespace pcm {

class PictureLabel;
class SkinDisplay;
class SkinElement;

// The widgets of the profile picker: the category column pl_main, the
// nineteen panels with their buttons btim_1 ... btim_132, the page pictures
// and the backdrop pl_back with Image13. Pictures load through the display so
// a missing file is reported like any other.
class ProfilePicker : public QObject, public PickerView {
  Q_OBJECT
 public:
  ProfilePicker(QWidget* form, SkinDisplay& display, SkinElement* backdrop, const std::string& imagesDir,
                const VariantLayout& layout);

  void LoadButtonPicture(int n, bool highlighted) override;
  void LoadCategoryPicture(int k, bool highlighted) override;
  void SetVisible(const std::string& panel, bool visible) override;
  bool Visible(const std::string& panel) const override;
  void Move(const std::string& panel, int left, int top) override;
  Rect Geometry(const std::string& panel) const override;
  void Raise(const std::string& panel) override;
  void PlaceButton(int n, int top) override;
  void ShowBackdrop(const Rect& r) override;
  void HideBackdrop() override;

  QWidget* Panel(const QString& name) const { return panels_.value(name); }
  PictureLabel* Picture(const QString& name) const { return pictures_.value(name); }
  const QMap<QString, PictureLabel*>& Pictures() const { return pictures_; }

 signals:
  void pointed(const QString& name);
  void clicked(const QString& name);

 private:
  PictureLabel* AddPicture(const QString& name, QWidget* parent, QRect r, const QString& file);

  SkinDisplay& display_;
  SkinElement* backdrop_;
  std::string images_;
  QMap<QString, QWidget*> panels_;
  QMap<QString, PictureLabel*> pictures_;
  QFrame* back_ = nullptr;
};

}  // namespace pcm

#include "gui/GuiServices.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMouseEvent>

#include "core/Application.h"
#include "gui/Dialogs.h"
#include "gui/Skin.h"

namespace pcm {

PictureLabel::PictureLabel(const QString& name, QWidget* parent) : QLabel(parent) {
  setObjectName(name);
  setMouseTracking(true);
  setScaledContents(true);
}

void PictureLabel::enterEvent(QEnterEvent*) { emit pointed(objectName()); }

void PictureLabel::mousePressEvent(QMouseEvent* e) {
  down_ = e->button() == Qt::LeftButton;
  emit pressed(objectName(), e->position().toPoint());
}

void PictureLabel::mouseMoveEvent(QMouseEvent* e) {
  emit moved(objectName(), e->position().toPoint(), e->buttons());
}

void PictureLabel::mouseReleaseEvent(QMouseEvent* e) {
  bool was = down_;
  down_ = false;
  emit released(objectName());
  if (was && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
    emit clicked(objectName());
}

void SkinDisplay::Attach(SkinForm* form) {
  forms_.push_back(form);
  for (const auto& e : form->desc().elements)
    if (e.kind == "strip") stripRects_[e.name.toStdString()] = e.rect;
}

SkinElement* SkinDisplay::Find(const std::string& element) const {
  for (const QPointer<SkinForm>& f : forms_)
    if (f)
      if (SkinElement* e = f->Element(QString::fromStdString(element))) return e;
  return nullptr;
}

void SkinDisplay::SetText(const std::string& element, const std::string& text) {
  if (SkinElement* e = Find(element)) {
    e->SetText(QString::fromStdString(text));
    return;
  }
  texts_[element] = text;
}

std::string SkinDisplay::Text(const std::string& element) const {
  if (SkinElement* e = Find(element)) return e->Text().toStdString();
  auto it = texts_.find(element);
  return it == texts_.end() ? std::string() : it->second;
}

void SkinDisplay::SetStripWidth(const std::string& element, int pixels) {
  strips_[element] = pixels;
  SkinElement* e = Find(element);
  auto r = stripRects_.find(element);
  if (!e || r == stripRects_.end()) return;
  QRect g = r->second;
  g.setWidth(pixels);
  e->setGeometry(g);
  e->setVisible(pixels > 0);
  e->update();
}

int SkinDisplay::StripWidth(const std::string& element) const {
  auto it = strips_.find(element);
  return it == strips_.end() ? 0 : it->second;
}

void SkinDisplay::SetPicture(const std::string& element, const std::string& path) {
  auto it = labels_.find(element);
  QPixmap pixmap;
  if (!pixmap.load(QString::fromStdString(path))) throw CommandError("Cannot load the picture " + path);
  if (it != labels_.end()) it->second->setPixmap(pixmap);
  pictures_[element] = path;
  ++loads_[element];
}

int SkinDisplay::Loads(const std::string& element) const {
  auto it = loads_.find(element);
  return it == loads_.end() ? 0 : it->second;
}

void QtUserInterface::Warning(const std::string& text) {
  QMessageBox::warning(parent_, title_, QString::fromStdString(text));
}

void QtUserInterface::Information(const std::string& text) {
  QMessageBox::information(parent_, title_, QString::fromStdString(text));
}

bool QtUserInterface::Confirm(const std::string& text) {
  return QMessageBox::question(parent_, title_, QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void QtUserInterface::Error(const std::string& text) {
  QMessageBox::critical(parent_, title_, QString::fromStdString(text));
}

std::vector<std::string> QtUserInterface::ChooseFiles(const std::string& filter) {
  QFileDialog dialog(parent_, "Open");
  dialog.setObjectName("OpenDialog1");
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilter(QString::fromStdString(filter));
  dialog.setFilter(dialog.filter() | QDir::Hidden);
  std::vector<std::string> files;
  if (dialog.exec() != QDialog::Accepted) return files;
  for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
  return files;
}

std::optional<std::string> QtUserInterface::ChooseFolder(const std::string& caption) {
  QFileDialog dialog(parent_, QString::fromStdString(caption));
  dialog.setObjectName("Tfm_dir");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setFilter(dialog.filter() | QDir::Hidden);
  dialog.setDirectory(lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  lastFolder_ = dialog.selectedFiles().first();
  // By the file system's bytes, as the other paths are kept.
  return QFile::encodeName(lastFolder_).toStdString();
}

WindowSystemActions::~WindowSystemActions() { delete dialog_.data(); }

void WindowSystemActions::Shutdown() {
  if (dialog_ && dialog_->countdown().Pending()) {
    dialog_->raise();
    return;
  }
  if (dialog_) dialog_->deleteLater();
  const std::string heading = headingHook ? headingHook() : std::string("All conversions are finished.");
  dialog_ = new ShutdownDialog([this] { actions_.Shutdown(); }, countdownSeconds,
                               QString::fromStdString(heading), parent_);
  dialog_->show();
  dialog_->raise();
}

}  // namespace pcm

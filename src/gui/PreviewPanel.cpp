#include "gui/PreviewPanel.h"

#include <QMetaObject>
#include <QPainter>

namespace pcm {

PreviewPanel::PreviewPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("pl_play");
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewPanel::ShowFrame(int width, int height, int stride, const uint8_t* pixels) {
  if (width <= 0 || height <= 0 || !pixels) return;
  // The pixels belong to the player: copy them before the call returns.
  QImage copy = QImage(pixels, width, height, stride, QImage::Format_RGBX8888).copy();
  {
    std::lock_guard lock(mutex_);
    frame_ = std::move(copy);
  }
  // Painting happens on the window's thread.
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void PreviewPanel::ClearFrame() {
  {
    std::lock_guard lock(mutex_);
    frame_ = QImage();
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

QImage PreviewPanel::Frame() const {
  std::lock_guard lock(mutex_);
  return frame_;
}

void PreviewPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const QImage frame = Frame();
  if (frame.isNull()) return;
  QSize size = frame.size().scaled(this->size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), size);
  target.moveCenter(rect().center());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, frame);
}

}  // namespace pcm

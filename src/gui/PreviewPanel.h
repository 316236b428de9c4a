#pragma once
#include <QImage>
#include <QWidget>
#include <mutex>

#include "preview/PreviewLibrary.h"

namespace pcm {

// pl_play: the panel the preview draws into. The player hands each picture
// over on its render thread; the panel keeps a copy and paints it centred on
// black at its own size, keeping the picture's shape.
class PreviewPanel : public QWidget, public preview::FrameSink {
  Q_OBJECT
 public:
  explicit PreviewPanel(QWidget* parent = nullptr);

  void ShowFrame(int width, int height, int stride, const uint8_t* pixels) override;
  void ClearFrame() override;
  // The last picture, empty when none is shown.
  QImage Frame() const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  mutable std::mutex mutex_;
  QImage frame_;
};

}  // namespace pcm

// The preview in the window, offscreen: the real player draws a real clip
// into pl_play, the buttons, the bar and the time field follow the preview.
#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

#include "WindowFixture.h"
#include "gui/PreviewPanel.h"

namespace {

int DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
  return int(colours.size());
}

TEST(PreviewWindowTest, PanelShowsThePictureAndTheBarsShowOnlyWhilePlaying) {
  pcmtest::WindowHarness h("quorvclip");
  pcm::MainWindow& w = h.Open();
  pcm::CoreApp& app = h.app();
  pcm::SkinElement* bar = w.form()->Element("play_bar");
  pcm::SkinElement* time = w.form()->Element("play_time");
  // Nothing to play: no bar, no time, no panel.
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(time->isVisible());
  EXPECT_FALSE(w.previewPanel()->isVisible());

  const int row = pcmtest::AddRow(app, "clip", true);
  app.list.Row(row).filePath = app.list.Row(row).entry.sourcePath = pcmtest::MakeMedia("mp4", 6);
  app.list.Row(row).time = "00:00:06";
  w.UpdateCommandStates();
  EXPECT_TRUE(w.Button("bt_play")->isEnabled());
  EXPECT_FALSE(w.Button("bt_playstop")->isEnabled());

  w.ImageButtonClicked("bt_play");
  ASSERT_TRUE(app.run.previewing);
  EXPECT_TRUE(w.previewPanel()->isVisible());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(time->isVisible());
  EXPECT_FALSE(w.Button("bt_play")->isEnabled());
  EXPECT_TRUE(w.Button("bt_playstop")->isEnabled());
  EXPECT_EQ(pcm::StatusText(app.list.Row(row)), "Play");

  // A picture arrives and is painted inside the panel.
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !w.previewPanel()->Frame().isNull(); }, 10000));
  ASSERT_TRUE(
      pcmtest::WaitUntil([&] { return DistinctColours(w.previewPanel()->grab().toImage()) > 4; }, 5000));
  // The time field and the bar move with the position.
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return bar->Position() > 0; }, 5000));
  EXPECT_NE(h.window->display().Text("play_time"), "00:00:00");

  w.Click("pause");
  EXPECT_EQ(pcm::StatusText(app.list.Row(row)), "Pause");
  w.Click("stop");
  EXPECT_FALSE(app.run.previewing);
  EXPECT_FALSE(app.run.paused);
  EXPECT_EQ(pcm::StatusText(app.list.Row(row)), "Stop");
  EXPECT_FALSE(w.previewPanel()->isVisible());
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(time->isVisible());
  EXPECT_EQ(bar->Position(), 0);
  EXPECT_TRUE(w.previewPanel()->Frame().isNull());
  EXPECT_TRUE(w.Button("bt_play")->isEnabled());
}

}  // namespace

// The trim window offscreen with the real player: it opens over the main
// window, shows the picture in its own panel, takes the begin and the end
// from the playing position and writes the lengths back when it closes.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "WindowFixture.h"
#include "gui/TrimWindow.h"

using pcmtest::WindowHarness;

namespace {

bool Uniform(const QImage& image) {
  QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x)
      if (rgb.pixel(x, y) != rgb.pixel(0, 0)) return false;
  return true;
}

}  // namespace

TEST(TrimWindow, SetsBeginAndEndFromThePictureAndWritesTheLengthsBack) {
  WindowHarness h;
  pcm::MainWindow& w = h.Open();
  ASSERT_TRUE(h.app().listCommands.AddFileEntry(pcmtest::MakeMedia("avi", 10)));
  pcmtest::AddRow(h.app(), "second");
  pcm::TrimWindow& trim = *w.trimView();

  w.Click("cutter");
  ASSERT_TRUE(w.trimWindow()->isVisible());
  EXPECT_EQ(w.trimWindow()->pos(), w.pos() + QPoint(0, 80));
  QTreeWidget* lv = trim.List();
  ASSERT_EQ(lv->topLevelItemCount(), 2);
  EXPECT_EQ(lv->topLevelItem(0)->text(2).toStdString(), "00:00:10");
  EXPECT_EQ(lv->topLevelItem(1)->text(0).toStdString(), "second");
  EXPECT_EQ(lv->topLevelItem(0)->checkState(0), Qt::Checked);

  w.Click("play");
  EXPECT_TRUE(h.app().run.previewing);
  auto shown = [&] { return h.app().display().Text("cut_play_time"); };
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return shown() >= "00:00:02"; }, 30000)) << shown();
  EXPECT_FALSE(trim.Panel()->Frame().isNull());
  EXPECT_FALSE(Uniform(trim.Panel()->grab().toImage()));
  w.Click("begin");
  std::string begin = shown();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return shown() >= "00:00:05"; }, 30000)) << shown();
  w.Click("end");
  std::string end = shown();
  EXPECT_EQ(lv->topLevelItem(0)->text(1).toStdString(), begin);
  EXPECT_EQ(lv->topLevelItem(0)->text(2).toStdString(), end);
  EXPECT_TRUE(h.ui.boxes.empty()) << h.LastBox();

  w.Click("cutclose");
  EXPECT_FALSE(w.trimWindow()->isVisible());
  EXPECT_FALSE(h.app().run.previewing);
  EXPECT_TRUE(trim.Panel()->Frame().isNull());
  const pcm::ListRow& row = h.app().list.Row(0);
  EXPECT_EQ(row.time, pcm::FormatClock(pcm::ParseClock(end) - pcm::ParseClock(begin)));
  EXPECT_EQ(row.trim.begin, pcm::ParseClock(begin));
  EXPECT_EQ(h.app().list.Row(1).time, "00:00:10");

  // Opened again, the window lists the times kept; closing it by other
  // means (the window manager, Escape in the list) writes back the same way.
  w.Click("cutter");
  EXPECT_EQ(lv->topLevelItem(0)->text(1).toStdString(), begin);
  EXPECT_EQ(h.app().display().Text("cut_begin_time"), begin);
  w.trimWindow()->close();
  EXPECT_FALSE(h.app().run.trimWindowOpen);
  w.Click("cutter");
  pcmtest::PressKey(lv, Qt::Key_Escape);
  EXPECT_FALSE(h.app().run.trimWindowOpen);
  EXPECT_FALSE(w.trimWindow()->isVisible());

  // The program may end while the trim window plays: the player stops
  // before the panel it draws into goes.
  w.Click("cutter");
  w.Click("play");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !trim.Panel()->Frame().isNull(); }, 30000));
  h.window.reset();
}

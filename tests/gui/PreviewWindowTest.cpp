// The preview in the window, offscreen: the real player draws a real clip
// into pl_play, the buttons, the bar and the time field follow the preview.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <cmath>

#include "WindowFixture.h"
#include "gui/PreviewPanel.h"

namespace {

int DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
  return int(colours.size());
}

// Whether a widget stands over the list's rows: one shown above the list
// (later among the form's children, as raising puts it) that overlaps it.
// The form's one-pixel frame lies over everything and hides nothing.
bool ListCovered(pcm::MainWindow& w) {
  QWidget* list = w.listView();
  const QObjectList& widgets = list->parentWidget()->children();
  for (qsizetype i = widgets.indexOf(list) + 1; i < widgets.size(); ++i) {
    auto* c = qobject_cast<QWidget*>(widgets[i]);
    if (c && c->isVisible() && c->objectName() != "form_border" && c->geometry().intersects(list->geometry()))
      return true;
  }
  return false;
}

// A left click on a skin element as the mouse gives it; a disabled element
// takes none.
void ClickElement(QWidget* element) {
  const QPointF at = QRectF(element->rect()).center();
  const QPointF global = element->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(element, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(element, &release);
}

// The number a frame of NumberedClip carries: eight stripes across the
// picture, bright for a set bit, grey for a clear one, lowest bit left. The
// picture is found inside the black around it, at whatever size it is
// drawn. -1 when no picture is there.
int FrameNumber(const QImage& image) {
  if (image.isNull()) return -1;
  const int y = image.height() / 2;
  int left = -1, right = -1;
  for (int x = 0; x < image.width(); ++x)
    if (qGray(image.pixel(x, y)) > 40) {
      if (left < 0) left = x;
      right = x;
    }
  if (left < 0 || right - left < 16) return -1;
  int number = 0;
  for (int bit = 0; bit < 8; ++bit) {
    const int x = left + int((bit + 0.5) * (right - left + 1) / 8);
    if (qGray(image.pixel(x, y)) > 170) number |= 1 << bit;
  }
  return number;
}

// A clip of 8 s at 25 frames a second whose every frame shows its number,
// in the container of `ext` with the codecs `codecs` (the sound input may
// be shifted by `soundOffset`).
std::string NumberedClip(
    const std::string& ext = "mp4",
    const std::string& codecs = "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac",
    const std::string& soundOffset = "0") {
  const std::string path = pcmtest::MakeTempDir("numbered") + "/numbered." + ext;
  pcmtest::RunShell(
      "ffmpeg -nostdin -v error -y -f lavfi -i \"color=c=black:s=320x240:r=25:d=8,"
      "geq=lum='if(mod(floor(N/pow(2,floor(X*8/W))),2),235,96)':cb=128:cr=128\" "
      "-itsoffset " +
      soundOffset + " -f lavfi -i sine=frequency=440:duration=8 " + codecs +
      " -shortest -avoid_negative_ts disabled " + pcmtest::ShellQuote(path));
  return path;
}

// Mean difference of two pictures' grey levels, both drawn at one size.
double MeanDifference(const QImage& a, const QImage& b) {
  const QSize size(160, 120);
  const QImage x = a.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QImage y = b.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  double sum = 0;
  for (int r = 0; r < size.height(); ++r)
    for (int c = 0; c < size.width(); ++c) sum += std::abs(qGray(x.pixel(c, r)) - qGray(y.pixel(c, r)));
  return sum / (size.width() * size.height());
}

}  // namespace

TEST(PreviewWindowTest, PanelShowsThePictureAndTheBarsShowOnlyWhilePlaying) {
  pcmtest::WindowHarness h("quorvclip");
  pcm::MainWindow& w = h.Open();
  pcm::CoreApp& app = h.app();
  pcm::SkinElement* bar = w.form()->Element("play_bar");
  pcm::SkinElement* time = w.form()->Element("play_time");
  pcm::SkinElement* pause = w.form()->Element("pause");
  ASSERT_TRUE(pause);
  // Nothing to play: no bar, no time, no panel, the pause shown disabled.
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(time->isVisible());
  EXPECT_FALSE(w.previewPanel()->isVisible());
  EXPECT_TRUE(pause->isVisible());
  EXPECT_FALSE(pause->isEnabled());

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

  // The pause element pauses and continues, saying what a click does.
  ASSERT_TRUE(pause->isVisible());
  EXPECT_TRUE(pause->isEnabled());
  EXPECT_EQ(pause->toolTip(), "Pause");
  ClickElement(pause);
  EXPECT_TRUE(app.run.paused);
  EXPECT_EQ(pcm::StatusText(app.list.Row(row)), "Pause");
  EXPECT_EQ(pause->toolTip(), "Continue");
  ClickElement(pause);
  EXPECT_FALSE(app.run.paused);
  EXPECT_EQ(pcm::StatusText(app.list.Row(row)), "Play");
  EXPECT_EQ(pause->toolTip(), "Pause");
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
  // Stopped while paused, the element is back to pausing and does nothing.
  EXPECT_FALSE(pause->isEnabled());
  EXPECT_EQ(pause->toolTip(), "Pause");
  ClickElement(pause);
  EXPECT_FALSE(app.run.paused);
  EXPECT_EQ(pcm::StatusText(app.list.Row(row)), "Stop");

  // However a preview ends, nothing stays over the list's rows. After the
  // stop, pointing a family of the profile picker (which opens its
  // sub-panel) leaves the panel hidden.
  EXPECT_FALSE(ListCovered(w));
  w.PicturePointed("btim_2");
  w.picker().HideProfilePanels();
  EXPECT_FALSE(w.previewPanel()->isVisible());
  EXPECT_FALSE(ListCovered(w));
  // A preview that plays to its end.
  w.ImageButtonClicked("bt_play");
  ASSERT_TRUE(app.run.previewing);
  EXPECT_TRUE(ListCovered(w));
  app.RunCommand([&] {
    app.preview.PressBar("play_bar");
    app.preview.ReleaseBar("play_bar", 9500);
  });
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 20000));
  EXPECT_FALSE(ListCovered(w));
  // One that cannot play.
  const int bad = pcmtest::AddRow(app, "bad", true);
  app.list.Row(bad).filePath = app.list.Row(bad).entry.sourcePath = pcmtest::MakeMedia("txt.mp3");
  w.UpdateCommandStates();
  w.ImageButtonClicked("bt_play");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 20000));
  EXPECT_NE(h.Hint().find("could not be played"), std::string::npos) << h.Hint();
  EXPECT_FALSE(ListCovered(w));
  EXPECT_FALSE(pause->isEnabled());
  // A file deleted, and one cut to its first third, after they were added:
  // the preview says the file is missing, and where the file ends.
  const std::string media = pcmtest::MakeTempDir("preview-gone");
  for (const char* name : {"gone.avi", "cut.avi"}) {
    ASSERT_TRUE(QFile::copy(QString::fromStdString(pcmtest::MakeMedia("avi", 8)),
                            QString::fromStdString(media + "/" + name)));
    ASSERT_TRUE(app.listCommands.AddFileEntry(media + "/" + name));
  }
  ASSERT_TRUE(QFile::remove(QString::fromStdString(media + "/gone.avi")));
  ASSERT_TRUE(QFile::resize(QString::fromStdString(media + "/cut.avi"),
                            QFileInfo(QString::fromStdString(media + "/cut.avi")).size() / 3));
  for (int i : {app.list.Count() - 2, app.list.Count() - 1}) {
    app.list.SelectOnly(i);
    w.UpdateCommandStates();
    w.ImageButtonClicked("bt_play");
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 20000));
  }
  EXPECT_EQ(h.Hint().rfind("The preview of cut ended early: the file ends at 00:00:0", 0), 0u) << h.Hint();
  EXPECT_EQ(h.Hint().substr(h.Hint().size() - std::min<size_t>(h.Hint().size(), 18)), ", not at 00:00:08.");
  app.list.SelectOnly(app.list.Count() - 2);
  w.UpdateCommandStates();
  w.ImageButtonClicked("bt_play");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 20000));
  EXPECT_EQ(h.Hint(), "The preview of gone could not be played: the file is missing.");
}

// The still is the frame the paused preview shows: the same frame number,
// the same picture (the preview draws it smaller, so the two are compared
// at one size), taken at the position the player reports to the frame. So
// too for a Matroska file whose sound starts before 0, from where the
// encoder counts while the player counts from 0.
TEST(PreviewWindowTest, StillOfAPausedPreviewIsTheFrameShown) {
  pcmtest::WindowHarness h("quorvclip");
  pcm::MainWindow& w = h.Open();
  pcm::CoreApp& app = h.app();
  const std::string out = pcmtest::MakeTempDir("numbered-out");
  w.outputField()->setText(QString::fromStdString(out));
  app.settings.outputField = out + "/";
  // Plays the clip, pauses past its first second and takes a still: the
  // frame shown, the picture and the still's path.
  int shown = -1;
  QImage frame;
  auto pausedStill = [&](const std::string& clip) {
    shown = -1;
    EXPECT_TRUE(app.listCommands.AddFileEntry(clip));
    app.list.SelectOnly(app.list.Count() - 1);
    w.UpdateCommandStates();
    w.ImageButtonClicked("bt_play");
    EXPECT_TRUE(app.run.previewing);
    EXPECT_TRUE(pcmtest::WaitUntil([&] { return app.preview.ShownSeconds() > 1.5; }, 20000));
    w.Click("pause");
    EXPECT_TRUE(app.run.paused);
    // The picture and the reported position settle on one frame.
    EXPECT_TRUE(pcmtest::WaitUntil(
        [&] {
          const int now = FrameNumber(w.previewPanel()->Frame());
          const bool settled =
              now >= 0 && now == shown && std::lround(app.preview.ShownSeconds() * 25) == now;
          shown = now;
          return settled;
        },
        10000))
        << clip << ": panel shows frame " << shown << ", position " << app.preview.ShownSeconds();
    frame = w.previewPanel()->Frame();
    w.ImageButtonClicked("bt_images");
    EXPECT_TRUE(pcmtest::WaitUntil([&] { return !app.stills.Busy(); }, 30000));
    const std::string saved = h.Hint().substr(std::min(h.Hint().size(), h.Hint().find(": ") + 2));
    w.Click("stop");
    return saved;
  };

  const std::string clip = NumberedClip();
  const std::string saved = pausedStill(clip);
  EXPECT_EQ(saved, out + "/numbered.bmp") << h.Hint();
  const QImage still(QString::fromStdString(saved));
  ASSERT_FALSE(still.isNull()) << h.Hint();
  EXPECT_EQ(FrameNumber(still), shown);
  // The encoder's own picture of the frame shown, and of the next one: the
  // still and the panel match the first and differ from the second.
  auto extract = [&](int number) {
    const std::string png = out + "/frame" + std::to_string(number) + ".png";
    pcmtest::RunShell("ffmpeg -nostdin -v error -y -ss " + std::to_string(number / 25.0) + " -i " +
                      pcmtest::ShellQuote(clip) + " -frames:v 1 " + pcmtest::ShellQuote(png));
    return QImage(QString::fromStdString(png));
  };
  const QImage same = extract(shown), next = extract(shown + 1);
  ASSERT_EQ(FrameNumber(same), shown);
  ASSERT_EQ(FrameNumber(next), shown + 1);
  const double apart = MeanDifference(same, next);
  EXPECT_LT(MeanDifference(still, same), apart / 3);
  EXPECT_LT(MeanDifference(frame, same), apart / 3);
  EXPECT_LT(MeanDifference(still, frame), apart / 3);

  const std::string early =
      NumberedClip("mkv", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac", "-0.08");
  const QImage picture(QString::fromStdString(pausedStill(early)));
  EXPECT_EQ(FrameNumber(picture), shown) << h.Hint();
}

// Stills through the real encoder: the file names, the picture's format and
// size, and what a still leaves alone.
#include <QDir>
#include <QFile>

#include "TrimFixture.h"
#include "engine/EncoderEngine.h"
#include "preview/Still.h"
#include "profiles/ProfileState.h"
#include "support/DvdFixtures.h"
#include "support/RealMedia.h"
#include "ui/RunState.h"

using trimtest::TrimApp;

namespace {

struct StillApp : TrimApp {
  explicit StillApp(const std::string& tag)
      : TrimApp(tag), still({app->list, app->engine, app->options, app->run, *app, app->sources}) {
    QObject::connect(&still, &pcm::StillWriter::stillEnded,
                     [this](const std::string& path, const std::string& error) {
                       ended.push_back({path, error});
                     });
  }
  // Adds a real 4-second clip under `name` through the probe.
  int AddClip(const std::string& name) {
    std::string dir = pcmtest::MakeTempDir("media");
    std::string path = dir + "/" + name;
    EXPECT_TRUE(
        QFile::copy(QString::fromStdString(pcmtest::MakeMedia("avi", 4)), QString::fromStdString(path)));
    EXPECT_TRUE(app->listCommands.AddFileEntry(path));
    return app->list.Count() - 1;
  }
  // Selects a frame size other than the clip's own 320x240, so that a
  // picture of the clip's size shows the size was not applied.
  // Another size of the clip's 4:3 shape, so the picture fills it.
  void ChooseOtherSize() {
    pcm::ChoiceList& sizes = app->profiles.cb_size;
    for (size_t i = 0; i < sizes.items.size(); ++i)
      if (sizes.items[i].rfind("640x480", 0) == 0) {
        sizes.selected = int(i);
        return;
      }
    ADD_FAILURE() << "no other size";
  }
  // Saves a still and waits for its end; the error, "" when written.
  std::string Save(int index, int32_t seconds, const std::string& expectedPath) {
    size_t before = ended.size();
    std::string path = still.SaveStill(index, seconds);
    EXPECT_EQ(path, expectedPath);
    EXPECT_TRUE(pcmtest::WaitUntil([&] { return ended.size() > before; }, 30000));
    return ended.size() > before ? ended.back().second : "no end";
  }

  pcm::StillWriter still;
  std::vector<std::pair<std::string, std::string>> ended;
};

}  // namespace

// clip.avi at 00:00:02 gives clip.bmp, a 24-bit BMP of the size option's
// size, then clip_1.bmp; the output folder is made. A renamed entry
// "my.movie" gives my.bmp, then my.movie_1.bmp. No entry's status or
// progress changes and no batch starts.
TEST(Still, WritesNumberedBitmapsOfTheChosenSize) {
  StillApp t("still-names");
  t.app->profiles.SelectProfile(7);
  int clip = t.AddClip("clip.avi");
  int other = t.AddClip("other.avi");
  t.ChooseOtherSize();
  ASSERT_EQ(t.app->list.Row(clip).caption, "clip");
  const pcm::EntryState before = t.app->list.Row(clip).state;
  const pcm::OptionField size = t.app->options.StillSizeOption(t.app->list.Row(clip));
  std::string wanted = size.ValueOf("-s");
  ASSERT_FALSE(wanted.empty()) << size.Text();
  ASSERT_NE(wanted, "320x240");
  t.app->settings.outputField = t.out + "/stills";

  EXPECT_EQ(t.Save(clip, 2, t.out + "/stills/clip.bmp"), "");
  pcm::intputrec rec = t.app->engine.CurrentJob()->record;
  EXPECT_EQ(rec.StartOpt.Text(), " -seek_timestamp 1 -ss 00:00:02.000");
  EXPECT_EQ(rec.LengthOpt.Text(), " -t 0.01");
  EXPECT_EQ(rec.TargetOpt.Text(), " -f image2 ");
  EXPECT_EQ(rec.SizeOpt.Args(), size.Args());
  pcmtest::ProbeInfo bmp = pcmtest::FfprobeFile(t.out + "/stills/clip.bmp");
  EXPECT_EQ(bmp.videoCodec, "bmp");
  EXPECT_EQ(std::to_string(bmp.width) + "x" + std::to_string(bmp.height), wanted);
  std::string pixels;
  pcmtest::RunShell("ffprobe -v error -show_entries stream=pix_fmt -of csv=p=0 " +
                        pcmtest::ShellQuote(t.out + "/stills/clip.bmp"),
                    &pixels);
  EXPECT_EQ(pixels, "bgr24\n");
  EXPECT_EQ(t.Save(clip, 3, t.out + "/stills/clip_1.bmp"), "");

  t.app->list.SetCaption(other, "my.movie");
  EXPECT_EQ(t.Save(other, 1, t.out + "/stills/my.bmp"), "");
  EXPECT_EQ(t.Save(other, 1, t.out + "/stills/my.movie_1.bmp"), "");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(t.out + "/stills/my.movie_1.bmp")));

  EXPECT_EQ(t.app->list.Row(clip).state, before);
  EXPECT_EQ(t.app->list.Row(clip).progress, 0);
  EXPECT_EQ(t.app->list.Row(other).state, before);
  EXPECT_FALSE(t.app->run.converting);
  EXPECT_TRUE(t.ui.boxes.empty());
  EXPECT_EQ(QDir(QString::fromStdString(t.out + "/stills")).entryList(QDir::Files | QDir::Hidden).size(), 4);

  // A picture of another shape is fitted inside the frame with bars, as a
  // conversion's is: a 16:9 anamorphic and a portrait clip of real footage.
  std::string why;
  const std::string real = pcmtest::RealMediaDir(&why);
  if (real.empty()) std::printf("real media left out: %s\n", why.c_str());
  for (const char* name : {"anamorphic.mkv", "portrait.mp4"}) {
    if (real.empty()) break;
    ASSERT_TRUE(t.app->listCommands.AddFileEntry(real + "/" + name)) << name;
    const int row = t.app->list.Count() - 1;
    const std::string still = t.out + "/stills/" + t.app->list.Row(row).caption + ".bmp";
    EXPECT_EQ(t.Save(row, 1, still), "") << name;
    pcmtest::ProbeInfo shot = pcmtest::FfprobeFile(still);
    EXPECT_EQ(std::to_string(shot.width) + "x" + std::to_string(shot.height), wanted) << name;
    EXPECT_NEAR(pcmtest::ShownAspect(still, 16) / pcmtest::MeasureMedia(real + "/" + name).displayAspect, 1.0,
                0.05)
        << name;
  }

  // Neither name leads out of the output folder or hides the file.
  EXPECT_EQ(pcm::StillWriter::FirstStillName(" \tclips/../x.y.avi"), "x.y.bmp");
  EXPECT_EQ(pcm::StillWriter::FirstStillName("../.avi"), "_.bmp");
  EXPECT_EQ(pcm::StillWriter::NumberedStillName("../up", 2), ".._up_2.bmp");
}

// With the size list disabled no size is passed and the picture keeps the
// source's size; two stills asked for at once get two names.
TEST(Still, NoSizeOptionWhenTheSizeListIsDisabled) {
  StillApp t("still-nosize");
  t.app->profiles.SelectProfile(7);
  int clip = t.AddClip("clip.avi");
  t.ChooseOtherSize();
  t.app->profiles.cb_size.enabled = false;
  std::string first = t.still.SaveStill(clip, 1);
  EXPECT_EQ(t.app->engine.CurrentJob()->record.SizeOpt.Text(), "");
  EXPECT_EQ(t.Save(clip, 1, t.out + "/clip_1.bmp"), "");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !t.still.Busy(); }, 30000));
  EXPECT_EQ(first, t.out + "/clip.bmp");
  pcmtest::ProbeInfo source = pcmtest::FfprobeFile(t.app->list.Row(clip).entry.sourcePath);
  for (const std::string& path : {first, t.out + "/clip_1.bmp"}) {
    pcmtest::ProbeInfo bmp = pcmtest::FfprobeFile(path);
    EXPECT_EQ(bmp.width, source.width) << path;
    EXPECT_EQ(bmp.height, source.height) << path;
  }
  // A picture stored with stretched pixels (16:9 in 720x576) has no size to
  // keep: its still is the size it is shown at, not squeezed into the
  // stored one.
  std::string why;
  const std::string real = pcmtest::RealMediaDir(&why);
  if (real.empty()) {
    std::printf("real media left out: %s\n", why.c_str());
    return;
  }
  ASSERT_TRUE(t.app->listCommands.AddFileEntry(real + "/anamorphic.mkv"));
  const int wide = t.app->list.Count() - 1;
  EXPECT_EQ(t.Save(wide, 1, t.out + "/anamorphic.bmp"), "");
  pcmtest::ProbeInfo shot = pcmtest::FfprobeFile(t.out + "/anamorphic.bmp");
  EXPECT_EQ(std::to_string(shot.width) + "x" + std::to_string(shot.height), "1024x576");
  EXPECT_NEAR(pcmtest::ShownAspect(t.out + "/anamorphic.bmp", 16) /
                  pcmtest::MeasureMedia(real + "/anamorphic.mkv").displayAspect,
              1.0, 0.05);
}

// A DVD chapter row: the still comes from the row's own sectors through the
// adapter, at a position counted from the chapter's start, with the chosen
// subtitle and no sound; the File Path column (the frame size) is not read.
TEST(Still, DvdRowGivesAPictureOfItsChapter) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty()) << "the DVD fixture could not be made";
  StillApp t("still-dvd");
  t.app->run.titleView = false;
  ASSERT_TRUE(t.app->dvd.OpenFolderPath(disc));
  int chapter = -1;
  for (int i = 0; i < t.app->list.Count() && chapter < 0; ++i)
    if (t.app->list.Row(i).caption.find("Chapter_03") != std::string::npos) chapter = i;
  ASSERT_GE(chapter, 0);
  t.app->list.SelectOnly(chapter);
  t.app->dvd.SubtitleChanged(1);
  EXPECT_EQ(t.Save(chapter, 2, t.out + "/Chapter_03.bmp"), "");
  const std::string input = t.app->engine.CurrentJob()->record.InputFile;
  EXPECT_NE(input.find("subtitle=0x20"), std::string::npos) << input;
  EXPECT_NE(input.find("&audio=0x0&"), std::string::npos) << input;
  pcmtest::ProbeInfo bmp = pcmtest::FfprobeFile(t.out + "/Chapter_03.bmp");
  EXPECT_GT(bmp.width, 0);
  EXPECT_EQ(t.app->list.Row(chapter).state, pcm::EntryState::Ready);
}

// A still that could not be written says so on the hint line with the
// reason and leaves no file; while converting it is refused, since it would
// take over the conversion's job.
TEST(Still, AFailureIsSaidAndNothingIsLeft) {
  StillApp t("still-fail");
  int clip = t.AddClip("clip.avi");
  QFile::remove(QString::fromStdString(t.app->list.Row(clip).entry.sourcePath));
  std::string error = t.Save(clip, 1, t.out + "/clip.bmp");
  EXPECT_FALSE(error.empty());
  std::string hint = t.app->display().Text("hint");
  EXPECT_NE(hint.find("was not saved"), std::string::npos) << hint;
  EXPECT_NE(hint.find(error), std::string::npos) << hint;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(t.out + "/clip.bmp")));

  // A folder in the place of the output folder's parent: the folder
  // cannot be made.
  QFile blocker(QString::fromStdString(t.out + "/file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  t.app->settings.outputField = t.out + "/file/stills";
  EXPECT_EQ(t.still.SaveStill(clip, 1), "");
  hint = t.app->display().Text("hint");
  EXPECT_NE(hint.find("could not be made"), std::string::npos) << hint;

  t.app->run.converting = true;
  EXPECT_EQ(t.still.SaveStill(clip, 1), "");
  ASSERT_EQ(t.ui.boxes.size(), 1u);
  EXPECT_EQ(t.ui.boxes[0].text, t.app->LoadMessage(26));
  t.app->run.converting = false;
}

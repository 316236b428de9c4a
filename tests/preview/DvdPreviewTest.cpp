// A DVD row previewed from its cells: the bytes the player reads are the
// VOB data of the row's sectors, and the row's chapter plays to its end
// through the application's own player, headless.
#include <gtest/gtest.h>

#include <QFile>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/Application.h"
#include "dvd/IfoReader.h"
#include "engine/DvdInputForm.h"
#include "engine/Progress.h"
#include "preview/DvdByteSource.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using pcm::preview::DvdByteSource;

namespace {

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), {});
}

TEST(DvdPreviewTest, RowReadsItsSectorsAndPlaysItsChapter) {
  const std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty()) << "the DVD fixture could not be made";
  const std::string folder = disc + "/VIDEO_TS";
  auto set1 = pcm::ifo::ReadIfoFile(folder + "/VTS_01_0.IFO");
  ASSERT_TRUE(set1);
  ASSERT_EQ(set1->titles[0].chapters.size(), 3u);
  const auto& first = set1->titles[0].chapters[0];
  const auto& middle = set1->titles[0].chapters[1];

  // Two ranges joined: the bytes read across the join are the VOB's own.
  pcm::DvdInputForm form;
  form.folder = folder;
  form.titleSet = 1;
  form.sectors = {{middle.firstSector, middle.lastSector}, {first.firstSector, first.firstSector + 9}};
  form.audioId = 0x81;
  std::string error;
  auto source = DvdByteSource::Open(form, &error);
  ASSERT_TRUE(source) << error;
  const int64_t middleBytes = int64_t(middle.lastSector - middle.firstSector + 1) * 2048;
  EXPECT_EQ(source->Size(), middleBytes + 10 * 2048);
  const std::vector<char> vob = ReadAll(folder + "/VTS_01_1.VOB");
  ASSERT_GT(vob.size(), size_t(middle.lastSector + 1) * 2048);
  std::vector<char> got(6000);
  ASSERT_EQ(source->ReadAt(uint64_t(middleBytes) - 3000, got.data(), got.size()), 6000);
  EXPECT_TRUE(
      std::equal(got.begin(), got.begin() + 3000, vob.begin() + (middle.lastSector + 1) * 2048 - 3000));
  EXPECT_TRUE(std::equal(got.begin() + 3000, got.end(), vob.begin() + first.firstSector * 2048));
  // At the end: a short read, then nothing.
  EXPECT_EQ(source->ReadAt(uint64_t(source->Size()) - 100, got.data(), got.size()), 100);
  EXPECT_EQ(source->ReadAt(uint64_t(source->Size()), got.data(), got.size()), 0);
  // Sectors beyond the title set, or no folder at all, are refused.
  pcm::DvdInputForm beyond = form;
  beyond.sectors = {{0, 50'000'000}};
  EXPECT_FALSE(DvdByteSource::Open(beyond, &error));
  pcm::DvdInputForm gone = form;
  gone.folder = folder + "/missing";
  EXPECT_FALSE(DvdByteSource::Open(gone, &error));

  // The middle chapter as a list row, previewed by the application.
  pcm::ScriptedUserInterface ui;
  pcm::CoreApp::Options o;
  o.programPath = pcmtest::MakeProgramDir("dvd-preview", "", "popclipmill_dvd");
  o.ui = &ui;
  pcm::CoreApp app(o);
  // The chapter view lists the middle chapter as the DVD source makes its
  // rows: the File Path column shows the frame size, the disc's part of
  // the row lives in its DVD data.
  app.run.titleView = false;
  ASSERT_TRUE(app.dvd.OpenFolderPath(disc));
  int chapter2 = -1;
  for (int i = 0; i < app.list.Count(); ++i)
    if (app.list.Row(i).caption.find("Chapter_02") != std::string::npos && chapter2 < 0) chapter2 = i;
  ASSERT_GE(chapter2, 0);
  ASSERT_TRUE(app.list.Row(chapter2).dvd);
  EXPECT_EQ(app.list.Row(chapter2).filePath, "720x576");
  app.list.SelectOnly(chapter2);
  bool returned = false;
  QObject::connect(&app.preview, &pcm::preview::PreviewControl::playReturned,
                   [&](pcm::preview::PlayEnd) { returned = true; });
  app.preview.StartPreview();
  ASSERT_TRUE(app.run.previewing);
  EXPECT_EQ(pcm::StatusText(app.list.Row(chapter2)), "Play");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return app.preview.PositionSeconds() > 1.0; }, 15000));
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 15000));
  EXPECT_EQ(pcm::StatusText(app.list.Row(chapter2)), "Stop");
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return returned; }, 5000));
  EXPECT_TRUE(ui.boxes.empty());

  // A disc whose video file went away after it was listed: the preview
  // that cannot play names the file.
  const std::string copy = pcmtest::CopyVideoTs("dvd-preview-gone");
  const int before = app.list.Count();
  ASSERT_TRUE(app.dvd.OpenFolderPath(copy));
  ASSERT_GT(app.list.Count(), before);
  ASSERT_TRUE(QFile::remove(QString::fromStdString(copy + "/VTS_01_1.VOB")));
  app.list.SelectOnly(before);
  app.preview.StartPreview();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 15000));
  EXPECT_EQ(app.display().Text("hint"),
            "The preview of " + app.list.Row(before).caption +
                " could not be played: the disc's video file VTS_01_1.VOB is missing.");
}

// The audio stream chosen for a DVD row is the one heard, in the main
// window's preview and in the trim window: the disc's second stream is an
// 880 Hz tone, its first 440 Hz. The sound goes to a file instead of a
// sound card, played four times as fast.
TEST(DvdPreviewTest, TheChosenAudioStreamIsTheOneHeard) {
  const std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty()) << "the DVD fixture could not be made";
  const std::string heard = pcmtest::MakeTempDir("dvd-heard") + "/sound.raw";
  pcm::ScriptedUserInterface ui;
  pcm::CoreApp::Options o;
  o.programPath = pcmtest::MakeProgramDir("dvd-heard", "", "popclipmill_dvd");
  o.ui = &ui;
  o.playerOptions.extra = {{"ao", "pcm"},           {"ao-pcm-file", heard},     {"ao-pcm-waveheader", "no"},
                           {"audio-format", "s16"}, {"audio-channels", "mono"}, {"audio-samplerate", "8000"},
                           {"speed", "4"}};
  pcm::CoreApp app(o);
  ASSERT_TRUE(app.run.titleView);
  ASSERT_TRUE(app.dvd.OpenFolderPath(disc));
  int title = -1;
  for (int i = 0; i < app.list.Count() && title < 0; ++i)
    if (app.list.Row(i).dvd && app.list.Row(i).dvd->seconds == pcmtest::kMainTitleSeconds) title = i;
  ASSERT_GE(title, 0);
  app.list.SelectOnly(title);
  app.dvd.AudioChanged(1);
  ASSERT_EQ(app.list.Row(title).dvd->audioId, 0x81);

  app.preview.StartPreview();
  ASSERT_TRUE(app.run.previewing);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 30000));
  EXPECT_NEAR(pcmtest::RawCrossingsPerSecond(heard, 8000), 2 * 880, 120);

  ASSERT_TRUE(app.trim.Open());
  app.trim.SelectRow(title);
  app.trim.Play();
  ASSERT_TRUE(app.run.previewing);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.previewing; }, 30000));
  EXPECT_NEAR(pcmtest::RawCrossingsPerSecond(heard, 8000), 2 * 880, 120);
  app.trim.Close();
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace

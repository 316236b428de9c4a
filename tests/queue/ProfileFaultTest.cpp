// Adding files when the media's rates are extreme and when the profile file
// is at fault: the first is refused or added with a sound estimate, the second is named
// as a fault of the profile file, by block and line, and not of the media.
#include <QFile>

#include "QueueFixture.h"
#include "profiles/Ini.h"
#include "queue/ListCommands.h"

using queuetest::Description;
using queuetest::FakeApp;
using queuetest::FakeMedia;

namespace {

// Replaces line `number` (from 1) of a text file whose lines end in CR LF.
void ReplaceLine(const std::string& path, int number, const std::string& text) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QList<QByteArray> lines = f.readAll().split('\n');
  f.close();
  ASSERT_GT(lines.size(), number);
  lines[number - 1] = QByteArray::fromStdString(text + "\r");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(lines.join('\n'));
}

}  // namespace

// A stated rate no file of its size and length can have (104 Mbit/s for
// 0.5 MB in 4 s) is replaced by that bound, so it never becomes the
// encoder's target; one beyond any medium counts as not stated and the
// file is refused when nothing else gives a rate. At the highest plausible
// rate, with 100 hours, the estimate is large and positive.
TEST(AddFileEntry, RatesBeyondTheFileOrAnyMediumAreCappedOrRefused) {
  FakeApp f("huge-rate");
  f.app->profiles.SelectProfile(102);  // the source's own quality
  std::string d = pcmtest::MakeTempDir("huge-rate-media");
  std::string broken =
      FakeMedia(d, "broken.avi",
                "media format=avi duration_ms=4000 bit_rate=104857000 size=500000\n"
                "stream index=0 kind=video codec=mpeg4 width=640 height=480 bit_rate=104857000\n"
                "stream index=1 kind=audio codec=mp3 channels=2 sample_rate=44100\n");
  ASSERT_TRUE(f.app->listCommands.AddFileWithRetry(broken));
  EXPECT_EQ(f.app->list.Row(0).entry.videoKbps, 1000);  // 500000 x 8 / 4 s
  pcm::intputrec rec;
  f.app->options.FillProfileOptions(rec, f.app->list.Row(0));
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 1000000");
  f.app->list.RemoveAt(0);
  // A length no file of this size has (999 hours): the stated rates stand.
  std::string lying =
      FakeMedia(d, "lying.avi",
                "media format=avi duration_ms=3596400000 size=500000\n"
                "stream index=0 kind=video codec=mpeg4 width=640 height=480 bit_rate=800000\n"
                "stream index=1 kind=audio codec=mp3 channels=2 sample_rate=44100 bit_rate=96000\n");
  ASSERT_TRUE(f.app->listCommands.AddFileWithRetry(lying));
  EXPECT_EQ(f.app->list.Row(0).entry.videoKbps, 800);
  EXPECT_EQ(f.app->list.Row(0).entry.audioKbps, 96);
  f.app->list.RemoveAt(0);

  std::string absurd = FakeMedia(d, "huge.avi", Description("2147483700", "", std::nullopt, "01:00:00.00"));
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(absurd));
  EXPECT_EQ(f.app->list.Count(), 0);
  ASSERT_FALSE(f.ui.boxes.empty());
  EXPECT_NE(f.ui.boxes.back().text.find("huge.avi"), std::string::npos);

  std::string bound = FakeMedia(d, "bound.avi", Description("1000000", "", "128", "100:00:00.00"));
  ASSERT_TRUE(f.app->listCommands.AddFileWithRetry(bound));
  const pcm::ListRow& r = f.app->list.Row(0);
  EXPECT_EQ(r.entry.videoKbps, 999872);
  EXPECT_EQ(f.app->options.TotalBitRate(r), 3000 + 128);  // capped at 480 x 6.25
  EXPECT_EQ(r.outputSize.find('-'), std::string::npos) << r.outputSize;
  EXPECT_NE(r.outputSize.find("E+05MB"), std::string::npos) << r.outputSize;
}

// The saved profile's block has a rate that is not a number: its selection
// at start-up fails, and the files added afterwards are not called
// unsupported; the profile file's fault is named once per command.
TEST(AddFileEntry, BadRateOfTheSavedProfileIsNamedAsAProfileFileFault) {
  FakeApp f("bad-rate");
  ReplaceLine(f.dir + "profiles.pop", 107, "300 400 5OO 600 700");  // rate line of block 27
  pcm::IniFile ini(f.app->settings.SettingsPath());
  ini.Set("profiles", "selcetsubindex", "27");
  ini.Save();
  auto app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{f.programPath, nullptr, &f.ui, &f.system});
  EXPECT_THROW(app->settings.LoadSettings(), pcm::CommandError);
  ASSERT_EQ(app->profiles.currentProfile, 27);

  std::string d = pcmtest::MakeTempDir("bad-rate-media");
  FakeMedia(d, "one.wav");
  FakeMedia(d, "two.wav");
  f.ui.boxes.clear();
  EXPECT_EQ(app->listCommands.AddFolderPath(d), 1);
  EXPECT_EQ(app->list.Count(), 0);
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_EQ(f.ui.boxes[0].kind, "error");
  const std::string& text = f.ui.boxes[0].text;
  for (const char* part : {"\"5OO\"", "block 27 ", "line 107)", "profiles.pop"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  // Each file probed once, in one group: no probe is repeated for a fault
  // of the profile file.
  EXPECT_EQ(f.Probes().size(), 2u);

  // Mended, the same block adds the files.
  ReplaceLine(f.dir + "profiles.pop", 107, "300 400 500 600 700");
  app->profiles.SelectProfile(27);
  EXPECT_EQ(app->listCommands.AddFolderPath(d), 0);
  EXPECT_EQ(app->list.Count(), 2);
}

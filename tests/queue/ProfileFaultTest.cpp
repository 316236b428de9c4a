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

// 2147483700 kb/s overall is beyond any medium: the probe drops it and the
// file is refused as unusable instead of reaching the estimates. At the
// bound, with 100 hours, the estimate is large and positive.
TEST(AddFileEntry, RatesBeyondAnyMediumAreRefusedAndTheBoundStillEstimates) {
  FakeApp f("huge-rate");
  f.app->profiles.SelectProfile(102);
  std::string d = pcmtest::MakeTempDir("huge-rate-media");
  std::string absurd = FakeMedia(d, "huge.avi", Description("2147483700", "", "128", "01:00:00.00"));
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(absurd));
  EXPECT_EQ(f.app->list.Count(), 0);
  ASSERT_FALSE(f.ui.boxes.empty());
  EXPECT_NE(f.ui.boxes.back().text.find("huge.avi"), std::string::npos);

  std::string bound = FakeMedia(d, "bound.avi", Description("1000000", "", "128", "100:00:00.00"));
  ASSERT_TRUE(f.app->listCommands.AddFileWithRetry(bound));
  const pcm::ListRow& r = f.app->list.Row(0);
  EXPECT_EQ(r.entry.videoRate, "999872");
  EXPECT_EQ(f.app->options.TotalBitRate(r), 1000000);
  EXPECT_EQ(r.outputSize.find('-'), std::string::npos) << r.outputSize;
  EXPECT_NE(r.outputSize.find("E+07MB"), std::string::npos) << r.outputSize;
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
  // Tried once: the probe is not repeated for a fault of the profile file.
  EXPECT_EQ(f.Probes().size(), 1u);

  // Mended, the same block adds the files.
  ReplaceLine(f.dir + "profiles.pop", 107, "300 400 500 600 700");
  app->profiles.SelectProfile(27);
  EXPECT_EQ(app->listCommands.AddFolderPath(d), 0);
  EXPECT_EQ(app->list.Count(), 2);
}

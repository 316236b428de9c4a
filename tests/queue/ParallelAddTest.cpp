// Adding a large folder with several probes at once: the rows, their order
// and their values are those of an add one file at a time. The fake encoder
// scripts a distinct description per file, so a row that took another
// file's values shows.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <cerrno>

#include "QueueFixture.h"
#include "queue/ListCommands.h"

using queuetest::Description;
using queuetest::FakeApp;
using queuetest::FakeMedia;

namespace {

struct RowValues {
  std::string caption, duration;
  int video, audio;
  size_t streams;
  std::string frameSize, size;
  bool operator==(const RowValues&) const = default;
};

std::vector<RowValues> Values(const pcm::ConversionList& list) {
  std::vector<RowValues> v;
  for (const pcm::ListRow& r : list.Rows())
    v.push_back({r.caption, r.entry.duration, r.entry.videoKbps, r.entry.audioKbps, r.entry.streams.size(),
                 pcm::FrameSizeText(r.entry), r.outputSize});
  return v;
}

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

}  // namespace

TEST(ParallelAdd, AFolderOf200GivesTheRowsOfASerialAddAndTheBadFileNamesItself) {
  FakeApp f("parallel-add");
  std::string d = pcmtest::MakeTempDir("parallel-add-media");
  for (int i = 0; i < 200; ++i) {
    std::string video = i % 3 == 0 ? std::string() : std::to_string(500 + i);
    FakeMedia(d, "clip" + std::to_string(i) + ".mp3",
              Description(std::to_string(1000 + i), video, std::to_string(64 + i),
                          "00:" + TwoDigits(i / 60) + ":" + TwoDigits(i % 60) + ".00"));
  }
  FakeMedia(d, "bad.mp3", "");  // the encoder describes nothing

  // The serial add: each file on its own, in the order of their names.
  std::vector<std::string> names;
  if (DIR* dir = opendir(d.c_str())) {
    while (const dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") == 0) names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) f.app->listCommands.AddFileWithRetry(d + "/" + name);
  const std::vector<RowValues> serial = Values(f.app->list);
  ASSERT_EQ(serial.size(), 200u);
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_EQ(f.ui.boxes[0].text, d + "/bad.mp3 is not support!\nThe encoder could not describe it.");

  f.app->list.Clear();
  f.ui.boxes.clear();
  const size_t probedBefore = f.Probes().size();
  f.app->listCommands.probesAtOnce = 4;
  EXPECT_EQ(f.app->listCommands.AddFolderPath(d), 1);
  EXPECT_FALSE(f.app->listCommands.AddingFiles());
  EXPECT_TRUE(Values(f.app->list) == serial);
  // Every row is one file's own: no value is shared with its neighbours.
  for (size_t i = 0; i < serial.size(); ++i) {
    const int n = std::stoi(serial[i].caption.substr(4));
    EXPECT_EQ(serial[i].audio, 64 + n) << serial[i].caption;
  }
  // The bad file is named once, after its second try; each good file was
  // probed once.
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_EQ(f.ui.boxes[0].text, d + "/bad.mp3 is not support!\nThe encoder could not describe it.");
  auto probes = f.Probes();
  EXPECT_EQ(probes.size() - probedBefore, 202u);
  EXPECT_EQ(std::count(probes.begin() + long(probedBefore), probes.end(), d + "/bad.mp3"), 2);
}

// A stop asked for while a group of probes runs, one of them waiting for a
// description that never comes: the add ends at once, no further probe
// starts, nothing is named as unsupported, and the waiting probe's process
// and its child are gone (the pipe it reads is left without a reader).
TEST(ParallelAdd, AStopDuringAGroupOfProbesEndsEveryProbe) {
  FakeApp f("parallel-stop");
  // The same fake encoder, except that the probe of "slow.wav" reads a pipe
  // no one writes, in a child process of its own.
  std::string script = queuetest::kFakeEncoder;
  script.insert(script.find("  [ -f \"$2.probe\" ]"), "  case \"$2\" in *slow.wav) cat \"$2.pipe\";; esac\n");
  f.programPath = pcmtest::MakeProgramDir("parallel-stop-slow", script.c_str());
  f.dir = QFileInfo(QString::fromStdString(f.programPath)).absolutePath().toStdString() + "/";
  f.app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{f.programPath, nullptr, &f.ui, &f.system});
  f.app->settings.LoadSettings();
  std::string d = pcmtest::MakeTempDir("parallel-stop-media");
  for (int i = 0; i < 30; ++i) FakeMedia(d, "clip" + std::to_string(i) + ".wav");
  std::string slow = FakeMedia(d, "slow.wav", "");
  const std::string pipe = slow + ".pipe";
  ASSERT_EQ(pcmtest::RunShell("mkfifo " + pcmtest::ShellQuote(pipe)), 0);
  // Whether some process has the pipe open for reading (or is opening it).
  auto readerWaits = [&] {
    int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
    return fd >= 0;
  };

  f.app->listCommands.probesAtOnce = 64;  // the whole folder in one group
  f.app->probe.stopHook = readerWaits;
  EXPECT_EQ(f.app->listCommands.AddFolderPath(d), 0);
  EXPECT_FALSE(f.app->listCommands.AddingFiles());
  EXPECT_TRUE(f.app->probe.Stopped());
  EXPECT_EQ(f.app->list.Count(), 0);  // the stopped group adds none of its files
  EXPECT_TRUE(f.ui.boxes.empty());
  const size_t probed = f.Probes().size();
  EXPECT_LE(probed, 32u);
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return !readerWaits(); }, 20000));

  // Without a stop the folder adds in full; the slow file's probes run out
  // of time, and it is named.
  f.app->probe.stopHook = nullptr;
  f.app->probe.timeoutMs = 1000;
  f.app->list.Clear();
  EXPECT_EQ(f.app->listCommands.AddFolderPath(d), 1);
  EXPECT_EQ(f.app->list.Count(), 30);
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_EQ(f.ui.boxes[0].text, slow + " is not support!\nThe encoder could not describe it.");
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return !readerWaits(); }, 20000));
}

// Files dropped or named at the start next to each other are probed
// together, yet a folder among them adds its rows where it stands, and a bad
// or missing path is named in its place and counted.
TEST(ParallelAdd, DroppedAndOpenedFilesKeepTheirPlaceAroundAFolder) {
  FakeApp f("parallel-drop");
  std::string d = pcmtest::MakeTempDir("parallel-drop-media");
  std::string folder = pcmtest::MakeTempDir("parallel-drop-folder");
  std::string one = FakeMedia(d, "one.avi", Description("3000", "2872", "128", "00:00:01.00"));
  std::string two = FakeMedia(d, "two.mp3", Description("1000", std::nullopt, "96", "00:00:02.00"));
  std::string bad = FakeMedia(d, "bad.wav", "");
  FakeMedia(folder, "inside.ogg", Description("500", std::nullopt, "64", "00:00:03.00"));
  f.app->listCommands.probesAtOnce = 4;
  auto captions = [&] {
    std::vector<std::string> c;
    for (const pcm::ListRow& r : f.app->list.Rows()) c.push_back(r.caption + " " + r.entry.duration);
    return c;
  };
  const std::vector<std::string> expected = {"one 00:00:01", "two 00:00:02", "inside 00:00:03",
                                             "two 00:00:02"};

  f.app->listCommands.AddDropped({one, bad, two, folder, two});
  EXPECT_EQ(captions(), expected);
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_EQ(f.ui.boxes[0].text, bad + " is not support!\nThe encoder could not describe it.");
  EXPECT_EQ(f.app->list.FirstSelected(), 0);

  f.app->list.Clear();
  f.ui.boxes.clear();
  EXPECT_EQ(f.app->openedPaths.Add({one, bad, two, d + "/gone.mp3", folder, two}), 2);
  EXPECT_EQ(captions(), expected);
  ASSERT_EQ(f.ui.boxes.size(), 2u);
  EXPECT_EQ(f.ui.boxes[0].text, bad + " is not support!\nThe encoder could not describe it.");
  EXPECT_EQ(f.ui.boxes[1].text, d + "/gone.mp3 cannot be added: there is no such file or folder");
}

// Files converted while the later ones are still described, as the front
// end's batch does: the first entry converts while the next file's probe
// waits; a batch that has run out waits for the rows to come; no row shows
// progress before the batch started it, also when rows are appended below
// the one converting; and the names are those of a batch over the full
// list.
TEST(ParallelAdd, EntriesConvertWhileLaterFilesAreDescribed) {
  FakeApp f("convert-while-adding");
  // The fake encoder, except that "slow.mp3" is described only once the
  // test's go file is there.
  std::string script = queuetest::kFakeEncoder;
  script.insert(script.find("  [ -f \"$2.probe\" ]"),
                "  case \"$2\" in *slow.mp3) while [ ! -f \"$2.go\" ]; do sleep 0.02; done;; esac\n");
  f.programPath = pcmtest::MakeProgramDir("convert-while-adding-slow", script.c_str());
  f.dir = QFileInfo(QString::fromStdString(f.programPath)).absolutePath().toStdString() + "/";
  f.app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{f.programPath, nullptr, &f.ui, &f.system});
  f.app->settings.LoadSettings();
  pcm::CoreApp& app = *f.app;
  const std::string m = pcmtest::MakeTempDir("convert-while-adding-m");
  const std::string n = pcmtest::MakeTempDir("convert-while-adding-n");
  const std::string out = pcmtest::MakeTempDir("convert-while-adding-out");
  app.settings.outputField = out;
  const std::vector<std::string> files = {FakeMedia(m, "wait.mp3"), FakeMedia(m, "slow.mp3"),
                                          FakeMedia(n, "wait.mp3"), FakeMedia(n, "later.mp3")};

  bool begun = false;
  app.listCommands.rowAddedHook = [&](int) {
    if (begun) return app.batch.RowsAdded();
    begun = true;
    app.batch.ExpectRows();
    app.batch.StartBatch();
  };
  std::vector<std::string> faults;
  QObject::connect(&app.list, &pcm::ConversionList::rowChanged, [&](int i) {
    const pcm::ListRow& r = app.list.Row(i);
    if (r.state == pcm::EntryState::Converting && r.outputFile.empty())
      faults.push_back(r.caption + " shows progress " + std::to_string(r.progress) + " before it started");
  });
  // The steps, taken while the files are added: the first entry converts
  // with only its own row there, then ends; the batch waits; the slow file
  // is described; the entry of the same name from the other folder ends
  // once every row is in.
  bool convertedAlone = false, waitedForRows = false;
  QTimer steps;
  QObject::connect(&steps, &QTimer::timeout, [&] {
    if (app.list.Count() == 1 && app.list.Row(0).state == pcm::EntryState::Converting &&
        app.list.Row(0).progress > 0 && !convertedAlone) {
      convertedAlone = true;
      queuetest::WriteFile(files[0] + ".go", "go");
    }
    if (app.list.Count() == 1 && app.list.Row(0).state == pcm::EntryState::Finished &&
        !QFileInfo::exists(QString::fromStdString(files[1] + ".go"))) {
      waitedForRows = app.run.converting;
      queuetest::WriteFile(files[1] + ".go", "go");
    }
    if (app.list.Count() == 4) queuetest::WriteFile(files[2] + ".go", "go");
  });
  steps.start(20);
  EXPECT_EQ(app.listCommands.AddFileList(files), 0);
  // The third entry waits for its go, which comes after the adding.
  EXPECT_TRUE(app.run.converting);
  app.batch.RowsComplete();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 60000));
  steps.stop();
  app.listCommands.rowAddedHook = nullptr;

  EXPECT_TRUE(convertedAlone);
  EXPECT_TRUE(waitedForRows);
  EXPECT_EQ(faults, std::vector<std::string>{});
  const std::vector<std::string> names = {out + "/wait.mp3", out + "/slow.mp3", out + "/wait_1.mp3",
                                          out + "/later.mp3"};
  ASSERT_EQ(app.list.Count(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(app.list.Row(i).state, pcm::EntryState::Finished) << i;
    EXPECT_EQ(app.list.Row(i).progress, 10000) << i;
    EXPECT_EQ(app.list.Row(i).outputFile, names[size_t(i)]) << i;
    EXPECT_TRUE(queuetest::Exists(names[size_t(i)])) << i;
  }
  EXPECT_EQ(f.Calls(), files);
  // One probe run described every file, in their order.
  EXPECT_EQ(f.Probes(), files);
}

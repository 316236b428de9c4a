// The list across starts of the window: the same rows, check marks, names
// and trims come back, a row whose file went away is marked, and the real
// program killed while adding loses no row.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBrush>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "WindowFixture.h"
#include "queue/ListStore.h"
#include "queue/Trim.h"

namespace pcmtest {
namespace {

std::string CopyMedia(const std::string& kind, const std::string& dir, const std::string& name) {
  std::string to = dir + "/" + name;
  QFile::copy(QString::fromStdString(MakeMedia(kind, 2)), QString::fromStdString(to));
  return to;
}

std::vector<pcm::ListRow> ListOnDisk(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string error;
  auto rows = pcm::DecodeList(ss.str(), error);
  return rows ? *rows : std::vector<pcm::ListRow>{};
}

TEST(ListRestore, ANewWindowShowsTheSameListAndMarksAGoneFile) {
  std::string config = MakeTempDir("restore-config");
  std::string media = MakeTempDir("restore-media");
  std::vector<std::string> files = {CopyMedia("mp3", media, "one.mp3"), CopyMedia("wav", media, "two.wav"),
                                    CopyMedia("ogg", media, "three.ogg")};
  std::string programDir;
  {
    WindowHarness h("popclipmill", config);
    programDir = h.Directory();
    pcm::MainWindow& w = h.Open();
    EXPECT_EQ(h.app().list.Count(), 0);
    h.ui.fileAnswers.push_back(files);
    w.ImageButtonClicked("bt_dvdopen");
    ASSERT_EQ(h.app().list.Count(), 3);
    h.app().list.SetChecked(1, false);
    h.app().list.SetCaption(2, "third renamed");
    h.app().list.SetState(1, pcm::EntryState::Finished);
    ASSERT_TRUE(pcm::ApplyTrim(h.app().list.Row(0), 0, 1));
    h.app().list.NotifyRowChanged(0);
    EXPECT_TRUE(w.close());
  }
  std::remove(files[1].c_str());
  WindowHarness again("popclipmill", config, programDir);
  pcm::MainWindow& w = again.Open();
  pcm::CoreApp& app = again.app();
  ASSERT_EQ(app.list.Count(), 3);
  auto* model = w.listView()->model();
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->index(0, 0).data().toString(), "one");
  EXPECT_EQ(model->index(2, 0).data().toString(), "third renamed");
  EXPECT_EQ(model->index(0, 2).data().toString(), "00:00:01");
  EXPECT_EQ(app.list.Row(0).trim.end, 1);
  EXPECT_EQ(model->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  EXPECT_EQ(model->index(1, 4).data().toString(), "Missing");
  // Not in the green of the Finish it had: a missing source is a fault.
  EXPECT_EQ(model->index(1, 4).data(Qt::ForegroundRole).value<QBrush>().color(), QColor("#c0392b"));
  EXPECT_EQ(model->index(0, 4).data().toString(), "Status");
  EXPECT_EQ(again.Hint(), "Restored 3 entries from the last session. 1 entry has lost its file.");
}

// A thousand files added to the window and then removed: the list file is
// written about once a second while rows come and go, not once per row (a
// rename each time, seen by inotify), and ends up holding the list.
TEST(ListRestore, AThousandRowsComeAndGoInAFewWrites) {
  WindowHarness h;
  h.Open();
  pcm::CoreApp& app = h.app();
  std::string media = MakeTempDir("many-media");
  const std::string clip = MakeMedia("wav", 1);
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(link(clip.c_str(), (media + "/c" + std::to_string(1000 + i) + ".wav").c_str()), 0);
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, h.configDir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
  const std::string listPath = app.listStore.Path();
  auto listWrites = [&] {
    int n = 0;
    alignas(inotify_event) char buf[8192];
    for (ssize_t got; (got = read(watch, buf, sizeof buf)) > 0;)
      for (char* at = buf; at < buf + got;) {
        auto* e = reinterpret_cast<inotify_event*>(at);
        if ((e->mask & IN_MOVED_TO) && e->len && listPath.ends_with(std::string("/") + e->name)) ++n;
        at += sizeof(inotify_event) + e->len;
      }
    return n;
  };
  auto settled = [&] { return WaitUntil([&] { return !app.listStore.Pending(); }, 10000); };

  QElapsedTimer clock;
  clock.start();
  app.RunCommand([&] { app.listCommands.AddFolderPath(media); });
  ASSERT_EQ(app.list.Count(), 1000);
  ASSERT_TRUE(settled());
  int writes = listWrites();
  EXPECT_GE(writes, 1);
  EXPECT_LE(writes, clock.elapsed() / 1000 + 2) << clock.elapsed() << " ms";
  EXPECT_EQ(ListOnDisk(listPath).size(), 1000u);

  for (int i = 0; i < app.list.Count(); ++i) app.list.SetSelected(i, true);
  clock.restart();
  app.RunCommand([&] { app.commands.Run(pcm::Command::Remove); });
  EXPECT_EQ(app.list.Count(), 0);
  EXPECT_LT(clock.elapsed(), 10000);
  ASSERT_TRUE(settled());
  EXPECT_EQ(listWrites(), 1);
  EXPECT_TRUE(ListOnDisk(listPath).empty());
  close(watch);
}

// The real program, offscreen, started with files to open: killed with
// SIGKILL while it adds them, and again once they are all in, it finds every
// row it had shown when started again.
TEST(ListRestore, TheRealProgramKilledWhileAddingLosesNoRow) {
  std::string config = MakeTempDir("kill-config");
  std::string runtime = MakeTempDir("kill-runtime");
  chmod(runtime.c_str(), 0700);
  std::string media = MakeTempDir("kill-media");
  std::vector<std::string> files;
  QStringList args;
  for (int i = 0; i < 6; ++i) {
    files.push_back(
        CopyMedia(i % 2 ? "wav" : "mp3", media, "f" + std::to_string(i) + (i % 2 ? ".wav" : ".mp3")));
    args << QString::fromStdString(files.back());
  }
  std::string listPath = config + "/popclipmill.list";
  auto start = [&](QProcess& p, const QStringList& a) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(config + "/"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QString::fromStdString(BinDir() + "/popclipmill"), a);
    return p.waitForStarted(10000);
  };
  auto kill = [](QProcess& p) {
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished(10000);
  };
  auto rowsOnDisk = [&] { return ListOnDisk(listPath).size(); };

  // Killed as soon as the first row is written, while the others are added.
  {
    QProcess p;
    ASSERT_TRUE(start(p, args));
    ASSERT_TRUE(WaitUntil([&] { return rowsOnDisk() >= 1; }, 120000));
    kill(p);
  }
  std::vector<pcm::ListRow> seen = ListOnDisk(listPath);
  ASSERT_GE(seen.size(), 1u);
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].filePath, files[i]);

  // Started again with the same files: the restored rows, then the files.
  {
    QProcess p;
    ASSERT_TRUE(start(p, args));
    ASSERT_TRUE(WaitUntil([&] { return rowsOnDisk() == seen.size() + files.size(); }, 120000));
    kill(p);
  }
  WindowHarness h("popclipmill", config);
  h.Open();
  ASSERT_EQ(size_t(h.app().list.Count()), seen.size() + files.size());
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(h.app().list.Row(int(seen.size() + i)).filePath, files[i]);
  EXPECT_EQ(h.Hint(),
            "Restored " + std::to_string(seen.size() + files.size()) + " entries from the last session.");
}

// Names that are not UTF-8 (Latin-1 bytes, legal on Linux) keep their bytes
// through the window: given at the real program's start and stored, restored
// in a new window, dropped on it as a file manager sends them, and converted
// to results named with the same bytes.
TEST(ListRestore, NamesThatAreNotUtf8KeepTheirBytes) {
  namespace fs = std::filesystem;
  std::string config = MakeTempDir("latin1-config");
  std::string runtime = MakeTempDir("latin1-runtime");
  chmod(runtime.c_str(), 0700);
  std::string media = MakeTempDir("latin1-media");
  const std::string started = media + "/caf\xe9.wav", dropped = media + "/\xe0 la carte.mp3";
  fs::copy_file(MakeMedia("wav", 2), started);
  fs::copy_file(MakeMedia("mp3", 2), dropped);
  const std::string listPath = config + "/popclipmill.list";
  {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(config + "/"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    // The byte goes through the shell: a QString argument could not hold it.
    p.start("/bin/sh", {"-c", "exec \"$0\" \"$1/caf$(printf '\\351').wav\"",
                        QString::fromStdString(BinDir() + "/popclipmill"), QString::fromStdString(media)});
    ASSERT_TRUE(p.waitForStarted(10000));
    EXPECT_TRUE(WaitUntil([&] { return ListOnDisk(listPath).size() == 1; }, 60000));
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished(10000);
  }
  std::vector<pcm::ListRow> stored = ListOnDisk(listPath);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].filePath, started);

  WindowHarness h("popclipmill", config);
  pcm::MainWindow& w = h.Open();
  pcm::CoreApp& app = h.app();
  ASSERT_EQ(app.list.Count(), 1);
  EXPECT_EQ(app.list.Row(0).filePath, started);
  EXPECT_FALSE(app.list.Row(0).sourceMissing);
  QMimeData data;
  data.setData("text/uri-list",
               "file://" + QByteArray::fromStdString(dropped).toPercentEncoding("/") + "\r\n");
  const QPoint at = w.listView()->viewport()->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.listView()->viewport(), &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.listView()->viewport(), &drop);
  ASSERT_TRUE(WaitUntil([&] { return app.list.Count() == 2; }, 60000)) << h.LastBox();
  EXPECT_EQ(app.list.Row(1).filePath, dropped);

  // Confirmed unchanged in the title editor (which holds the name as shown),
  // the name keeps its bytes.
  app.list.SelectOnly(0);
  std::optional<std::string> editing = app.listCommands.BeginRename();
  ASSERT_TRUE(editing.has_value());
  app.listCommands.EndRename(QString::fromStdString(*editing).toStdString());
  EXPECT_EQ(app.list.Row(0).caption, "caf\xe9");

  const std::string out = MakeTempDir("latin1-out");
  w.outputField()->setText(QString::fromStdString(out));
  app.settings.finishAction = pcm::kFinishNothing;
  w.ImageButtonClicked("bt_start");
  ASSERT_TRUE(WaitUntil([&] { return !app.run.converting; }, 120000));
  for (int i = 0; i < 2; ++i) {
    const std::string& source = app.list.Row(i).filePath;
    const std::string stem = source.substr(media.size(), source.rfind('.') - media.size());
    EXPECT_EQ(StatusText(app.list.Row(i)), "Finish");
    EXPECT_EQ(app.list.Row(i).outputFile.substr(0, out.size() + stem.size()), out + stem);
    EXPECT_TRUE(fs::exists(app.list.Row(i).outputFile));
  }
  // Stored again at the end of the batch, still byte for byte.
  stored = ListOnDisk(listPath);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[1].filePath, dropped);
  EXPECT_EQ(stored[0].outputFile, app.list.Row(0).outputFile);
}

}  // namespace
}  // namespace pcmtest

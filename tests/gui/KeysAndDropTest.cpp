// The window's keys and drag and drop, driven as the keyboard and a file
// manager drive them: keys through the shortcut machinery, drops as drop
// events on the list.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <set>

#include "WindowFixture.h"
#include "gui/SettingsDialog.h"
#include "ui/HelpAddress.h"

namespace pcmtest {
namespace {

using pcm::Command;
using pcm::MainWindow;

std::string Message(int n) {
  std::ifstream in(BinDir() + "/language.info");
  std::string line;
  for (int i = 1; i <= n && std::getline(in, line); ++i) {
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

QKeySequence ShortcutOf(MainWindow& w, const char* menu, const char* caption) {
  for (QAction* a : w.Menu(menu)->actions())
    if (a->text() == caption) return a->shortcut();
  return {};
}

TEST(WindowKeys, RenameEnterEscapePreviewKeysAndMenuShortcuts) {
  WindowHarness h;
  MainWindow& w = h.Open();
  ASSERT_TRUE(h.Activate());
  pcm::CoreApp& app = h.app();
  AddRow(app, "first");
  AddRow(app, "second", true);
  QTableView* view = w.listView();
  QLineEdit* edit = w.renameField();
  view->setFocus();

  // Escape closes the editor and keeps the name, also after a later click.
  PressKey(view, Qt::Key_F2);
  ASSERT_FALSE(edit->isHidden());
  EXPECT_EQ(edit->text(), "second");
  edit->setText("changed");
  PressKey(edit, Qt::Key_Escape);
  EXPECT_TRUE(edit->isHidden());
  ClickRow(view, 0);
  ClickRow(view, 1);
  EXPECT_EQ(app.list.Row(1).caption, "second");
  EXPECT_EQ(app.listCommands.renameRow, -1);

  // Enter commits, and the keys go back to the list.
  PressKey(view, Qt::Key_F2);
  ASSERT_FALSE(edit->isHidden());
  edit->setText("renamed");
  PressKey(edit, Qt::Key_Return);
  EXPECT_TRUE(edit->isHidden());
  EXPECT_EQ(app.list.Row(1).caption, "renamed");
  EXPECT_TRUE(view->hasFocus());

  // Enter and a double-click on a row start its preview, Space pauses it.
  // Counters stand in for the preview here: only the keys are under test.
  int previews = 0, pauses = 0;
  app.commands.Register(Command::StartPreview, [&] { ++previews; });
  app.commands.Register(Command::TogglePause, [&] { ++pauses; });
  app.UpdateCommandStates();
  PressKey(view, Qt::Key_Return);
  EXPECT_EQ(previews, 1);
  QPointF at = view->visualRect(view->model()->index(0, 1)).center();
  ClickRow(view, 0);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &dbl);
  EXPECT_EQ(previews, 2);
  // Space pauses only a preview that plays.
  PressKey(view, Qt::Key_Space, Qt::NoModifier, " ");
  EXPECT_EQ(pauses, 0);
  app.run.previewing = true;
  PressKey(view, Qt::Key_Space, Qt::NoModifier, " ");
  EXPECT_EQ(pauses, 1);
  // In the rename editor Enter and Space are the editor's.
  app.run.previewing = false;
  PressKey(view, Qt::Key_F2);
  app.run.previewing = true;
  PressKey(edit, Qt::Key_Space, Qt::NoModifier, " ");
  PressKey(edit, Qt::Key_Return);
  app.run.previewing = false;
  EXPECT_EQ(previews, 2);
  EXPECT_EQ(pauses, 1);
  // Without a preview Enter leaves the list alone.
  app.commands.Unregister(Command::StartPreview);
  app.UpdateCommandStates();
  PressKey(view, Qt::Key_Return);
  EXPECT_EQ(previews, 2);

  // The menus show the keys.
  EXPECT_EQ(ShortcutOf(w, "zm_pop_edit", "Remove"), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(ShortcutOf(w, "zm_pop_edit", "Rename"), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(ShortcutOf(w, "zm_popup_file", "Add File(s)..."), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(ShortcutOf(w, "zm_pop_help", "Help"), QKeySequence(Qt::Key_F1));

  // Ctrl+O adds a real file through the chooser; F1 opens the help address.
  h.ui.fileAnswers.push_back({MakeMedia("mp3", 1)});
  PressKey(view, Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(app.list.Count(), 3) << h.LastBox();
  PressKey(view, Qt::Key_F1);
  ASSERT_FALSE(h.system.calls.empty());
  EXPECT_EQ(h.system.calls.back(),
            "open-address " + pcm::ResolveAddress(app.program, w.product()->supportAddress));
}

// Sends a drag over the list and drops it there, as a file manager does.
void DropOn(QWidget* target, const std::vector<std::string>& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
  data.setUrls(urls);
  QPointF at = target->rect().center();
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

std::set<std::string> Paths(pcm::CoreApp& app) {
  std::set<std::string> out;
  for (const auto& r : app.list.Rows()) out.insert(r.filePath);
  return out;
}

TEST(WindowDrop, TwoFilesAndAFolderThenRefusals) {
  namespace fs = std::filesystem;
  WindowHarness h;
  MainWindow& w = h.Open();
  const std::string one = MakeMedia("mp3", 1), two = MakeMedia("avi", 1);
  // The folder rule: its own media files only (the common sound and video
  // extensions), not other files, not subfolders.
  const std::string folder = MakeTempDir("drop-folder");
  fs::copy_file(MakeMedia("ogg", 1), folder + "/a.ogg");
  fs::copy_file(MakeMedia("wav", 1), folder + "/b.wav");
  fs::copy_file(MakeMedia("mp4", 1), folder + "/c.mp4");
  fs::copy_file(MakeMedia("mp3", 1), folder + "/e.txt");
  fs::create_directory(folder + "/sub");
  fs::copy_file(MakeMedia("mp3", 1), folder + "/sub/d.mp3");

  DropOn(w.listView()->viewport(), {one, two, folder});
  ASSERT_TRUE(WaitUntil([&] { return h.app().list.Count() >= 5; }, 60000)) << h.LastBox();
  EXPECT_EQ(Paths(h.app()),
            (std::set<std::string>{one, two, folder + "/a.ogg", folder + "/b.wav", folder + "/c.mp4"}));
  EXPECT_TRUE(h.ui.boxes.empty()) << h.LastBox();

  // Refused while previewing or converting, with the buttons' messages.
  h.app().run.previewing = true;
  DropOn(&w, {one});
  ASSERT_TRUE(WaitUntil([&] { return !h.ui.boxes.empty(); }, 5000));
  EXPECT_EQ(h.LastBox(), "warning: " + Message(27));
  h.app().run.previewing = false;
  h.app().run.converting = true;
  DropOn(w.listView()->viewport(), {one});
  ASSERT_TRUE(WaitUntil([&] { return h.ui.boxes.size() == 2; }, 5000));
  EXPECT_EQ(h.LastBox(), "warning: " + Message(26));
  h.app().run.converting = false;
  EXPECT_EQ(h.app().list.Count(), 5);
}

// "Keep subfolders" chosen in the settings dialog: a dropped folder brings
// its subfolders, and a real batch writes each file to the same subfolder
// below the output folder, same-named tracks without "_1". With "skip the
// entry" chosen, the next batch writes nothing and every row shows Skipped.
// Both choices are there at the next start.
TEST(WindowDrop, KeptSubfoldersOfADroppedFolder) {
  namespace fs = std::filesystem;
  const std::string config = MakeTempDir("kept-config");
  const std::string folder = MakeTempDir("drop-tree");
  const std::string out = MakeTempDir("drop-tree-out");
  fs::create_directories(folder + "/Album 1");
  fs::create_directories(folder + "/Album 2/CD 'two'");
  fs::copy_file(MakeMedia("mp3", 1), folder + "/Album 1/01 Intro.mp3");
  fs::copy_file(MakeMedia("wav", 1), folder + "/Album 2/CD 'two'/01 Intro.wav");
  fs::copy_file(MakeMedia("ogg", 1), folder + "/top.ogg");
  auto tree = [&] {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(out))
      if (e.is_regular_file()) files.insert(e.path().string().substr(out.size() + 1));
    return files;
  };
  const std::set<std::string> expected{"Album 1/01 Intro.mp3", "Album 2/CD 'two'/01 Intro.mp3", "top.mp3"};
  std::string programDir;
  {
    WindowHarness h("popclipmill", config);
    programDir = h.Directory();
    MainWindow& w = h.Open();
    pcm::CoreApp& app = h.app();
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    pcm::SettingsDialog* d = w.settingsDialog();
    EXPECT_FALSE(d->ck_keepFolders->isChecked());
    EXPECT_EQ(d->cb_exists->currentText(), "make a new name");
    d->ck_keepFolders->setChecked(true);
    d->OkClicked();
    EXPECT_TRUE(app.settings.keepFolders);

    DropOn(w.listView()->viewport(), {folder});
    ASSERT_TRUE(WaitUntil([&] { return app.list.Count() >= 3; }, 60000)) << h.LastBox();
    std::vector<std::string> subfolders;
    for (const auto& r : app.list.Rows()) subfolders.push_back(r.outputSubfolder);
    EXPECT_EQ(subfolders, (std::vector<std::string>{"Album 1/", "Album 2/CD 'two'/", ""}));
    w.outputField()->setText(QString::fromStdString(out));
    app.settings.finishAction = pcm::kFinishNothing;
    w.ImageButtonClicked("bt_start");
    ASSERT_TRUE(WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(StatusText(app.list.Row(i)), "Finish") << app.list.Row(i).failureLines.size();
    EXPECT_EQ(tree(), expected);
    EXPECT_EQ(h.Hint(), "Conversion over: 3 finished, 0 failed, 0 stopped.");

    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    d->cb_exists->setCurrentIndex(d->cb_exists->findText("skip the entry"));
    d->OkClicked();
    w.ImageButtonClicked("bt_start");
    ASSERT_TRUE(WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(w.listView()->model()->index(i, 4).data().toString(), "Skipped") << i;
      EXPECT_EQ(app.list.Row(i).outputFile, out + "/" + *std::next(expected.begin(), i));
    }
    EXPECT_EQ(tree(), expected);
    EXPECT_EQ(h.Hint(), "Conversion over: 0 finished, 0 failed, 0 stopped, 3 skipped.");
    EXPECT_TRUE(w.close());
  }
  WindowHarness again("popclipmill", config, programDir);
  MainWindow& w = again.Open();
  EXPECT_TRUE(again.app().settings.keepFolders);
  EXPECT_TRUE(again.app().settings.skipExisting);
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
  EXPECT_TRUE(w.settingsDialog()->ck_keepFolders->isChecked());
  EXPECT_EQ(w.settingsDialog()->cb_exists->currentText(), "skip the entry");
  w.settingsDialog()->CancelClicked();
}

}  // namespace
}  // namespace pcmtest

// The main window as a whole: start-up, the four layouts, hover hints, menus,
// command states on the widgets, closing, background mode, the skin's checks
// and the secondary windows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTableView>
#include <fstream>

#include "WindowFixture.h"
#include "gui/Dialogs.h"
#include "gui/ListModel.h"
#include "gui/ProfilePicker.h"
#include "gui/SettingsDialog.h"
#include "profiles/Ini.h"

namespace pcmtest {
namespace {

using pcm::MainWindow;

std::string Message(int n) {
  std::ifstream in(BinDir() + "/language.info");
  std::string line;
  for (int i = 1; i <= n && std::getline(in, line); ++i) {
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

TEST(WindowStartUp, FirstStartWithoutSettingsFile) {
  WindowHarness h;
  MainWindow& w = h.Open();
  EXPECT_EQ(w.outputField()->text().toStdString(),
            QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString() + "/");
  EXPECT_EQ(h.app().profiles.currentProfile, 17);
  EXPECT_EQ(w.display().Text("profilestext"), "MP3-MPEG Layer-3Audio(*.mp3)");
  EXPECT_EQ(h.app().settings.finishAction, 0);
  EXPECT_TRUE(h.app().settings.videoPageFlag);
  EXPECT_TRUE(h.app().settings.audioPageFlag);
  EXPECT_EQ(w.display().StripWidth("convertpos"), 0);
  // The shipped product file has this program's record: no message 31.
  for (const auto& b : h.ui.boxes) EXPECT_NE(b.text, Message(31));
  ASSERT_TRUE(w.product().has_value());
  EXPECT_FALSE(w.product()->webAddress.empty());
  EXPECT_EQ(w.Menu("zm_pop_help")->actions().last()->text(), "About Velmar popclipmill");
  // All panels start hidden; the title image is shown.
  for (const std::string& p : pcm::PickerState::Panels()) EXPECT_FALSE(w.pickerWidgets().Visible(p)) << p;
  EXPECT_FALSE(w.findChild<QWidget*>("pl_appname")->isHidden());
  // The other layouts have their records too, and start with the profile.
  for (const char* name : {"popclipmill-dvd", "quorvclip", "quorvclip-dvd"}) {
    WindowHarness other(name);
    MainWindow& o = other.Open();
    EXPECT_TRUE(o.product().has_value()) << name;
    EXPECT_TRUE(other.ui.boxes.empty()) << name << ": " << other.LastBox();
    EXPECT_EQ(o.display().Text("profilestext"), "MP3-MPEG Layer-3Audio(*.mp3)") << name;
  }
}

TEST(WindowStartUp, ExecutableNamedAbcReadsAbcIni) {
  std::string config = MakeTempDir("config-abc");
  std::string out = MakeTempDir("out-abc") + "/";
  {
    std::ofstream ini(config + "/abc.ini");
    ini << "[output]\npath=" << out << "\n[profiles]\nselcetsubindex=21\nFinishSelcet=1\n[plane]\naudio=0\n";
  }
  WindowHarness h("abc", config);
  MainWindow& w = h.Open();
  EXPECT_EQ(w.outputField()->text().toStdString(), out);
  EXPECT_EQ(h.app().profiles.currentProfile, 21);
  EXPECT_EQ(h.app().settings.finishAction, 1);
  EXPECT_FALSE(w.picker().audioPage);
  // No record for "abc" in the product file: message 31, once.
  int shown = 0;
  for (const auto& b : h.ui.boxes) shown += b.kind == "information" && b.text == Message(31);
  EXPECT_EQ(shown, 1);
}

TEST(WindowStartUp, SkinLackingAnElementIsRefusedByName) {
  std::string program = MakeProgramDir("badskin");
  std::string dir = program.substr(0, program.rfind('/'));
  QFile f(QString::fromStdString(dir + "/skn.skn"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray skin = f.readAll();
  f.close();
  skin.replace("\"name\": \"convertpos\"", "\"name\": \"convertpos_gone\"");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(skin);
  f.close();
  WindowHarness h("popclipmill", "", dir);
  try {
    h.Open();
    FAIL() << "the window opened with an incomplete skin";
  } catch (const pcm::SkinError& e) {
    EXPECT_NE(std::string(e.what()).find("\"convertpos\""), std::string::npos) << e.what();
  }
  // A skin that is not JSON at all says so.
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write("{ not json");
  f.close();
  EXPECT_THROW(h.Open(), pcm::SkinError);
}

// Visible controls and elements must not overlap or leave the window, in all
// four layouts; the list is the largest element.
class Layouts : public ::testing::TestWithParam<const char*> {};

TEST_P(Layouts, NothingClippedOrOverlapping) {
  WindowHarness h(GetParam());
  MainWindow& w = h.Open();
  QWidget* form = w.form();
  struct Item {
    QString name;
    QRect r;
  };
  std::vector<Item> items;
  for (QWidget* c : form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (c->isHidden() || c->objectName().isEmpty() || c->objectName() == "pl_play" ||
        c->objectName() == "form_border")
      continue;
    if (auto* e = qobject_cast<pcm::SkinElement*>(c)) {
      const QString& k = e->desc().kind;
      if (k == "plain" || k == "strip" || k == "bar" || !e->desc().mouse) continue;
    }
    EXPECT_TRUE(form->rect().contains(c->geometry()))
        << c->objectName().toStdString() << " leaves the window";
    items.push_back({c->objectName(), c->geometry()});
  }
  for (size_t i = 0; i < items.size(); ++i)
    for (size_t j = i + 1; j < items.size(); ++j) {
      QStringList pair = {items[i].name, items[j].name};
      // The profile icon sits inside the profile box on purpose.
      if (pair.contains("im_mainico") && pair.contains("profiles")) continue;
      EXPECT_FALSE(items[i].r.intersects(items[j].r))
          << items[i].name.toStdString() << " overlaps " << items[j].name.toStdString();
    }
  QRect list = w.listView()->geometry();
  for (const Item& it : items) {
    if (it.name != "lv") {
      EXPECT_LT(it.r.width() * it.r.height(), list.width() * list.height()) << it.name.toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FourNames, Layouts,
                         ::testing::Values("popclipmill", "popclipmill-dvd", "quorvclip", "quorvclip-dvd"));

TEST(WindowLayouts, WhatEachNameShows) {
  struct Expect {
    const char* name;
    bool preview, streams, checkBoxes;
    const char* caption;
  };
  for (const Expect& e : {Expect{"popclipmill", false, false, true, "Title"},
                          Expect{"quorvclip", true, false, false, "File Name"},
                          Expect{"quorvclip-dvd", true, true, true, "Title"},
                          Expect{"popclipmill-dvd", true, true, true, "Title"}}) {
    SCOPED_TRACE(e.name);
    WindowHarness h(e.name);
    MainWindow& w = h.Open();
    EXPECT_EQ(!w.Button("bt_play")->isHidden(), e.preview);
    EXPECT_EQ(!w.Button("bt_images")->isHidden(), e.preview);
    auto* audio = w.findChild<QComboBox*>("cb_audio");
    EXPECT_EQ(!audio->isHidden(), e.streams);
    EXPECT_EQ(w.listView()->model()->headerData(0, Qt::Horizontal).toString().toStdString(), e.caption);
    AddRow(h.app(), "one");
    QVariant check = w.listView()->model()->index(0, 0).data(Qt::CheckStateRole);
    EXPECT_EQ(check.isValid(), e.checkBoxes);
    if (e.streams && std::string(e.name).find("quorv") != std::string::npos) {
      EXPECT_EQ(audio->geometry(), QRect(90, 453, 177, 22));
    }
  }
}

TEST(WindowHover, EveryElementWritesItsMessage) {
  WindowHarness h;
  MainWindow& w = h.Open();
  for (const auto& e : w.form()->desc().elements) {
    SCOPED_TRACE(e.name.toStdString());
    w.Hover(e.name);
    int n = e.name == "categories" ? 3 : pcm::HoverMessage(e.name.toStdString());
    if (n < 25)
      EXPECT_EQ(h.Hint(), Message(n));
    else
      EXPECT_EQ(h.Hint(), Message(25) + " popclipmill.");
  }
  // During a conversion the hint keeps the encoder's status line.
  h.app().run.converting = true;
  h.app().progress.statusLine = "frame=  10 time=1.00";
  h.app().ShowConvertProgress(5000);
  for (const char* e : {"browse", "converter", "hint"}) {
    w.Hover(e);
    EXPECT_EQ(h.Hint(), "frame=  10 time=1.00") << e;
  }
  EXPECT_EQ(w.display().StripWidth("convertpos"), 358);
  EXPECT_EQ(w.form()->Element("convertpos")->width(), 358);
  h.app().ShowConvertProgress(10150);
  EXPECT_EQ(w.form()->Element("convertpos")->width(), 715);
}

TEST(WindowMenus, PopupsCaptionsAndDispatch) {
  {
    WindowHarness h;
    MainWindow& w = h.Open();
    w.Click("help");
    EXPECT_EQ(w.lastPopup().menu, "zm_pop_help");
    EXPECT_EQ(w.lastPopup().x, 198);
    w.Menu("zm_pop_help")->hide();
    w.Click("file");
    EXPECT_EQ(w.lastPopup().menu, "zm_popup_file");
    EXPECT_EQ(w.lastPopup().y, 50);
    w.Menu("zm_popup_file")->hide();
    // The help items open the help page beside the program, at the product
    // record's address and at our own sections.
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_help", "Help"));
    EXPECT_EQ(h.system.calls.back(), "open-address file://" + h.Directory() + "/help.html#support");
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_help", "About Velmar popclipmill"));
    EXPECT_EQ(h.system.calls.back(), "open-address file://" + h.Directory() + "/help.html#about");
    // Tools > Settings shows the settings dialog.
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    EXPECT_TRUE(w.settingsDialog()->isVisible());
    w.settingsDialog()->CancelClicked();
    // Edit > Select All / Unselect All check and uncheck every row.
    AddRow(h.app(), "a");
    AddRow(h.app(), "b");
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Unselect All"));
    EXPECT_FALSE(h.app().list.Row(0).checked);
    EXPECT_FALSE(h.app().list.Row(1).checked);
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Select All"));
    EXPECT_TRUE(h.app().list.Row(1).checked);
    // Pause is not offered until a conversion runs.
    EXPECT_FALSE(w.TriggerMenuItem("zm_pop_actions", "Pause"));
    // Add DVD asks for a folder; a cancelled chooser changes nothing.
    ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
    EXPECT_EQ(h.ui.lastFolderCaption, h.app().LoadMessage(32));
    EXPECT_EQ(h.app().list.Count(), 2);
  }
  {
    WindowHarness h("quorvclip");
    MainWindow& w = h.Open();
    w.Click("help");
    EXPECT_EQ(w.lastPopup().menu, "pop_help");
    EXPECT_EQ(w.lastPopup().x, 366);
    EXPECT_EQ(w.lastPopup().y, 64);
    w.Menu("pop_help")->hide();
    ASSERT_TRUE(w.TriggerMenuItem("pop_help", "About"));
    EXPECT_TRUE(w.aboutDialog()->isVisible());
    EXPECT_EQ(w.aboutDialog()->findChild<QLabel*>("Label1")->text(), "quorvclip");
    EXPECT_EQ(w.aboutDialog()->pos(), w.pos() + QPoint(160, 100));
  }
}

TEST(WindowCommandStates, AppliedToTheWidgets) {
  WindowHarness h("popclipmill-dvd");
  MainWindow& w = h.Open();
  auto enabled = [&](const char* b) { return w.Button(b)->isEnabled(); };
  auto item = [&](const char* menu, const char* caption) {
    for (QAction* a : w.Menu(menu)->actions())
      if (a->text() == caption) return a->isEnabled();
    ADD_FAILURE() << caption;
    return false;
  };
  // No selection.
  EXPECT_TRUE(enabled("bt_dvdopen"));
  EXPECT_FALSE(enabled("bt_remove"));
  EXPECT_TRUE(enabled("bt_start"));
  EXPECT_FALSE(enabled("Bt_Convertstop"));
  EXPECT_FALSE(item("zm_popup_file", "Properties"));
  EXPECT_TRUE(item("zm_pop_edit", "Clear"));
  EXPECT_FALSE(item("zm_pop_actions", "Stop"));
  // A selection.
  AddRow(h.app(), "one", true);
  h.app().UpdateCommandStates();
  EXPECT_TRUE(enabled("bt_remove"));
  EXPECT_TRUE(item("zm_popup_file", "Properties"));
  EXPECT_TRUE(item("zm_pop_edit", "Rename"));
  // A selected entry can be previewed and opened in the trim window; the
  // preview's own buttons wait for a preview.
  EXPECT_TRUE(enabled("bt_play"));
  EXPECT_TRUE(enabled("bt_cut"));
  EXPECT_FALSE(enabled("bt_playstop"));
  EXPECT_FALSE(enabled("bt_next"));
  // Converting.
  h.app().run.converting = true;
  h.app().UpdateCommandStates();
  EXPECT_TRUE(w.Button("bt_start")->isHidden());
  EXPECT_TRUE(enabled("Bt_Convertstop"));
  EXPECT_FALSE(enabled("bt_dvdopen"));
  EXPECT_FALSE(enabled("bt_remove"));
  EXPECT_FALSE(enabled("bt_set"));
  EXPECT_FALSE(enabled("bt_cut"));
  EXPECT_TRUE(item("zm_pop_actions", "Pause"));
  EXPECT_TRUE(item("zm_pop_actions", "Stop"));
  EXPECT_FALSE(item("zm_pop_actions", "Convert"));
  EXPECT_FALSE(item("zm_popup_file", "Add File(s)..."));
  EXPECT_TRUE(w.form()->Element("play_bar")->isHidden());
  h.app().run.converting = false;
  h.app().UpdateCommandStates();
  EXPECT_FALSE(w.Button("bt_start")->isHidden());
}

TEST(WindowClose, RefusedWhileConvertingThenSavesSettings) {
  WindowHarness h;
  MainWindow& w = h.Open();
  h.app().run.converting = true;
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(h.LastBox(), "information: " + Message(26));
  EXPECT_TRUE(h.app().run.converting);
  h.app().run.converting = false;
  h.app().settings.finishAction = pcm::kFinishShutdown;
  EXPECT_TRUE(w.close());
  std::ifstream ini(h.configDir + "/popclipmill.ini");
  std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("FinishSelcet"), std::string::npos) << text;
}

TEST(WindowBackground, WithoutANotificationAreaTheWindowIsMinimised) {
  WindowHarness h;
  MainWindow& w = h.Open();
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Run Background"));
  // The offscreen platform has no notification area: hiding would lose the
  // window for good. The person is told why it only went down.
  EXPECT_FALSE(w.isHidden());
  EXPECT_TRUE(w.isMinimized());
  EXPECT_NE(h.LastBox().find("no notification area"), std::string::npos) << h.LastBox();
}

TEST(WindowList, RenameInPlaceAndFailedEntries) {
  WindowHarness h;
  MainWindow& w = h.Open();
  AddRow(h.app(), "first");
  AddRow(h.app(), "second", true);
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Rename"));
  QLineEdit* edit = w.renameField();
  ASSERT_FALSE(edit->isHidden());
  EXPECT_EQ(edit->text(), "second");
  EXPECT_EQ(edit->width(), w.listView()->columnWidth(0));
  edit->setText("renamed");
  emit edit->editingFinished();
  EXPECT_TRUE(edit->isHidden());
  EXPECT_EQ(h.app().list.Row(1).caption, "renamed");
  EXPECT_TRUE(h.app().list.Row(1).selected);
  // An empty name keeps the old one.
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Rename"));
  edit->clear();
  emit edit->editingFinished();
  EXPECT_EQ(h.app().list.Row(1).caption, "renamed");
  // A failed entry tells why in its tooltip and in the properties.
  h.app().list.Row(1).failureLines = {"Unknown encoder 'xyz'"};
  h.app().list.SetState(1, pcm::EntryState::Failed);
  QString tip = w.listView()->model()->index(1, 4).data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.contains("Unknown encoder 'xyz'")) << tip.toStdString();
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Properties"));
  EXPECT_TRUE(w.infoDialog()->isVisible());
  EXPECT_EQ(w.infoDialog()->findChild<QLineEdit*>("ed_audiobit")->text(), "128 Kb/s");
  EXPECT_EQ(w.infoDialog()->findChild<QLineEdit*>("ed_duration")->text(), "00:00:10");
  // Selection follows the view both ways.
  w.listView()->selectRow(0);
  EXPECT_TRUE(h.app().list.Row(0).selected);
  EXPECT_FALSE(h.app().list.Row(1).selected);
}

TEST(WindowProperties, NoSelectionShowsMessage30) {
  WindowHarness h;
  MainWindow& w = h.Open();
  w.ImageButtonClicked("bt_chapte");
  EXPECT_EQ(h.LastBox(), "information: " + Message(30));
  EXPECT_FALSE(w.infoDialog()->isVisible());
}

TEST(WindowPictures, MissingPictureIsACommandError) {
  WindowHarness h;
  MainWindow& w = h.Open();
  EXPECT_THROW(w.display().SetPicture("im_mainico", h.Directory() + "/images/none.bmp"), pcm::CommandError);
  // Through a command it reaches the error box and the window goes on.
  h.app().RunCommand([&] { w.display().SetPicture("btim_3", "/nonexistent/3.bmp"); });
  EXPECT_EQ(h.ui.boxes.back().kind, "error");
}

TEST(WindowBrowse, ChosenFolderBecomesTheOutputDirectory) {
  WindowHarness h;
  MainWindow& w = h.Open();
  std::string out = MakeTempDir("browse");
  h.ui.folderAnswers.push_back(out);
  w.Click("browse");
  EXPECT_EQ(h.ui.lastFolderCaption, Message(37));
  EXPECT_EQ(w.outputField()->text().toStdString(), out + "/");
  EXPECT_EQ(h.app().settings.outputDirectory, out + "/");
  // No choice changes nothing.
  w.Click("browse");
  EXPECT_EQ(w.outputField()->text().toStdString(), out + "/");
  w.Click("open");
  EXPECT_EQ(h.system.calls.back(), "open-folder " + out + "/");

  // A folder typed relative, "~/" or not, lies below the home folder: the
  // field shows it once a command uses it, the output is written there and
  // the settings keep it whole. Nothing is made where the program runs.
  const QByteArray realHome = qgetenv("HOME");
  const QString realDir = QDir::currentPath();
  const std::string home = MakeTempDir("typed-home"), cwd = MakeTempDir("typed-cwd");
  qputenv("HOME", QByteArray::fromStdString(home));
  QDir::setCurrent(QString::fromStdString(cwd));
  ASSERT_TRUE(h.app().listCommands.AddFileEntry(MakeMedia("mp3", 1)));
  w.outputField()->setText("~/clips");
  w.ImageButtonClicked("bt_start");
  EXPECT_EQ(w.outputField()->text().toStdString(), home + "/clips");
  EXPECT_TRUE(WaitUntil([&] { return !h.app().run.converting; }, 60000));
  const pcm::ListRow& row = h.app().list.Row(h.app().list.Count() - 1);
  EXPECT_EQ(StatusText(row), "Finish") << h.LastBox();
  EXPECT_EQ(row.outputFile.rfind(home + "/clips/", 0), 0u) << row.outputFile;
  EXPECT_FALSE(QDir(QString::fromStdString(cwd + "/clips")).exists());
  EXPECT_FALSE(QDir(QString::fromStdString(cwd + "/~")).exists());
  w.outputField()->setText("elsewhere");
  w.Click("open");
  EXPECT_EQ(h.system.calls.back(), "open-folder " + home + "/elsewhere/");
  EXPECT_EQ(pcm::IniFile(h.app().settings.SettingsPath()).GetString("output", "path", ""),
            home + "/elsewhere/");
  qputenv("HOME", realHome);
  QDir::setCurrent(realDir);
}

TEST(SettingsDialogTest, CancelKeepsListsDropsFinishActionOkRefreshes) {
  WindowHarness h;
  MainWindow& w = h.Open();
  int row = AddRow(h.app(), "song");
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
  pcm::SettingsDialog* d = w.settingsDialog();
  EXPECT_EQ(d->windowTitle(), "Settings");
  EXPECT_TRUE(d->rg_finish->button(0)->isChecked());
  ASSERT_GT(d->cb_audiobitrate->count(), 4);
  d->cb_audiobitrate->setCurrentIndex(4);
  d->rg_finish->button(2)->setChecked(true);
  d->CancelClicked();
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(h.app().profiles.cb_audiobitrate.selected, 4);
  EXPECT_EQ(h.app().settings.finishAction, 0);
  // OK takes the finish action and refreshes every entry's estimate.
  std::string before = h.app().list.Row(row).outputSize;
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
  EXPECT_EQ(d->cb_audiobitrate->currentIndex(), 4);
  d->cb_audiobitrate->setCurrentIndex(0);
  d->rg_finish->button(1)->setChecked(true);
  d->OkClicked();
  EXPECT_EQ(h.app().settings.finishAction, 1);
  EXPECT_EQ(h.app().list.Row(row).outputSize, h.app().options.EstimateOutputSize(h.app().list.Row(row)));
  EXPECT_NE(h.app().list.Row(row).outputSize, before);
}

}  // namespace
}  // namespace pcmtest

namespace pcmtest {
namespace {

TEST(WindowDrag, TitleImageMovesTheWindowUntilReleased) {
  WindowHarness h;
  MainWindow& w = h.Open();
  w.move(100, 100);
  QPoint start = w.pos();
  w.Press("img_name", {10, 10});
  w.PointerMove("img_name", {30, 25}, Qt::LeftButton);
  EXPECT_EQ(w.pos(), start + QPoint(20, 15));
  w.Release("img_name");
  w.PointerMove("img_name", {60, 60}, Qt::LeftButton);
  EXPECT_EQ(w.pos(), start + QPoint(20, 15));
  // However far it is dragged, the title row stays on the screen's free
  // area, where it can be taken again.
  ASSERT_NE(w.screen(), nullptr);
  const QRect free = w.screen()->availableGeometry();
  for (QPoint far : {QPoint(-5000, -5000), QPoint(5000, 5000)}) {
    w.Press("img_name", {10, 10});
    w.PointerMove("img_name", far, Qt::LeftButton);
    w.Release("img_name");
    const QRect title(w.pos(), QSize(w.width(), 30));
    EXPECT_GE(w.y(), free.top());
    EXPECT_LE(w.y(), free.bottom() - 30);
    EXPECT_GE((free & title).width(), 90);
  }
}

TEST(WindowCutter, RefusalsInTheirOrder) {
  WindowHarness h("popclipmill-dvd");
  MainWindow& w = h.Open();
  size_t boxes = h.ui.boxes.size();
  w.Click("cutter");
  EXPECT_EQ(h.ui.boxes.size(), boxes) << "title view, idle: nothing happens";
  h.app().run.titleView = false;
  w.Click("cutter");
  EXPECT_EQ(h.LastBox(), "warning: " + Message(28));
  h.app().run.converting = true;
  w.Click("cutter");
  EXPECT_EQ(h.LastBox(), "warning: " + Message(26));
  h.app().run.converting = false;
  h.app().run.previewing = true;
  w.Click("cutter");
  EXPECT_EQ(h.LastBox(), "warning: " + Message(27));
  h.app().run.previewing = false;
}

TEST(WindowErrors, AFailingCommandReachesOneErrorBoxAndTheWindowGoesOn) {
  WindowHarness h;
  MainWindow& w = h.Open();
  ASSERT_TRUE(QFile::remove(QString::fromStdString(h.Directory() + "/profiles.pop")));
  w.Click("profiles");
  w.PicturePointed("btim_18");
  size_t boxes = h.ui.boxes.size();
  w.PictureClicked("btim_18");
  ASSERT_EQ(h.ui.boxes.size(), boxes + 1);
  EXPECT_EQ(h.ui.boxes.back().kind, "error");
  EXPECT_EQ(h.app().profiles.currentProfile, 17);
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_audio1"));
  // Still usable.
  w.Click("browse");
  EXPECT_EQ(h.ui.lastFolderCaption, Message(37));
}

TEST(WindowErrors, SettingsThatNeverLoadedAreNotWrittenOver) {
  std::string config = MakeTempDir("config-keep");
  {
    std::ofstream ini(config + "/popclipmill.ini");
    ini << "[profiles]\nselcetsubindex=21\nFinishSelcet=2\n";
  }
  std::string program = MakeProgramDir("noprofiles");
  std::string dir = program.substr(0, program.rfind('/'));
  ASSERT_TRUE(QFile::remove(QString::fromStdString(dir + "/profiles.pop")));
  {
    WindowHarness h("popclipmill", config, dir);
    h.Open();
    bool error = false;
    for (const auto& b : h.ui.boxes) error = error || b.kind == "error";
    EXPECT_TRUE(error) << "the unreadable profile file is reported";
    EXPECT_TRUE(h.window->close());
  }
  std::ifstream ini(config + "/popclipmill.ini");
  std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("selcetsubindex=21"), std::string::npos) << text;
  EXPECT_NE(text.find("FinishSelcet=2"), std::string::npos) << text;
}

}  // namespace
}  // namespace pcmtest

namespace pcmtest {
namespace {

TEST(WindowErrors, UnreadableMessagesAreReportedOnceForHovers) {
  WindowHarness h;
  MainWindow& w = h.Open();
  ASSERT_TRUE(QFile::remove(QString::fromStdString(h.Directory() + "/language.info")));
  size_t boxes = h.ui.boxes.size();
  w.Hover("browse");
  w.Hover("open");
  w.Hover("hint");
  ASSERT_EQ(h.ui.boxes.size(), boxes + 1);
  EXPECT_EQ(h.ui.boxes.back().kind, "error");
  // A command that needs a message still says why it failed.
  w.ImageButtonClicked("bt_chapte");
  EXPECT_EQ(h.ui.boxes.size(), boxes + 2);
  EXPECT_EQ(h.ui.boxes.back().kind, "error");
}

}  // namespace
}  // namespace pcmtest

namespace pcmtest {
namespace {

TEST(WindowMenus, FileEditAndActionItemsReachTheirCommands) {
  WindowHarness h;
  MainWindow& w = h.Open();
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Add File(s)..."));
  EXPECT_NE(h.ui.lastFilter.find("*.mp3"), std::string::npos) << h.ui.lastFilter;
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Add Folder"));
  EXPECT_EQ(h.ui.lastFolderCaption, "File Directory");
  ASSERT_TRUE(w.TriggerMenuItem("pop_file", "Add Files"));
  AddRow(h.app(), "a", true);
  AddRow(h.app(), "b");
  // Clear asks first; No keeps the rows.
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Clear"));
  EXPECT_EQ(h.LastBox(), "confirm: " + Message(29));
  EXPECT_EQ(h.app().list.Count(), 2);
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Remove"));
  ASSERT_EQ(h.app().list.Count(), 1);
  EXPECT_EQ(h.app().list.Row(0).caption, "b");
  EXPECT_EQ(w.listView()->model()->rowCount(), 1);
  // The image buttons reach the same commands.
  h.ui.confirmAnswers.push_back(true);
  w.ImageButtonClicked("bt_clear");
  EXPECT_EQ(h.app().list.Count(), 0);
  EXPECT_EQ(w.listView()->model()->rowCount(), 0);
  // Stop is offered only while converting; Exit closes the window.
  EXPECT_FALSE(w.TriggerMenuItem("zm_pop_actions", "Stop"));
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Exit"));
  EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace pcmtest

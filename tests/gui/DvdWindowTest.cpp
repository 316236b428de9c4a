// The DVD variant's window: a DVD folder through the DVD menu, the stream
// selectors following the clicked row, and the chapter view.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTableView>

#include "gui/WindowFixture.h"
#include "support/DvdFixtures.h"

using pcmtest::WindowHarness;

namespace {

std::vector<std::string> Items(QComboBox* box) {
  std::vector<std::string> items;
  for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
  return items;
}

}  // namespace

TEST(DvdWindow, FolderStreamsAndChapters) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  WindowHarness h("popclipmill-dvd");
  pcm::MainWindow& w = h.Open();
  auto* audio = w.findChild<QComboBox*>("cb_audio");
  auto* subtitle = w.findChild<QComboBox*>("cb_subtitle");
  ASSERT_TRUE(audio && subtitle);
  EXPECT_TRUE(audio->isVisible());
  EXPECT_EQ(Items(audio), std::vector<std::string>{"No Audio"});

  h.ui.folderAnswers.push_back(disc);
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
  ASSERT_EQ(h.app().list.Count(), 2);
  // The main title is selected and its streams are shown.
  EXPECT_EQ(h.app().list.FirstSelected(), 0);
  EXPECT_EQ(Items(audio), (std::vector<std::string>{"1: en AC3 2ch (0x80)", "2: de AC3 2ch (0x81)"}));
  EXPECT_EQ(Items(subtitle), (std::vector<std::string>{"No Subtitle", "1: en Subtitle (0x20)"}));
  EXPECT_TRUE(audio->isEnabled());
  // A choice the person makes goes to the selected row.
  audio->setCurrentIndex(1);
  emit audio->activated(1);
  subtitle->setCurrentIndex(1);
  emit subtitle->activated(1);
  EXPECT_EQ(h.app().list.Row(0).dvd->audioId, 0x81);
  EXPECT_EQ(h.app().list.Row(0).dvd->subtitleId, 0x20);
  // The box keeps the layout's narrow size, which cuts the stream's text:
  // the tooltip names the whole choice, and the list opens wide enough to
  // show every item whole.
  const int narrow = audio->width();
  EXPECT_EQ(audio->toolTip(), "2: de AC3 2ch (0x81)");
  audio->showPopup();
  ASSERT_TRUE(audio->view()->isVisible());
  EXPECT_GT(audio->view()->viewport()->width(),
            audio->view()->fontMetrics().horizontalAdvance(audio->itemText(1)));
  audio->hidePopup();
  EXPECT_EQ(audio->width(), narrow);
  // The second title set's row shows its own single stream.
  h.app().list.SelectOnly(1);
  h.app().listCommands.ListClicked();
  EXPECT_EQ(Items(audio).size(), 1u);
  EXPECT_EQ(audio->currentIndex(), 0);
  h.app().list.SelectOnly(0);
  h.app().listCommands.ListClicked();
  EXPECT_EQ(audio->currentIndex(), 1);
  EXPECT_EQ(subtitle->currentIndex(), 1);

  // The chapter view from the skin's element, and back.
  w.Click("chapter");
  EXPECT_FALSE(h.app().run.titleView);
  EXPECT_GE(h.app().list.Count(), 5);
  EXPECT_EQ(h.app().list.Row(1).caption, "  Chapter_01");
  w.Click("chapter");
  EXPECT_EQ(h.app().list.Count(), 2);
  // Unselect ALL of the DVD menu unchecks every row.
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Unselect ALL"));
  EXPECT_FALSE(h.app().list.Row(0).checked);
  EXPECT_FALSE(h.app().list.Row(1).checked);

  // The selectors show the row selected now, and nothing of a row that is
  // gone. Removing the main title selects the second set's row.
  h.app().list.SelectOnly(0);
  h.app().listCommands.ListClicked();
  ASSERT_EQ(Items(audio).size(), 2u);
  w.Click("remove");
  ASSERT_EQ(h.app().list.Count(), 1);
  EXPECT_EQ(Items(audio).size(), 1u);
  EXPECT_EQ(h.window->display().Text("alltime"), h.app().list.Row(0).entry.duration);
  // A cleared list: the selectors and the length as at the start.
  h.ui.confirmAnswers.push_back(true);
  w.Click("clear");
  ASSERT_EQ(h.app().list.Count(), 0);
  EXPECT_EQ(Items(audio), std::vector<std::string>{"No Audio"});
  EXPECT_TRUE(Items(subtitle).empty());
  EXPECT_EQ(h.window->display().Text("alltime"), "00:00:00");
  // A disc, then a folder without titles: refused with its message, the
  // disc's row stays selected with its streams; after a clear the same
  // refusal shows nothing of the disc.
  h.ui.folderAnswers.push_back(disc);
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
  ASSERT_EQ(h.app().list.Count(), 2);
  const std::string empty = pcmtest::MakeTempDir("no-titles");
  h.ui.folderAnswers.push_back(empty);
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
  EXPECT_EQ(h.LastBox(), "information: " + h.app().LoadMessage(33));
  EXPECT_EQ(h.app().list.FirstSelected(), 0);
  EXPECT_EQ(Items(audio).size(), 2u);
  // The disc again, with its other title set's row selected: nothing is
  // listed twice, its main title is selected and shown.
  h.app().list.SelectOnly(1);
  h.app().listCommands.ListClicked();
  ASSERT_EQ(Items(audio).size(), 1u);
  h.ui.folderAnswers.push_back(disc);
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
  ASSERT_EQ(h.app().list.Count(), 2);
  EXPECT_EQ(h.app().list.FirstSelected(), 0);
  EXPECT_EQ(Items(audio).size(), 2u);
  EXPECT_EQ(h.window->display().Text("alltime"), h.app().list.Row(0).entry.duration);
  h.ui.confirmAnswers.push_back(true);
  w.Click("clear");
  h.ui.folderAnswers.push_back(empty);
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
  EXPECT_EQ(h.LastBox(), "information: " + h.app().LoadMessage(33));
  EXPECT_EQ(Items(audio), std::vector<std::string>{"No Audio"});
  EXPECT_TRUE(Items(subtitle).empty());
  EXPECT_EQ(h.window->display().Text("alltime"), "00:00:00");

  // Below a long list the disc's main title, selected, is scrolled into
  // view.
  for (int i = 0; i < 40; ++i) pcmtest::AddRow(h.app(), "file " + std::to_string(i));
  h.ui.folderAnswers.push_back(disc);
  ASSERT_TRUE(w.TriggerMenuItem("pop_dvd", "Add DVD"));
  ASSERT_EQ(h.app().list.FirstSelected(), 40);
  QTableView* view = w.listView();
  EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(view->model()->index(40, 1)).center()));
}

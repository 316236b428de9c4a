// Remove in the window with several rows selected by clicks: exactly the
// selected rows go, with their records, and the view and the list agree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableView>
#include <vector>

#include "WindowFixture.h"

namespace pcmtest {
namespace {

using pcm::MainWindow;

std::vector<std::string> CoreCaptions(pcm::CoreApp& app) {
  std::vector<std::string> out;
  for (const auto& r : app.list.Rows()) out.push_back(r.caption);
  return out;
}

std::vector<std::string> ViewCaptions(QTableView* view) {
  std::vector<std::string> out;
  for (int r = 0; r < view->model()->rowCount(); ++r)
    out.push_back(view->model()->index(r, 0).data().toString().toStdString());
  return out;
}

// Twelve rows "r0".."r11"; each row's source path carries its name, so a row
// that kept another row's records would show.
void AddTwelve(pcm::CoreApp& app) {
  for (int i = 0; i < 12; ++i) AddRow(app, "r" + std::to_string(i));
}

void ExpectRowsAgree(pcm::CoreApp& app, QTableView* view, const std::vector<std::string>& want) {
  EXPECT_EQ(CoreCaptions(app), want);
  EXPECT_EQ(ViewCaptions(view), want);
  for (const auto& r : app.list.Rows()) EXPECT_EQ(r.entry.sourcePath, "/media/" + r.caption + ".mp3");
  // One row stays selected afterwards, the same in the view and the list.
  ASSERT_EQ(app.list.SelectedCount(), 1);
  EXPECT_EQ(view->selectionModel()->selectedRows().size(), 1);
  EXPECT_TRUE(view->selectionModel()->isRowSelected(app.list.FirstSelected(), {}));
}

TEST(WindowListRemove, ControlClickedRowsApartGoAndNoOthers) {
  WindowHarness h;
  MainWindow& w = h.Open();
  AddTwelve(h.app());
  QTableView* view = w.listView();
  ClickRow(view, 1);
  for (int r : {3, 4, 7, 11}) ClickRow(view, r, Qt::ControlModifier);
  ASSERT_EQ(h.app().list.SelectedCount(), 5);
  w.ImageButtonClicked("bt_remove");
  ExpectRowsAgree(h.app(), view, {"r0", "r2", "r5", "r6", "r8", "r9", "r10"});

  // Every second row, through the menu this time.
  view->clearSelection();
  for (int r = 0; r < 7; r += 2) ClickRow(view, r, Qt::ControlModifier);
  ASSERT_EQ(h.app().list.SelectedCount(), 4);
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_edit", "Remove"));
  ExpectRowsAgree(h.app(), view, {"r2", "r6", "r9"});
}

TEST(WindowListRemove, ShiftSelectionOfTenOfTwelve) {
  WindowHarness h;
  MainWindow& w = h.Open();
  AddTwelve(h.app());
  QTableView* view = w.listView();
  ClickRow(view, 1);
  ClickRow(view, 10, Qt::ShiftModifier);
  ASSERT_EQ(h.app().list.SelectedCount(), 10);
  w.ImageButtonClicked("bt_remove");
  ExpectRowsAgree(h.app(), view, {"r0", "r11"});

  // All rows selected: the list is emptied, view included.
  ClickRow(view, 0);
  ClickRow(view, 1, Qt::ShiftModifier);
  w.ImageButtonClicked("bt_remove");
  EXPECT_EQ(h.app().list.Count(), 0);
  EXPECT_EQ(view->model()->rowCount(), 0);
  EXPECT_FALSE(h.app().list.AnySelected());
}

// The Delete key does what Remove does, to exactly the selected rows, and
// nothing while a batch runs (when Remove is disabled).
TEST(WindowListRemove, DeleteKeyOnRowsApart) {
  WindowHarness h;
  MainWindow& w = h.Open();
  ASSERT_TRUE(h.Activate());
  AddTwelve(h.app());
  QTableView* view = w.listView();
  ClickRow(view, 0);
  for (int r : {2, 5, 11}) ClickRow(view, r, Qt::ControlModifier);
  ASSERT_EQ(h.app().list.SelectedCount(), 4);
  view->setFocus();
  PressKey(view, Qt::Key_Delete);
  ExpectRowsAgree(h.app(), view, {"r1", "r3", "r4", "r6", "r7", "r8", "r9", "r10"});

  ClickRow(view, 1);
  ClickRow(view, 3, Qt::ControlModifier);
  h.app().run.converting = true;
  PressKey(view, Qt::Key_Delete);
  EXPECT_EQ(h.app().list.Count(), 8);
  h.app().run.converting = false;
  PressKey(view, Qt::Key_Delete);
  ExpectRowsAgree(h.app(), view, {"r1", "r4", "r7", "r8", "r9", "r10"});
}

}  // namespace
}  // namespace pcmtest

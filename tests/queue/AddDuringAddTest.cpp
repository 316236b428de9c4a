// Adding while an add is still running: each file is described by its own
// probe and no row takes the values of another file.
#include <QMetaObject>

#include "QueueFixture.h"
#include "queue/ListCommands.h"

using queuetest::Description;
using queuetest::FakeApp;
using queuetest::FakeMedia;

// While the folder's first file is being described, the person asks for
// another file: that add is refused with a notice, the folder's rows carry
// their own durations and rates, and the same add goes through once the
// folder is in.
TEST(AddFolder, AnAddAskedForMeanwhileIsRefusedAndEveryRowKeepsItsOwnValues) {
  FakeApp f("add-during-add");
  std::string folder = pcmtest::MakeTempDir("add-during-add-folder");
  FakeMedia(folder, "a.mp3", Description("1000", std::nullopt, "111", "00:00:11.00"));
  FakeMedia(folder, "b.mp3", Description("2000", std::nullopt, "222", "00:00:22.00"));
  std::string single = FakeMedia(pcmtest::MakeTempDir("add-during-add-other"), "c.avi",
                                 Description("3000", "2872", "128", "00:00:33.00"));
  f.ui.fileAnswers.push_back({single});
  f.ui.fileAnswers.push_back({single});
  int asked = 0;
  // Asked while a probe is waited for: the first time, the window's "Add
  // File(s)..." is clicked (it runs from the event loop of that wait).
  f.app->probe.stopHook = [&] {
    if (asked++ == 0)
      QMetaObject::invokeMethod(
          f.app.get(), [&] { f.app->RunCommand([&] { f.app->listCommands.AddFiles(); }); },
          Qt::QueuedConnection);
    return false;
  };
  EXPECT_EQ(f.app->listCommands.AddFolderPath(folder), 0);
  ASSERT_GT(asked, 0);
  ASSERT_EQ(f.app->list.Count(), 2);
  for (const pcm::ListRow& r : f.app->list.Rows()) {
    bool a = r.caption == "a";
    EXPECT_EQ(r.entry.duration, a ? "00:00:11" : "00:00:22") << r.caption;
    EXPECT_EQ(r.entry.audioKbps, a ? 111 : 222) << r.caption;
  }
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_EQ(f.ui.boxes[0].text, pcm::ListCommands::kStillAdding);
  EXPECT_EQ(f.ui.fileAnswers.size(), 2u);  // the chooser was not even shown

  f.app->listCommands.AddFiles();
  ASSERT_EQ(f.app->list.Count(), 3);
  EXPECT_EQ(f.app->list.Row(2).entry.duration, "00:00:33");
  EXPECT_EQ(f.app->list.Row(2).entry.videoKbps, 2872);
  EXPECT_EQ(f.ui.boxes.size(), 1u);

  // Clear, confirmed while the folder is being added: the list stays empty
  // and the add ends.
  asked = 0;
  f.ui.confirmAnswers.push_back(true);
  f.app->probe.stopHook = [&] {
    if (asked++ == 0)
      QMetaObject::invokeMethod(
          f.app.get(), [&] { f.app->RunCommand([&] { f.app->listCommands.ClearList(); }); },
          Qt::QueuedConnection);
    return false;
  };
  f.app->listCommands.AddFolderPath(folder);
  ASSERT_GT(asked, 0);
  EXPECT_EQ(f.ui.boxes.back().kind, "confirm");
  EXPECT_EQ(f.app->list.Count(), 0);
}

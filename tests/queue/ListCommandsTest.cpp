// The list commands over a scripted fake encoder (exact descriptions) and, where
// the real adapter matters, over real media.
#include <algorithm>
#include <set>

#include "QueueFixture.h"
#include "queue/ListCommands.h"

using pcm::ListCommands;
using pcm::ListRow;
using queuetest::Description;
using queuetest::FakeApp;
using queuetest::FakeMedia;

namespace {

ListRow Row(const std::string& name) {
  ListRow r;
  r.caption = name;
  r.filePath = "/media/" + name + ".wav";
  r.entry.sourcePath = r.filePath;
  r.entry.duration = "00:00:10";
  r.time = r.entry.duration;
  r.state = pcm::EntryState::Waiting;
  r.trim = {10, 0, 10};
  return r;
}

void Fill(pcm::CoreApp& app, int n) {
  for (int i = 0; i < n; ++i) app.list.Append(Row("r" + std::to_string(i)));
}

std::string LastBox(const pcm::ScriptedUserInterface& ui, const std::string& kind) {
  for (auto it = ui.boxes.rbegin(); it != ui.boxes.rend(); ++it)
    if (it->kind == kind) return it->text;
  return {};
}

}  // namespace

TEST(ListNames, EntryNameDropsOnlyTheLastExtension) {
  EXPECT_EQ(ListCommands::EntryName("/x/clip.final.avi"), "clip.final");
  EXPECT_EQ(ListCommands::EntryName("/x/noext"), "noext");
  EXPECT_EQ(ListCommands::EntryName("/x.dir/song"), "song");
  EXPECT_EQ(ListCommands::EntryName("/x/a b \"c\".mp3"), "a b \"c\"");
}

TEST(ListNames, ChooserFilterInQtSyntax) {
  EXPECT_EQ(ListCommands::QtFilterFromPairs(ListCommands::kOpenFilter),
            "All Support Format (*.mp3 *.aac *.m4a *.ac3 *.wav *.wma *.ogg);;MP3 Format (*.mp3);;"
            "WMA Format (*.wma);;AAC Format (*.aac);;MPEG4 Audio Format (*.m4a);;WAV Format (*.wav);;"
            "OGG Format (*.ogg);;All File (*)");
}

TEST(AddFileEntry, FillsMissingRatesFromTheOverallRate) {
  FakeApp f("fill");
  std::string d = pcmtest::MakeTempDir("fill-media");
  struct Case {
    const char* name;
    std::optional<std::string> video, audio;
    int wantVideo;
    int wantAudio;
  } cases[] = {
      {"audio-only-rate", "", "128", 872, 128},  // 1000 - 128
      {"no-rates", "", "", 1000, 128},           // 1000 - 1000 = 0 -> 128
      {"audio-zero", "900", "0", 900, 100},      // a rate of 0 is not stated
      {"video-only-rate", "700", "", 700, 300},
      // A stream rate above the overall rate must not give a negative rate.
      {"audio-above-total", "", "1500", 768, 1500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = FakeMedia(d, std::string(c.name) + ".avi", Description("1000", c.video, c.audio));
    ASSERT_TRUE(f.app->listCommands.AddFileEntry(path));
    const ListRow& r = f.app->list.Row(f.app->list.Count() - 1);
    EXPECT_EQ(r.entry.videoKbps, c.wantVideo);
    EXPECT_EQ(r.entry.audioKbps, c.wantAudio);
  }
}

TEST(AddFileEntry, FillsTheRowAndItsRecords) {
  FakeApp f("row");
  std::string d = pcmtest::MakeTempDir("row-media");
  f.app->list.Append(Row("before"));
  std::string path = FakeMedia(d, "clip.final.avi", Description("1000", "", "128", "00:01:40.52"));
  ASSERT_TRUE(f.app->listCommands.AddFileEntry(path));
  ASSERT_EQ(f.app->list.Count(), 2);
  EXPECT_EQ(f.app->list.currentPosition, 1);  // the new row's index
  const ListRow& r = f.app->list.Row(1);
  EXPECT_EQ(r.caption, "clip.final");
  EXPECT_EQ(r.filePath, path);
  EXPECT_EQ(r.entry.sourcePath, path);
  // 100.52 s: the part second beyond padding counts as a whole one.
  EXPECT_EQ(r.time, "00:01:41");
  EXPECT_EQ(r.entry.duration, "00:01:41");
  EXPECT_EQ(pcm::FrameSizeText(r.entry), "640x480");
  const pcm::StreamInfo* sound = pcm::ChosenAudio(r.entry.streams);
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(sound->codec, "mp3");
  EXPECT_EQ(pcm::SampleRateText(*sound), "44100 Hz");
  EXPECT_EQ(pcm::ChannelsText(*sound), "stereo");
  EXPECT_FALSE(r.entry.soundKeepsTags);
  EXPECT_EQ(StatusText(r), "Status");
  EXPECT_TRUE(r.checked);
  EXPECT_FALSE(r.outputSize.empty());
  EXPECT_EQ(r.trim.total, 101);
  EXPECT_EQ(r.trim.begin, 0);
  EXPECT_EQ(r.trim.end, 101);
  // Only Ogg keeps a work's tags on its sound stream; another container's
  // stream tags name the track and are not made the file's.
  for (const char* container : {"ogg", "matroska,webm"}) {
    std::string tagged = FakeMedia(d, std::string("tagged-") + container + ".mka",
                                   std::string("media format=") + container +
                                       " duration_ms=2000 tagged=0\n"
                                       "stream index=0 kind=audio codec=vorbis channels=2 sample_rate=44100 "
                                       "bit_rate=128000 tagged=1\n");
    ASSERT_TRUE(f.app->listCommands.AddFileEntry(tagged));
    EXPECT_EQ(f.app->list.Row(f.app->list.Count() - 1).entry.soundKeepsTags, container[0] == 'o')
        << container;
  }
}

TEST(AddFileEntry, NoFrameSizeGivesTheDefault) {
  FakeApp f("nosize");
  std::string d = pcmtest::MakeTempDir("nosize-media");
  std::string path = FakeMedia(d, "song.mp3", Description("128", std::nullopt, "128"));
  ASSERT_TRUE(f.app->listCommands.AddFileEntry(path));
  EXPECT_EQ(pcm::FrameSizeText(f.app->list.Row(0).entry), "320x240");
}

TEST(AddFileEntry, UnusableFileIsTriedTwiceThenNamed) {
  FakeApp f("unusable");
  std::string d = pcmtest::MakeTempDir("unusable-media");
  std::string bad = FakeMedia(d, "notes.mp3", "");  // no description at all
  // Described, but with no stream that can be converted.
  std::string odd =
      FakeMedia(d, "odd.mp3", "media format=mp3 duration_ms=-1\nstream index=0 kind=audio codec=mp3\n");
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(bad));
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(odd));
  EXPECT_EQ(f.app->list.Count(), 0);
  auto probes = f.Probes();
  EXPECT_EQ(std::count(probes.begin(), probes.end(), bad), 2);
  ASSERT_EQ(f.ui.boxes.size(), 2u);
  EXPECT_EQ(f.ui.boxes[0].kind, "information");
  // The whole path, and why on a line of its own.
  EXPECT_EQ(f.ui.boxes[0].text, bad + " is not support!\nThe encoder could not describe it.");
  EXPECT_EQ(f.ui.boxes[1].text, odd + " is not support!\nIt holds no picture and no sound the encoder can read.");

  // A pipe is refused without a probe that would wait for a writer.
  ASSERT_EQ(pcmtest::RunShell("mkfifo " + pcmtest::ShellQuote(d + "/pipe.wav")), 0);
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(d + "/pipe.wav"));
  EXPECT_EQ(f.ui.boxes.back().text,
            d + "/pipe.wav is not support!\nIt is no regular file but a pipe or a device.");
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(d + "/gone.wav"));
  EXPECT_EQ(f.ui.boxes.back().text, d + "/gone.wav is not support!\nNo such file or directory.");
  EXPECT_FALSE(f.app->listCommands.AddFileWithRetry(d));
  EXPECT_EQ(f.ui.boxes.back().text, d + " is not support!\nIt is a folder, not a file.");
  for (const auto& p : f.Probes()) EXPECT_EQ(p.find("pipe"), std::string::npos);
}

TEST(AddFiles, ChooserOrderRetryAndSelection) {
  FakeApp f("addfiles");
  std::string d = pcmtest::MakeTempDir("addfiles-media");
  std::string a = FakeMedia(d, "b-first.wav");
  std::string bad = FakeMedia(d, "broken.wav", "");
  std::string c = FakeMedia(d, "a-last.wav");
  f.ui.fileAnswers.push_back({a, bad, c});
  int shown = 0;
  f.app->listCommands.showListHook = [&] { ++shown; };
  f.app->listCommands.AddFiles();
  EXPECT_EQ(f.ui.lastFilter, ListCommands::ChooserFilter());
  // The first filter takes every extension Add Folder takes, videos too; the
  // others are the system's own.
  const std::string filter = f.ui.lastFilter;
  const std::string first = filter.substr(0, filter.find(";;"));
  EXPECT_EQ(first.rfind("All Support Format (*.3g2 *.3gp *.aac ", 0), 0u) << first;
  for (const char* ext : {" *.flac", " *.mkv", " *.mp4", " *.mp3", " *.wma", " *.webm"})
    EXPECT_NE(first.find(ext), std::string::npos) << ext;
  EXPECT_NE(filter.find(";;MP3 Format (*.mp3);;WMA Format (*.wma);;"), std::string::npos) << filter;
  EXPECT_EQ(filter.substr(filter.rfind(";;")), ";;All File (*)");
  ASSERT_EQ(f.app->list.Count(), 2);
  EXPECT_EQ(f.app->list.Row(0).caption, "b-first");
  EXPECT_EQ(f.app->list.Row(1).caption, "a-last");
  EXPECT_TRUE(f.app->list.Row(0).selected);
  EXPECT_FALSE(f.app->list.Row(1).selected);
  EXPECT_EQ(f.app->list.previewedEntry, 0);  // ListClicked ran
  EXPECT_EQ(f.app->display().Text("alltime"), f.app->list.Row(0).entry.duration);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(LastBox(f.ui, "information"), bad + " is not support!\nThe encoder could not describe it.");

  // Cancelled chooser: nothing is added, nothing asked again.
  f.app->listCommands.AddFiles();
  EXPECT_EQ(f.app->list.Count(), 2);
}

TEST(AddFolder, TakesMediaFilesOnlyByNameWithoutSubfolders) {
  FakeApp f("folder");
  std::string d = pcmtest::MakeTempDir("folder-media");
  // Made out of order: the rows follow the names, not the folder's order.
  FakeMedia(d, "g.webm");
  FakeMedia(d, "e.FLAC");
  FakeMedia(d, "a.MP3");
  FakeMedia(d, "b.txt");
  FakeMedia(d, "h.srt");
  FakeMedia(d, "c.ogg");
  FakeMedia(d, "f.mkv");
  FakeMedia(d, ".hidden.wav");
  ASSERT_EQ(pcmtest::RunShell("mkdir " + pcmtest::ShellQuote(d + "/sub")), 0);
  FakeMedia(d + "/sub", "d.mp3");
  // A pipe with a media name would block its probe; it is not a file to add.
  ASSERT_EQ(pcmtest::RunShell("mkfifo " + pcmtest::ShellQuote(d + "/pipe.mp3")), 0);
  f.ui.folderAnswers.push_back(d);
  f.app->listCommands.AddFolder();
  EXPECT_EQ(f.ui.lastFolderCaption, "File Directory");
  std::vector<std::string> names;
  for (const auto& r : f.app->list.Rows()) names.push_back(r.caption);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a", "c", "e", "f", "g"}));
  for (const auto& p : f.Probes()) EXPECT_EQ(p.find("pipe"), std::string::npos);
  EXPECT_EQ(f.app->list.FirstSelected(), 0);
  // The .probe descriptions beside the files are not media and were skipped.
  for (const auto& p : f.Probes()) EXPECT_EQ(p.find(".probe"), std::string::npos) << p;

  // No folder chosen: nothing happens.
  f.app->listCommands.AddFolder();
  EXPECT_EQ(f.app->list.Count(), 6);

  // A stop asked for after the first file ends the folder there: the other
  // files are not added and not counted as failures; they were probed with
  // the first, in its group (the whole folder here), and nothing after.
  size_t probed = f.Probes().size();
  int asked = 0;
  f.app->listCommands.stopAddingHook = [&] { return ++asked > 1; };
  EXPECT_EQ(f.app->listCommands.AddFolderPath(d), 0);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(f.app->list.Count(), 7);
  EXPECT_EQ(f.Probes().size(), probed + 6);
}

TEST(AddCommands, RefusedWhileConverting) {
  FakeApp f("refuse-add");
  f.app->run.converting = true;
  f.ui.fileAnswers.push_back({"/nothing.wav"});
  f.app->listCommands.AddFiles();
  f.app->listCommands.AddFolder();
  ASSERT_EQ(f.ui.boxes.size(), 2u);
  EXPECT_EQ(f.ui.boxes[0].kind, "warning");
  EXPECT_EQ(f.ui.boxes[0].text, f.app->LoadMessage(26));
  EXPECT_EQ(f.ui.fileAnswers.size(), 1u);  // the chooser was never shown
  f.app->run.converting = false;
}

TEST(RemoveSelected, RowsLeaveWithTheirRecords) {
  FakeApp f("remove");
  Fill(*f.app, 5);
  f.app->list.Row(3).trim.begin = 33;
  f.app->list.SetSelected(1, true);
  f.app->list.SetSelected(2, true);
  f.app->listCommands.RemoveSelected();
  ASSERT_EQ(f.app->list.Count(), 3);
  const char* want[] = {"r0", "r3", "r4"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(f.app->list.Row(i).caption, want[i]);
    EXPECT_EQ(f.app->list.Row(i).entry.sourcePath, std::string("/media/") + want[i] + ".wav");
  }
  EXPECT_EQ(f.app->list.Row(1).trim.begin, 33);
  EXPECT_EQ(f.app->list.SelectedCount(), 1);
  EXPECT_TRUE(f.app->list.Row(1).selected);  // the former row 3
}

TEST(RemoveSelected, RowsApartGoEvenWhenAViewTouchesTheSelectionMeanwhile) {
  FakeApp f("remove-apart");
  Fill(*f.app, 8);
  for (int i : {0, 2, 3, 6}) f.app->list.SetSelected(i, true);
  // A view that lags a row behind marks the row that moved up as selected and
  // clears the one after it, as a view catching up with a removal may.
  QObject::connect(&f.app->list, &pcm::ConversionList::rowRemoved, [&](int i) {
    f.app->list.SetSelected(i, true);
    f.app->list.SetSelected(i + 1, false);
  });
  f.app->listCommands.RemoveSelected();
  std::vector<std::string> left;
  for (const auto& r : f.app->list.Rows()) left.push_back(r.caption);
  EXPECT_EQ(left, (std::vector<std::string>{"r1", "r4", "r5", "r7"}));
  EXPECT_EQ(f.app->list.SelectedCount(), 1);
  EXPECT_TRUE(f.app->list.Row(3).selected);  // r7 followed the last removed row
}

TEST(RemoveSelected, LastRowsAndTheOnlyRow) {
  FakeApp f("remove-edges");
  Fill(*f.app, 3);
  f.app->list.SetSelected(2, true);
  f.app->listCommands.RemoveSelected();
  ASSERT_EQ(f.app->list.Count(), 2);
  EXPECT_TRUE(f.app->list.Row(1).selected);  // beyond the end: the last row

  f.app->list.SelectOnly(0);
  f.app->list.SetSelected(1, true);
  int refreshed = 0;
  f.app->commandStatesHook = [&] { ++refreshed; };
  f.app->listCommands.RemoveSelected();
  EXPECT_EQ(f.app->list.Count(), 0);
  EXPECT_EQ(refreshed, 1);

  // Nothing selected: nothing removed.
  Fill(*f.app, 2);
  f.app->listCommands.RemoveSelected();
  EXPECT_EQ(f.app->list.Count(), 2);
}

TEST(RemoveAndClear, RefusedWhilePreviewingOrConverting) {
  FakeApp f("refuse-remove");
  Fill(*f.app, 2);
  f.app->list.SelectOnly(0);
  f.app->run.previewing = true;
  f.app->listCommands.RemoveSelected();
  f.app->listCommands.ClearList();
  f.app->run.previewing = false;
  f.app->run.converting = true;
  f.app->listCommands.RemoveSelected();
  f.app->listCommands.ClearList();
  f.app->run.converting = false;
  ASSERT_EQ(f.ui.boxes.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.ui.boxes[size_t(i)].kind, "warning");
    EXPECT_EQ(f.ui.boxes[size_t(i)].text, f.app->LoadMessage(i < 2 ? 27 : 26));
  }
  EXPECT_EQ(f.app->list.Count(), 2);
}

TEST(ClearList, AsksWithMessage29) {
  FakeApp f("clear");
  f.app->listCommands.ClearList();  // empty: nothing to ask
  EXPECT_TRUE(f.ui.boxes.empty());
  Fill(*f.app, 3);
  f.ui.confirmAnswers = {false, true};
  f.app->listCommands.ClearList();
  EXPECT_EQ(f.app->list.Count(), 3);
  f.app->listCommands.ClearList();
  EXPECT_EQ(f.app->list.Count(), 0);
  ASSERT_EQ(f.ui.boxes.size(), 2u);
  EXPECT_EQ(f.ui.boxes[0].kind, "confirm");
  EXPECT_EQ(f.ui.boxes[0].text, f.app->LoadMessage(29));
}

TEST(RenameEntry, EmptyTextKeepsTheName) {
  FakeApp f("rename");
  Fill(*f.app, 3);
  EXPECT_FALSE(f.app->listCommands.BeginRename().has_value());
  f.app->list.SelectOnly(1);
  EXPECT_EQ(f.app->listCommands.BeginRename(), std::optional<std::string>("r1"));
  f.app->listCommands.EndRename("");
  EXPECT_EQ(f.app->list.Row(1).caption, "r1");
  f.app->listCommands.BeginRename();
  f.app->list.SelectOnly(2);  // the remembered row is renamed, not the new selection
  f.app->listCommands.EndRename("new name");
  EXPECT_EQ(f.app->list.Row(1).caption, "new name");
  EXPECT_EQ(f.app->list.Row(2).caption, "r2");
  // An ended rename does not apply twice; a removed row is not renamed.
  f.app->listCommands.EndRename("again");
  EXPECT_EQ(f.app->list.Row(1).caption, "new name");
  f.app->listCommands.BeginRename();
  f.app->listCommands.RemoveSelected();
  f.app->listCommands.EndRename("ghost");
  for (const auto& r : f.app->list.Rows()) EXPECT_NE(r.caption, "ghost");
}

TEST(CheckMarks, AllAndNoneLeaveTheSelection) {
  FakeApp f("check");
  f.app->listCommands.CheckAll();  // empty list: nothing happens
  Fill(*f.app, 3);
  f.app->list.SelectOnly(2);
  f.app->listCommands.UncheckAll();
  for (const auto& r : f.app->list.Rows()) EXPECT_FALSE(r.checked);
  f.app->listCommands.CheckAll();
  for (const auto& r : f.app->list.Rows()) EXPECT_TRUE(r.checked);
  EXPECT_EQ(f.app->list.SelectedCount(), 1);
  EXPECT_TRUE(f.app->list.Row(2).selected);
}

TEST(ListClicked, ShowsTheSelectedEntryUnlessBusy) {
  FakeApp f("clicked");
  Fill(*f.app, 2);
  f.app->list.Row(1).entry.duration = "00:02:03";
  f.app->listCommands.ListClicked();  // nothing selected
  EXPECT_EQ(f.app->list.previewedEntry, -1);
  f.app->list.SelectOnly(1);
  f.app->run.converting = true;
  f.app->listCommands.ListClicked();
  EXPECT_EQ(f.app->list.previewedEntry, -1);
  f.app->run.converting = false;
  f.app->listCommands.ListClicked();
  EXPECT_EQ(f.app->list.previewedEntry, 1);
  EXPECT_EQ(f.app->display().Text("alltime"), "00:02:03");
}

// The real adapter describes real media; an unreadable file is refused.
TEST(AddFileEntryReal, RealMediaAndATextFile) {
  setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir("real-add-config").c_str(), 1);
  pcm::ScriptedUserInterface ui;
  pcm::CoreApp app({pcmtest::BinDir() + "/popclipmill", nullptr, &ui, nullptr});
  app.settings.LoadSettings();
  ASSERT_TRUE(app.listCommands.AddFileWithRetry(pcmtest::MakeMedia("mp4", 3)));
  ASSERT_TRUE(app.listCommands.AddFileWithRetry(pcmtest::MakeMedia("wav", 2)));
  EXPECT_FALSE(app.listCommands.AddFileWithRetry(pcmtest::MakeMedia("txt.mp3")));
  ASSERT_EQ(app.list.Count(), 2);
  EXPECT_EQ(app.list.Row(0).entry.duration, "00:00:03");
  EXPECT_EQ(app.list.Row(0).trim.end, 3);
  EXPECT_EQ(pcm::FrameSizeText(app.list.Row(0).entry), "320x240");
  EXPECT_EQ(pcm::ChosenAudio(app.list.Row(0).entry.streams)->codec, "aac");
  EXPECT_EQ(app.list.Row(1).entry.duration, "00:00:02");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find(" is not support!"), std::string::npos);
}

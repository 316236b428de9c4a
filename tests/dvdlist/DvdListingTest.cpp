// Listing DVD titles and chapters into the conversion list, the per-view
// check marks and the stream selectors. The rules about sector spans and
// times are checked on IFO records written here (dvdauthor cannot make a
// title of exactly 999 sectors); folders and files on discs made by
// dvdauthor.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <map>

#include "core/Application.h"
#include "dvd/DriveWait.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using pcm::ListRow;
using pcm::ifo::ChapterInfo;
using pcm::ifo::IfoFile;
using pcm::ifo::StreamInfo;
using pcm::ifo::TitleInfo;

namespace {

struct Cell {
  uint32_t first, last;
  int seconds;
};

TitleInfo MakeTitle(int seconds, const std::vector<Cell>& cells) {
  TitleInfo t;
  t.hours = seconds / 3600;
  t.minutes = seconds / 60 % 60;
  t.seconds = seconds % 60;
  int program = 0;
  for (const Cell& c : cells) {
    ChapterInfo ch;
    ch.program = ++program;
    ch.firstSector = c.first;
    ch.lastSector = c.last;
    ch.milliseconds = c.seconds * 1000LL;
    t.chapters.push_back(ch);
  }
  return t;
}

StreamInfo Stream(const std::string& description) {
  StreamInfo s;
  s.description = description;
  return s;
}

// A program directory with the real adapter, its settings in a fresh folder,
// and IFO records by path for the listing to read.
struct Lister {
  explicit Lister(const std::string& tag) {
    setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir(tag + "-config").c_str(), 1);
    app = std::make_unique<pcm::CoreApp>(
        pcm::CoreApp::Options{pcmtest::MakeProgramDir(tag, "", "popclipmill-dvd"), nullptr, &ui, nullptr});
    app->settings.LoadSettings();
  }
  // Replaces the reader with the records of `files` (unknown paths: null).
  void UseRecords() {
    source = std::make_unique<pcm::DvdSource>(
        pcm::DvdSource::Parts{app->list, app->options, app->run, *app}, [this](const std::string& path) {
          auto it = files.find(path);
          return it == files.end() ? pcm::ifo::Handle() : std::make_unique<const IfoFile>(it->second);
        });
    source->listClickedHook = [this] { app->listCommands.ListClicked(); };
    app->listCommands.dvdClickedHook = [this] { source->ListClickedEnd(); };
  }
  pcm::DvdSource& dvd() { return source ? *source : app->dvd; }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (const ListRow& r : app->list.Rows()) out.push_back(r.caption);
    return out;
  }
  std::vector<bool> Checks() const {
    std::vector<bool> out;
    for (const ListRow& r : app->list.Rows()) out.push_back(r.checked);
    return out;
  }
  void Click(int row) {
    app->list.SelectOnly(row);
    app->listCommands.ListClicked();
  }
  std::string LastBox() const {
    return ui.boxes.empty() ? "" : ui.boxes.back().kind + ": " + ui.boxes.back().text;
  }
  std::string Message(int n) { return app->LoadMessage(n); }

  pcm::ScriptedUserInterface ui;
  std::unique_ptr<pcm::CoreApp> app;
  std::map<std::string, IfoFile> files;
  std::unique_ptr<pcm::DvdSource> source;
};

// Title set 1: a title of 0 s, one of 999 sectors, one whose first chapter
// is exactly 1000 sectors and whose middle chapter is 999, a title of three
// good chapters and one that ends where it starts. Title set 2: no audio, a video description of one
// word.
void AddRecords(Lister& l) {
  IfoFile a;
  a.path = "/disc/VIDEO_TS/VTS_01_0.IFO";
  a.folder = "/disc/VIDEO_TS";
  a.titleSet = 1;
  a.videoDescription = "MPEG-2 720x576 PAL 4:3";
  a.audio = {Stream("1: en AC3 2ch (0x80)"), Stream("2: de AC3 2ch (0x81)")};
  a.subpictures = {Stream("1: en Subtitle (0x20)")};
  a.titles.push_back(MakeTitle(0, {{0, 5000, 0}}));
  a.titles.push_back(MakeTitle(30, {{0, 999, 30}}));
  a.titles.push_back(MakeTitle(22, {{2000, 3000, 10}, {3001, 4000, 5}, {4000, 5000, 7}}));
  a.titles.push_back(MakeTitle(15, {{6000, 7999, 5}, {8000, 9999, 5}, {10000, 11999, 5}}));
  a.titles.push_back(MakeTitle(9, {{20000, 20000, 9}}));
  for (size_t i = 0; i < a.titles.size(); ++i) a.titles[i].programChain = int(i) + 1;
  IfoFile b;
  b.path = "/disc/VIDEO_TS/VTS_02_0.IFO";
  b.folder = "/disc/VIDEO_TS";
  b.titleSet = 2;
  b.videoDescription = "MPEG2";
  b.subpictures = {Stream("1: fr Subtitle (0x20)"), Stream("2: it Subtitle (0x21)")};
  b.titles.push_back(MakeTitle(40, {{0, 19999, 40}}));
  b.titles[0].programChain = 1;
  l.files[a.path] = a;
  l.files[b.path] = b;
  l.UseRecords();
}

const std::vector<std::string> kBoth = {"/disc/VIDEO_TS/VTS_01_0.IFO", "/disc/VIDEO_TS/VTS_02_0.IFO"};

}  // namespace

// Which titles and chapters are listed, their captions, times, sectors and
// trim records, in both views.
TEST(DvdListing, SpansTimesAndCaptionsInBothViews) {
  Lister l("dvdlist-rules");
  AddRecords(l);
  ASSERT_TRUE(l.dvd().OpenIfoPaths(kBoth));
  // 0 s, 999 sectors and no span are left out.
  EXPECT_EQ(l.Captions(), (std::vector<std::string>{"Title_01", "Title_02", "Title_03"}));
  const ListRow& first = l.app->list.Row(0);
  ASSERT_TRUE(first.dvd);
  EXPECT_EQ(first.dvd->programChain, 3);
  EXPECT_EQ(first.dvd->firstSector, 2000u);
  EXPECT_EQ(first.dvd->lastSector, 5000u);
  EXPECT_EQ(first.dvd->sectors.size(), 3u);  // the whole title, chapter by chapter
  EXPECT_EQ(first.entry.duration, "00:00:22");
  EXPECT_EQ(first.time, "00:00:22");
  // Stored 720x576, shown 4:3 with its pixel aspect.
  EXPECT_EQ(pcm::FrameSizeText(first.entry), "768x576");
  EXPECT_EQ(first.filePath, "720x576");
  EXPECT_EQ(pcm::StatusText(first), "Ready");
  EXPECT_EQ(first.dvd->audioId, 0x80);
  EXPECT_EQ(first.dvd->subtitleId, 0);
  EXPECT_EQ(first.trim.total, 22);
  EXPECT_EQ(first.trim.end, 22);
  // Title set 2: no audio stream, no frame size in a one-word description.
  const ListRow& last = l.app->list.Row(2);
  EXPECT_EQ(last.dvd->audioId, 0);
  EXPECT_TRUE(last.entry.streams.empty());
  EXPECT_EQ(last.filePath, "");
  // The longest span is selected: title set 2's 19999 sectors.
  EXPECT_EQ(l.app->list.FirstSelected(), 2);

  l.dvd().ToggleChapterView();
  EXPECT_FALSE(l.dvd().TitleView());
  // The 999-sector middle chapter goes, the numbering counts it; the next
  // title is numbered by its row.
  EXPECT_EQ(l.Captions(),
            (std::vector<std::string>{"Title_01", "  Chapter_01", "  Chapter_03", "Title_04", "  Chapter_01",
                                      "  Chapter_02", "  Chapter_03", "Title_08", "  Chapter_01"}));
  const ListRow& third = l.app->list.Row(2);
  EXPECT_TRUE(third.dvd->chapter);
  EXPECT_EQ(third.dvd->begin, 15);  // after 10 s and the dropped 5 s
  EXPECT_EQ(third.dvd->end, 22);
  EXPECT_EQ(third.entry.duration, "00:00:07");
  EXPECT_EQ(third.trim.begin, 15);
  EXPECT_EQ(third.trim.end, 22);
  EXPECT_EQ(third.trim.total, 7);
  ASSERT_EQ(third.dvd->sectors.size(), 1u);
  EXPECT_EQ(third.dvd->sectors[0], (pcm::DvdSectorRange{4000, 5000}));
  // Title_08 and its chapter span the same sectors: the first one wins.
  EXPECT_EQ(l.app->list.FirstSelected(), 7);
}

// Titles of exactly 1000 sectors are listed, one of 999 is not; row numbers
// past 99 have three digits.
TEST(DvdListing, HundredthRowHasThreeDigits) {
  Lister l("dvdlist-many");
  IfoFile f;
  f.path = "/many/VTS_01_0.IFO";
  f.titleSet = 1;
  f.titles.push_back(MakeTitle(1, {{0, 999, 1}}));
  for (uint32_t i = 1; i <= 100; ++i) f.titles.push_back(MakeTitle(1, {{i * 2000, i * 2000 + 1000, 1}}));
  l.files[f.path] = f;
  l.UseRecords();
  ASSERT_TRUE(l.dvd().OpenIfoPaths({f.path}));
  ASSERT_EQ(l.app->list.Count(), 100);
  EXPECT_EQ(l.app->list.Row(8).caption, "Title_09");
  EXPECT_EQ(l.app->list.Row(9).caption, "Title_10");
  EXPECT_EQ(l.app->list.Row(99).caption, "Title_100");
}

// Each view keeps its own check marks, row by row, through clicks, check
// all and uncheck all; opening files again starts both views afresh.
TEST(DvdListing, ViewsKeepTheirCheckMarks) {
  Lister l("dvdlist-checks");
  AddRecords(l);
  ASSERT_TRUE(l.dvd().OpenIfoPaths(kBoth));
  l.app->list.SetChecked(1, false);
  l.Click(0);  // records the title view's marks
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Checks(), std::vector<bool>(9, true));  // a fresh view starts checked
  l.dvd().UncheckAll();
  l.app->list.SetChecked(3, true);
  l.app->list.SetChecked(8, true);
  l.Click(3);
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Checks(), (std::vector<bool>{true, false, true}));
  l.dvd().ToggleChapterView();
  std::vector<bool> chapterMarks(9, false);
  chapterMarks[3] = chapterMarks[8] = true;
  EXPECT_EQ(l.Checks(), chapterMarks);
  // A mark changed without a click is not recorded; check all is.
  l.app->list.SetChecked(0, true);
  l.dvd().ToggleChapterView();
  l.dvd().CheckAll();
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Checks(), chapterMarks);
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Checks(), std::vector<bool>(3, true));
  // Opening the files again lists nothing twice; cleared and opened again,
  // their rows start checked in both views.
  l.app->list.SetChecked(0, false);
  l.Click(1);
  ASSERT_TRUE(l.dvd().OpenIfoPaths(kBoth));
  EXPECT_EQ(l.Checks(), (std::vector<bool>{false, true, true}));
  l.app->list.Clear();
  ASSERT_TRUE(l.dvd().OpenIfoPaths(kBoth));
  EXPECT_EQ(l.Checks(), std::vector<bool>(3, true));
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Checks(), std::vector<bool>(9, true));
}

// The selectors show the clicked row's file's streams and choices; a change
// goes to that row only, and a removed row does not shift the others'.
TEST(DvdListing, SelectorsFollowTheClickedRow) {
  Lister l("dvdlist-streams");
  AddRecords(l);
  ASSERT_TRUE(l.dvd().OpenIfoPaths(kBoth));
  const auto& sel = l.dvd().selectors();
  l.Click(0);
  EXPECT_EQ(sel.audio, (std::vector<std::string>{"1: en AC3 2ch (0x80)", "2: de AC3 2ch (0x81)"}));
  EXPECT_EQ(sel.subtitles, (std::vector<std::string>{"No Subtitle", "1: en Subtitle (0x20)"}));
  l.dvd().AudioChanged(1);
  l.dvd().SubtitleChanged(1);
  EXPECT_EQ(l.app->list.Row(0).dvd->audioId, 0x81);
  EXPECT_EQ(l.app->list.Row(0).dvd->subtitleId, 0x20);
  // The first row of the second file shows that file's streams: no audio.
  l.Click(2);
  EXPECT_TRUE(sel.audio.empty());
  EXPECT_EQ(sel.subtitles.size(), 3u);
  EXPECT_EQ(sel.subtitleIndex, 0);
  l.dvd().SubtitleChanged(2);
  EXPECT_EQ(l.app->list.Row(2).dvd->subtitleId, 0x21);
  l.dvd().AudioChanged(0);  // nothing to choose
  EXPECT_EQ(l.app->list.Row(2).dvd->audioId, 0);
  l.Click(1);
  EXPECT_EQ(sel.audioIndex, 0);
  EXPECT_EQ(l.app->list.Row(1).dvd->audioId, 0x80);
  l.Click(0);
  EXPECT_EQ(sel.audioIndex, 1);
  EXPECT_EQ(sel.subtitleIndex, 1);
  l.dvd().SubtitleChanged(0);
  EXPECT_EQ(l.app->list.Row(0).dvd->subtitleId, 0);
  // Out-of-range positions change nothing.
  l.dvd().AudioChanged(2);
  l.dvd().SubtitleChanged(-1);
  EXPECT_EQ(l.app->list.Row(0).dvd->audioId, 0x81);
  EXPECT_EQ(l.app->list.Row(0).dvd->subtitleChoice, 0);
  // Remove the first row: the second file's row keeps its own streams.
  l.app->list.SelectOnly(0);
  l.app->listCommands.RemoveSelected();
  l.Click(1);
  EXPECT_TRUE(sel.audio.empty());
  EXPECT_EQ(sel.subtitleIndex, 2);
  // No row selected: a change is not stored anywhere.
  l.app->list.SetSelected(1, false);
  l.dvd().SubtitleChanged(1);
  EXPECT_EQ(l.app->list.Row(1).dvd->subtitleId, 0x21);
}

TEST(DvdListing, StreamIdsAndNames) {
  EXPECT_EQ(pcm::StreamIdFromText("1: en AC3 2ch (0x80)"), "0x80");
  EXPECT_EQ(pcm::StreamIdFromText("No Subtitle"), "0");
  EXPECT_EQ(pcm::StreamIdFromText("(1)"), "(1");
  EXPECT_EQ(pcm::StreamIdValue("0x81"), 0x81);
  EXPECT_EQ(pcm::StreamIdValue("0"), 0);
  EXPECT_EQ(pcm::StreamIdValue("(1"), 0);
  EXPECT_EQ(pcm::DvdOutputCaption("  Chapter_03"), "Chapter_03");
  EXPECT_EQ(pcm::DvdOutputCaption("a/b/  x"), "x");
  EXPECT_EQ(pcm::DvdSource::FrameSize("MPEG-2 720x576 PAL"), "720x576");
  EXPECT_EQ(pcm::DvdSource::FrameSize("MPEG-2 720x576"), "");
}

// Folders on a disc made by dvdauthor: what may be chosen, what gives
// message 33, and the menu file.
TEST(DvdListing, FoldersOnARealDisc) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  Lister l("dvdlist-folders");
  const std::string none = l.Message(33);
  // The folder holding VIDEO_TS, the VIDEO_TS folder, a lower-cased copy.
  std::string lower = pcmtest::CopyVideoTs("lower case", true);
  for (const std::string& folder :
       {disc, disc + "/VIDEO_TS", lower,
        QDir(QString::fromStdString(lower)).absoluteFilePath("..").toStdString()}) {
    l.app->list.Clear();
    ASSERT_TRUE(l.dvd().OpenFolderPath(folder)) << folder;
    ASSERT_EQ(l.Captions(), (std::vector<std::string>{"Title_01", "Title_02"})) << folder;
    EXPECT_EQ(l.app->list.Row(0).dvd->file->titleSet, 1);
    EXPECT_EQ(l.app->list.Row(0).time, "00:00:09");
    EXPECT_EQ(l.app->list.Row(1).dvd->file->titleSet, 2);
    EXPECT_EQ(l.app->list.FirstSelected(), 0);
  }
  size_t boxes = l.ui.boxes.size();
  // Two levels above VIDEO_TS: not searched.
  std::string above = pcmtest::MakeTempDir("dvdlist-above");
  QDir().mkpath(QString::fromStdString(above + "/disc"));
  ASSERT_EQ(pcmtest::RunShell("cp -r " + pcmtest::ShellQuote(disc + "/VIDEO_TS") + " " +
                              pcmtest::ShellQuote(above + "/disc/")),
            0);
  EXPECT_FALSE(l.dvd().OpenFolderPath(above));
  EXPECT_EQ(l.app->list.Count(), 2);  // what was listed stays
  EXPECT_EQ(l.LastBox(), "information: " + none);
  // The menu file alone is skipped in a folder; chosen as a file it is read
  // (it holds no titles, so message 34 follows).
  std::string menuOnly = pcmtest::MakeTempDir("dvdlist-menu");
  ASSERT_TRUE(QFile::copy(QString::fromStdString(disc + "/VIDEO_TS/VIDEO_TS.IFO"),
                          QString::fromStdString(menuOnly + "/video_ts.ifo")));
  EXPECT_FALSE(l.dvd().OpenFolderPath(menuOnly));
  EXPECT_EQ(l.LastBox(), "information: " + none);
  EXPECT_FALSE(l.dvd().OpenIfoPaths({menuOnly + "/video_ts.ifo"}));
  EXPECT_EQ(l.dvd().Files().size(), 2u);  // the refused file is not kept
  EXPECT_EQ(l.LastBox(),
            "information: " + l.Message(34) + "\n" + menuOnly + "/video_ts.ifo lists no titles.");
  EXPECT_EQ(l.ui.boxes.size(), boxes + 3);
  // IFO files that give no title: message 33 rather than an empty list
  // without a word.
  std::string unreadable = pcmtest::CopyVideoTs("dvdlist-unreadable");
  for (const char* name : {"/VTS_01_0.IFO", "/VTS_01_0.BUP", "/VTS_02_0.IFO", "/VTS_02_0.BUP"})
    pcmtest::FillWithGarbage(unreadable + name, 7);
  EXPECT_TRUE(l.dvd().OpenFolderPath(unreadable));
  EXPECT_EQ(l.app->list.Count(), 2);
  EXPECT_EQ(l.LastBox(), "information: " + none);
  // The hint line names both title sets, after the message.
  EXPECT_EQ(l.app->display().Text("hint"),
            "Title set 1 cannot be read: VTS_01_0.IFO and its backup are damaged; its titles are left out. "
            "Title set 2 cannot be read: VTS_02_0.IFO and its backup are damaged; its titles are left out.");
  // Dropped paths: the disc and an IFO file open as the DVD commands would;
  // a folder two levels above and a folder of sounds are left to the file
  // rules, with nothing listed or said.
  boxes = l.ui.boxes.size();
  EXPECT_FALSE(l.dvd().OpenDropped(above));
  EXPECT_FALSE(l.dvd().OpenDropped(pcmtest::MakeTempDir("dvdlist-sounds")));
  EXPECT_FALSE(l.dvd().OpenDropped(disc + "/VIDEO_TS/VTS_01_1.VOB"));
  EXPECT_EQ(l.ui.boxes.size(), boxes);
  l.app->list.Clear();
  ASSERT_TRUE(l.dvd().OpenDropped(disc + "/VIDEO_TS/VTS_02_0.IFO"));
  EXPECT_EQ(l.app->list.Count(), 1);
  // Another disc comes after it; one listed already is not listed twice.
  ASSERT_TRUE(l.dvd().OpenDropped(lower));
  ASSERT_TRUE(l.dvd().OpenDropped(lower));
  EXPECT_EQ(l.Captions(), (std::vector<std::string>{"Title_01", "Title_02", "Title_03"}));
  EXPECT_EQ(l.ui.boxes.size(), boxes);
  EXPECT_EQ(l.app->display().Text("hint"), "The disc in " + lower + " is on the list already.");
  ASSERT_TRUE(l.dvd().OpenDropped(disc + "/VIDEO_TS/VTS_02_0.IFO"));
  EXPECT_EQ(l.app->list.Count(), 3);
  EXPECT_EQ(l.app->display().Text("hint"), disc + "/VIDEO_TS/VTS_02_0.IFO is on the list already.");
  // Cancelling the chooser keeps what is listed.
  l.app->list.Clear();
  ASSERT_TRUE(l.dvd().OpenFolderPath(disc));
  l.dvd().OpenDvdFolder();
  EXPECT_EQ(l.ui.lastFolderCaption, l.Message(32));
  EXPECT_EQ(l.app->list.Count(), 2);
}

// The chapter view of the real disc, and a disc whose first title set
// cannot be read at all.
TEST(DvdListing, ChaptersAndDamageOnARealDisc) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  Lister l("dvdlist-chapters");
  l.dvd().ToggleChapterView();  // no files yet: only the view changes
  ASSERT_TRUE(l.dvd().OpenFolderPath(disc));
  std::vector<std::string> captions = l.Captions();
  ASSERT_GE(captions.size(), 5u);
  EXPECT_EQ(
      std::vector<std::string>(captions.begin(), captions.begin() + 5),
      (std::vector<std::string>{"Title_01", "  Chapter_01", "  Chapter_02", "  Chapter_03", "Title_05"}));
  // A chapter begins after the whole seconds of the chapters before it.
  EXPECT_EQ(l.app->list.Row(2).dvd->begin, l.app->list.Row(1).dvd->seconds);
  EXPECT_EQ(l.app->list.Row(2).dvd->end, l.app->list.Row(2).dvd->begin + l.app->list.Row(2).dvd->seconds);
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Captions(), (std::vector<std::string>{"Title_01", "Title_02"}));

  // Title set 1 cannot be read, however it is damaged: it is named on the
  // hint line and keeps one number, so title set 2's title keeps its name
  // Title_02 (in the chapter view too, where the set would have taken four
  // rows).
  std::map<std::string, std::string> damaged{
      {"cut without backup", pcmtest::DamagedVideoTs(pcmtest::DvdDamage::CutIfoWithoutBackup)},
      {"garbage", pcmtest::DamagedVideoTs(pcmtest::DvdDamage::Garbage)},
      {"pipe", pcmtest::CopyVideoTs("dvdlist-pipe")},
      {"folder", pcmtest::CopyVideoTs("dvdlist-folder")}};
  for (const char* name : {"/VTS_01_0.IFO", "/VTS_01_0.BUP"}) {
    const std::string pipe = damaged["pipe"] + name, folder = damaged["folder"] + name;
    ASSERT_TRUE(QFile::remove(QString::fromStdString(pipe)) && QFile::remove(QString::fromStdString(folder)));
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(folder)));
  }
  for (const auto& [how, folder] : damaged) {
    SCOPED_TRACE(how);
    l.app->display().SetText("hint", "");
    l.app->list.Clear();
    ASSERT_TRUE(l.dvd().OpenFolderPath(folder));
    EXPECT_EQ(l.Captions(), (std::vector<std::string>{"Title_02"}));
    EXPECT_EQ(l.app->list.Row(0).dvd->file->titleSet, 2);
    ASSERT_EQ(l.dvd().UnreadableSets().size(), 1u);
    EXPECT_EQ(l.dvd().UnreadableSets()[0].ifoPath, folder + "/VTS_01_0.IFO");
    EXPECT_EQ(l.app->display().Text("hint").rfind("Title set 1 cannot be read: VTS_01_0.IFO ", 0), 0u)
        << l.app->display().Text("hint");
    l.dvd().ToggleChapterView();
    EXPECT_EQ(l.Captions(), (std::vector<std::string>{"Title_02", "  Chapter_01", "  Chapter_02"}));
    EXPECT_EQ(l.dvd().UnreadableSets().size(), 1u);
    l.dvd().ToggleChapterView();
  }
  // The first title broken in both copies of set 1: named, and its number
  // kept, so set 2's title is Title_02 still.
  const std::string broken = pcmtest::CopyVideoTs("dvdlist-broken");
  for (const char* name : {"/VTS_01_0.IFO", "/VTS_01_0.BUP"}) pcmtest::BreakFirstChain(broken + name);
  l.app->list.Clear();
  ASSERT_TRUE(l.dvd().OpenFolderPath(broken));
  EXPECT_EQ(l.Captions(), std::vector<std::string>{"Title_02"});
  ASSERT_EQ(l.dvd().UnreadableSets().size(), 1u);
  EXPECT_EQ(l.dvd().UnreadableSets()[0].why,
            "title set 1: Title_01 (program chain 1) cannot be read: VTS_01_0.IFO and its backup are damaged "
            "there; it is left out");
  // A pipe in the IFO file's place with its backup intact: the backup is
  // read, and nothing is missing.
  std::string backup = pcmtest::CopyVideoTs("dvdlist-pipe-backup");
  ASSERT_TRUE(QFile::remove(QString::fromStdString(backup + "/VTS_01_0.IFO")));
  ASSERT_EQ(mkfifo((backup + "/VTS_01_0.IFO").c_str(), 0644), 0);
  l.app->list.Clear();
  ASSERT_TRUE(l.dvd().OpenFolderPath(backup));
  EXPECT_EQ(l.Captions(), (std::vector<std::string>{"Title_01", "Title_02"}));
  EXPECT_TRUE(l.dvd().UnreadableSets().empty());
}

// What a person put on the list stays through every way of adding a disc
// and the view toggled there and back: a file row, a trimmed title with its
// chosen streams and a second disc. A damaged IFO and a disc handed over
// during a preview are refused without touching the list.
TEST(DvdListing, FileRowsTrimsAndStreamsSurviveAddsAndToggles) {
  const std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  const std::string second = pcmtest::CopyVideoTs("dvdlist-second disc");
  const std::string bad = pcmtest::CopyVideoTs("dvdlist-bad");
  for (const char* name : {"/VTS_01_0.IFO", "/VTS_01_0.BUP"}) pcmtest::FillWithGarbage(bad + name, 3);
  Lister l("dvdlist-keep");
  pcm::CoreApp& app = *l.app;
  const std::string clip = pcmtest::MakeMedia("wav", 2);
  ASSERT_EQ(app.listCommands.AddFileList({clip}), 0);
  const std::string file = app.list.Row(0).caption;
  ASSERT_TRUE(l.dvd().OpenFolderPath(disc));
  ASSERT_EQ(l.Captions(), (std::vector<std::string>{file, "Title_01", "Title_02"}));
  // Title_01 trimmed, with the second sound and the first subtitle.
  l.Click(1);
  l.dvd().AudioChanged(1);
  l.dvd().SubtitleChanged(1);
  ListRow& title = app.list.Row(1);
  ASSERT_TRUE(app.sources.Of(title).Trim(title, 1, 5));
  const ListRow chosen = title;
  ASSERT_TRUE(l.dvd().OpenFolderPath(second));
  const std::vector<std::string> all{file, "Title_01", "Title_02", "Title_03", "Title_04"};
  EXPECT_EQ(l.Captions(), all);
  EXPECT_EQ(app.list.FirstSelected(), 3);  // the new disc's main title

  const size_t boxes = l.ui.boxes.size();
  EXPECT_FALSE(l.dvd().OpenIfoPaths({bad + "/VTS_01_0.IFO"}));
  EXPECT_EQ(l.LastBox(), "information: " + l.Message(34) + "\n" + bad +
                             "/VTS_01_0.IFO: the file and its backup are damaged.");
  app.run.previewing = true;
  EXPECT_TRUE(l.dvd().OpenDropped(pcmtest::CopyVideoTs("dvdlist-handed")));
  EXPECT_EQ(l.LastBox(), "warning: " + l.Message(27));
  app.run.previewing = false;
  EXPECT_EQ(l.ui.boxes.size(), boxes + 2);
  EXPECT_EQ(l.Captions(), all);

  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Captions().front(), file);
  EXPECT_GT(app.list.Count(), 5);
  l.dvd().ToggleChapterView();
  EXPECT_EQ(l.Captions(), all);
  const ListRow& back = app.list.Row(1);
  EXPECT_EQ(back.trim.begin, chosen.trim.begin);
  EXPECT_EQ(back.trim.end, chosen.trim.end);
  EXPECT_EQ(back.time, chosen.time);
  EXPECT_EQ(back.dvd->audioChoice, 1);
  EXPECT_EQ(back.dvd->audioId, chosen.dvd->audioId);
  EXPECT_EQ(back.dvd->subtitleChoice, 1);
  EXPECT_EQ(back.dvd->subtitleId, chosen.dvd->subtitleId);
  EXPECT_EQ(app.list.Row(0).entry.sourcePath, clip);
}

// Which folders lie on an optical disc, by the mount table: the longest
// mount holding the path decides; names in the table are escaped.
TEST(DvdListing, OpticalDriveByMountTable) {
  std::string table = pcmtest::MakeTempDir("dvdlist-mounts") + "/mounts";
  QFile f(QString::fromStdString(table));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sr0 /media/cd\\040rom iso9660 ro 0 0\n"
      "/dev/sda2 /media/cd\\040rom/inner ext4 rw 0 0\n"
      "/dev/loop3 /mnt/image udf ro 0 0\n"
      "/dev/sr1 /mnt/drive ext4 ro 0 0\n");
  f.close();
  EXPECT_TRUE(pcm::OnOpticalDrive("/media/cd rom/VIDEO_TS", table));
  EXPECT_EQ(pcm::MountPointOf("/media/cd rom/VIDEO_TS", table), "/media/cd rom");
  EXPECT_FALSE(pcm::OnOpticalDrive("/media/cd rom/inner/x", table));
  EXPECT_FALSE(pcm::OnOpticalDrive("/media/cd romx", table));
  EXPECT_TRUE(pcm::OnOpticalDrive("/mnt/image", table));
  EXPECT_TRUE(pcm::OnOpticalDrive("/mnt/drive/a", table));
  EXPECT_FALSE(pcm::OnOpticalDrive("/home", table));
  EXPECT_FALSE(pcm::OnOpticalDrive("/home", table + ".missing"));
  // The wait returns once the root has answered.
  pcm::WaitForDrive(pcmtest::MakeTempDir("dvdlist-drive"));
}

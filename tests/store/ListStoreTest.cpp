// The list kept in the settings folder: what comes back, what is refused,
// and that every change is on disk before the next one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <fstream>
#include <sstream>

#include "core/Application.h"
#include "queue/ListStore.h"
#include "support/Fixtures.h"

namespace pcmtest {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

pcm::ListRow MakeRow(const std::string& path, const std::string& caption) {
  pcm::ListRow r;
  r.caption = caption;
  r.filePath = path;
  r.time = "00:01:00";
  r.outputSize = "1.20MB";
  r.state = pcm::EntryState::Waiting;
  r.entry.sourcePath = path;
  r.entry.duration = "00:01:00";
  r.entry.audioKbps = 128;
  pcm::StreamInfo sound;
  sound.kind = pcm::StreamInfo::Kind::Audio;
  sound.index = 1;
  sound.codec = "mp3";
  sound.language = "eng";
  sound.isDefault = true;
  sound.sampleRate = 44100;
  sound.channels = 2;
  r.entry.streams = {sound};
  r.trim = {60, 5, 50};
  return r;
}

// An application on a settings folder of its own (the store's folder).
struct StoreBed {
  std::string config;
  std::unique_ptr<pcm::CoreApp> app;
  explicit StoreBed(const std::string& configDir, const std::string& name = "popclipmill")
      : config(configDir) {
    qputenv("POPCLIPMILL_CONFIG_DIR", QByteArray::fromStdString(config + "/"));
    pcm::CoreApp::Options o;
    o.programPath = MakeProgramDir("store", "", name);
    app = std::make_unique<pcm::CoreApp>(o);
  }
  std::string Hint() { return app->display().Text("hint"); }
  // The list file once the store has written the changes made so far
  // (within its delay, by its own timer).
  std::vector<pcm::ListRow> OnDisk() {
    EXPECT_TRUE(WaitUntil([&] { return !app->listStore.Pending(); }, 10000));
    std::string error;
    auto rows = pcm::DecodeList(ReadFile(app->listStore.Path()), error);
    EXPECT_TRUE(rows) << error;
    return rows ? *rows : std::vector<pcm::ListRow>{};
  }
};

TEST(ListFile, EveryFieldSurvivesAndAnUnfinishedConversionComesBackWaiting) {
  std::vector<pcm::ListRow> rows;
  rows.push_back(
      MakeRow("/m/\xc3\xa9t\xc3\xa9 \"quoted\"\tand\nnewline.mp3", "caption with \x1b[31m escape"));
  rows.back().checked = false;
  rows.back().failureLines = {"[mp3 @ 0x1] error line", "", "last \xe2\x9c\x93"};
  rows.back().state = pcm::EntryState::Failed;
  rows.back().outputFile = "/out/a.mp3";
  rows.push_back(MakeRow("/m/b.wav", "b"));
  rows.back().state = pcm::EntryState::Converting;
  rows.back().progress = 4200;
  rows.back().outputFile = "/out/b.mp3";
  for (auto s : {pcm::EntryState::Blank, pcm::EntryState::Finished, pcm::EntryState::Stopped,
                 pcm::EntryState::Skipped}) {
    rows.push_back(MakeRow("/m/c.ogg", "c"));
    rows.back().state = s;
  }
  // A skipped row of a folder kept with its subfolders, one not UTF-8.
  rows.back().outputFile = "/out/Artist/\xff Album/c.mp3";
  rows.back().outputSubfolder = "Artist/\xff Album/";
  // Two DVD rows of one IFO file: every field comes back and the rows
  // share their file record again; a third row has a record of its own.
  auto file = std::make_shared<pcm::DvdFileRecord>(
      pcm::DvdFileRecord{"/dvd/VIDEO_TS/VTS_01_0.IFO",
                         "/dvd/VIDEO_TS",
                         1,
                         {"1: en AC3 2ch (0x80)", "2: de AC3 2ch (0x81)"},
                         {"1: en Subtitle (0x20)"}});
  pcm::DvdRowData title{file, false, 2, 10, 4294967295u, {{10, 20}, {21, 4294967295u}}, 9, 0, 9,
                        0x81, 0x20,  1, 1};
  pcm::DvdRowData chapter{file, true, 2, 21, 4294967295u, {{21, 4294967295u}}, 3, 6, 9, 0x80, 0, 0, 0};
  auto other = std::make_shared<pcm::DvdFileRecord>(*file);
  other->ifoPath = "/dvd/VIDEO_TS/VTS_02_0.IFO";
  other->titleSet = 2;
  std::vector<pcm::ListRow> withDvd = rows;
  for (const pcm::DvdRowData* d : {&title, &chapter, &title}) {
    withDvd.push_back(MakeRow("720x576", d->chapter ? "  Chapter_03" : "Title_01"));
    withDvd.back().dvd = *d;
    withDvd.back().state = pcm::EntryState::Ready;
  }
  withDvd.back().dvd->file = other;
  // A DVD row killed during its conversion is ready again.
  withDvd.back().state = pcm::EntryState::Converting;
  // A row whose preview the end of the program stopped.
  withDvd[2].state = pcm::EntryState::Paused;
  pcm::DvdViewState view{{"/dvd/VIDEO_TS/VTS_01_0.IFO", "/dvd/VIDEO_TS/VTS_02_0.IFO"},
                         false,
                         std::nullopt,
                         std::vector<bool>{true, false, true}};
  std::string error;
  auto stored = pcm::DecodeStoredList(pcm::EncodeList(withDvd, view), error);
  ASSERT_TRUE(stored) << error;
  const auto& d = stored->rows;
  const size_t t = rows.size();
  ASSERT_EQ(d.size(), t + 3);
  EXPECT_EQ(d[t].dvd->file, d[t + 1].dvd->file);
  EXPECT_NE(d[t].dvd->file, d[t + 2].dvd->file);
  EXPECT_EQ(d[t + 2].state, pcm::EntryState::Ready);
  EXPECT_EQ(d[2].state, pcm::EntryState::Stopped);
  EXPECT_FALSE(stored->dvdView.titleChecks);
  // Every other field, the largest sector numbers too, is as it was written.
  withDvd[t + 2].state = pcm::EntryState::Ready;
  withDvd[2].state = pcm::EntryState::Stopped;
  withDvd[1].state = pcm::EntryState::Waiting;
  withDvd[1].outputFile.clear();
  EXPECT_EQ(pcm::EncodeList(d, stored->dvdView), pcm::EncodeList(withDvd, view));
  auto back = pcm::DecodeList(pcm::EncodeList(rows), error);
  ASSERT_TRUE(back) << error;
  ASSERT_EQ(back->size(), rows.size());
  const pcm::ListRow& a = (*back)[0];
  EXPECT_EQ(a.caption, rows[0].caption);
  EXPECT_EQ(a.filePath, rows[0].filePath);
  EXPECT_EQ(a.entry.sourcePath, rows[0].filePath);
  ASSERT_EQ(a.entry.streams.size(), 1u);
  EXPECT_EQ(a.entry.streams[0].kind, pcm::StreamInfo::Kind::Audio);
  EXPECT_EQ(a.entry.streams[0].sampleRate, 44100);
  EXPECT_EQ(a.entry.streams[0].language, "eng");
  EXPECT_TRUE(a.entry.streams[0].isDefault);
  EXPECT_FALSE(a.checked);
  EXPECT_EQ(a.failureLines, rows[0].failureLines);
  EXPECT_EQ(a.state, pcm::EntryState::Failed);
  EXPECT_EQ(a.outputFile, "/out/a.mp3");
  EXPECT_EQ(a.trim.total, 60);
  EXPECT_EQ(a.trim.begin, 5);
  EXPECT_EQ(a.trim.end, 50);
  EXPECT_EQ(a.outputSize, "1.20MB");
  // The kill came during its conversion: not converted, no output.
  EXPECT_EQ((*back)[1].state, pcm::EntryState::Waiting);
  EXPECT_TRUE((*back)[1].outputFile.empty());
  EXPECT_EQ((*back)[2].state, pcm::EntryState::Blank);
  EXPECT_EQ((*back)[3].state, pcm::EntryState::Finished);
  EXPECT_EQ((*back)[4].state, pcm::EntryState::Stopped);
  EXPECT_EQ((*back)[5].state, pcm::EntryState::Skipped);
  EXPECT_EQ((*back)[5].outputSubfolder, "Artist/\xff Album/");
  EXPECT_EQ((*back)[5].outputFile, "/out/Artist/\xff Album/c.mp3");

  // A field an older file lacks keeps its default; fields it does not know
  // are passed over. The previous formats (no DVD rows; source facts as
  // texts) are still read, the texts into numbers.
  stored = pcm::DecodeStoredList(
      R"({"format":1,"rows":[{"caption":"old","future":{"x":1},)"
      R"("entry":{"frameSize":"640x480","videoRate":"1200","audioRate":"96","sampleRate":" 44100 Hz"}}]})",
      error);
  ASSERT_TRUE(stored) << error;
  EXPECT_EQ(pcm::FrameSizeText(stored->rows[0].entry), "640x480");
  EXPECT_EQ(stored->rows[0].entry.videoKbps, 1200);
  EXPECT_EQ(stored->rows[0].entry.audioKbps, 96);
  EXPECT_TRUE(stored->rows[0].entry.streams.empty());
  EXPECT_EQ(stored->rows[0].caption, "old");
  EXPECT_TRUE(stored->rows[0].outputSubfolder.empty());
  EXPECT_TRUE(stored->rows[0].checked);
  EXPECT_EQ(stored->rows[0].state, pcm::EntryState::Blank);
  EXPECT_FALSE(stored->rows[0].dvd);
  EXPECT_TRUE(stored->dvdView.titleView);
  EXPECT_TRUE(stored->dvdView.files.empty());
}

TEST(ListFile, DamagedOrHostileTextRestoresNothing) {
  const std::string good = R"({"format":1,"rows":[{"caption":"a"},{"caption":"b"}]})";
  const char* const bad[] = {
      "",
      "garbage",
      "{\"format\":1,\"rows\":[{\"caption\":\"a\"}",        // cut short by a crash of another writer
      "{\"format\":1,\"rows\":[{\"caption\":\"a\x01\"}]}",  // a raw control character
      "[1,2,3]",
      "{\"rows\":[]}",
      "{\"format\":1,\"rows\":{}}",
      "{\"format\":1,\"rows\":[{\"caption\":\"a\"},7]}",
      "{\"format\":1,\"rows\":[{\"state\":\"exploded\"}]}",
      "{\"format\":1,\"rows\":[{\"state\":3}]}",
      "{\"format\":1,\"rows\":[{\"trim\":{\"begin\":-1}}]}",
      "{\"format\":1,\"rows\":[{\"trim\":{\"end\":1.5}}]}",
      "{\"format\":1,\"rows\":[{\"trim\":{\"total\":3e9}}]}",
      "{\"format\":1,\"rows\":[{\"trim\":[]}]}",
      "{\"format\":1,\"rows\":[{\"caption\":12}]}",
      "{\"format\":1,\"rows\":[{\"checked\":\"yes\"}]}",
      "{\"format\":1,\"rows\":[{\"failureLines\":[\"x\",3]}]}",
      "{\"format\":1,\"rows\":[{\"filePath\":\"/m/a\\u0000.mp3\"}]}",  // would cut the path short
      "{\"format\":1,\"rows\":[{\"entry\":{\"sourcePath\":\"/a\\u0000/etc/passwd\"}}]}",
      "{\"format\":4,\"rows\":[]}",
      "{\"format\":3,\"rows\":[{\"entry\":{\"streams\":[{\"kind\":9}]}}]}",
      "{\"format\":3,\"rows\":[{\"entry\":{\"streams\":[7]}}]}",
      "{\"format\":3,\"rows\":[{\"entry\":{\"width\":-4}}]}",
      // DVD rows: a record naming no file, or a file the list does not hold.
      "{\"format\":2,\"rows\":[{\"dvd\":{}}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0}}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":1}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":-1}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":\"0\"}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":7}],\"dvdFiles\":[{}]}",
      // Sector numbers that are no block of a disc, ranges that are no pair.
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"firstSector\":-1}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"lastSector\":4294967296}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"sectors\":[[1,2],[3]]}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"sectors\":[[1,2.5]]}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"sectors\":{}}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"audioChoice\":-2}}],\"dvdFiles\":[{}]}",
      "{\"format\":2,\"rows\":[],\"dvdFiles\":[{\"ifoPath\":\"/d/VTS_01_0.IFO\\u0000x\"}]}",
      "{\"format\":2,\"rows\":[],\"dvdFiles\":[{\"audio\":\"1: en\"}]}",
      "{\"format\":2,\"rows\":[],\"dvdFiles\":[3]}",
      "{\"format\":2,\"rows\":[],\"dvdFiles\":{}}",
      "{\"format\":2,\"rows\":[],\"dvdView\":{\"titleChecks\":[true,1]}}",
      "{\"format\":2,\"rows\":[],\"dvdView\":{\"files\":\"/d/VTS_01_0.IFO\"}}",
      "{\"format\":2,\"rows\":[],\"dvdView\":[]}",
  };
  std::string error;
  ASSERT_TRUE(pcm::DecodeList(good, error)) << error;
  for (const char* text : bad) {
    error.clear();
    EXPECT_FALSE(pcm::DecodeList(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  // Too many entries.
  std::string many = "{\"format\":1,\"rows\":[";
  for (int i = 0; i <= pcm::ListStore::kMaxRows; ++i) many += i ? ",{}" : "{}";
  many += "]}";
  EXPECT_FALSE(pcm::DecodeList(many, error));
  // More sector ranges than a title can have.
  std::string ranges = "{\"format\":2,\"rows\":[{\"dvd\":{\"file\":0,\"sectors\":[";
  for (int i = 0; i <= 255; ++i) ranges += i ? ",[1,2]" : "[1,2]";
  ranges += "]}}],\"dvdFiles\":[{}]}";
  EXPECT_FALSE(pcm::DecodeList(ranges, error));
  EXPECT_TRUE(pcm::DecodeList(ranges.replace(ranges.find("[1,2],"), 6, ""), error)) << error;
}

TEST(ListStore, EveryChangeIsOnDiskAndANewStartShowsTheSameList) {
  std::string config = MakeTempDir("store-config");
  std::string media = MakeTempDir("store-media");
  for (const char* n : {"a.mp3", "b.wav", "c.ogg"}) WriteFile(media + "/" + n, "x");
  {
    StoreBed bed(config);
    pcm::CoreApp& app = *bed.app;
    // Before the restore nothing is written: the headless front end never
    // restores and so never touches the list file.
    app.list.Append(MakeRow(media + "/zzz.mp3", "never"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(app.listStore.Path())));
    app.list.Clear();

    app.listStore.Restore();
    EXPECT_EQ(app.list.Count(), 0);
    EXPECT_EQ(bed.Hint(), "");
    // A run of changes is written once, a moment after the first.
    for (const char* f : {"a.mp3", "b.wav", "c.ogg"}) app.list.Append(MakeRow(media + "/" + f, f));
    EXPECT_TRUE(app.listStore.Pending());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(app.listStore.Path())));
    ASSERT_EQ(bed.OnDisk().size(), 3u);
    app.list.SetChecked(1, false);
    app.list.SetCaption(2, "renamed");
    app.list.Row(0).trim = {60, 10, 20};
    app.list.NotifyRowChanged(0);
    app.list.SetState(0, pcm::EntryState::Finished);
    std::vector<pcm::ListRow> disk = bed.OnDisk();
    ASSERT_EQ(disk.size(), 3u);
    EXPECT_FALSE(disk[1].checked);
    EXPECT_EQ(disk[2].caption, "renamed");
    EXPECT_EQ(disk[0].trim.begin, 10);
    EXPECT_EQ(disk[0].state, pcm::EntryState::Finished);
    // Progress is shown, not stored: it asks for no write. A change left
    // waiting is written when the store goes away at exit.
    app.list.currentPosition = 2;
    app.list.ShowCurrentProgress(5000);
    app.list.ShowProgress(1, 5000);
    EXPECT_FALSE(app.listStore.Pending());
    app.list.SetState(2, pcm::EntryState::Converting);
    // No temporary file is left beside the list.
    QStringList names = QDir(QString::fromStdString(config)).entryList(QDir::Files);
    EXPECT_EQ(names, QStringList{"popclipmill.list"});
  }
  // One source file went away meanwhile.
  std::remove((media + "/b.wav").c_str());
  {
    StoreBed bed(config);
    pcm::CoreApp& app = *bed.app;
    app.listStore.Restore();
    ASSERT_EQ(app.list.Count(), 3);
    EXPECT_EQ(app.list.Row(0).state, pcm::EntryState::Finished);
    EXPECT_EQ(app.list.Row(0).trim.begin, 10);
    EXPECT_FALSE(app.list.Row(1).checked);
    EXPECT_TRUE(app.list.Row(1).sourceMissing);
    EXPECT_EQ(pcm::StatusText(app.list.Row(1)), "Missing");
    EXPECT_FALSE(app.list.Row(0).sourceMissing);
    EXPECT_EQ(app.list.Row(2).caption, "renamed");
    EXPECT_EQ(app.list.Row(2).state, pcm::EntryState::Waiting);
    EXPECT_EQ(bed.Hint(), "Restored 3 entries from the last session. 1 entry has lost its file.");
    app.list.RemoveAt(1);
    EXPECT_EQ(bed.OnDisk().size(), 2u);
    app.list.Clear();
    EXPECT_EQ(bed.OnDisk().size(), 0u);
  }
  // The other variant keeps a list of its own.
  StoreBed dvd(config, "popclipmill-dvd");
  dvd.app->listStore.Restore();
  EXPECT_EQ(dvd.app->list.Count(), 0);
  EXPECT_NE(dvd.app->listStore.Path(), StoreBed(config).app->listStore.Path());
}

TEST(ListStore, ADamagedFileIsKeptAsideAndAnUnwritableFolderIsReported) {
  std::string config = MakeTempDir("store-damaged");
  std::string path = config + "/popclipmill.list";
  WriteFile(path, "{\"format\":1,\"rows\":[{\"caption\":\"a\"},{\"caption\":");
  {
    StoreBed bed(config);
    bed.app->listStore.Restore();
    EXPECT_EQ(bed.app->list.Count(), 0);
    EXPECT_NE(bed.Hint().find("could not be restored"), std::string::npos) << bed.Hint();
    EXPECT_NE(bed.Hint().find("popclipmill.list.damaged"), std::string::npos) << bed.Hint();
    // The damaged file is kept; the next change writes a new list.
    EXPECT_EQ(ReadFile(path + ".damaged").substr(0, 11), "{\"format\":1");
    bed.app->list.Append(MakeRow("/m/a.mp3", "a"));
    EXPECT_EQ(bed.OnDisk().size(), 1u);
  }
  // A file far larger than any list is refused unread; a named pipe in its
  // place does not keep the start waiting.
  std::remove((path + ".damaged").c_str());
  ASSERT_EQ(truncate(path.c_str(), pcm::ListStore::kMaxFileBytes + 1), 0);
  {
    StoreBed bed(config);
    bed.app->listStore.Restore();
    EXPECT_EQ(bed.app->list.Count(), 0);
    EXPECT_NE(bed.Hint().find("larger than any list file"), std::string::npos) << bed.Hint();
  }
  std::remove(path.c_str());
  std::remove((path + ".damaged").c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  {
    StoreBed bed(config);
    bed.app->listStore.Restore();
    EXPECT_EQ(bed.app->list.Count(), 0);
    EXPECT_NE(bed.Hint().find("not a regular file"), std::string::npos) << bed.Hint();
  }
  // A settings folder that cannot be made: the list still works and the
  // hint says once that it is not kept.
  std::string blocker = MakeTempDir("store-blocked") + "/file";
  WriteFile(blocker, "x");
  StoreBed bed(blocker + "/config");
  bed.app->listStore.Restore();
  bed.app->list.Append(MakeRow("/m/a.mp3", "a"));
  EXPECT_EQ(bed.app->list.Count(), 1);
  bed.app->listStore.Flush();
  EXPECT_EQ(bed.Hint().rfind("The list could not be saved", 0), 0u) << bed.Hint();
  std::string error;
  EXPECT_FALSE(bed.app->listStore.Save(error));
  EXPECT_FALSE(error.empty());
  // The folder made possible, the next change is written and the hint says
  // so instead of the old failure.
  ASSERT_EQ(std::remove(blocker.c_str()), 0);
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(blocker + "/config")));
  bed.app->list.SetCaption(0, "b");
  bed.app->listStore.Flush();
  EXPECT_EQ(bed.Hint().rfind("The list is saved again", 0), 0u) << bed.Hint();
  ASSERT_EQ(bed.OnDisk().size(), 1u);
  EXPECT_EQ(bed.OnDisk()[0].caption, "b");
}

}  // namespace
}  // namespace pcmtest

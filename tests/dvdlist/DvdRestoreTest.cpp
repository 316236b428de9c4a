// DVD rows across a restart, on a disc made by dvdauthor: a new application
// on the same settings folder lists the same rows, which give the encoder,
// the preview and the stills the same input and convert with their chosen
// stream and trim; the chapter view still toggles with its marks; rows whose
// disc has gone come back marked; a row the disc does not list as stored is
// left out while the others come back.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <tuple>

#include "core/Application.h"
#include "dvd/DvdRowSource.h"
#include "queue/ListStore.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

namespace {

namespace fs = std::filesystem;

// The DVD variant on a given settings folder, restored as the window does
// at its start.
struct StoreApp {
  StoreApp(const std::string& config, const std::string& out) {
    setenv("POPCLIPMILL_CONFIG_DIR", config.c_str(), 1);
    app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{
        pcmtest::MakeProgramDir("dvdrestore", "", "popclipmill-dvd"), nullptr, &ui, &system});
    app->settings.LoadSettings();
    app->settings.outputField = out;
    app->profiles.SelectProfile(17);
    app->listStore.Restore();
  }
  int Find(const std::string& caption) const {
    for (int i = 0; i < app->list.Count(); ++i)
      if (app->list.Row(i).caption == caption) return i;
    return -1;
  }
  // What a row gives the encoder (without this run's program folder), the
  // preview and the still writer.
  auto Inputs(int i) {
    const pcm::ListRow& row = app->list.Row(i);
    const pcm::RowSource& source = app->sources.Of(row);
    pcm::intputrec r = source.JobRecord(row, {});
    return std::make_tuple(r.InputFile, r.OutputFile, r.DurationSecs, r.TargetOpt, r.StartOpt, r.LengthOpt,
                           source.Play(row).input, source.StillInput(row));
  }
  std::vector<bool> Checks() const {
    std::vector<bool> checks;
    for (const auto& row : app->list.Rows()) checks.push_back(row.checked);
    return checks;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const auto& row : app->list.Rows()) captions.push_back(row.caption);
    return captions;
  }
  std::string Hint() { return app->display().Text("hint"); }

  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  std::unique_ptr<pcm::CoreApp> app;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

TEST(DvdRestore, RowsConvertAsBeforeTheViewTogglesAndAGoneDiscMarksThem) {
  std::string videoTs = pcmtest::CopyVideoTs("restored disc \xc3\xa9");
  ASSERT_FALSE(videoTs.empty());
  const std::string disc = fs::path(videoTs).parent_path().string();
  const std::string config = pcmtest::MakeTempDir("dvdrestore-config");
  const std::string out = pcmtest::MakeTempDir("dvdrestore-out");

  // The chapter view; the main title with the second audio stream, trimmed
  // to seconds 2-5, and its third chapter with the first stream; the other
  // rows unchecked.
  std::vector<std::string> captions;
  std::vector<bool> checks;
  decltype(std::declval<StoreApp>().Inputs(0)) title, chapter;
  {
    StoreApp a(config, out);
    pcm::CoreApp& app = *a.app;
    app.dvd.ToggleChapterView();
    ASSERT_TRUE(app.dvd.OpenFolderPath(disc));
    const int t = a.Find("Title_01"), c = a.Find("  Chapter_03");
    ASSERT_GE(t, 0);
    ASSERT_EQ(c, t + 3);
    app.list.SelectOnly(t);
    app.dvd.AudioChanged(1);
    ASSERT_TRUE(app.sources.Of(app.list.Row(t)).Trim(app.list.Row(t), 2, 5));
    app.list.NotifyRowChanged(t);
    app.dvd.UncheckAll();
    app.list.SetChecked(t, true);
    app.list.SetChecked(c, true);
    app.list.SelectOnly(c);
    app.dvd.ListClickedEnd();
    captions = a.Captions();
    checks = a.Checks();
    title = a.Inputs(t);
    chapter = a.Inputs(c);
    EXPECT_NE(std::get<0>(title).find("%"), std::string::npos);  // the folder's blank and é, encoded
  }

  {
    StoreApp b(config, out);
    pcm::CoreApp& app = *b.app;
    ASSERT_EQ(b.Captions(), captions);
    EXPECT_EQ(b.Checks(), checks);
    EXPECT_EQ(b.Hint(), "Restored " + std::to_string(captions.size()) + " entries from the last session.");
    const int t = b.Find("Title_01"), c = b.Find("  Chapter_03");
    EXPECT_EQ(b.Inputs(t), title);
    EXPECT_EQ(b.Inputs(c), chapter);
    for (const auto& row : app.list.Rows()) {
      ASSERT_TRUE(row.dvd) << row.caption;
      EXPECT_EQ(pcm::StatusText(row), "Ready") << row.caption;
      EXPECT_FALSE(row.sourceMissing);
    }
    // The rows of one title set share its file record again.
    EXPECT_EQ(app.list.Row(t).dvd->file, app.list.Row(c).dvd->file);
    app.list.SelectOnly(t);
    app.dvd.ListClickedEnd();
    EXPECT_EQ(app.dvd.selectors().audioIndex, 1);
    EXPECT_EQ(app.dvd.selectors().audio.size(), 2u);

    app.batch.StartBatch();
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
    EXPECT_EQ(pcm::StatusText(app.list.Row(t)), "Finish");
    EXPECT_EQ(pcm::StatusText(app.list.Row(c)), "Finish");
    pcmtest::ProbeInfo trimmed = pcmtest::FfprobeFile(out + "/Title_01.mp3");
    ASSERT_TRUE(trimmed.ok);
    EXPECT_NEAR(trimmed.duration, 3, 0.5);
    EXPECT_NEAR(pcmtest::CrossingsPerSecond(out + "/Title_01.mp3", 1), 2 * 880, 80);  // stream 0x81
    pcmtest::ProbeInfo third = pcmtest::FfprobeFile(out + "/Chapter_03.mp3");
    ASSERT_TRUE(third.ok);
    EXPECT_NEAR(third.duration, 3, 0.5);
    EXPECT_NEAR(pcmtest::CrossingsPerSecond(out + "/Chapter_03.mp3", 1), 2 * 440, 80);  // stream 0x80
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator{}), 2);

    // The title view lists the titles alone, all checked; back in the
    // chapter view the marks are those set before the restart.
    app.dvd.ToggleChapterView();
    ASSERT_TRUE(app.run.titleView);
    ASSERT_GT(app.list.Count(), 1);
    for (const auto& row : app.list.Rows()) {
      EXPECT_EQ(row.caption.rfind("Title_", 0), 0u) << row.caption;
      EXPECT_TRUE(row.checked) << row.caption;
    }
    app.dvd.ToggleChapterView();
    EXPECT_EQ(b.Captions(), captions);
    EXPECT_EQ(b.Checks(), checks);
  }

  // The disc folder renamed: every row comes back, marked.
  const std::string moved = disc + " moved";
  fs::rename(disc, moved);
  {
    const std::string nowhere = pcmtest::MakeTempDir("dvdrestore-gone");
    StoreApp c(config, nowhere);
    ASSERT_EQ(c.Captions(), captions);
    for (const auto& row : c.app->list.Rows()) EXPECT_EQ(pcm::StatusText(row), "Missing") << row.caption;
    EXPECT_EQ(c.Hint(), "Restored " + std::to_string(captions.size()) + " entries from the last session. " +
                            std::to_string(captions.size()) + " entries have lost their file.");
    // Converting them fails each checked row and writes nothing.
    pcm::CoreApp& app = *c.app;
    app.batch.StartBatch();
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
    for (const auto& row : app.list.Rows()) {
      if (!row.checked) continue;
      EXPECT_EQ(row.state, pcm::EntryState::Failed) << row.caption;
      ASSERT_EQ(row.failureLines.size(), 2u) << row.caption;
      EXPECT_NE(row.failureLines[0].find("VIDEO_TS does not exist"), std::string::npos)
          << row.failureLines[0];
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(nowhere), fs::directory_iterator{}), 0);
    // The disc is back while the program runs: a missing row that converts
    // is missing no more.
    fs::rename(moved, disc);
    int chapter = -1;
    for (int i = 0; i < app.list.Count(); ++i) {
      const bool pick = chapter < 0 && app.list.Row(i).dvd->chapter;
      if (pick) chapter = i;
      app.list.SetChecked(i, pick);
    }
    ASSERT_GE(chapter, 0);
    app.batch.StartBatch();
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
    EXPECT_EQ(pcm::StatusText(app.list.Row(chapter)), "Finish");
    // A view toggle reads the disc again: the rows it lists there and back
    // are found, none stays marked missing.
    app.dvd.ToggleChapterView();
    app.dvd.ToggleChapterView();
    ASSERT_EQ(c.Captions(), captions);
    for (const auto& row : app.list.Rows()) EXPECT_FALSE(row.sourceMissing) << row.caption;
    fs::rename(disc, moved);
  }

  // Back in place, with two rows changed in the file: one reaching past the
  // title set's last sector (no listing of the disc gives it), one naming
  // an audio stream the disc does not have. Those two are left out; the
  // rest comes back, and what is written next holds only what came back.
  fs::rename(moved, disc);
  const std::string listPath = config + "/popclipmill-dvd.list";
  std::string error;
  auto stored = pcm::DecodeStoredList(ReadText(listPath), error);
  ASSERT_TRUE(stored) << error;
  pcm::DvdRowData& far = *stored->rows[0].dvd;
  far.sectors.back().last += 100000000;
  far.lastSector = far.sectors.back().last;
  stored->rows[1].dvd->audioChoice = 7;
  std::ofstream(listPath, std::ios::binary) << pcm::EncodeList(stored->rows, stored->dvdView);
  {
    StoreApp d(config, out);
    std::vector<std::string> rest(captions.begin() + 2, captions.end());
    EXPECT_EQ(d.Captions(), rest);
    EXPECT_EQ(d.Hint(), "Restored " + std::to_string(rest.size()) +
                            " entries from the last session. 2 entries of a DVD no longer matching the disc "
                            "were left out.");
    for (const auto& row : d.app->list.Rows()) EXPECT_FALSE(row.sourceMissing) << row.caption;
    d.app->list.SetChecked(0, !d.app->list.Row(0).checked);
    d.app->listStore.Flush();
    auto written = pcm::DecodeList(ReadText(listPath), error);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(written->size(), rest.size());
  }
}

// Values no listing gives are left out row by row before any disc is read;
// a sound row whose disc is gone stays, marked. The listing keeps only
// absolute IFO paths for the chapter view.
TEST(DvdRestore, ImpossibleRowsAreLeftOutAndASoundOneStays) {
  const std::string config = pcmtest::MakeTempDir("dvdrestore-hostile");
  const std::string ifo = "/nonexistent-disc/VIDEO_TS/VTS_01_0.IFO";
  auto file = std::make_shared<pcm::DvdFileRecord>(
      pcm::DvdFileRecord{ifo,
                         "/nonexistent-disc/VIDEO_TS",
                         1,
                         {"1: en AC3 2ch (0x80)", "2: de AC3 2ch (0x81)"},
                         {"1: en Subtitle (0x20)"}});
  pcm::ListRow sound;
  sound.caption = "  Chapter_02";
  sound.trim = {3, 4, 5};
  sound.dvd = pcm::DvdRowData{file, true, 1, 2000, 3999, {{2000, 3999}}, 3, 3, 6, 0x81, 0x20, 1, 1};
  using Change = std::function<void(pcm::ListRow&)>;
  auto withFile = [](pcm::ListRow& r, const std::function<void(pcm::DvdFileRecord&)>& change) {
    auto f = std::make_shared<pcm::DvdFileRecord>(*r.dvd->file);
    change(*f);
    r.dvd->file = f;
  };
  const std::vector<Change> changes = {
      [&](pcm::ListRow& r) { withFile(r, [](auto& f) { f.ifoPath = "VIDEO_TS/VTS_01_0.IFO"; }); },
      [&](pcm::ListRow& r) { withFile(r, [](auto& f) { f.ifoPath = "/etc/passwd"; }); },
      [&](pcm::ListRow& r) { withFile(r, [](auto& f) { f.folder = "/etc"; }); },
      [&](pcm::ListRow& r) { withFile(r, [](auto& f) { f.titleSet = 2; }); },
      [&](pcm::ListRow& r) { withFile(r, [](auto& f) { f.audio.clear(); }); },
      [](pcm::ListRow& r) { r.dvd->programChain = 0; },
      [](pcm::ListRow& r) { r.dvd->sectors = {}; },
      [](pcm::ListRow& r) {
        r.dvd->sectors = {{3999, 2000}};
      },
      [](pcm::ListRow& r) { r.dvd->firstSector = 0; },
      [](pcm::ListRow& r) {
        r.dvd->sectors.push_back({4000, 5000});
      },
      [](pcm::ListRow& r) { r.dvd->seconds = 0; },
      [](pcm::ListRow& r) { r.dvd->begin = INT32_MAX, r.dvd->end = INT32_MAX; },
      [](pcm::ListRow& r) { r.dvd->audioId = 0xC0; },
      [](pcm::ListRow& r) { r.dvd->subtitleChoice = 2; },
      [](pcm::ListRow& r) { r.dvd->subtitleId = 0x21; },
      [](pcm::ListRow& r) {
        r.trim = {3, 2, 5};
      },
      [](pcm::ListRow& r) {
        r.trim = {3, 4, 7};
      },
  };
  std::vector<pcm::ListRow> rows;
  for (const Change& change : changes) {
    rows.push_back(sound);
    change(rows.back());
  }
  rows.push_back(sound);
  pcm::DvdViewState view{{"VIDEO_TS/VTS_01_0.IFO", ifo, "/etc/passwd"}, false, {}, std::vector<bool>{false}};
  std::ofstream(config + "/popclipmill-dvd.list", std::ios::binary) << pcm::EncodeList(rows, view);

  StoreApp a(config, pcmtest::MakeTempDir("dvdrestore-hostile-out"));
  ASSERT_EQ(a.app->list.Count(), 1);
  EXPECT_TRUE(a.app->list.Row(0).sourceMissing);
  EXPECT_EQ(a.app->list.Row(0).dvd->audioId, 0x81);
  EXPECT_EQ(a.Hint(), "Restored 1 entry from the last session. 1 entry has lost its file. " +
                          std::to_string(changes.size()) +
                          " entries of a DVD no longer matching the disc were left out.");
  const pcm::DvdViewState kept = a.app->dvd.ViewState();
  EXPECT_EQ(kept.files, std::vector<std::string>{ifo});
  EXPECT_FALSE(kept.titleView);
  EXPECT_EQ(kept.chapterChecks, view.chapterChecks);
}

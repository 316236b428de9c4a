// What a batch leaves in the output folder: a final name only for a good
// output, never a replaced file, never a hidden leftover.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <fstream>

#include "QueueFixture.h"
#include "base/HiddenOutput.h"
#include "engine/EncoderEngine.h"
#include "engine/OutputFiles.h"
#include "queue/BatchDriver.h"

using queuetest::Batch;

namespace {

// Every name in the folder, hidden ones too, sorted.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const QString& n :
       QDir(QString::fromStdString(folder))
           .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
    names.push_back(n.toStdString());
  return names;
}

}  // namespace

// Failed, empty, short and stopped jobs leave no file at all; a good one
// leaves exactly its named file.
TEST(OutputFiles, OnlyAGoodOutputGetsANameAndNothingElseStays) {
  Batch b("leftovers", {"a-half.wav", "b-short.wav", "c-empty.wav", "d-crash.wav", "e.wav"});
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  const char* want[] = {"Failed", "Failed", "Failed", "Failed", "Finish"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(b.Status(i), want[i]) << i;
  const std::vector<std::string> kept{"e.mp3"};
  EXPECT_EQ(Listing(b.out), kept);
  EXPECT_EQ(queuetest::ReadLines(b.out + "/e.mp3"), std::vector<std::string>{"converted"});

  // Each failed row says why first: the cause the encoder's lines give,
  // then the way it ended; or what is wrong with what it wrote.
  const auto& half = b.app().list.Row(0).failureLines;
  ASSERT_EQ(half.size(), 3u);
  EXPECT_EQ(half[0], "Error: disk full");
  EXPECT_EQ(half[1], "The encoder exited with code 1");
  // The encoder named the reserved file; the row shows the final name.
  EXPECT_NE(std::find(half.begin(), half.end(), "Output #0, mp3, to '" + b.out + "/a-half.mp3':"),
            half.end());
  for (const auto& line : half) EXPECT_EQ(line.find(".pcm-"), std::string::npos) << line;
  EXPECT_EQ(b.app().list.Row(1).failureLines.front(), "The output is 3.0 s of 10.0 s");
  EXPECT_EQ(b.app().list.Row(3).failureLines.front(), "The encoder was killed by signal 9 (Killed)");

  // A stopped job's partial file goes as well.
  ASSERT_TRUE(b.app().listCommands.AddFileEntry(queuetest::FakeMedia(b.media, "f-wait.wav")));
  for (int i = 0; i < 5; ++i) b.app().list.SetChecked(i, false);
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("f-wait.wav"));
  EXPECT_EQ(Listing(b.out).size(), 2u);  // the reserved file is there while it runs
  b.app().batch.StopBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(5), "Stop");
  EXPECT_EQ(Listing(b.out), kept);
}

// Hidden outputs of a run that was killed outright (its lock went with it)
// go when a batch next writes to their folder; one another writer holds
// (even in this process), another user's, a link or a folder of that form
// stays, and so does a person's file that only looks like one, through
// every later batch.
TEST(OutputFiles, LeftoversOfAKilledRunGoAndLiveOnesStay) {
  Batch b("leftovers-gone", {"a.wav", "b.wav"});
  pcm::HiddenOutput gone = pcm::CreateHiddenOutput(b.out + "/gone.mp3");
  ASSERT_GE(gone.fd, 0);
  close(gone.fd);
  pcm::HiddenOutput live = pcm::CreateHiddenOutput(b.out + "/live.mp3");
  ASSERT_GE(live.fd, 0);
  const std::string liveName = live.path.substr(b.out.size() + 1);
  ASSERT_EQ(symlink(gone.path.c_str(), (b.out + "/.link.pcm-AAAAAA.mp3").c_str()), 0);
  ASSERT_EQ(mkdir((b.out + "/.dir.pcm-BBBBBB.mp3").c_str(), 0755), 0);
  std::vector<std::string> kept{".link.pcm-AAAAAA.mp3", liveName};
  for (const char* name : {".take1.pcm-stereo.wav", ".mix.pcm-master.flac", ".notes.pcm-backup.txt"}) {
    queuetest::WriteFile(b.out + "/" + name, "a person's own");
    kept.push_back(name);
  }
  if (geteuid() == 0) {
    queuetest::WriteFile(b.out + "/.theirs.pcm-CCCCCC.mp3", "another user's");
    ASSERT_EQ(chown((b.out + "/.theirs.pcm-CCCCCC.mp3").c_str(), 65534, 65534), 0);
    kept.push_back(".theirs.pcm-CCCCCC.mp3");
  }
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  kept.insert(kept.end(), {"a.mp3", "b.mp3"});
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Listing(b.out), kept);
  EXPECT_TRUE(queuetest::Exists(b.out + "/.dir.pcm-BBBBBB.mp3"));
  // A finished result no longer carries the mark of an unfinished one.
  const int result = open((b.out + "/a.mp3").c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_TRUE(pcm::MarkedHiddenOutput(live.fd));
  EXPECT_FALSE(pcm::MarkedHiddenOutput(result));
  close(result);
  // Its writer gone, the next batch removes it.
  close(live.fd);
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_FALSE(queuetest::Exists(live.path));
  EXPECT_TRUE(queuetest::Exists(b.out + "/a_1.mp3"));
  for (const char* name : {".take1.pcm-stereo.wav", ".mix.pcm-master.flac", ".notes.pcm-backup.txt"})
    EXPECT_EQ(queuetest::ReadLines(b.out + "/" + name), std::vector<std::string>{"a person's own"}) << name;
}

// Another program takes the planned name while the encoder runs: its file
// stays and the output gets the next free name, also on the next entry.
TEST(OutputFiles, ANameTakenWhileConvertingIsNotReplaced) {
  Batch b("taken-meanwhile", {"clip-wait.wav", "clip-wait.avi"});
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("clip-wait.wav"));
  EXPECT_EQ(b.app().list.Row(0).outputFile, b.out + "/clip-wait.mp3");
  queuetest::WriteFile(b.out + "/clip-wait.mp3", "someone else's");
  queuetest::WriteFile(b.out + "/clip-wait_1.mp3", "and this too");
  b.Release("clip-wait.wav");
  ASSERT_TRUE(b.WaitStarted("clip-wait.avi"));
  b.Release("clip-wait.avi");
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  EXPECT_EQ(b.Status(1), "Finish");
  EXPECT_EQ(b.app().list.Row(0).outputFile, b.out + "/clip-wait_2.mp3");
  EXPECT_EQ(b.app().list.Row(1).outputFile, b.out + "/clip-wait_3.mp3");
  EXPECT_EQ(queuetest::ReadLines(b.out + "/clip-wait.mp3"), std::vector<std::string>{"someone else's"});
  EXPECT_EQ(queuetest::ReadLines(b.out + "/clip-wait_1.mp3"), std::vector<std::string>{"and this too"});
  EXPECT_EQ(Listing(b.out).size(), 4u);
}

// The source itself is never an output, whatever spelling of its folder
// the output field uses, and a dangling link's name is taken too.
TEST(OutputFiles, TheSourceAndDanglingLinksAreTaken) {
  Batch b("self", {});
  std::string song = queuetest::FakeMedia(b.media, "song.mp3");
  ASSERT_TRUE(b.app().listCommands.AddFileEntry(song));
  ASSERT_EQ(symlink(b.media.c_str(), (b.out + "/link").c_str()), 0);
  b.app().settings.outputField = b.out + "/link/.";
  EXPECT_EQ(b.app().options.OutputFilePath(b.app().list.Row(0)), b.out + "/link/./song_1.mp3");
  ASSERT_EQ(symlink("/nowhere/at/all", (b.media + "/song_1.mp3").c_str()), 0);
  EXPECT_EQ(b.app().options.OutputFilePath(b.app().list.Row(0)), b.out + "/link/./song_2.mp3");
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  EXPECT_EQ(queuetest::ReadLines(song), std::vector<std::string>{"media"});
  EXPECT_EQ(queuetest::ReadLines(b.media + "/song_2.mp3"), std::vector<std::string>{"converted"});
}

// A file where the output folder should be, or a folder that cannot be
// written: each entry fails with the reason, at once.
TEST(OutputFiles, AnOutputFolderThatCannotTakeFiles) {
  Batch b("not-a-folder", {"a.wav", "b.wav"});
  queuetest::WriteFile(b.out + "/file", "a file");
  b.app().settings.outputField = b.out + "/file";
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(b.Status(i), "Failed");
    ASSERT_EQ(b.app().list.Row(i).failureLines.size(), 1u);
    EXPECT_EQ(b.app().list.Row(i).failureLines[0],
              "cannot write in the output folder " + b.out + "/file/: Not a directory");
  }
  EXPECT_TRUE(b.f.Calls().empty());
}

// The rules that decide a finished job's fate, at their edges.
TEST(OutputFiles, FailureReasons) {
  std::string dir = pcmtest::MakeTempDir("reasons");
  std::string file = dir + "/out.mp3";
  queuetest::WriteFile(file, "data");
  pcm::JobOutcome ok;
  ok.started = ok.exited = true;
  ok.exitCode = 0;
  auto reason = [&](double written, int expected) {
    pcm::JobOutcome o = ok;
    o.reportedSeconds = written;
    return pcm::BatchDriver::FailureReason(o, file, "shown.mp3", expected);
  };
  EXPECT_EQ(reason(-1, 600), "");  // no report: nothing to judge by
  EXPECT_EQ(reason(5.0, 6), "");   // one second short is within bounds
  EXPECT_EQ(reason(9.0, 10), "");  // so is a tenth
  EXPECT_EQ(reason(90.5, 100), "");
  EXPECT_EQ(reason(2.1, 6), "The output is 2.1 s of 6.0 s");
  EXPECT_EQ(reason(89.0, 100), "The output is 89.0 s of 100.0 s");
  EXPECT_EQ(reason(0.04, 0), "");  // a one-frame clip
  EXPECT_EQ(pcm::BatchDriver::FailureReason(ok, dir + "/none.mp3", "shown.mp3", 6),
            "No output was written to shown.mp3");
  queuetest::WriteFile(file, "");
  EXPECT_EQ(pcm::BatchDriver::FailureReason(ok, file, "shown.mp3", 0), "No output was written to shown.mp3");

  pcm::JobOutcome o = ok;
  o.exitCode = 137;  // the adapter's word for a program of its killed by SIGKILL
  EXPECT_EQ(pcm::BatchDriver::EndLine(o),
            "The encoder exited with code 137 (the program it ran was killed by signal 9, Killed)");
  o.exitCode = 255;
  EXPECT_EQ(pcm::BatchDriver::EndLine(o), "The encoder exited with code 255");
  o.exited = false;
  o.termSignal = SIGSEGV;
  EXPECT_EQ(pcm::BatchDriver::EndLine(o), "The encoder was killed by signal 11 (Segmentation fault)");
  o.stoppedByUser = true;
  EXPECT_EQ(pcm::BatchDriver::EndLine(o), "");
}

// The reserved name keeps the extension (the encoder picks the container
// by it) and fits where the final name fits.
TEST(OutputFiles, ReservedNames) {
  std::string dir = pcmtest::MakeTempDir("reserve");
  std::string error;
  std::string t = pcm::ReserveTemporaryOutput(dir + "/movie.final.mp4", error);
  ASSERT_FALSE(t.empty()) << error;
  EXPECT_EQ(t.rfind(dir + "/.movie.final.pcm-", 0), 0u) << t;
  EXPECT_EQ(t.substr(t.size() - 4), ".mp4");
  std::string longName(251, 'x');
  std::string u = pcm::ReserveTemporaryOutput(dir + "/" + longName + ".mp4", error);
  ASSERT_FALSE(u.empty()) << error;
  EXPECT_EQ(u.size() - dir.size() - 1, 255u);
  EXPECT_EQ(u.substr(u.size() - 4), ".mp4");
  EXPECT_TRUE(pcm::ReserveTemporaryOutput(dir + "/missing/a.mp3", error).empty());
  EXPECT_NE(error.find("cannot write in the output folder " + dir + "/missing/"), std::string::npos) << error;

  // Naming gives up on a name only for a free alternative.
  queuetest::WriteFile(dir + "/a.mp3", "old");
  std::string named = pcm::MoveToFinalName(
      t, dir + "/a.mp3", [&](int n) { return dir + "/a_" + std::to_string(n) + ".mp3"; }, error);
  EXPECT_EQ(named, dir + "/a_1.mp3");
  EXPECT_EQ(queuetest::ReadLines(dir + "/a.mp3"), std::vector<std::string>{"old"});
  EXPECT_TRUE(pcm::MoveToFinalName(u, dir + "/a.mp3", {}, error).empty());
  EXPECT_TRUE(queuetest::Exists(u));
}

// A folder holding another run's unfinished output: that file is not media
// to convert, whatever its extension; look-alike names are. A name that is
// not UTF-8 reaches its output byte for byte.
TEST(OutputFiles, FolderAddsSkipReservedNamesAndKeepNameBytes) {
  Batch b("reserved-in-folder", {});
  for (const char* n :
       {".long.pcm-JAWA8E.mp3", ".x.pcm-AbC123", ".x.pcm-AbC12.wav", ".hidden.pcm-ABCDEF.x.mp3"})
    queuetest::FakeMedia(b.media, n);
  // Written by its bytes: the helper's file names go through UTF-16.
  std::ofstream(b.media + "/bad\xff\xfe.wav") << "media";
  std::ofstream(b.media + "/bad\xff\xfe.wav.probe") << queuetest::Description("1000", "872", "128");
  EXPECT_TRUE(pcm::IsReservedOutputName(".long.pcm-JAWA8E.mp3"));
  EXPECT_TRUE(pcm::IsReservedOutputName(".x.pcm-AbC123"));
  EXPECT_FALSE(pcm::IsReservedOutputName("x.pcm-AbC123.mp3"));   // not hidden
  EXPECT_FALSE(pcm::IsReservedOutputName(".x.pcm-AbC12.wav"));   // five marks
  EXPECT_FALSE(pcm::IsReservedOutputName(".x.pcm-AbC1-3.wav"));  // not a letter or digit
  EXPECT_FALSE(pcm::IsReservedOutputName(".hidden.pcm-ABCDEF.x.mp3"));
  EXPECT_EQ(b.app().listCommands.AddFolderPath(b.media), 0);
  std::vector<std::string> added;
  for (int i = 0; i < b.app().list.Count(); ++i) added.push_back(b.app().list.Row(i).caption);
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, (std::vector<std::string>{".hidden.pcm-ABCDEF.x", ".x.pcm-AbC12", "bad\xff\xfe"}));

  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(b.Status(i), "Finish") << b.app().list.Row(i).outputFile;
  struct stat st;
  EXPECT_EQ(lstat((b.out + "/bad\xff\xfe.mp3").c_str(), &st), 0);
  // Titles that start with a dot give visible names.
  EXPECT_TRUE(queuetest::Exists(b.out + "/_x.pcm-AbC12.mp3"));
  EXPECT_TRUE(queuetest::Exists(b.out + "/_hidden.pcm-ABCDEF.x.mp3"));
  // The test folders' cleanup reads names as UTF-8: these go here.
  for (const std::string& p :
       {b.media + "/bad\xff\xfe.wav", b.media + "/bad\xff\xfe.wav.probe", b.out + "/bad\xff\xfe.mp3"})
    EXPECT_EQ(unlink(p.c_str()), 0) << p;
}

// The output folder field edited in the middle of a batch is checked for
// each entry: a name with a control character fails that entry, and no such
// folder is made.
TEST(OutputFiles, OutputFolderEditedWhileConverting) {
  Batch b("edited-folder", {"a-wait.wav", "b.wav"});
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("a-wait.wav"));
  b.app().settings.outputField = b.out + "/x\x1bX";
  b.Release("a-wait.wav");
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  EXPECT_EQ(b.Status(1), "Failed");
  ASSERT_EQ(b.app().list.Row(1).failureLines.size(), 1u);
  EXPECT_NE(b.app().list.Row(1).failureLines[0].find("control character"), std::string::npos);
  EXPECT_FALSE(queuetest::Exists(b.out + "/x\x1bX"));
  EXPECT_EQ(b.app().settings.outputDirectory, b.out + "/");
  EXPECT_EQ(b.f.Calls().size(), 1u);
}

// A folder added with its subfolders kept: every output lands in its
// source's folder below the output folder, made as needed, so same-named
// tracks of two albums need no "_1"; folder names keep their bytes and a
// hidden one shows. A subfolder the output folder cannot hold fails its own
// entry only. Skipping existing outputs, the next batch converts nothing,
// and a list filled again as the front end fills it probes only what is
// new; two entries of one name in one batch are numbered, not skipped.
TEST(OutputFiles, KeptSubfoldersAndSkippedEntries) {
  Batch b("kept-tree", {});
  const std::string odd = "sp 'q' \"d\"\nnl\xff";
  for (const std::string& sub :
       std::vector<std::string>{"/A", "/B", "/.hid", "/blocked", "/C", "/D", "/" + odd})
    ASSERT_EQ(mkdir((b.media + sub).c_str(), 0755), 0) << sub;
  for (const char* n : {"A/01 Intro.wav", "B/01 Intro.wav", ".hid/h.wav", "blocked/c.wav", "x.wav"})
    queuetest::FakeMedia(b.media, n);
  // Written by its bytes: the helper's file names go through UTF-16.
  std::ofstream(b.media + "/" + odd + "/t.wav") << "media";
  std::ofstream(b.media + "/" + odd + "/t.wav.probe") << queuetest::Description("1000", "872", "128");
  queuetest::WriteFile(b.out + "/blocked", "a person's file");
  pcm::CoreApp& app = b.app();
  app.settings.keepFolders = true;
  ASSERT_EQ(app.listCommands.AddFolderPath(b.media), 0);
  std::vector<std::string> subfolders;
  for (const auto& r : app.list.Rows()) subfolders.push_back(r.outputSubfolder);
  EXPECT_EQ(subfolders, (std::vector<std::string>{".hid/", "A/", "B/", "blocked/", odd + "/", ""}));
  app.batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  const std::string outputs[] = {b.out + "/_hid/h.mp3",        b.out + "/A/01 Intro.mp3",
                                 b.out + "/B/01 Intro.mp3",    "",
                                 b.out + "/" + odd + "/t.mp3", b.out + "/x.mp3"};
  struct stat st;
  for (int i : {0, 1, 2, 4, 5}) {
    EXPECT_EQ(b.Status(i), "Finish") << i;
    EXPECT_EQ(app.list.Row(i).outputFile, outputs[i]);
    EXPECT_EQ(lstat(outputs[i].c_str(), &st), 0) << outputs[i];
  }
  EXPECT_EQ(b.Status(3), "Failed");
  EXPECT_EQ(app.list.Row(3).failureLines, std::vector<std::string>{b.out + "/blocked is not a folder"});
  EXPECT_EQ(queuetest::ReadLines(b.out + "/blocked"), std::vector<std::string>{"a person's file"});
  // Five conversions; the log's lines split the name with a line break.
  const size_t converted = b.f.Calls().size();
  EXPECT_EQ(converted, 6u);

  // Again, skipping: nothing runs, each row names the file that is there.
  app.settings.skipExisting = true;
  queuetest::WriteFile(b.out + "/A/01 Intro.mp3", "kept");
  app.batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  for (int i : {0, 1, 2, 4, 5}) {
    EXPECT_EQ(b.Status(i), "Skipped") << i;
    EXPECT_EQ(app.list.Row(i).outputFile, outputs[i]);
  }
  EXPECT_EQ(b.Status(3), "Failed");
  EXPECT_EQ(b.f.Calls().size(), converted);
  EXPECT_EQ(queuetest::ReadLines(b.out + "/A/01 Intro.mp3"), std::vector<std::string>{"kept"});

  // Filled again with a new file, skipping before probing: only the new
  // file and the one without an output are probed, and the new one is the
  // only conversion.
  queuetest::FakeMedia(b.media, "B/02 New.wav");
  app.list.Clear();
  const size_t probed = b.f.Probes().size();
  app.listCommands.unprobedSkipHook = [&](const pcm::ListRow& r) { return app.batch.SkippedOutput(r); };
  ASSERT_EQ(app.listCommands.AddFolderPath(b.media), 0);
  ASSERT_EQ(app.list.Count(), 7);
  std::vector<std::string> probes = b.f.Probes();
  probes.erase(probes.begin(), probes.begin() + long(probed));
  std::sort(probes.begin(), probes.end());
  EXPECT_EQ(probes, (std::vector<std::string>{b.media + "/B/02 New.wav", b.media + "/blocked/c.wav"}));
  EXPECT_EQ(b.Status(2), "Skipped");
  EXPECT_FALSE(app.list.Row(2).checked);
  EXPECT_EQ(app.list.Row(2).outputFile, outputs[2]);
  app.batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(3), "Finish");
  EXPECT_EQ(app.list.Row(3).outputFile, b.out + "/B/02 New.mp3");
  EXPECT_EQ(b.Status(4), "Failed");
  EXPECT_EQ(b.f.Calls().size(), converted + 1);

  // One name twice in one batch, flat: the second is numbered.
  app.listCommands.unprobedSkipHook = nullptr;
  app.list.Clear();
  for (const char* n : {"C/dup.wav", "D/dup.wav"})
    ASSERT_TRUE(app.listCommands.AddFileEntry(queuetest::FakeMedia(b.media, n)));
  app.batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(app.list.Row(0).outputFile, b.out + "/dup.mp3");
  EXPECT_EQ(app.list.Row(1).outputFile, b.out + "/dup_1.mp3");
  EXPECT_EQ(b.Status(1), "Finish");

  // The test folders' cleanup reads names as UTF-8: these go here.
  for (const std::string& p :
       {b.media + "/" + odd + "/t.wav", b.media + "/" + odd + "/t.wav.probe", outputs[4]})
    EXPECT_EQ(unlink(p.c_str()), 0) << p;
  for (const std::string& p : {b.media + "/" + odd, b.out + "/" + odd}) EXPECT_EQ(rmdir(p.c_str()), 0) << p;
}

// The job file of --export-jobs, run by the real GNU parallel: the same
// outputs as the batch, awkward names, failures that say so and leave no
// file under a final name, and a failed run completed with --resume-failed.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>

#include "cli/CliSupport.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

bool HaveParallel() { return pcmtest::RunShell("parallel --version >/dev/null 2>&1") == 0; }

std::string Copy(const std::string& from, const std::string& to) {
  EXPECT_TRUE(QFile::copy(QString::fromStdString(from), QString::fromStdString(to))) << to;
  return to;
}

// The front end; the DVD variant is the same program under its own name.
Result RunFront(const std::string& args, const std::string& program = Program()) {
  static std::string config = pcmtest::MakeTempDir("cli-export-config");
  Result r;
  r.status = pcmtest::RunShell(
      "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " + ShellQuote(program) + " " + args + " 2>&1",
      &r.out);
  return r;
}

// Runs a job file with parallel from the shell the tests use.
Result RunParallel(const std::string& jobs, const std::string& extra = "") {
  Result r;
  r.status = pcmtest::RunShell("parallel --jobs 2 " + extra + " < " + ShellQuote(jobs) + " 2>&1", &r.out);
  return r;
}

// Every file of a folder, hidden ones too, with its duration (-1 when it is
// no media file).
std::map<std::string, double> Outputs(const std::string& folder) {
  std::map<std::string, double> found;
  for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden)) {
    auto info = pcmtest::FfprobeFile(folder + "/" + name.toStdString());
    found[name.toStdString()] = info.ok ? double(int(info.duration * 10 + 0.5)) / 10 : -1;
  }
  return found;
}

// The hidden names of a folder (links and folders too).
std::vector<std::string> HiddenFiles(const std::string& folder) {
  std::vector<std::string> found;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* e = readdir(dir))
      if (e->d_name[0] == '.' && std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        found.emplace_back(e->d_name);
    closedir(dir);
  }
  return found;
}

// A stand-in for ffmpeg, first in line through POPCLIPMILL_FFMPEG: a shell
// script that ends by running the real one.
std::string StandIn(const std::string& tag, const std::string& script) {
  std::string path = pcmtest::MakeTempDir(tag) + "/ffmpeg";
  WriteAll(path, "#!/bin/sh\n" + script + "\n");

  EXPECT_EQ(chmod(path.c_str(), 0755), 0);
  return path;
}

// A job line run by sh in a session of its own, as parallel or a terminal
// runs it, so that a signal can reach its whole process group.
struct RunningLine {
  RunningLine(const std::string& line, const std::string& encoder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("POPCLIPMILL_FFMPEG", QString::fromStdString(encoder));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setChildProcessModifier([] { setsid(); });
    p.start("sh", {"-c", QString::fromStdString(line)});
    group = p.processId();
  }
  ~RunningLine() {
    Signal(SIGKILL);
    p.waitForFinished();
  }
  void Signal(int sig) { kill(-pid_t(group), sig); }
  // Waits until every process of the line has ended, the shell and what it
  // started.
  bool Ended() {
    return p.waitForFinished(60000) &&
           pcmtest::WaitUntil([&] { return kill(-pid_t(group), 0) != 0 && errno == ESRCH; }, 60000);
  }
  QProcess p;
  qint64 group = 0;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

}  // namespace

// Entries of different lengths, two of one name, and an output name taken
// before: the job file run by parallel writes what the batch writes, and
// leaves no temporary file.
TEST(CliExport, ParallelWritesWhatTheBatchWrites) {
  if (!HaveParallel()) GTEST_SKIP() << "GNU parallel is not installed";
  std::string src = pcmtest::MakeTempDir("cli-export-src");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(src + "/other")));
  std::string args = " --profile 17 --trim 0-2 ";
  for (auto [kind, seconds, name] : {std::tuple{"wav", 3, "/one.wav"},
                                     {"ogg", 1, "/two.ogg"},
                                     {"wav", 1, "/other/one.wav"},
                                     {"mp4", 2, "/taken.mp4"}})
    args += ShellQuote(Copy(pcmtest::MakeMedia(kind, seconds), src + name)) + " ";

  std::string batchOut = pcmtest::MakeTempDir("cli-export-batch");
  std::string jobsOut = pcmtest::MakeTempDir("cli-export-jobs");
  std::string atOnceOut = pcmtest::MakeTempDir("cli-export-at-once");
  for (const std::string& out : {batchOut, jobsOut, atOnceOut})
    WriteAll(out + "/taken.mp3", "a person's file");
  Result batch = RunFront("--batch --output " + ShellQuote(batchOut) + args);
  ASSERT_EQ(batch.status, 0) << batch.out;
  // Three at a time: the same names, never one name written by two jobs.
  Result atOnce = RunFront("--batch --jobs 3 --output " + ShellQuote(atOnceOut) + args);
  ASSERT_EQ(atOnce.status, 0) << atOnce.out;

  std::string jobs = pcmtest::MakeTempDir("cli-export-file") + "/jobs.txt";
  Result exported =
      RunFront("--batch --output " + ShellQuote(jobsOut) + " --export-jobs " + ShellQuote(jobs) + args);
  ASSERT_EQ(exported.status, 0) << exported.out;
  EXPECT_TRUE(Contains(exported.out, "4 jobs written to")) << exported.out;
  std::string text = ReadAll(jobs);
  ASSERT_EQ(Lines(text).size(), 4u) << text;
  for (const std::string& line : Lines(text)) {
    EXPECT_EQ(line.rfind("'/", 0), 0u) << line;  // the adapter by its absolute path
    EXPECT_TRUE(Contains(line, "' '--new-output' ")) << line;
    EXPECT_TRUE(Contains(line, "'-i' '" + src + "/")) << line;  // absolute input
  }
  // Exporting converts nothing.
  EXPECT_EQ(Outputs(jobsOut), (std::map<std::string, double>{{"taken.mp3", -1}}));

  Result run = RunParallel(jobs);
  EXPECT_EQ(run.status, 0) << run.out;
  std::map<std::string, double> expected{// The MP4's sound converted whole: its priming and last frame too.
                                         {"one.mp3", 2},
                                         {"two.mp3", 1},
                                         {"one_1.mp3", 1},
                                         {"taken_1.mp3", 2.1},
                                         {"taken.mp3", -1}};
  EXPECT_EQ(Outputs(batchOut), expected);
  EXPECT_EQ(Outputs(jobsOut), expected);
  EXPECT_EQ(Outputs(atOnceOut), expected);
  EXPECT_EQ(ReadAll(jobsOut + "/taken.mp3"), "a person's file");
  EXPECT_EQ(ReadAll(atOnceOut + "/taken.mp3"), "a person's file");

  // The job file is never written over, and "-" writes it to standard output.
  Result again =
      RunFront("--batch --output " + ShellQuote(jobsOut) + " --export-jobs " + ShellQuote(jobs) + args);
  EXPECT_EQ(again.status, 1) << again.out;
  EXPECT_TRUE(Contains(again.out, "cannot be written: it exists already")) << again.out;
  EXPECT_EQ(ReadAll(jobs), text);
  Result out = RunFront("--batch --output " + ShellQuote(jobsOut) + " --export-jobs -" + args);
  EXPECT_EQ(out.status, 0) << out.out;
  EXPECT_EQ(Lines(out.out).size(), 4u) << out.out;
  EXPECT_TRUE(Contains(out.out, "one_2.mp3'")) << out.out;  // the names the first run took are taken
}

// Names a shell, ffmpeg or parallel could read as something else: blanks,
// quotes, '$', a leading '-', '{}', ';', '&', a backslash, non-ASCII.
TEST(CliExport, AwkwardNamesRunCorrectly) {
  if (!HaveParallel()) GTEST_SKIP() << "GNU parallel is not installed";
  std::string src = pcmtest::MakeTempDir("cli-export-awkward");
  std::string out = pcmtest::MakeTempDir("cli-export-awkward-out") + "/out $HOME 'q'";
  const std::vector<std::string> names{"a b.wav",         "it's.wav",        "say \"hi\".wav",
                                       "$HOME.wav",       "-dash.wav",       "{} {.}.wav",
                                       "x; rm y & z.wav", "back\\slash.wav", "ünïcødé 音.wav"};
  std::string args;
  for (const std::string& n : names)
    args += " " + ShellQuote(Copy(pcmtest::MakeMedia("wav", 1), src + "/" + n));
  std::string jobs = src + "/jobs for 'me'.txt";
  Result exported = RunFront("--batch --profile 17 --output " + ShellQuote(out) + " --export-jobs " +
                             ShellQuote(jobs) + " --" + args);
  ASSERT_EQ(exported.status, 0) << exported.out;
  Result run = RunParallel(jobs);
  EXPECT_EQ(run.status, 0) << run.out;
  std::map<std::string, double> expected;
  for (const std::string& n : names) expected[n.substr(0, n.size() - 4) + ".mp3"] = 1;
  EXPECT_EQ(Outputs(out), expected);

  // A line break cannot be written into a one-job-a-line file: that entry is
  // named and fails the export; the others are written.
  std::string broken = Copy(pcmtest::MakeMedia("wav", 1), src + "/new\nline.wav");
  std::string more = src + "/more jobs.txt";
  Result refused = RunFront("--batch --profile 17 --output " + ShellQuote(out) + " --export-jobs " +
                            ShellQuote(more) + " " + ShellQuote(broken) + " " + ShellQuote(src + "/a b.wav"));
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_TRUE(Contains(refused.out, "new\\nline.wav: a name with a line break")) << refused.out;
  EXPECT_EQ(Lines(ReadAll(more)).size(), 1u);
}

// A job whose input has gone fails with a non-zero status and leaves
// nothing; one whose name was taken meanwhile leaves that file alone. The
// job log and --resume-failed complete the run once the cause is gone.
TEST(CliExport, FailedJobsSaySoAndCanBeResumed) {
  if (!HaveParallel()) GTEST_SKIP() << "GNU parallel is not installed";
  std::string src = pcmtest::MakeTempDir("cli-export-fail");
  std::string out = pcmtest::MakeTempDir("cli-export-fail-out");
  std::string clip = pcmtest::MakeMedia("wav", 1);
  for (const char* n : {"/ok.wav", "/gone.wav", "/raced.wav"}) Copy(clip, src + n);
  std::string jobs = src + "/jobs.txt";
  Result exported = RunFront("--batch --profile 17 --output " + ShellQuote(out) + " --export-jobs " +
                             ShellQuote(jobs) + " " + ShellQuote(src));
  ASSERT_EQ(exported.status, 0) << exported.out;
  ASSERT_TRUE(
      QFile::rename(QString::fromStdString(src + "/gone.wav"), QString::fromStdString(src + "/away")));
  WriteAll(out + "/raced.mp3", "came first");

  std::string log = src + "/joblog";
  Result run = RunParallel(jobs, "--joblog " + ShellQuote(log));
  EXPECT_EQ(run.status, 2) << run.out;  // parallel counts the failed jobs
  EXPECT_EQ(Outputs(out), (std::map<std::string, double>{{"ok.mp3", 1}, {"raced.mp3", -1}}));
  EXPECT_EQ(ReadAll(out + "/raced.mp3"), "came first");

  ASSERT_TRUE(
      QFile::rename(QString::fromStdString(src + "/away"), QString::fromStdString(src + "/gone.wav")));
  ASSERT_TRUE(QFile::remove(QString::fromStdString(out + "/raced.mp3")));
  ASSERT_TRUE(QFile::remove(QString::fromStdString(out + "/ok.mp3")));
  Result resumed = RunParallel(jobs, "--joblog " + ShellQuote(log) + " --resume-failed");
  EXPECT_EQ(resumed.status, 0) << resumed.out;
  // Only the failed jobs ran again: the finished one is not redone.
  EXPECT_EQ(Outputs(out), (std::map<std::string, double>{{"gone.mp3", 1}, {"raced.mp3", 1}}));
}

// A job line writes only into a hidden file it makes itself, never where
// anything exists. A link another user puts in that file's place while it
// is written is not written through and the line fails, the link's target
// untouched. A line ended by a signal (parallel's --timeout, Ctrl-C, a
// closed terminal, a stop) leaves no hidden file. One killed outright
// leaves its file to the next batch into that folder, which removes it,
// while the file of a line still writing stays.
TEST(CliExport, JobLinesWriteOnlyTheirOwnFileAndLeaveNothingWhenStopped) {
  std::string src = pcmtest::MakeTempDir("cli-export-hostile");
  std::string out = pcmtest::MakeTempDir("cli-export-hostile-out");
  std::string song = Copy(pcmtest::MakeMedia("wav", 30), src + "/song.wav");
  std::string jobs = src + "/jobs";
  Result exported = RunFront("--batch --profile 17 --output " + ShellQuote(out) + " --export-jobs " +
                             ShellQuote(jobs) + " " + ShellQuote(song));
  ASSERT_EQ(exported.status, 0) << exported.out;
  const std::string line = Lines(ReadAll(jobs)).at(0);
  EXPECT_EQ(line.rfind(ShellQuote(pcmtest::BinDir() + "/register.dat") + " '--new-output' ", 0), 0u) << line;
  EXPECT_FALSE(Contains(line, ".pcm-")) << line;  // the hidden name is made when the line runs

  // The neighbour's move, made by the stand-in just before ffmpeg opens its
  // output: the hidden file is replaced by a link to a victim, one that
  // exists and one that does not yet.
  const std::string victim = src + "/victim", absent = src + "/absent";
  WriteAll(victim, "a root-owned file");
  for (const std::string& target : {victim, absent}) {
    SCOPED_TRACE(target);
    std::string hostile =
        StandIn("cli-export-link", "hidden=$(readlink /proc/self/fd/3)\nrm -f \"$hidden\" && ln -s " +
                                       ShellQuote(target) + " \"$hidden\"\nexec ffmpeg \"$@\"");
    Result r;
    r.status = pcmtest::RunShell("POPCLIPMILL_FFMPEG=" + ShellQuote(hostile) + " " + line + " 2>&1", &r.out);
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "was replaced while it was written")) << r.out;
    EXPECT_EQ(ReadAll(victim), "a root-owned file");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(absent)));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out + "/song.mp3")));
    // The link is the neighbour's: it stays where it was put.
    std::vector<std::string> left = HiddenFiles(out);
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(unlink((out + "/" + left[0]).c_str()), 0);
  }

  // Lines ended by a signal while ffmpeg converts at the input's pace; the
  // stand-in says when it hands over to ffmpeg.
  // Beside the output: the adapter and what it starts write nowhere else.
  const std::string started = out + "/started";
  const std::string slow =
      StandIn("cli-export-slow", "touch " + ShellQuote(started) + "\nexec ffmpeg -re \"$@\"");
  auto writing = [&] {
    if (!QFile::remove(QString::fromStdString(started))) return false;
    EXPECT_EQ(HiddenFiles(out).size(), 1u);
    return true;
  };
  for (int sig : {SIGINT, SIGHUP, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    RunningLine job(line, slow);
    ASSERT_TRUE(pcmtest::WaitUntil(writing, 60000));
    job.Signal(sig);
    ASSERT_TRUE(job.Ended());
    EXPECT_NE(job.p.exitCode(), 0);
    EXPECT_EQ(Outputs(out), (std::map<std::string, double>{})) << job.p.readAll().toStdString();
  }
  if (HaveParallel()) {
    Result timedOut;
    timedOut.status = pcmtest::RunShell(
        "POPCLIPMILL_FFMPEG=" + ShellQuote(slow) + " parallel --timeout 2 < " + ShellQuote(jobs) + " 2>&1",
        &timedOut.out);
    EXPECT_EQ(timedOut.status, 1) << timedOut.out;
    QFile::remove(QString::fromStdString(started));
    EXPECT_EQ(Outputs(out), (std::map<std::string, double>{})) << timedOut.out;
  }

  // Killed outright: its hidden file stays, unlocked. Another line writes
  // meanwhile; a batch into the folder removes the first file only.
  std::string stale;
  QFile::remove(QString::fromStdString(started));  // parallel's line started too
  {
    RunningLine killed(line, slow);
    ASSERT_TRUE(pcmtest::WaitUntil(writing, 60000));
    stale = HiddenFiles(out).at(0);
    killed.Signal(SIGKILL);
    ASSERT_TRUE(killed.Ended());
  }
  ASSERT_EQ(HiddenFiles(out), std::vector<std::string>{stale});
  RunningLine live(line, slow);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return QFile::remove(QString::fromStdString(started)); }, 60000));
  ASSERT_EQ(HiddenFiles(out).size(), 2u);
  Result batch = RunFront("--batch --profile 17 --output " + ShellQuote(out) + " " +
                          ShellQuote(Copy(pcmtest::MakeMedia("wav", 1), src + "/short.wav")));
  EXPECT_EQ(batch.status, 0) << batch.out;
  std::vector<std::string> hidden = HiddenFiles(out);
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_NE(hidden[0], stale);
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(out + "/short.mp3")));
  live.Signal(SIGTERM);
  ASSERT_TRUE(live.Ended());
  EXPECT_EQ(Outputs(out), (std::map<std::string, double>{{"short.mp3", 1}}));
}

// DVD rows are exported as commands of the adapter, which reads the disc
// itself: a title with its second audio stream and two chapters of a disc
// in a folder with quotes, blanks and '$' in its name, a chapter name the
// output folder already holds, and a file row after them. Run by parallel,
// the job file writes what the DVD variant's batch writes; once the disc
// has gone, every DVD job fails and leaves no file behind.
TEST(CliExport, DvdRowsRunAsTheAdaptersCommands) {
  if (!HaveParallel()) GTEST_SKIP() << "GNU parallel is not installed";
  const std::string videoTs = pcmtest::CopyVideoTs("my 'disc' $1");
  ASSERT_FALSE(videoTs.empty());
  const std::string disc = videoTs.substr(0, videoTs.rfind('/'));
  const std::string dvdProgram = pcmtest::BinDir() + "/popclipmill-dvd";
  const std::string args = " --chapters --titles 1,2,3,8 --audio 0x81 --profile 17 " + ShellQuote(disc) +
                           " " + ShellQuote(pcmtest::MakeMedia("wav", 2));
  std::string batchOut = pcmtest::MakeTempDir("cli-export-dvd-batch");
  std::string jobsOut = pcmtest::MakeTempDir("cli-export-dvd-jobs");
  for (const std::string& out : {batchOut, jobsOut}) WriteAll(out + "/Chapter_01.mp3", "a person's file");

  Result batch = RunFront("--batch --quiet --output " + ShellQuote(batchOut) + args, dvdProgram);
  ASSERT_EQ(batch.status, 0) << batch.out;
  std::string jobs = pcmtest::MakeTempDir("cli-export-dvd-file") + "/jobs";
  Result exported = RunFront(
      "--batch --output " + ShellQuote(jobsOut) + " --export-jobs " + ShellQuote(jobs) + args, dvdProgram);
  ASSERT_EQ(exported.status, 0) << exported.out;
  std::vector<std::string> lines = Lines(ReadAll(jobs));
  ASSERT_EQ(lines.size(), 4u) << ReadAll(jobs);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(lines[i].rfind(ShellQuote(pcmtest::BinDir() + "/register.dat"), 0), 0u) << lines[i];

  Result run = RunParallel(jobs);
  EXPECT_EQ(run.status, 0) << run.out;
  // Lengths as the encoder reads them from the disc: the same on both sides.
  const std::map<std::string, double> expected{{"Title_01.mp3", pcmtest::kMainTitleSeconds},
                                               {"Chapter_01.mp3", -1},
                                               {"Chapter_01_1.mp3", 3},
                                               {"Chapter_02.mp3", 3},
                                               {"clip2.mp3", 2}};
  const std::map<std::string, double> made = Outputs(jobsOut);
  EXPECT_EQ(made, Outputs(batchOut));
  ASSERT_EQ(made.size(), expected.size());
  for (const auto& [name, seconds] : expected) EXPECT_NEAR(made.at(name), seconds, 0.5) << name;
  EXPECT_EQ(ReadAll(jobsOut + "/Chapter_01.mp3"), "a person's file");

  // The disc is gone: its jobs fail, each counted by parallel, and nothing
  // is left under a final or a temporary name; the file row still converts.
  std::string again = pcmtest::MakeTempDir("cli-export-dvd-again");
  std::string moreJobs = again + "/jobs";
  Result second = RunFront(
      "--batch --output " + ShellQuote(again) + " --export-jobs " + ShellQuote(moreJobs) + args, dvdProgram);
  ASSERT_EQ(second.status, 0) << second.out;
  ASSERT_TRUE(QDir(QString::fromStdString(disc)).removeRecursively());
  Result failed = RunParallel(moreJobs);
  EXPECT_EQ(failed.status, 3) << failed.out;
  EXPECT_EQ(Outputs(again), (std::map<std::string, double>{{"jobs", -1}, {"clip2.mp3", 2}}));
}

// A library with its tree kept: the job file run by parallel writes the
// tree the batch writes, its folders made by the export. Exported again
// while skipping what exists, it holds only what is new.
TEST(CliExport, KeptTreeByParallelAsByTheBatch) {
  if (!HaveParallel()) GTEST_SKIP() << "GNU parallel is not installed";
  std::string src = pcmtest::MakeTempDir("cli-export-tree");
  for (const char* album : {"/A/one", "/B 'x' $HOME/one", "/B 'x' $HOME/two"})
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(src + album)));
  for (const char* track : {"/A/one/01 Intro.wav", "/B 'x' $HOME/one/01 Intro.wav",
                            "/B 'x' $HOME/two/01 Intro.wav", "/loose.wav"})
    Copy(pcmtest::MakeMedia("wav", 1), src + track);
  const std::string args = " --keep-folders --profile 17 " + ShellQuote(src);
  std::string batchOut = pcmtest::MakeTempDir("cli-export-tree-batch");
  std::string jobsOut = pcmtest::MakeTempDir("cli-export-tree-jobs") + "/new";
  Result batch = RunFront("--batch --jobs 2 --output " + ShellQuote(batchOut) + args);
  ASSERT_EQ(batch.status, 0) << batch.out;
  const std::vector<std::string> tree{"A/one/01 Intro.mp3", "B 'x' $HOME/one/01 Intro.mp3",
                                      "B 'x' $HOME/two/01 Intro.mp3", "loose.mp3"};
  EXPECT_EQ(Tree(batchOut), tree);

  std::string jobs = pcmtest::MakeTempDir("cli-export-tree-file") + "/jobs";
  Result exported =
      RunFront("--batch --output " + ShellQuote(jobsOut) + " --export-jobs " + ShellQuote(jobs) + args);
  ASSERT_EQ(exported.status, 0) << exported.out;
  EXPECT_TRUE(Tree(jobsOut).empty());
  Result run = RunParallel(jobs);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Tree(jobsOut), tree);

  Copy(pcmtest::MakeMedia("wav", 2), src + "/A/one/02 New.wav");
  std::string more = jobs + ".more";
  Result again = RunFront("--batch --skip-existing --output " + ShellQuote(jobsOut) + " --export-jobs " +
                          ShellQuote(more) + args);
  ASSERT_EQ(again.status, 0) << again.out;
  EXPECT_TRUE(Contains(again.out, "1 job written to")) << again.out;
  EXPECT_TRUE(Contains(again.out, "4 entries skipped: their output file exists")) << again.out;
  ASSERT_EQ(Lines(ReadAll(more)).size(), 1u);
  EXPECT_TRUE(Contains(ReadAll(more), "02 New")) << ReadAll(more);
  run = RunParallel(more);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Outputs(jobsOut + "/A/one"),
            (std::map<std::string, double>{{"01 Intro.mp3", 1}, {"02 New.mp3", 2}}));
}

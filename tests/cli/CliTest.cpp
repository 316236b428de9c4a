// Real batches through the built program's headless front end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include "cli/CliSupport.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

// Runs the program with its settings in a fresh folder; stderr is merged
// into the output unless dropped.
Result RunProgram(const std::string& args, const std::string& program = Program(), bool withStderr = true,
                  const std::string& cwd = "") {
  static std::string config = pcmtest::MakeTempDir("cli-config");
  std::string cmd = "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " + ShellQuote(program) + " " + args +
                    (withStderr ? " 2>&1" : " 2>/dev/null");
  if (!cwd.empty()) cmd = "cd " + ShellQuote(cwd) + " && " + cmd;
  Result r;
  r.status = pcmtest::RunShell(cmd, &r.out);
  return r;
}

std::string Copy(const std::string& from, const std::string& to) {
  QFile::remove(QString::fromStdString(to));
  EXPECT_TRUE(QFile::copy(QString::fromStdString(from), QString::fromStdString(to))) << to;
  return to;
}

// A program directory whose register.dat is a wrapper script around the real
// adapter, with a copy of the program beside it (the program finds its data
// beside its own file).
std::string WrappedProgram(const std::string& tag, const std::string& script) {
  std::string program = pcmtest::MakeProgramDir(tag, script);
  Copy(Program(), program);
  return program;
}

}  // namespace

TEST(CliUsage, HelpListAndBadUsage) {
  Result help = RunProgram("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* opt : {"--batch", "--profile", "--size", "--video-quality", "--audio-quality",
                          "--channels", "--output", "--trim", "--dry-run", "--quiet", "--list-profiles",
                          "Exit status", "--recursive", "--export-jobs", "--jobs"})
    EXPECT_TRUE(Contains(help.out, opt)) << opt;

  Result list = RunProgram("--list-profiles");
  EXPECT_EQ(list.status, 0);
  EXPECT_TRUE(Contains(list.out, " 17  audio  MP3-MPEG Layer-3Audio(*.mp3)\n"));
  EXPECT_TRUE(Contains(list.out, "  7  video  WMV-Windows Media Video(*.wmv)\n"));
  EXPECT_FALSE(Contains(list.out, " 26  "));  // a panel's foot is no profile

  std::string clip = ShellQuote(pcmtest::MakeMedia("wav", 2));
  const char* bad[] = {"--batch",
                       "--batch --size",
                       "--batch --size x ",
                       "--batch --channels quad ",
                       "--batch --trim 70-10 ",
                       "--batch --trim 10 ",
                       "--batch --frobnicate ",
                       "--batch --recursive=yes ",
                       "--batch --export-jobs",
                       "--batch --export-jobs= ",
                       "--batch --dry-run --export-jobs jobs.txt ",
                       "--batch --jobs -1 ",
                       "--batch --jobs many ",
                       "--batch --jobs 65 ",
                       "--batch --output 'a\nb' ",
                       "--version extra",
                       "-h extra",
                       "--list-profiles extra"};
  for (const char* args : bad) {
    SCOPED_TRACE(args);
    std::string a = args;
    if (a.back() == ' ') a += clip;
    Result r = RunProgram(a);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.out, "Usage:")) << r.out;
  }
  // Usage errors found after the profile is known.
  Result foot = RunProgram("--batch --profile 26 " + clip);
  EXPECT_EQ(foot.status, 2);
  EXPECT_TRUE(Contains(foot.out, "no profile 26"));
  EXPECT_TRUE(Contains(foot.out, "Usage:"));
  Result size = RunProgram("--batch --profile 7 --size 9 " + clip);
  EXPECT_EQ(size.status, 2);
  EXPECT_TRUE(Contains(size.out, "1  320x240"));
  // What the person typed reaches the terminal with its control characters
  // escaped.
  for (const char* args : {"--batch --profile '\x1b[2J' ", "--batch '--frob\x1b]0;x\x07' ", "--help\r "}) {
    Result r = RunProgram(std::string(args) + clip);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_TRUE(Contains(r.out, "\\x1b") || Contains(r.out, "\\r")) << r.out;
    EXPECT_EQ(r.out.find_first_of("\x1b\x07\r"), std::string::npos) << r.out;
  }
}

TEST(CliBatch, ThreeFormatsToMp3) {
  std::string out = pcmtest::MakeTempDir("cli-mp3");
  Result r = RunProgram(
      "--batch --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(pcmtest::MakeMedia("wav", 2)) +
      " " + ShellQuote(pcmtest::MakeMedia("ogg", 2)) + " " + ShellQuote(pcmtest::MakeMedia("mp4", 2)));
  EXPECT_EQ(r.status, 0) << r.out;
  // Three entries named clip2: the taken names get counters.
  for (const char* name : {"/clip2.mp3", "/clip2_1.mp3", "/clip2_2.mp3"}) {
    EXPECT_TRUE(Contains(r.out, "Finish  " + out + name + "\n")) << r.out;
    auto info = pcmtest::FfprobeFile(out + name);
    EXPECT_TRUE(info.ok) << name;
    EXPECT_EQ(info.formatName, "mp3");
    EXPECT_EQ(info.videoStreams, 0);
    EXPECT_NEAR(info.duration, 2.0, 0.2);
  }
  // Not a terminal: a line when an entry starts and when it ends.
  EXPECT_TRUE(Contains(r.out, "[1/3] clip2: converting to " + out + "/clip2.mp3\n"));
  EXPECT_TRUE(Contains(r.out, "[3/3] clip2: Finish\n"));
}

// The first file converts while a later one is still being described (its
// probe waits for the first result), and nothing shows it: the lines count
// every entry, a file whose output name this batch wrote already is
// numbered, not skipped, and the report is that of a batch over the full
// list.
TEST(CliBatch, FilesConvertWhileLaterOnesAreDescribed) {
  const std::string src = pcmtest::MakeTempDir("cli-overlap");
  const std::string out = pcmtest::MakeTempDir("cli-overlap-out");
  for (const char* dir : {"/x", "/s", "/y"}) ASSERT_TRUE(QDir().mkpath(QString::fromStdString(src + dir)));
  const std::string clip = pcmtest::MakeMedia("wav", 1);
  Copy(clip, src + "/x/a.wav");
  Copy(clip, src + "/s/slow.wav");
  Copy(clip, src + "/y/a.wav");
  const std::string first = ShellQuote(out + "/a.mp3");
  std::string script = "case \"$1 $*\" in -i*slow.wav*|--describe-each*slow.wav*)\n";
  script += "  n=0; while [ ! -f " + first + " ] && [ $n -lt 600 ]; do sleep 0.05; n=$((n+1)); done\n";
  script += "  [ -f " + first + " ] && touch \"$(dirname \"$0\")/described-after-a\";;\nesac\n";
  script += "exec " + ShellQuote(pcmtest::BinDir() + "/register.dat") + " \"$@\"";
  const std::string program = WrappedProgram("cli-overlap", script);
  const std::string dir = program.substr(0, program.rfind('/') + 1);
  Result r = RunProgram("--batch --skip-existing --profile 17 --output " + ShellQuote(out) + " " +
                            ShellQuote(src + "/x/a.wav") + " " + ShellQuote(src + "/s") + " " +
                            ShellQuote(src + "/y"),
                        program);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(dir + "described-after-a")));
  EXPECT_TRUE(Contains(r.out, "[1/3] a: converting to " + out + "/a.mp3\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "[3/3] a: converting to " + out + "/a_1.mp3\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/a_1.mp3\n    from " + src + "/y/a.wav\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Conversion over: 3 finished, 0 failed, 0 stopped.\n")) << r.out;
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"a.mp3", "a_1.mp3", "slow.mp3"}));
}

TEST(CliBatch, ThreeFormatsToAVideoProfile) {
  std::string out = pcmtest::MakeTempDir("cli-video");
  Result r = RunProgram(
      "--batch --profile 4 --size 0 --video-quality 2 --audio-quality 2 --channels mono --quiet --output " +
      ShellQuote(out) + " " + ShellQuote(pcmtest::MakeMedia("avi", 2)) + " " +
      ShellQuote(pcmtest::MakeMedia("mp4", 2)) + " " + ShellQuote(pcmtest::MakeMedia("mpg", 2)));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(Contains(r.out, "converting to"));  // quiet: the report only
  for (const char* name : {"/clip2.mp4", "/clip2_1.mp4", "/clip2_2.mp4"}) {
    EXPECT_TRUE(Contains(r.out, "Finish  " + out + name + "\n")) << r.out;
    auto info = pcmtest::FfprobeFile(out + name);
    EXPECT_TRUE(info.ok) << name;
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 1);
    EXPECT_EQ(info.channels, 1);
    EXPECT_NEAR(info.duration, 2.0, 0.3);
  }
}

TEST(CliBatch, AwkwardFileNames) {
  std::string src = pcmtest::MakeTempDir("cli-names");
  std::string out = src + "/out dir";
  std::string clip = pcmtest::MakeMedia("wav", 2);
  const char* names[] = {"with blank", "quote\"d", "-lead", "näïve ünïcødé"};
  std::string args;
  for (const char* n : names) {
    Copy(clip, src + "/" + n + ".wav");
    args += " " + ShellQuote(std::string(n) + ".wav");
  }
  // Relative names after "--", from the folder that holds them.
  Result r =
      RunProgram("--batch --profile 17 --output " + ShellQuote(out) + " --" + args, Program(), true, src);
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char* n : names) {
    std::string o = out + "/" + n + ".mp3";
    EXPECT_TRUE(Contains(r.out, "Finish  " + o + "\n")) << n << "\n" << r.out;
    auto info = pcmtest::FfprobeFile(o);
    EXPECT_TRUE(info.ok) << n;
    EXPECT_NEAR(info.duration, 2.0, 0.2) << n;
  }
}

TEST(CliBatch, UnsupportedFileIsNamedAndFailsTheRun) {
  std::string out = pcmtest::MakeTempDir("cli-unsupported");
  std::string text = pcmtest::MakeMedia("txt.mp3");
  Result r = RunProgram("--batch --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(text) + " " +
                        ShellQuote(pcmtest::MakeMedia("wav", 2)));
  EXPECT_EQ(r.status, 1) << r.out;
  // The whole path, and the library's reason on a line of its own.
  EXPECT_TRUE(
      Contains(r.out, "popclipmill: " + text +
                          " is not support!\npopclipmill:   Invalid data found when processing input.\n"))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/clip2.mp3\n")) << r.out;

  Result missing = RunProgram("--batch --output " + ShellQuote(out) + " /no/such/file.wav");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Contains(missing.out, "no such file or folder"));

  // Without its encoder no file is supported: the installation is named.
  std::string program = WrappedProgram("cli-no-encoder", "exit 1");
  std::string encoder =
      QFileInfo(QString::fromStdString(program)).absolutePath().toStdString() + "/register.dat";
  ASSERT_TRUE(QFile::remove(QString::fromStdString(encoder)));
  Result broken = RunProgram(
      "--batch --output " + ShellQuote(out) + " " + ShellQuote(pcmtest::MakeMedia("wav", 2)), program);
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(Contains(broken.out, "the encoder " + encoder + " cannot be run")) << broken.out;
  EXPECT_FALSE(Contains(broken.out, "is not support!")) << broken.out;
}

TEST(CliBatch, FolderAndTrim) {
  std::string src = pcmtest::MakeTempDir("cli-folder");
  std::string out = pcmtest::MakeTempDir("cli-folder-out");
  Copy(pcmtest::MakeMedia("wav", 5), src + "/a.WAV");
  Copy(pcmtest::MakeMedia("ogg", 5), src + "/b.ogg");
  Copy(pcmtest::MakeMedia("mp4", 2), src + "/c.mp4");  // the front end takes video from a folder too
  QFile(QString::fromStdString(src + "/notes.txt")).open(QIODevice::WriteOnly);
  Result r = RunProgram("--batch --profile 17 --trim 00:00:01-3 --output " + ShellQuote(out) + " " +
                        ShellQuote(src));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(Contains(r.out, "notes")) << r.out;
  for (auto [name, seconds] : {std::pair{"/a.mp3", 2.0}, {"/b.mp3", 2.0}, {"/c.mp3", 1.0}}) {
    auto info = pcmtest::FfprobeFile(out + name);
    EXPECT_TRUE(info.ok) << name;
    EXPECT_NEAR(info.duration, seconds, 0.2) << name;
  }
}

// The encoder must fail on one entry only: a wrapper around the real adapter
// (register.dat replaced by a script) fails for inputs named "bad".
TEST(CliBatch, FailingEntryIsFailedAndTheBatchGoesOn) {
  std::string program = WrappedProgram(
      "cli-failing",
      "in=''; prev=''; for a in \"$@\"; do [ \"$prev\" = -i ] && in=\"$a\"; prev=\"$a\"; done\n"
      "case \"$#:$(basename \"$in\")\" in 2:*) ;; *:bad*) echo 'Conversion failed: scripted'; exit 1;; esac\n"
      "exec " +
          ShellQuote(pcmtest::BinDir() + "/register.dat") + " \"$@\"");
  std::string src = pcmtest::MakeTempDir("cli-failing-media");
  std::string out = pcmtest::MakeTempDir("cli-failing-out");
  std::string clip = pcmtest::MakeMedia("wav", 2);
  for (const char* n : {"a.wav", "bad.wav", "c.wav"}) Copy(clip, src + "/" + n);
  Result r =
      RunProgram("--batch --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(src + "/a.wav") + " " +
                     ShellQuote(src + "/bad.wav") + " " + ShellQuote(src + "/c.wav"),
                 program);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/a.mp3\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Failed  " + out + "/bad.mp3\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "| Conversion failed: scripted\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/c.mp3\n")) << r.out;
  EXPECT_TRUE(pcmtest::FfprobeFile(out + "/c.mp3").ok);
}

// The worked examples of profiles 7 and 112 with the matching list indexes,
// for a sound file: converted whole (no seek, no length), no picture
// options for a source without a picture.
TEST(CliDryRun, ExactCommandLines) {
  std::string clip = pcmtest::MakeMedia("wav", 90);
  std::string out = pcmtest::MakeTempDir("cli-dry");
  std::string enc = pcmtest::BinDir() + "/register.dat";
  Result wmv = RunProgram(
      "--batch --dry-run --profile 7 --size 1 --video-quality 2 --audio-quality 2 --channels stereo "
      "--output " +
          ShellQuote(out) + " " + ShellQuote(clip),
      Program(), false);
  EXPECT_EQ(wmv.status, 0);
  EXPECT_EQ(wmv.out, enc + " -y -i " + clip +
                         " -ab 128000 -ac 2 -ar 44100 -map '0:V:0?' -map '0:a:0?' -vcodec wmv2 -acodec wmav2"
                         " -f asf " +
                         out + "/clip90.wmv\n");
  Result vcd = RunProgram("--batch --dry-run --profile 112 --size 0 --channels stereo --output " +
                              ShellQuote(out) + " " + ShellQuote(clip),
                          Program(), false);
  EXPECT_EQ(vcd.status, 0);
  EXPECT_EQ(vcd.out,
            enc + " -y -i " + clip + " -ac 2 -map '0:a:0?' -target pal-vcd " + out + "/clip90.mpg\n");
  // Hostile names: pasted into a shell, the line hands the encoder (here
  // printf, so nothing converts) exactly these words and runs nothing else.
  std::string scratch = pcmtest::MakeTempDir("cli-dry-hostile");
  for (const std::string name : {"a;rm -rf x", "we\"ird $(touch PWNED)", "it's `touch PWNED`"}) {
    const std::string file = scratch + "/" + name + ".wav";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(clip), QString::fromStdString(file)));
    Result dry =
        RunProgram("--batch --dry-run --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(file),
                   Program(), false);
    std::string words;
    pcmtest::RunShell("cd " + ShellQuote(scratch) + " && printf '<%s>\\n' " + dry.out.substr(enc.size()),
                      &words);
    EXPECT_TRUE(Contains(words, "<-i>\n<" + file + ">\n<-ab>")) << dry.out << words;
    EXPECT_TRUE(Contains(words, "<" + out + "/" + name + ".mp3>\n")) << dry.out << words;
  }
  EXPECT_EQ(QDir(QString::fromStdString(scratch)).count(), 5u);  // ".", ".." and the three
  // Nothing was started.
  EXPECT_TRUE(QDir(QString::fromStdString(out)).isEmpty());
}

// Ctrl-C during a conversion. The encoder is a script that reports progress
// and then runs until it is stopped: a real conversion could end before the
// signal arrives.
TEST(CliBatch, InterruptStopsTheBatchAndLeavesNoEncoder) {
  std::string program =
      WrappedProgram("cli-interrupt", "case \"$1\" in -i | --describe-each) exec " +
                                          ShellQuote(pcmtest::BinDir() + "/register.dat") +
                                          " \"$@\";; esac\n"
                                          "printf 'frame= 1 time=1.00 bitrate= 8.0kbits/s\\r'\n"
                                          "while :; do sleep 0.05; done");
  std::string dir = QFileInfo(QString::fromStdString(program)).absolutePath().toStdString();
  std::string out = pcmtest::MakeTempDir("cli-interrupt-out");
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(pcmtest::MakeTempDir("cli-interrupt-config")));
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString(program),
          {"--batch", "--profile", "17", "--output", QString::fromStdString(out),
           QString::fromStdString(pcmtest::MakeMedia("wav", 2)),
           QString::fromStdString(pcmtest::MakeMedia("ogg", 2))});
  ASSERT_TRUE(p.waitForStarted());
  std::string text;
  while (!Contains(text, "converting to") && p.state() == QProcess::Running) {
    p.waitForReadyRead(1000);
    text += p.readAllStandardOutput().toStdString();
  }
  ASSERT_TRUE(Contains(text, "converting to")) << text;
  kill(pid_t(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(60000));
  text += p.readAllStandardOutput().toStdString();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  // Its unfinished output is gone: the report names none.
  EXPECT_TRUE(Contains(text, "Stop  -\n")) << text;
  EXPECT_TRUE(Contains(text, "Not converted  -\n")) << text;
  // No process of that program directory is left.
  EXPECT_EQ(pcmtest::ProcessesMentioning(dir), std::vector<std::string>{});
}

// A trim past an entry's end: the end becomes the entry's end, and an entry
// that ends before the begin is left out with a notice instead of giving an
// empty file reported as finished.
TEST(CliBatch, TrimBeyondAnEntrysEnd) {
  std::string src = pcmtest::MakeTempDir("cli-trim-range");
  std::string out = pcmtest::MakeTempDir("cli-trim-range-out");
  std::string shortClip = Copy(pcmtest::MakeMedia("wav", 2), src + "/short.wav");
  std::string longClip = Copy(pcmtest::MakeMedia("wav", 5), src + "/long.wav");
  Result dry = RunProgram("--batch --dry-run --profile 17 --trim 3-100 --output " + ShellQuote(out) + " " +
                          ShellQuote(shortClip) + " " + ShellQuote(longClip));
  EXPECT_EQ(dry.status, 1) << dry.out;
  EXPECT_TRUE(Contains(dry.out, shortClip + ": --trim begins at 00:00:03, not before its end (00:00:02)"))
      << dry.out;
  EXPECT_FALSE(Contains(dry.out, "-i " + shortClip)) << dry.out;
  EXPECT_TRUE(Contains(dry.out, "-ss 00:00:03 -y -i " + longClip)) << dry.out;
  EXPECT_TRUE(Contains(dry.out, " -t 00:00:02 ")) << dry.out;

  Result r = RunProgram("--batch --profile 17 --trim 3-100 --output " + ShellQuote(out) + " " +
                        ShellQuote(shortClip) + " " + ShellQuote(longClip));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/long.mp3\n")) << r.out;
  EXPECT_FALSE(Contains(r.out, "short.mp3")) << r.out;
  auto info = pcmtest::FfprobeFile(out + "/long.mp3");
  EXPECT_TRUE(info.ok);
  EXPECT_NEAR(info.duration, 2.0, 0.2);

  // A clip of no whole second has no known end: trimmed as asked.
  std::string blip = src + "/blip.wav";
  ASSERT_EQ(
      pcmtest::RunShell("ffmpeg -nostdin -v error -f lavfi -i sine=duration=0.5 -y " + ShellQuote(blip)), 0);
  Result tiny = RunProgram("--batch --dry-run --profile 17 --trim 0-1 --output " + ShellQuote(out) + " " +
                           ShellQuote(blip));
  EXPECT_EQ(tiny.status, 0) << tiny.out;
  EXPECT_TRUE(Contains(tiny.out, "register.dat -y -i " + blip)) << tiny.out;
  EXPECT_FALSE(Contains(tiny.out, " -t ")) << tiny.out;  // the range is the whole clip

  // Every entry too short: nothing to convert.
  Result none = RunProgram("--batch --profile 17 --trim 10-20 --output " + ShellQuote(out) + " " +
                           ShellQuote(shortClip));
  EXPECT_EQ(none.status, 1) << none.out;
  EXPECT_TRUE(Contains(none.out, "nothing to convert")) << none.out;
}

// Ctrl-C while a folder's files are being added ends the adding at the next
// file. The first probe waits for the test's go, so the signal surely comes
// while adding; the later probes would be real.
TEST(CliBatch, InterruptWhileAddingAFolderStopsAtTheNextFile) {
  std::string program = WrappedProgram(
      "cli-interrupt-adding",
      "here=$(dirname \"$0\")\n"
      "if { [ \"$#\" -eq 2 ] && [ \"$1\" = -i ]; } || [ \"$1\" = --describe-each ]; then\n"
      "  echo \"$2\" >> \"$here/probes.log\"\n"
      "  touch \"$here/probing\"\n"
      "  n=0; while [ ! -f \"$here/go\" ] && [ $n -lt 1200 ]; do sleep 0.05; n=$((n+1)); done\n"
      "fi\n"
      "exec " +
          ShellQuote(pcmtest::BinDir() + "/register.dat") + " \"$@\"");
  std::string dir = QFileInfo(QString::fromStdString(program)).absolutePath().toStdString();
  std::string src = pcmtest::MakeTempDir("cli-interrupt-adding-media");
  std::string out = pcmtest::MakeTempDir("cli-interrupt-adding-out");
  std::string clip = pcmtest::MakeMedia("wav", 2);
  for (int i = 0; i < 20; ++i) Copy(clip, src + "/c" + std::to_string(i) + ".wav");
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("POPCLIPMILL_CONFIG_DIR",
             QString::fromStdString(pcmtest::MakeTempDir("cli-interrupt-adding-cfg")));
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString(program), {"--batch", "--profile", "17", "--output",
                                            QString::fromStdString(out), QString::fromStdString(src)});
  ASSERT_TRUE(p.waitForStarted());
  ASSERT_TRUE(
      pcmtest::WaitUntil([&] { return QFileInfo::exists(QString::fromStdString(dir + "/probing")); }, 60000));
  kill(pid_t(p.processId()), SIGINT);
  QFile go(QString::fromStdString(dir + "/go"));
  ASSERT_TRUE(go.open(QIODevice::WriteOnly));
  go.close();
  ASSERT_TRUE(p.waitForFinished(60000));
  std::string text = p.readAll().toStdString() + p.readAllStandardError().toStdString();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_TRUE(Contains(text, "interrupted while adding; nothing was converted")) << text;
  // The probe runs under way when the signal came end (one per core, each
  // for its share of the first group); no further group is probed.
  QFile log(QString::fromStdString(dir + "/probes.log"));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_LE(log.readAll().count('\n'), std::max(1, QThread::idealThreadCount()));
  EXPECT_TRUE(QDir(QString::fromStdString(out)).isEmpty());
  EXPECT_EQ(pcmtest::ProcessesMentioning(dir), std::vector<std::string>{});
}

// The output folder is made with its missing parents before the first entry;
// one that cannot be made stops the run before any encoder starts, and a dry
// run leaves no folder behind.
TEST(CliBatch, OutputFolderIsMadeOrRefusedUpFront) {
  std::string base = pcmtest::MakeTempDir("cli-outdir");
  std::string clip = ShellQuote(pcmtest::MakeMedia("wav", 2));
  std::string deep = base + "/new/deeper/out";
  Result made = RunProgram("--batch --profile 17 --output " + ShellQuote(deep) + " " + clip);
  EXPECT_EQ(made.status, 0) << made.out;
  EXPECT_TRUE(pcmtest::FfprobeFile(deep + "/clip2.mp3").ok) << made.out;

  std::string file = base + "/plain";
  QFile f(QString::fromStdString(file));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  Result notDir = RunProgram("--batch --profile 17 --output " + ShellQuote(file) + " " + clip);
  EXPECT_EQ(notDir.status, 1) << notDir.out;
  EXPECT_TRUE(Contains(notDir.out, "the output folder " + file + " is not a folder; nothing was converted"))
      << notDir.out;
  EXPECT_FALSE(Contains(notDir.out, "converting to")) << notDir.out;
  // A folder that cannot be made: the dry run refuses it as the run does.
  for (const std::string& impossible : {file + "/sub", std::string("/proc/popclipmill-nowhere/out")})
    for (const char* mode : {"", "--dry-run "}) {
      Result below = RunProgram(std::string("--batch ") + mode + "--profile 17 --output " +
                                ShellQuote(impossible) + " " + clip);
      EXPECT_EQ(below.status, 1) << below.out;
      EXPECT_TRUE(Contains(below.out, impossible + " cannot be created; nothing was converted")) << below.out;
      EXPECT_FALSE(Contains(below.out, "clip2.mp3")) << below.out;
    }

  // A line break in the name is bad usage, refused before anything is made;
  // the message shows it escaped.
  Result broken =
      RunProgram("--batch --profile 17 --output " + ShellQuote(base + "/two\nlines") + " " + clip);
  EXPECT_EQ(broken.status, 2) << broken.out;
  EXPECT_TRUE(Contains(broken.out, "two\\x0Alines")) << broken.out;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(base + "/two\nlines")));

  // A dry run into new folders makes nothing, not even for a moment: no
  // call of the program, or of what it starts, names the new folders (the
  // leak check cannot run under a tracer).
  std::string fresh = base + "/fresh/er";
  std::string trace = base + "/trace.txt";
  std::string dry;
  EXPECT_EQ(pcmtest::RunShell("POPCLIPMILL_CONFIG_DIR=" + ShellQuote(base) +
                                  " strace -E ASAN_OPTIONS=detect_leaks=0 -f -qq -o " + ShellQuote(trace) +
                                  " -e trace=mkdir,mkdirat,rmdir,unlink,unlinkat,openat " +
                                  ShellQuote(Program()) + " --batch --dry-run --profile 17 --output " +
                                  ShellQuote(fresh) + " " + clip + " 2>/dev/null",
                              &dry),
            0);
  EXPECT_TRUE(Contains(dry, fresh + "/clip2.mp3\n")) << dry;
  const std::string calls = ReadAll(trace);
  EXPECT_TRUE(Contains(calls, "openat(")) << "strace did not run";
  EXPECT_FALSE(Contains(calls, base + "/fresh")) << calls;
}

// A file or folder the user may not read is named as such instead of being
// called unsupported or skipped without a word. Run as "nobody" when the
// tests run as root, since root reads everything.
TEST(CliBatch, UnreadableFileAndFolderAreNamed) {
  QTemporaryDir tmp(QDir::tempPath() + "/popclipmill-unreadable-XXXXXX");
  ASSERT_TRUE(tmp.isValid());
  std::string dir = tmp.path().toStdString();
  ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
  std::string clip = pcmtest::MakeMedia("wav", 2);
  Copy(clip, dir + "/ok.wav");
  Copy(clip, dir + "/locked.wav");
  ASSERT_TRUE(QDir().mkdir(QString::fromStdString(dir + "/shut")));
  Copy(clip, dir + "/shut/inside.wav");
  ASSERT_EQ(chmod((dir + "/ok.wav").c_str(), 0644), 0);
  ASSERT_EQ(chmod((dir + "/locked.wav").c_str(), 0), 0);
  ASSERT_EQ(chmod((dir + "/shut").c_str(), 0), 0);
  std::string asUser;
  if (geteuid() == 0) {
    if (pcmtest::RunShell("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "no setpriv to drop root";
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  std::string out;
  int status = pcmtest::RunShell("cd " + ShellQuote(dir) + " && " + asUser +
                                     "env POPCLIPMILL_CONFIG_DIR=" + ShellQuote(dir + "/config") + " " +
                                     ShellQuote(Program()) + " --batch --profile 17 --output " +
                                     ShellQuote(dir + "/out") + " locked.wav shut ok.wav 2>&1",
                                 &out);
  chmod((dir + "/shut").c_str(), 0755);
  EXPECT_EQ(status, 1) << out;
  EXPECT_TRUE(Contains(out, "locked.wav cannot be read: permission denied")) << out;
  EXPECT_FALSE(Contains(out, "is not support!")) << out;
  EXPECT_TRUE(Contains(out, "shut: the folder cannot be read: Permission denied")) << out;
  EXPECT_TRUE(Contains(out, "Finish  " + dir + "/out/ok.mp3\n")) << out;
}

// Linux names are bytes: a file or folder named in Latin-1 is found, listed
// and converted instead of being reported missing.
TEST(CliBatch, NamesThatAreNotUtf8) {
  std::string src = pcmtest::MakeTempDir("cli-latin1");
  std::string out = pcmtest::MakeTempDir("cli-latin1-out");
  std::string clip = pcmtest::MakeMedia("wav", 2);
  std::string file = src + "/caf\xe9.wav";
  std::string folder = src + "/d\xe9j\xe0";
  ASSERT_EQ(pcmtest::RunShell("cp " + ShellQuote(clip) + " " + ShellQuote(file) + " && mkdir " +
                              ShellQuote(folder) + " && cp " + ShellQuote(clip) + " " +
                              ShellQuote(folder + "/na\xefve.wav")),
            0);
  Result r = RunProgram("--batch --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(file) + " " +
                        ShellQuote(folder));
  EXPECT_EQ(r.status, 0) << r.out;
  // The report shows bytes that are not UTF-8 escaped, as ls does.
  EXPECT_TRUE(Contains(r.out, "    from " + src + "/caf\\xe9.wav\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "    from " + src + "/d\\xe9j\\xe0/na\\xefve.wav\n")) << r.out;
  // The outputs are named by the inputs' bytes (and nothing else is there).
  std::string listing;
  pcmtest::RunShell("ls -A " + ShellQuote(out), &listing);
  EXPECT_EQ(listing, "caf\xe9.mp3\nna\xefve.mp3\n");
  for (const char* name : {"/caf\\xe9.mp3", "/na\\xefve.mp3"})
    EXPECT_TRUE(Contains(r.out, "Finish  " + out + name + "\n")) << r.out;
}

// Started without any display, the window program names the problem and the
// way to convert without a window, instead of Qt's platform-plugin abort;
// files given to open change nothing about that.
TEST(CliUsage, WithoutADisplayTheWindowPointsToBatch) {
  std::string clip = ShellQuote(pcmtest::MakeMedia("wav", 2));
  // No display at all, or displays that do not answer: an X display no
  // server serves (also with the X platform named), a Wayland socket that
  // is not there.
  for (const std::string& env :
       {std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"),
        std::string("env -u QT_QPA_PLATFORM DISPLAY= WAYLAND_DISPLAY="),
        std::string("env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:7913"),
        std::string("env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb DISPLAY=:7913"),
        std::string("env -u QT_QPA_PLATFORM -u DISPLAY WAYLAND_DISPLAY=/nonexistent/wayland-7913")}) {
    for (const std::string& args : {std::string(), clip}) {
      SCOPED_TRACE(env + " " + args);
      Result r;
      r.status = pcmtest::RunShell(env + " " + ShellQuote(Program()) + " " + args + " 2>&1", &r.out);
      EXPECT_EQ(r.status, 2) << r.out;
      EXPECT_TRUE(Contains(r.out, "no display")) << r.out;
      EXPECT_TRUE(Contains(r.out, "popclipmill --batch [OPTIONS] PATH...")) << r.out;
      EXPECT_FALSE(Contains(r.out, "plugin")) << r.out;
    }
  }
}

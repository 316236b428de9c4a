// A person's files through the headless front end: outputs never replace a
// file, never touch the source, and only finished conversions keep a name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/CliSupport.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

// The shell command that runs the program with its settings in a fresh
// folder, stderr merged.
std::string Command(const std::string& args, const std::string& program = Program()) {
  static std::string config = pcmtest::MakeTempDir("safety-config");
  return "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " + ShellQuote(program) + " " + args + " 2>&1";
}

Result RunFrontEnd(const std::string& args, const std::string& program = Program()) {
  Result r;
  r.status = pcmtest::RunShell(Command(args, program), &r.out);
  return r;
}

// Every name in a folder, hidden ones too, sorted; bytes kept.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  std::string out;
  pcmtest::RunShell("ls -A " + ShellQuote(folder), &out);
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    names.push_back(out.substr(start, end - start));
  return names;
}

void Copy(const std::string& from, const std::string& to) {
  ASSERT_EQ(pcmtest::RunShell("cp " + ShellQuote(from) + " " + ShellQuote(to)), 0) << to;
}

}  // namespace

// Two front ends convert files of the same name into one folder at once.
// Their encoders wait for each other, so both have chosen a name before
// either writes: both outputs are kept, under two names.
TEST(OutputSafety, TwoBatchesAtOnceIntoOneFolder) {
  std::string program =
      pcmtest::MakeProgramDir("safety-race",
                              "here=$(dirname \"$0\")\n"
                              "if [ \"$#\" -ne 2 ]; then\n"
                              "  mkdir -p \"$here/barrier\"; touch \"$here/barrier/$$\"; n=0\n"
                              "  while [ \"$(ls \"$here/barrier\" | wc -l)\" -lt 2 ] && [ $n -lt 1200 ]; do\n"
                              "    sleep 0.05; n=$((n+1)); done\n"
                              "fi\n"
                              "exec " +
                                  ShellQuote(pcmtest::BinDir() + "/register.dat") + " \"$@\"");
  Copy(Program(), program);
  std::string a = pcmtest::MakeTempDir("safety-race-a"), b = pcmtest::MakeTempDir("safety-race-b");
  Copy(pcmtest::MakeMedia("wav", 2), a + "/song.wav");
  Copy(pcmtest::MakeMedia("ogg", 3), b + "/song.ogg");
  std::string out = pcmtest::MakeTempDir("safety-race-out");
  std::string args = "--batch --profile 17 --output " + ShellQuote(out) + " ";
  std::string both = "(" + Command(args + ShellQuote(a + "/song.wav"), program) + " > " +
                     ShellQuote(a + "/log") + "; echo $? >> " + ShellQuote(a + "/log") + ") & (" +
                     Command(args + ShellQuote(b + "/song.ogg"), program) + " > " + ShellQuote(b + "/log") +
                     "; echo $? >> " + ShellQuote(b + "/log") + ") & wait";
  ASSERT_EQ(pcmtest::RunShell(both), 0);
  std::string logA = ReadAll(a + "/log"), logB = ReadAll(b + "/log");
  EXPECT_TRUE(Contains(logA, "Finish  " + out + "/song")) << logA;
  EXPECT_TRUE(Contains(logB, "Finish  " + out + "/song")) << logB;
  EXPECT_EQ(logA.substr(logA.size() - 2), "0\n") << logA;
  EXPECT_EQ(logB.substr(logB.size() - 2), "0\n") << logB;
  ASSERT_EQ(Listing(out), (std::vector<std::string>{"song.mp3", "song_1.mp3"}));
  // One of each length: neither output was lost.
  double d0 = pcmtest::FfprobeFile(out + "/song.mp3").duration;
  double d1 = pcmtest::FfprobeFile(out + "/song_1.mp3").duration;
  EXPECT_NEAR(d0 + d1, 5.0, 0.3);
  EXPECT_NEAR(std::abs(d0 - d1), 1.0, 0.3);
  // Each report names the file it wrote.
  EXPECT_NE(Contains(logA, "Finish  " + out + "/song.mp3\n"),
            Contains(logB, "Finish  " + out + "/song.mp3\n"));
}

// An output folder whose name is not UTF-8 holding a file of the output's
// name; then the source's own folder reached as DIR/. and through a link.
// Nothing existing is ever written over, the source least of all.
TEST(OutputSafety, ExistingFilesAndTheSourceAreNeverWritten) {
  std::string base = pcmtest::MakeTempDir("safety-bytes");
  std::string folder = base + "/d\xe9j\xe0";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  std::string song = folder + "/song.mp3";
  Copy(pcmtest::MakeMedia("mp3", 2), song);
  std::string original = ReadAll(song);
  std::string other = base + "/caf\xe9";
  ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
  ASSERT_EQ(pcmtest::RunShell("printf 'keep me' > " + ShellQuote(other + "/song.mp3")), 0);

  Result r = RunFrontEnd("--batch --profile 17 --output " + ShellQuote(other) + " " + ShellQuote(song));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadAll(other + "/song.mp3"), "keep me");
  EXPECT_TRUE(Contains(r.out, "Finish  " + base + "/caf\\xe9/song_1.mp3\n")) << r.out;  // shown escaped
  EXPECT_TRUE(pcmtest::FfprobeFile(other + "/song_1.mp3").ok);

  ASSERT_EQ(symlink(folder.c_str(), (base + "/link").c_str()), 0);
  for (const std::string& same : {folder + "/.", base + "/link", base + "/link/"}) {
    Result s = RunFrontEnd("--batch --profile 17 --output " + ShellQuote(same) + " " + ShellQuote(song));
    EXPECT_EQ(s.status, 0) << same << "\n" << s.out;
    EXPECT_FALSE(Contains(s.out, "Finish  " + same + "/song.mp3")) << s.out;
    EXPECT_EQ(ReadAll(song), original) << same;
  }
  EXPECT_EQ(Listing(folder),
            (std::vector<std::string>{"song.mp3", "song_1.mp3", "song_2.mp3", "song_3.mp3"}));
  // The temporary root's clean-up goes by text names.
  pcmtest::RunShell("rm -rf " + ShellQuote(base));
}

// A dry run shows the names a real run uses, entry by entry, and writes
// nothing; an output that is a file is refused by both.
TEST(OutputSafety, DryRunNamesAreTheRealRunsNames) {
  std::string src = pcmtest::MakeTempDir("safety-dry");
  std::string paths;
  for (const char* sub : {"a", "b", "c"}) {
    std::string dir = src + "/" + sub;
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    Copy(pcmtest::MakeMedia("wav", 2), dir + "/clip.wav");
    paths += " " + ShellQuote(dir + "/clip.wav");
  }
  std::string out = src + "/out";
  Result dry = RunFrontEnd("--batch --dry-run --profile 17 --output " + ShellQuote(out) + paths);
  EXPECT_EQ(dry.status, 0) << dry.out;
  for (const char* name : {"/clip.mp3\n", "/clip_1.mp3\n", "/clip_2.mp3\n"})
    EXPECT_TRUE(Contains(dry.out, " " + out + name)) << dry.out;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));

  Result real = RunFrontEnd("--batch --profile 17 --output " + ShellQuote(out) + paths);
  EXPECT_EQ(real.status, 0) << real.out;
  for (const char* name : {"/clip.mp3\n", "/clip_1.mp3\n", "/clip_2.mp3\n"})
    EXPECT_TRUE(Contains(real.out, "Finish  " + out + name)) << real.out;

  for (const char* mode : {"--dry-run ", ""}) {
    Result file = RunFrontEnd(std::string("--batch ") + mode + "--profile 17 --output " +
                              ShellQuote(out + "/clip.mp3") + paths);
    EXPECT_EQ(file.status, 1) << file.out;
    EXPECT_TRUE(Contains(file.out, "the output folder " + out + "/clip.mp3 is not a folder")) << file.out;
    EXPECT_FALSE(Contains(file.out, "register.dat")) << file.out;
  }
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"clip.mp3", "clip_1.mp3", "clip_2.mp3"}));
}

// A name as long as the file system takes: the output name is cut so that
// its numbered form and the reserved name beside it fit too, and a dry run
// shows the names the real run gives.
TEST(OutputSafety, LongNamesFitTheFileSystem) {
  std::string src = pcmtest::MakeTempDir("safety-long");
  std::string input = src + "/" + std::string(251, 'K') + ".wav";
  Copy(pcmtest::MakeMedia("wav", 1), input);
  std::string out = src + "/out";
  std::string base = std::string(239, 'K');
  std::string args = "--profile 17 --output " + ShellQuote(out) + " " + ShellQuote(input);
  Result first = RunFrontEnd("--batch " + args);
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_TRUE(Contains(first.out, "Finish  " + out + "/" + base + ".mp3\n")) << first.out;
  Result dry = RunFrontEnd("--batch --dry-run " + args);
  EXPECT_TRUE(Contains(dry.out, " " + out + "/" + base + "_1.mp3\n")) << dry.out;
  Result second = RunFrontEnd("--batch " + args);
  EXPECT_EQ(second.status, 0) << second.out;
  EXPECT_TRUE(Contains(second.out, "Finish  " + out + "/" + base + "_1.mp3\n")) << second.out;
  EXPECT_EQ(Listing(out), (std::vector<std::string>{base + ".mp3", base + "_1.mp3"}));
}

// Ctrl-C while an MP4 is being written (ffmpeg slowed to the input's pace):
// the entry is "Stop" and the folder holds nothing, no hidden file either.
TEST(OutputSafety, StoppedMp4LeavesNothing) {
  // Ctrl-C, a closed terminal, Ctrl-\\ and kill all stop the batch the same
  // way: the unfinished output is removed and no encoder is left.
  std::string tools = pcmtest::MakeTempDir("safety-slow");
  ASSERT_EQ(
      pcmtest::RunShell("printf '#!/bin/sh\\nexec ffmpeg -re \"$@\"\\n' > " + ShellQuote(tools + "/ffmpeg") +
                        " && chmod 755 " + ShellQuote(tools + "/ffmpeg")),
      0);
  std::string input = pcmtest::MakeMedia("mp4", 30);
  for (int sig : {SIGINT, SIGHUP, SIGQUIT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    std::string out = pcmtest::MakeTempDir("safety-stop-out");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(pcmtest::MakeTempDir("safety-stop-config")));
    env.insert("POPCLIPMILL_FFMPEG", QString::fromStdString(tools + "/ffmpeg"));
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(Program()), {"--batch", "--profile", "4", "--output",
                                                QString::fromStdString(out), QString::fromStdString(input)});
    ASSERT_TRUE(p.waitForStarted());
    // Wait until the encoder has written a good part.
    auto written = [&] {
      qint64 size = 0;
      for (const QFileInfo& f : QDir(QString::fromStdString(out)).entryInfoList(QDir::Files | QDir::Hidden))
        size += f.size();
      return size;
    };
    bool writing =
        pcmtest::WaitUntil([&] { return written() > 8192 || p.state() != QProcess::Running; }, 60000);
    kill(pid_t(p.processId()), sig);
    ASSERT_TRUE(p.waitForFinished(60000));
    std::string text = p.readAllStandardOutput().toStdString();
    ASSERT_TRUE(writing);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(Contains(text, "Stop  -\n")) << text;
    EXPECT_EQ(Listing(out), std::vector<std::string>{}) << text;
    EXPECT_EQ(pcmtest::ProcessesMentioning(out), std::vector<std::string>{});
  }
}

// A disk that fills up while an entry is written, up to its final flush
// (ffmpeg then says so and still exits 0): the entry fails, its reason names
// the full disk first, rather than x264's statistics printed after it, and
// nothing is left on the disk, by a batch or by the entry's job line run by
// hand. A later run skipping existing outputs converts it once there is
// room. Run as root, the disk is a 2 MiB tmpfs mounted here and filled up to
// 8, 40 and 70 KiB; otherwise a stand-in encoder prints what ffmpeg printed
// on such a disk and fails, and the trials on a real disk are skipped.
TEST(OutputSafety, AFullDiskNamesItselfInTheReason) {
  struct Disk {
    std::string folder = pcmtest::MakeTempDir("safety-full-disk");
    bool mounted =
        pcmtest::RunShell("mount -t tmpfs -o size=2m tmpfs " + ShellQuote(folder) + " 2>/dev/null") == 0;
    ~Disk() {
      if (mounted) pcmtest::RunShell("umount " + ShellQuote(folder));
    }
  } disk;
  const std::string clip = pcmtest::MakeMedia("mp4", 10);
  auto batch = [&](const std::string& options, const std::string& encoder = "") {
    Result r;
    r.status = pcmtest::RunShell(
        (encoder.empty() ? "" : "POPCLIPMILL_FFMPEG=" + ShellQuote(encoder) + " ") +
            Command("--batch " + options + " --output " + ShellQuote(disk.folder) + " " + ShellQuote(clip)),
        &r.out);
    return r;
  };
  // The cause heads the reason, then how the encoder ended; no statistics.
  auto expectFullDisk = [](const Result& r) {
    EXPECT_EQ(r.status, 1) << r.out;
    const size_t failed = r.out.find("\nFailed  ");
    ASSERT_NE(failed, std::string::npos) << r.out;
    const std::string report = r.out.substr(failed);
    const std::string head = "the encoder's last lines:\n    | ";
    ASSERT_TRUE(Contains(report, head)) << report;
    const size_t first = report.find(head) + head.size();
    EXPECT_TRUE(Contains(report.substr(first, report.find('\n', first) - first), "No space left on device"))
        << report;
    EXPECT_TRUE(Contains(report, "    | The encoder exited with code 1\n")) << report;
    for (const char* statistic : {"frame I:", "mb P", "kb/s:", "Qavg"})
      EXPECT_FALSE(Contains(report, statistic)) << report;
  };
  if (!disk.mounted) {
    std::string x264;
    for (const char* stat :
         {"frame I:1     Avg QP:14.07  size:  4714", "frame P:63    Avg QP:15.19  size:   546",
          "frame B:186   Avg QP:14.80  size:    60", "consecutive B-frames:  0.8%  0.0% 99.2%",
          "mb I  I16..4: 78.8% 10.4% 10.8%", "mb P  I16..4:  2.8%  1.6%  0.3%",
          "mb B  I16..4:  0.3%  0.2%  0.0%", "8x8 transform intra:30.5% inter:30.9%",
          "coded y,u,v intra: 6.6% 9.5% 6.8%", "i16 v,h,dc,p: 68% 23%  1%  8%",
          "Weighted P-Frames: Y:0.0% UV:0.0%", "kb/s:40.26"})
      x264 += std::string("echo '[libx264 @ 0x5571] ") + stat + "'\n";
    const std::string encoder = pcmtest::MakeTempDir("safety-full-tools") + "/ffmpeg";
    std::ofstream(encoder)
        << "#!/bin/sh\n"
           "echo \"Output #0, mp4, to 'x':\"\n"
           "echo 'av_interleaved_write_frame(): No space left on device'\n"
           "echo 'Error writing trailer of x: No space left on device'\n"
           "echo 'video:452kB audio:87kB subtitle:0kB other streams:0kB global headers:0kB "
           "muxing overhead: unknown'\n"
           "echo 'Error closing file x: No space left on device'\n" +
               x264 + "echo 'Conversion failed!'\nexit 1\n";
    ASSERT_EQ(chmod(encoder.c_str(), 0755), 0);
    expectFullDisk(batch("--profile 5", encoder));
    EXPECT_EQ(Listing(disk.folder), std::vector<std::string>{});
    GTEST_SKIP() << "no tmpfs could be mounted (that needs root): the trials on a filled disk did not run";
  }
  const std::string jobs = pcmtest::MakeTempDir("safety-full-jobs") + "/jobs";
  const std::string filler = disk.folder + "/filler";
  // MP3 and AVI results were given their names although their end was never
  // written; MP4 failed as it should.
  for (const char* profile : {"17", "2", "5"}) {
    for (int kib : {8, 40, 70}) {
      SCOPED_TRACE(std::string("profile ") + profile + ", " + std::to_string(kib) + " KiB free");
      ASSERT_EQ(
          pcmtest::RunShell("rm -f " + ShellQuote(filler) + " && fallocate -l $(( $(df -B1 --output=avail " +
                            ShellQuote(disk.folder) + " | tail -1) - " + std::to_string(kib * 1024) + " )) " +
                            ShellQuote(filler)),
          0);
      expectFullDisk(batch(std::string("--profile ") + profile + " --skip-existing"));
      EXPECT_EQ(Listing(disk.folder), std::vector<std::string>{"filler"});
      Result exported = batch(std::string("--profile ") + profile + " --export-jobs " + ShellQuote(jobs));
      ASSERT_EQ(exported.status, 0) << exported.out;
      Result line;
      line.status = pcmtest::RunShell("sh " + ShellQuote(jobs) + " 2>&1", &line.out);
      EXPECT_NE(line.status, 0) << line.out;
      EXPECT_TRUE(Contains(line.out, "No space left on device")) << line.out;
      EXPECT_EQ(Listing(disk.folder), std::vector<std::string>{"filler"});
      ASSERT_EQ(unlink(jobs.c_str()), 0);
    }
    // With room again, the entry is converted, not skipped (the MP4 needs
    // more than the whole disk).
    ASSERT_EQ(unlink(filler.c_str()), 0);
    if (std::string(profile) == "5") continue;
    Result again = batch(std::string("--profile ") + profile + " --skip-existing");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_TRUE(Contains(again.out, "Finish  " + disk.folder + "/clip10.")) << again.out;
    ASSERT_EQ(pcmtest::RunShell("rm -f " + ShellQuote(disk.folder) + "/clip10.*"), 0);
  }
}

// A source cut short (its end lost in a copy) still states its whole
// length, and converts to a result that falls short of it: the entry fails
// with the lengths in its reason and leaves nothing under its name, so a run
// that skips existing outputs converts it again once the source is whole.
TEST(OutputSafety, ATruncatedSourceLeavesNothingAndIsConvertedAgain) {
  const std::string src = pcmtest::MakeTempDir("safety-truncated");
  const std::string out = pcmtest::MakeTempDir("safety-truncated-out");
  const std::string whole = src + "/whole.mkv", cut = src + "/truncated_half.mkv";
  ASSERT_EQ(
      pcmtest::RunShell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=10 "
                        "-f lavfi -i sine=duration=10 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
                        "-c:a aac " +
                        ShellQuote(whole) + " && head -c $(( $(stat -c %s " + ShellQuote(whole) +
                        ") / 2 )) " + ShellQuote(whole) + " > " + ShellQuote(cut)),
      0);
  for (const char* profile : {"17", "2", "125"}) {
    SCOPED_TRACE(profile);
    Result r = RunFrontEnd("--batch --skip-existing --profile " + std::string(profile) + " --output " +
                           ShellQuote(out) + " " + ShellQuote(cut));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Failed  ")) << r.out;
    EXPECT_TRUE(Contains(r.out, "    | The output is ")) << r.out;
    EXPECT_EQ(Listing(out), std::vector<std::string>{}) << r.out;
  }
  Copy(whole, cut);
  Result again = RunFrontEnd("--batch --skip-existing --profile 125 --output " + ShellQuote(out) + " " +
                             ShellQuote(cut));
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_TRUE(Contains(again.out, "Finish  " + out + "/truncated_half.mkv\n")) << again.out;
}

// Variable-rate MP3s without a length header: their container's length is
// a guess from the first frame's rate. Loud then quiet, the guess is far too
// short and cut the audio; quiet then loud, far too long, and the whole
// output was taken for a short one and deleted. Both are converted whole and
// reported as finished. So is the sound of a file whose sound track ends
// before its picture: the result is as long as the track.
TEST(OutputSafety, AGuessedLengthDoesNotCutTheConversion) {
  std::string src = pcmtest::MakeTempDir("safety-vbr");
  std::string out = pcmtest::MakeTempDir("safety-vbr-out");
  struct Case {
    const char* name;
    const char* first;
    const char* second;
    const char* profile;
    const char* output;
    double seconds;
  };
  for (Case c :
       {Case{"loud", "anoisesrc=d=2:r=44100", "anullsrc=r=44100:cl=mono:d=20", "20", "loud.wav", 22},
        Case{"quiet", "anullsrc=r=44100:cl=mono:d=2", "anoisesrc=d=10:r=44100", "17", "quiet.mp3", 12}}) {
    SCOPED_TRACE(c.name);
    std::string mp3 = src + "/" + c.name + ".mp3";
    ASSERT_EQ(pcmtest::RunShell(std::string("ffmpeg -nostdin -loglevel error -y -f lavfi -i ") + c.first +
                                " -f lavfi -i " + c.second +
                                " -filter_complex '[0][1]concat=n=2:v=0:a=1' -ac 2 "
                                "-c:a libmp3lame -q:a 0 -write_xing 0 " +
                                ShellQuote(mp3)),
              0);
    EXPECT_GT(std::abs(pcmtest::FfprobeFile(mp3).duration - c.seconds), 5);
    Result r = RunFrontEnd("--batch --quiet --profile " + std::string(c.profile) + " --output " +
                           ShellQuote(out) + " " + ShellQuote(mp3));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/" + c.output + "\n")) << r.out;
    EXPECT_NEAR(pcmtest::FfprobeFile(out + "/" + c.output).duration, c.seconds, 0.2);
  }
  // A 7-second track in a file of 10 seconds (12 in MP4, whose picture is
  // longer still), to every sound format of the trial.
  for (const char* kind : {"mkv", "mp4", "avi"}) {
    SCOPED_TRACE(kind);
    const std::string file = src + "/short-track." + kind;
    ASSERT_EQ(
        pcmtest::RunShell(std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:"
                                      "rate=25:duration=") +
                          (std::string(kind) == "mp4" ? "12" : "10") +
                          " -f lavfi -i sine=duration=7 -c:v mpeg4 -c:a libmp3lame " + ShellQuote(file)),
        0);
    for (const char* profile : {"17", "23", "21"}) {
      Result r = RunFrontEnd("--batch --quiet --profile " + std::string(profile) + " --output " +
                             ShellQuote(out) + " " + ShellQuote(file));
      EXPECT_EQ(r.status, 0) << profile << r.out;
      EXPECT_FALSE(Contains(r.out, "The output is")) << r.out;
    }
  }
}

// A clip of a single frame has a length of no whole second: it is converted
// whole (never with a zero length) and reported by what was written.
TEST(OutputSafety, OneFrameVideo) {
  std::string src = pcmtest::MakeTempDir("safety-frame");
  std::string frame = src + "/frame.mp4";
  ASSERT_EQ(pcmtest::RunShell("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 1 "
                              "-pix_fmt yuv420p -y " +
                              ShellQuote(frame)),
            0);
  std::string out = src + "/out";
  Result dry =
      RunFrontEnd("--batch --dry-run --profile 4 --output " + ShellQuote(out) + " " + ShellQuote(frame));
  EXPECT_EQ(dry.status, 0) << dry.out;
  EXPECT_FALSE(Contains(dry.out, "-t 00:00:00")) << dry.out;
  Result r = RunFrontEnd("--batch --profile 4 --output " + ShellQuote(out) + " " + ShellQuote(frame));
  if (Contains(r.out, "Finish  ")) {
    EXPECT_EQ(r.status, 0) << r.out;
    auto info = pcmtest::FfprobeFile(out + "/frame.mp4");
    EXPECT_TRUE(info.ok) << r.out;
    EXPECT_EQ(info.videoStreams, 1) << r.out;
  } else {
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Failed  ")) << r.out;
    EXPECT_EQ(Listing(out), std::vector<std::string>{}) << r.out;
  }
}

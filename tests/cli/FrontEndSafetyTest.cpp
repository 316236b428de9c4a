// The front end's promises about what it leaves alone: the settings files,
// the machine (no power-off nobody asked for), the conversions when the
// report's reader goes away, and the terminal (no raw control characters).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include "cli/CliSupport.h"
#include "support/Fixtures.h"
#include "support/RealMedia.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

// Runs `env program args` through the shell with stderr merged into the
// output (unless `redirect` says otherwise).
Result Launch(const std::string& env, const std::string& args, const std::string& program = Program(),
              const std::string& redirect = " 2>&1") {
  Result r;
  r.status = pcmtest::RunShell(env + " " + ShellQuote(program) + " " + args + redirect, &r.out);
  return r;
}

// Stand-ins for everything that acts on the machine, each writing its name
// and arguments to a log instead. Power-off must never run for real in a
// test: the front end's power-off command is replaced through the
// environment, and a fake systemctl and xdg-open lead the search path in case
// anything still reaches for the real ones.
struct FakeSystem {
  std::string dir = pcmtest::MakeTempDir("fake-system");
  std::string log = dir + "/log";
  FakeSystem() {
    for (const char* name : {"systemctl", "xdg-open", "poweroff-recorder"}) {
      std::string path = dir + "/" + name;
      WriteAll(path, "#!/bin/sh\necho \"" + std::string(name) + " $*\" >> " + ShellQuote(log) + "\n");
      chmod(path.c_str(), 0755);
    }
  }
  std::string Env(const std::string& config) const {
    return "PATH=" + ShellQuote(dir) +
           ":\"$PATH\" POPCLIPMILL_POWEROFF_COMMAND=" + ShellQuote(dir + "/poweroff-recorder") +
           " POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config);
  }
  // The log once it holds `line`: the stand-ins run detached.
  std::string LogWith(const std::string& line) const {
    pcmtest::WaitUntil([&] { return Contains(ReadAll(log), line); }, 30000);
    return ReadAll(log);
  }
};

}  // namespace

// Hand-written settings that say "shut down when done": a batch, a dry run
// and a run with another profile leave both files byte for byte as they
// were, and nothing acts on the machine unless --when-done asks for it.
TEST(FrontEndSafety, BatchesSaveNothingAndOnlyWhenDoneActs) {
  FakeSystem fake;
  std::string config = pcmtest::MakeTempDir("safety-config");
  std::string out = pcmtest::MakeTempDir("safety-out");
  const std::string settings =
      "; kept by hand\n[profiles]\nselcetsubindex = 17\nFinishSelcet = 2\n\n[output]\npath = " + out + "/\n";
  const std::string choices = "; my choices\n[17]\naudio bitrate = 1\nchannel = 0\n[5]\nsize = 1\n";
  WriteAll(config + "/popclipmill.ini", settings);
  WriteAll(config + "/pro popclipmill.ini", choices);
  const std::string env = fake.Env(config);
  const std::string mp4 = ShellQuote(pcmtest::MakeMedia("mp4", 2));
  const std::string wav = ShellQuote(pcmtest::MakeMedia("wav", 2));

  Result other = Launch(env, "--batch --profile 5 --size 0 --quiet --output " + ShellQuote(out) + " " + mp4);
  EXPECT_EQ(other.status, 0) << other.out;
  Result dry = Launch(env, "--batch --profile 4 --audio-quality 2 --dry-run " + mp4);
  EXPECT_EQ(dry.status, 0) << dry.out;
  Result saved = Launch(env, "--batch --quiet " + wav);  // the saved profile, into the saved folder
  EXPECT_EQ(saved.status, 0) << saved.out;
  Result nothing = Launch(env, "--batch --quiet --when-done nothing --output " + ShellQuote(out) + " " + wav);
  EXPECT_EQ(nothing.status, 0) << nothing.out;
  EXPECT_EQ(ReadAll(config + "/popclipmill.ini"), settings);
  EXPECT_EQ(ReadAll(config + "/pro popclipmill.ini"), choices);
  EXPECT_EQ(QDir(QString::fromStdString(config)).entryList(QDir::Files).size(), 2);

  Result bad = Launch(env, "--batch --when-done reboot " + wav);
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(Contains(bad.out, "--when-done takes nothing, open or shutdown")) << bad.out;
  EXPECT_TRUE(Contains(bad.out, "Usage:"));

  // Asked for: the folder is opened, and after a countdown of no seconds the
  // power-off command runs. The log holds nothing from the runs before.
  Result open =
      Launch(env, "--batch --quiet --when-done open --output " + ShellQuote(out + "/opened") + " " + wav);
  EXPECT_EQ(open.status, 0) << open.out;
  std::string log = fake.LogWith("xdg-open");
  EXPECT_EQ(log, "xdg-open " + out + "/opened\n");
  Result off =
      Launch("POPCLIPMILL_SHUTDOWN_COUNTDOWN=0 " + env, "--batch --quiet --when-done shutdown " + wav);
  EXPECT_EQ(off.status, 0) << off.out;
  EXPECT_TRUE(Contains(off.out, "shutting down now")) << off.out;
  log = fake.LogWith("poweroff-recorder");
  EXPECT_EQ(log, "xdg-open " + out + "/opened\npoweroff-recorder \n");
}

// The countdown before a power-off shows on standard error and Ctrl-C
// cancels it; the conversions' status stays the exit status.
TEST(FrontEndSafety, CtrlCCancelsTheShutdownCountdown) {
  FakeSystem fake;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(pcmtest::MakeTempDir("countdown-config")));
  env.insert("POPCLIPMILL_POWEROFF_COMMAND", QString::fromStdString(fake.dir + "/poweroff-recorder"));
  env.insert("PATH", QString::fromStdString(fake.dir) + ":" + env.value("PATH"));
  env.insert("POPCLIPMILL_SHUTDOWN_COUNTDOWN", "600");
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QString::fromStdString(Program()),
          {"--batch", "--quiet", "--profile", "17", "--when-done", "shutdown", "--output",
           QString::fromStdString(pcmtest::MakeTempDir("countdown-out")),
           QString::fromStdString(pcmtest::MakeMedia("wav", 2))});
  ASSERT_TRUE(p.waitForStarted());
  std::string text;
  while (!Contains(text, "shutting down in 600 s; Ctrl-C cancels") && p.state() == QProcess::Running) {
    p.waitForReadyRead(1000);
    text += p.readAll().toStdString();
  }
  ASSERT_TRUE(Contains(text, "Finish  ")) << text;
  kill(pid_t(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(60000));
  text += p.readAll().toStdString();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << text;
  EXPECT_TRUE(Contains(text, "shutdown cancelled")) << text;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(fake.log))) << ReadAll(fake.log);
}

// Mistyped first arguments are refused without trying to open a window
// (there is no display here), and help and version need none either.
TEST(FrontEndSafety, OptionsTheWindowDoesNotTakeAreRefused) {
  const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM POPCLIPMILL_CONFIG_DIR=" +
                          ShellQuote(pcmtest::MakeTempDir("options-config"));
  for (const char* args : {"--bogus", "-batch", "--Batch x.mp3", "x.mp3 --bogus", "-style fusion --nope"}) {
    SCOPED_TRACE(args);
    Result r = Launch(env, args);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_TRUE(Contains(r.out, "unknown option -")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Usage:"));
  }
  EXPECT_TRUE(Contains(Launch(env, "x.mp3 --bogus").out, "unknown option --bogus\n"));

  Result version = Launch(env, "--version", Program(), " 2>/dev/null");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.rfind("popclipmill ", 0) == 0 && version.out.back() == '\n') << version.out;
  for (const char* args : {"--batch --help", "--batch --quiet -h x.mp3"}) {
    Result help = Launch(env, args, Program(), " 2>/dev/null");
    EXPECT_EQ(help.status, 0) << args;
    EXPECT_TRUE(Contains(help.out, "--when-done nothing|open|shutdown")) << args;
  }
  // Help that cannot be written is a failure, not a silent success.
  Result full = Launch(env, "--help", Program(), " 2>&1 >/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(Contains(full.out, "could not be written: No space left on device")) << full.out;
}

// A decoder taken over by a crafted file has only what the encoder adapter
// allows. A stand-in ffmpeg first on the search path tries to plant a file
// beside the source and to connect to a local port, reports how that went
// into the output folder (where writing is allowed), and then converts as the
// real one does: both tries are refused and the batch finishes. --version
// says how far the encoder is confined, also on a kernel that cannot.
TEST(FrontEndSafety, ATakenOverEncoderWritesOnlyInTheOutputFolder) {
  const std::string config = pcmtest::MakeTempDir("taken-over-config");
  Result version =
      Launch("POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config), "--version", Program(), " 2>/dev/null");
  EXPECT_EQ(version.status, 0);
  const int abi = pcmtest::LandlockAbi();
  if (abi == 0) {
    EXPECT_TRUE(Contains(version.out, "\nsandbox: none (")) << version.out;
    GTEST_SKIP() << "the kernel has no Landlock: the encoder runs unconfined";
  }
  EXPECT_TRUE(Contains(version.out, "\nsandbox: Landlock ABI " + std::to_string(abi) + ": ")) << version.out;
  if (abi < 4) GTEST_SKIP() << "Landlock ABI " << abi << " does not confine TCP";

  std::string real;
  ASSERT_EQ(pcmtest::RunShell("command -v ffmpeg", &real), 0);
  real.erase(real.find_last_not_of('\n') + 1);
  pcmtest::LocalListener listener;
  ASSERT_GT(listener.port(), 0);
  const std::string source = pcmtest::MakeTempDir("taken-over-source");
  const std::string out = pcmtest::MakeTempDir("taken-over-out");
  const std::string tools = pcmtest::MakeTempDir("taken-over-tools");
  ASSERT_EQ(pcmtest::RunShell("cp " + ShellQuote(pcmtest::MakeMedia("wav", 2)) + " " +
                              ShellQuote(source + "/song.wav")),
            0);
  WriteAll(tools + "/ffmpeg",
           "#!/bin/sh\n"
           "{ echo planted > " +
               ShellQuote(source + "/planted.txt") +
               " && echo 'write: done' || echo 'write: refused'\n"
               "  bash -c 'exec 3<>/dev/tcp/127.0.0.1/" +
               std::to_string(listener.port()) +
               "' && echo 'connect: done' || echo 'connect: refused'\n"
               "} > " +
               ShellQuote(out + "/report.txt") +
               " 2>&1\n"
               "exec " +
               ShellQuote(real) + " \"$@\"\n");
  chmod((tools + "/ffmpeg").c_str(), 0755);

  Result r = Launch(
      "env -u POPCLIPMILL_FFMPEG PATH=" + ShellQuote(tools) +
          ":\"$PATH\" POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config),
      "--batch --quiet --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(source + "/song.wav"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "Finish  " + out + "/song.mp3\n")) << r.out;
  EXPECT_TRUE(pcmtest::FfprobeFile(out + "/song.mp3").ok);
  std::string report = ReadAll(out + "/report.txt");
  EXPECT_TRUE(Contains(report, "write: refused\n")) << report;
  EXPECT_TRUE(Contains(report, "connect: refused\n")) << report;
  EXPECT_TRUE(Contains(report, "Permission denied")) << report;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(source + "/planted.txt")));
  EXPECT_FALSE(listener.Connected());
}

// Text files in a walked folder that pass for media by their names: an HLS
// playlist naming a secret recording elsewhere and a concat list naming one
// in its own folder (under a name the walk does not take). Both are refused
// with the reason, and the secret's tone is in no result, also when a job
// line names the playlist. A list the person names by its own extension,
// whose entries lie beside it, still converts, and so does a playlist named
// so in a job line (the batch takes no playlist: it tells no length).
TEST(FrontEndSafety, PlaylistsPassingForMediaAreRefused) {
  const std::string config = pcmtest::MakeTempDir("lists-config");
  const std::string secret = pcmtest::MakeTempDir("lists-secret");
  const std::string walked = pcmtest::MakeTempDir("lists-walked");
  const std::string trip = pcmtest::MakeTempDir("lists-trip");
  const std::string out = pcmtest::MakeTempDir("lists-out");
  auto tone = [](int hz, const std::string& path) {
    ASSERT_EQ(pcmtest::RunShell("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=" +
                                std::to_string(hz) + ":duration=2 " + ShellQuote(path)),
              0);
  };
  tone(1500, secret + "/secret.ts");
  tone(1500, walked + "/hidden.bin.wav");
  ASSERT_EQ(rename((walked + "/hidden.bin.wav").c_str(), (walked + "/hidden.bin").c_str()), 0);
  tone(440, walked + "/song.wav");
  WriteAll(walked + "/holiday.avi",
           "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n" + secret + "/secret.ts\n#EXT-X-ENDLIST\n");
  WriteAll(walked + "/party.avi", "ffconcat version 1.0\nfile hidden.bin\n");
  ASSERT_EQ(
      pcmtest::RunShell("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=880:duration=2 -c:a aac -f hls "
                        "-hls_list_size 0 " +
                        ShellQuote(trip + "/trip.m3u8")),
      0);
  WriteAll(trip + "/trip.ffconcat", "ffconcat version 1.0\nfile trip0.ts\n");
  const std::string env = "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config);

  Result r =
      Launch(env, "--batch --recursive --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(walked));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.out,
                       "holiday.avi is not support!\npopclipmill:   the file is an HLS playlist (hls), "
                       "which opens other files"))
      << r.out;
  EXPECT_TRUE(Contains(r.out,
                       "party.avi is not support!\npopclipmill:   the file is a concat list (concat), "
                       "which opens other files"))
      << r.out;
  const std::string adapter = Program().substr(0, Program().rfind('/') + 1) + "register.dat";
  Result job = Launch(
      "",
      "--new-output -y -i " + ShellQuote(walked + "/holiday.avi") + " -f mp3 " + ShellQuote(out + "/job.mp3"),
      adapter);
  EXPECT_EQ(job.status, 1) << job.out;
  EXPECT_TRUE(Contains(job.out, "holiday.avi is not read: the file is an HLS playlist")) << job.out;
  EXPECT_EQ(QDir(QString::fromStdString(out)).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mp3"});
  EXPECT_NEAR(pcmtest::DominantFrequency(out + "/song.mp3"), 440, 20);

  Result named = Launch(
      env, "--batch --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(trip + "/trip.ffconcat"));
  EXPECT_EQ(named.status, 0) << named.out;
  Result playlist = Launch(
      "",
      "--new-output -y -i " + ShellQuote(trip + "/trip.m3u8") + " -f mp3 " + ShellQuote(out + "/trip_1.mp3"),
      adapter);
  EXPECT_EQ(playlist.status, 0) << playlist.out;
  for (const char* name : {"/trip.mp3", "/trip_1.mp3"})
    EXPECT_NEAR(pcmtest::DominantFrequency(out + name), 880, 20) << name;
}

// With --profile the saved profile is never selected, so a damaged block of
// it stops only the runs that use it; a symbolic link loop is named as one.
TEST(FrontEndSafety, DamagedSavedProfileAndLinkLoops) {
  std::string program = pcmtest::MakeProgramDir("damaged-profile");
  QFile::remove(QString::fromStdString(program));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(Program()), QString::fromStdString(program)));
  std::string pop = QFileInfo(QString::fromStdString(program)).absolutePath().toStdString() + "/profiles.pop";
  // Blocks 1 to 18 are left; block 20 is gone.
  ASSERT_EQ(pcmtest::RunShell("head -n 72 " + ShellQuote(pop) + " > " + ShellQuote(pop + ".cut") + " && mv " +
                              ShellQuote(pop + ".cut") + " " + ShellQuote(pop)),
            0);
  std::string config = pcmtest::MakeTempDir("damaged-config");
  WriteAll(config + "/popclipmill.ini", "[profiles]\nselcetsubindex=20\n");
  std::string env = "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config);
  std::string out = pcmtest::MakeTempDir("damaged-out");
  std::string wav = ShellQuote(pcmtest::MakeMedia("wav", 2));

  Result other = Launch(env, "--batch --quiet --profile 17 --output " + ShellQuote(out) + " " + wav, program);
  EXPECT_EQ(other.status, 0) << other.out;
  EXPECT_TRUE(Contains(other.out, "Finish  " + out + "/clip2.mp3\n")) << other.out;
  Result saved = Launch(env, "--batch --quiet --output " + ShellQuote(out) + " " + wav, program);
  EXPECT_EQ(saved.status, 1);
  EXPECT_TRUE(Contains(saved.out, "block of profile 20")) << saved.out;

  std::string loop = pcmtest::MakeTempDir("link-loop");
  ASSERT_EQ(symlink((loop + "/a").c_str(), (loop + "/b").c_str()), 0);
  ASSERT_EQ(symlink((loop + "/b").c_str(), (loop + "/a").c_str()), 0);
  Result looped = Launch(env, "--batch --profile 17 " + ShellQuote(loop + "/a") + " " + wav, program);
  EXPECT_EQ(looped.status, 1);
  EXPECT_TRUE(
      Contains(looped.out, loop + "/a: a loop of symbolic links (too many levels of symbolic links)\n"))
      << looped.out;
}

// A reader that leaves after one line does not end the batch; a report that
// cannot be written fails the run after converting; control characters in
// names reach the terminal escaped.
TEST(FrontEndSafety, ReportOutputCannotHarmTheBatch) {
  std::string config = pcmtest::MakeTempDir("report-config");
  std::string env = "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config);
  // Three files of one name in three folders: three entries.
  std::string three;
  for (int i = 0; i < 3; ++i) {
    std::string copy = pcmtest::MakeTempDir("report-source") + "/clip2.wav";
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(pcmtest::MakeMedia("wav", 2)), QString::fromStdString(copy)));
    three += " " + ShellQuote(copy);
  }

  std::string piped = pcmtest::MakeTempDir("report-pipe");
  std::string head;
  int shell = pcmtest::RunShell("{ " + env + " " + ShellQuote(Program()) + " --batch --profile 17 --output " +
                                    ShellQuote(piped) + three + " 2>/dev/null; echo $? > " +
                                    ShellQuote(piped + "/status") + "; } | head -n 1",
                                &head);
  EXPECT_EQ(shell, 0);
  EXPECT_TRUE(Contains(head, "[1/3] clip2: converting to ")) << head;
  EXPECT_EQ(ReadAll(piped + "/status"), "0\n");
  for (const char* name : {"/clip2.mp3", "/clip2_1.mp3", "/clip2_2.mp3"})
    EXPECT_NEAR(pcmtest::FfprobeFile(piped + name).duration, 2.0, 0.2) << name;

  std::string full = pcmtest::MakeTempDir("report-full");
  Result r =
      Launch(env, "--batch --profile 17 --output " + ShellQuote(full) + three, Program(), " 2>&1 >/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.out, "the report could not be written: No space left on device")) << r.out;
  EXPECT_EQ(QDir(QString::fromStdString(full)).entryList(QDir::Files).size(), 3);

  std::string src = pcmtest::MakeTempDir("report-names");
  std::string out = pcmtest::MakeTempDir("report-names-out");
  std::string name = "a\x1b[2Jb\rc\nd\x7f\xc2\x9b";
  ASSERT_TRUE(QFile::copy(QString::fromStdString(pcmtest::MakeMedia("wav", 2)),
                          QString::fromStdString(src + "/" + name + ".wav")));
  Result names = Launch(env, "--batch --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(src) +
                                 " " + ShellQuote(src + "/missing\x1b" + "x.wav"));
  EXPECT_EQ(names.status, 1);  // the missing file
  std::string shown = "a\\x1b[2Jb\\rc\\nd\\x7f\\xc2\\x9b";
  EXPECT_TRUE(Contains(names.out, "    from " + src + "/" + shown + ".wav\n")) << names.out;
  EXPECT_TRUE(Contains(names.out, "/missing\\x1bx.wav: no such file or folder\n")) << names.out;
  auto raw = [](char c) { return c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == '\x7f'); };
  EXPECT_EQ(std::count_if(names.out.begin(), names.out.end(), raw), 0) << names.out;
  EXPECT_FALSE(Contains(names.out, "\xc2\x9b"));
}

// Started without standard input, output or error, the program runs as with
// them on /dev/null: no later file takes their place, so neither the report
// nor a message lands in one, and the run's status is the conversions'.
TEST(FrontEndSafety, ClosedStandardDescriptors) {
  std::string config = pcmtest::MakeTempDir("closed-config");
  std::string env = "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config);
  std::string wav = ShellQuote(pcmtest::MakeMedia("wav", 2));
  std::string out = pcmtest::MakeTempDir("closed-out");
  std::string err = out + "/../closed-err";

  Result noOut = Launch(env, "--batch --profile 17 --output " + ShellQuote(out + "/a") + " " + wav, Program(),
                        " >&- 2>" + ShellQuote(err));
  EXPECT_EQ(noOut.status, 0);
  EXPECT_EQ(ReadAll(err), "");
  EXPECT_NEAR(pcmtest::FfprobeFile(out + "/a/clip2.mp3").duration, 2.0, 0.2);

  // A missing file: its message goes nowhere, the report still comes whole.
  Result noErr = Launch(env,
                        "--batch --profile 17 --output " + ShellQuote(out + "/b") + " " + wav + " " +
                            ShellQuote(out + "/missing.wav"),
                        Program(), " 2>&-");
  EXPECT_EQ(noErr.status, 1);
  EXPECT_TRUE(Contains(noErr.out, "Finish  " + out + "/b/clip2.mp3\n")) << noErr.out;
  EXPECT_FALSE(Contains(noErr.out, "missing.wav")) << noErr.out;

  Result noIn = Launch(env, "--batch --profile 17 --output " + ShellQuote(out + "/c") + " " + wav, Program(),
                       " <&- 2>&1");
  EXPECT_EQ(noIn.status, 0) << noIn.out;
  EXPECT_TRUE(Contains(noIn.out, "Finish  " + out + "/c/clip2.mp3\n")) << noIn.out;
}

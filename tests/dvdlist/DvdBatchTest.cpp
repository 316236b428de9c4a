// DVD rows converted through the DVD variant's headless front end, with the
// real adapter and ffmpeg, on a disc made by dvdauthor: stream choice by id
// and by position, a chapter without subtitle packets with a subtitle
// chosen, a trimmed title, a file row beside DVD rows, the listing, and a
// stop that leaves no process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using pcmtest::ShellQuote;

namespace {

struct Result {
  int status = -1;
  std::string out;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string DvdProgram() { return pcmtest::BinDir() + "/popclipmill-dvd"; }

Result RunDvd(const std::string& args, const std::string& program = DvdProgram()) {
  static std::string config = pcmtest::MakeTempDir("dvdbatch-config");
  Result r;
  r.status = pcmtest::RunShell(
      "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " + ShellQuote(program) + " " + args + " 2>&1",
      &r.out);
  return r;
}

// The lines of an strace -f log as whole calls: a call cut by another
// process's line is joined with its resumed end. Each comes with its pid.
std::vector<std::pair<std::string, std::string>> TracedCalls(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> calls;
  std::map<std::string, std::string> unfinished;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    // strace pads the pid to a width: a short pid is followed by more blanks.
    size_t from = line.find_first_not_of(' ', blank);
    if (from == std::string::npos) continue;
    std::string pid = line.substr(0, blank), call = line.substr(from);
    if (Contains(call, "<unfinished ...>")) {
      unfinished[pid] = call;
      continue;
    }
    if (call.rfind("<... ", 0) == 0) call = unfinished[pid] + call;
    calls.emplace_back(pid, call);
  }
  return calls;
}

// What the call returned: the word after the last " = " (strace pads
// before it).
std::string ReturnValue(const std::string& call) {
  size_t at = call.rfind(" = ");
  return at == std::string::npos ? std::string() : call.substr(at + 3, call.find(' ', at + 3) - at - 3);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Processes (not threads) that the traced processes started: those a clone
// or fork call returned, and any other than the first that made a call.
// A thread (a clone with CLONE_THREAD) is none of them, though it makes
// calls of its own: a worker thread that starts a program makes a clone.
std::set<std::string> StartedProcesses(const std::string& trace) {
  std::set<std::string> started, threads;
  const auto calls = TracedCalls(trace);
  for (const auto& [pid, call] : calls) {
    if (pid != calls.front().first) started.insert(pid);
    bool starts = call.rfind("clone(", 0) == 0 || call.rfind("clone3(", 0) == 0 ||
                  call.rfind("fork(", 0) == 0 || call.rfind("vfork(", 0) == 0;
    std::string child = ReturnValue(call);
    if (!starts || child.empty() || child[0] == '-') continue;
    (Contains(call, "CLONE_THREAD") ? threads : started).insert(child);
  }
  for (const std::string& t : threads) started.erase(t);
  return started;
}

std::set<std::string> ExecedProcesses(const std::string& trace) {
  std::set<std::string> execed;
  for (const auto& [pid, call] : TracedCalls(trace))
    if (call.rfind("execve(", 0) == 0 && ReturnValue(call) == "0") execed.insert(pid);
  return execed;
}

}  // namespace

// Row numbers pick the main title and a file; the second audio stream is
// chosen by id; the file row goes through the file step.
TEST(DvdBatch, TitleWithSecondAudioStreamBesideAFile) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  std::string out = pcmtest::MakeTempDir("dvdbatch-audio");
  std::string wav = pcmtest::MakeMedia("wav", 2);
  Result r = RunDvd("--batch --quiet --profile 17 --titles 1,3 --audio 0x81 --output " + ShellQuote(out) +
                    " " + ShellQuote(disc) + " " + ShellQuote(wav));
  ASSERT_EQ(r.status, 0) << r.out;
  pcmtest::ProbeInfo title = pcmtest::FfprobeFile(out + "/Title_01.mp3");
  ASSERT_TRUE(title.ok) << r.out;
  EXPECT_NEAR(title.duration, pcmtest::kMainTitleSeconds, 0.5);
  EXPECT_NEAR(pcmtest::CrossingsPerSecond(out + "/Title_01.mp3", 4), 2 * 880, 80);  // 0x81, not 0x80's 440 Hz
  EXPECT_NEAR(pcmtest::FfprobeFile(out + "/clip2.mp3").duration, 2, 0.5);
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out + "/Title_02.mp3")));
  EXPECT_EQ(QDir(QString::fromStdString(out)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// Chapter 2 of the main title holds no subtitle packet; with the subtitle
// chosen by position it converts to the chapter's length, named without
// the caption's leading blanks, also when that name is taken.
TEST(DvdBatch, ChapterWithoutSubtitlePacketsAndATrimmedTitle) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  std::string out = pcmtest::MakeTempDir("dvdbatch-chapter");
  for (int run = 0; run < 2; ++run) {
    Result r = RunDvd("--batch --quiet --chapters --profile 27 --titles 3 --subtitle 1 --output " +
                      ShellQuote(out) + " " + ShellQuote(disc + "/VIDEO_TS"));
    ASSERT_EQ(r.status, 0) << r.out;
  }
  for (const char* name : {"/Chapter_02.mp4", "/Chapter_02_1.mp4"}) {
    pcmtest::ProbeInfo chapter = pcmtest::FfprobeFile(out + name);
    ASSERT_TRUE(chapter.ok) << name;
    EXPECT_NEAR(chapter.duration, 3, 0.5) << name;
    EXPECT_EQ(chapter.videoStreams, 1);
    EXPECT_EQ(chapter.audioStreams, 1);
  }

  // Seconds 2 to 5 of the main title, chosen as the longest title.
  std::string trimmed = pcmtest::MakeTempDir("dvdbatch-trim");
  Result r = RunDvd("--batch --quiet --profile 17 --titles main --trim 2-5 --output " + ShellQuote(trimmed) +
                    " " + ShellQuote(disc + "/VIDEO_TS/VTS_01_0.IFO"));
  ASSERT_EQ(r.status, 0) << r.out;
  pcmtest::ProbeInfo title = pcmtest::FfprobeFile(trimmed + "/Title_01.mp3");
  ASSERT_TRUE(title.ok) << r.out;
  EXPECT_NEAR(title.duration, 3, 0.5);
  EXPECT_NEAR(pcmtest::CrossingsPerSecond(trimmed + "/Title_01.mp3", 1), 2 * 440, 80);
}

// --list shows the rows and converts nothing; unknown rows and streams are
// refused before anything starts.
TEST(DvdBatch, ListingAndRefusals) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  std::string out = pcmtest::MakeTempDir("dvdbatch-list") + "/never";
  Result list = RunDvd("--batch --list --chapters --titles main --audio 1 --subtitle 0x20 --output " +
                       ShellQuote(out) + " " + ShellQuote(disc));
  ASSERT_EQ(list.status, 0) << list.out;
  // The size as shown (720x576 stored, 4:3), then every stream of the row
  // with the number --audio and --subtitle take, the chosen ones marked.
  EXPECT_TRUE(Contains(list.out, "  1* Title_01  768x576  00:00:09  ")) << list.out;
  EXPECT_TRUE(Contains(list.out,
                       "audio: 2: de AC3 2ch (0x81)  subtitle: 1: en Subtitle (0x20)\n"
                       "        audio 0: 1: en AC3 2ch (0x80)\n"
                       "      * audio 1: 2: de AC3 2ch (0x81)\n"
                       "      * subtitle 1: 1: en Subtitle (0x20)\n"))
      << list.out;
  EXPECT_TRUE(Contains(list.out, "  3    Chapter_02  768x576  00:00:03  ")) << list.out;
  EXPECT_TRUE(Contains(list.out, "  5  Title_05  ")) << list.out;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));

  Result noRow = RunDvd("--batch --titles 99 --output " + ShellQuote(out) + " " + ShellQuote(disc));
  EXPECT_EQ(noRow.status, 2) << noRow.out;
  EXPECT_TRUE(Contains(noRow.out, "there is no row 99")) << noRow.out;
  // Title set 2 has a single audio stream.
  Result noStream = RunDvd("--batch --audio 1 --output " + ShellQuote(out) + " " + ShellQuote(disc));
  EXPECT_EQ(noStream.status, 2) << noStream.out;
  EXPECT_TRUE(Contains(noStream.out, "has no audio stream 1")) << noStream.out;
  Result badValue = RunDvd("--batch --subtitle 0xZZ " + ShellQuote(disc));
  EXPECT_EQ(badValue.status, 2) << badValue.out;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));

  // A title set that cannot be read is named and fails the run; the other
  // set's title keeps its name.
  std::string damaged = pcmtest::DamagedVideoTs(pcmtest::DvdDamage::Garbage);
  Result broken = RunDvd("--batch --list " + ShellQuote(damaged));
  EXPECT_EQ(broken.status, 1) << broken.out;
  EXPECT_TRUE(Contains(broken.out, damaged +
                                       "/VTS_01_0.IFO: title set 1 cannot be read: VTS_01_0.IFO and its "
                                       "backup are damaged; its titles are left out\n"))
      << broken.out;
  EXPECT_TRUE(Contains(broken.out, "  1* Title_02  ")) << broken.out;

  Result help = RunDvd("--help", pcmtest::BinDir() + "/popclipmill");
  for (const char* option : {"--chapters", "--titles", "--audio", "--subtitle", "--list", "VIDEO_TS"})
    EXPECT_TRUE(Contains(help.out, option)) << option;
  // The plain variant reads DVDs too.
  Result plain = RunDvd("--batch --list " + ShellQuote(disc), pcmtest::BinDir() + "/popclipmill");
  EXPECT_EQ(plain.status, 0) << plain.out;
  EXPECT_TRUE(Contains(plain.out, "Title_02")) << plain.out;

  // Every process the listing starts runs a program: none is a copy of the
  // listing reading the disc in its place.
  if (pcmtest::RunShell("command -v strace >/dev/null") != 0) GTEST_SKIP() << "strace is not installed";
  std::string trace = pcmtest::MakeTempDir("dvdbatch-trace") + "/calls";
  Result traced =
      // The leak checker cannot work under a tracer.
      RunDvd("-E ASAN_OPTIONS=detect_leaks=0 -f -qq -e trace=execve,fork,vfork,clone,clone3 -o " +
                 ShellQuote(trace) + " " + ShellQuote(pcmtest::BinDir() + "/popclipmill") +
                 " --batch --list " + ShellQuote(disc),
             "strace");
  ASSERT_EQ(traced.status, 0) << traced.out;
  std::set<std::string> children = StartedProcesses(trace), execed = ExecedProcesses(trace);
  EXPECT_FALSE(children.empty()) << ReadFile(trace);
  for (const std::string& pid : children) EXPECT_TRUE(execed.count(pid)) << pid << " never ran a program";
}

// Ctrl-C during a DVD row stops it; no adapter, reader or ffmpeg is left.
TEST(DvdBatch, StopDuringADvdRowLeavesNoProcess) {
  std::string videoTs = pcmtest::CopyVideoTs("stopdvdcopy");
  ASSERT_FALSE(videoTs.empty());
  std::string out = pcmtest::MakeTempDir("dvdbatchstopout");
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(pcmtest::MakeTempDir("dvdbatch-stop-config")));
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QString::fromStdString(DvdProgram()),
          {"--batch", "--profile", "5", "--output", QString::fromStdString(out),
           QString::fromStdString(videoTs)});
  ASSERT_TRUE(p.waitForStarted());
  std::string text;
  // Wait until ffmpeg runs for the row: the adapter, which names the output
  // folder (ffmpeg writes through a descriptor), has started a program.
  auto ffmpegRuns = [&] {
    for (const std::string& process : pcmtest::ProcessesMentioning(out)) {
      if (!Contains(process, "register.dat")) continue;
      const std::string pid = process.substr(0, process.find(':'));
      if (!ReadFile("/proc/" + pid + "/task/" + pid + "/children").empty()) return true;
    }
    return false;
  };
  while (!ffmpegRuns() && p.state() == QProcess::Running) {
    p.waitForReadyRead(100);
    text += p.readAll().toStdString();
  }
  ASSERT_EQ(p.state(), QProcess::Running) << text;
  kill(pid_t(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(60000));
  text += p.readAll().toStdString();
  EXPECT_EQ(p.exitCode(), 1) << text;
  EXPECT_TRUE(Contains(text, "Stop  ")) << text;
  EXPECT_EQ(pcmtest::ProcessesMentioning("stopdvdcopy"), std::vector<std::string>{});
  EXPECT_EQ(pcmtest::ProcessesMentioning(out), std::vector<std::string>{});
  // Nothing half-written stays under a final name.
  EXPECT_EQ(QDir(QString::fromStdString(out)).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

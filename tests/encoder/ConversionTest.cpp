// Conversions and still images through the real ffmpeg; a scripted ffmpeg
// only where the exact arguments or exit status are checked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "AdapterHarness.h"
#include "engine/DvdInputForm.h"
#include "support/Fixtures.h"

using namespace adaptertest;
using pcmtest::ShellQuote;

namespace {

// All values printed after "time=", in order.
std::vector<std::string> Times(const std::string& out) {
  std::vector<std::string> times;
  for (size_t p = out.find("time="); p != std::string::npos; p = out.find("time=", p + 1)) {
    size_t end = out.find_first_of(" \r\n", p);
    times.push_back(out.substr(p + 5, end - p - 5));
  }
  return times;
}

}  // namespace

TEST(Conversion, ForwardsProgressInSecondsAndWritesTheOutput) {
  std::string out = pcmtest::MakeTempDir("conv") + "/clip.mp4";
  AdapterRun r =
      RunAdapter("-ss 00:00:00 -y -i " + ShellQuote(pcmtest::MakeMedia("avi", 2)) +
                 " -r 25 -b 300000 -ab 96000 -ac 1 -t 00:00:02 -s 160x120 -ar 22050 " + ShellQuote(out));
  EXPECT_EQ(r.code, 0) << r.out;
  std::vector<std::string> times = Times(r.out);
  ASSERT_FALSE(times.empty()) << r.out;
  for (auto& t : times) EXPECT_EQ(t.find(':'), std::string::npos) << t;
  EXPECT_NEAR(std::stod(times.back()), 2.0, 0.2);
  EXPECT_NE(r.out.find("bitrate=", r.out.rfind("time=")), std::string::npos);

  pcmtest::ProbeInfo info = pcmtest::FfprobeFile(out);
  ASSERT_TRUE(info.ok);
  EXPECT_EQ(info.width, 160);
  EXPECT_EQ(info.height, 120);
  EXPECT_EQ(info.sampleRate, 22050);
  EXPECT_EQ(info.channels, 1);
  EXPECT_NEAR(info.duration, 2.0, 0.2);
}

TEST(Conversion, ArgumentsAsFfmpegReceivesThem) {
  AdapterRun r =
      RunAdapter("-ss 00:00:05 -y -i '-odd:name.avi' -r 25 -b 799000 -ab 128000 -ac 2 out.mp4", EchoFfmpeg());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(EchoedArgs(r.out),
            (std::vector<std::string>{"-nostdin", "-ss", "00:00:05", "-y", "-i", "file:-odd:name.avi", "-r",
                                      "25", "-b:v", "799000", "-b:a", "128000", "-ac", "2", "file:out.mp4"}));

  // The MPEG-4 part 2 and H.263 family is held to its video rate by a
  // buffer; other encoders and arguments with their own buffer are not.
  r = RunAdapter("-i in.avi -r 25 -b 300000 -vcodec flv -f flv out.flv", EchoFfmpeg());
  std::vector<std::string> held = EchoedArgs(r.out);
  ASSERT_GE(held.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(held.end() - 5, held.end()),
            (std::vector<std::string>{"-maxrate", "300000", "-bufsize", "300000", "file:out.flv"}));
  for (auto [line, ceilings] :
       {std::pair{"-i in.avi -b 300000 -vcodec libx264 out.mp4", 0},
        std::pair{"-i in.avi -b 300000 -vcodec mpeg4 -maxrate 1M -bufsize 1M out.mp4", 1},
        std::pair{"-i in.avi -vcodec mpeg4 out.mp4", 0}}) {
    std::vector<std::string> args = EchoedArgs(RunAdapter(line, EchoFfmpeg()).out);
    EXPECT_EQ(std::count(args.begin(), args.end(), "-maxrate"), ceilings) << line;
  }

  // Filter graphs, URLs, "-" and names already given a protocol stay.
  r = RunAdapter("-f lavfi -i testsrc=duration=1 -f null -", EchoFfmpeg());
  EXPECT_EQ(EchoedArgs(r.out), (std::vector<std::string>{"-nostdin", "-f", "lavfi", "-i",
                                                         "testsrc=duration=1", "-f", "null", "-"}));
  r = RunAdapter("-i http://host/a.mp3 file:/x/y.wav", EchoFfmpeg());
  EXPECT_EQ(EchoedArgs(r.out),
            (std::vector<std::string>{"-nostdin", "-i", "http://host/a.mp3", "file:/x/y.wav"}));

  // A still image keeps its name as given: image2 would read '%' as a pattern.
  r = RunAdapter("-ss 00:01:02 -y -i /in.avi -t 0.01 -s 320x240 -f image2 '/out/50%d.bmp'", EchoFfmpeg());
  std::vector<std::string> args = EchoedArgs(r.out);
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(args.end() - 3, args.end()),
            (std::vector<std::string>{"-update", "1", "file:/out/50%d.bmp"}));

  // Of the descriptors the adapter holds, ffmpeg gets 0, 1 and 2 only.
  std::string look =
      WriteScript(pcmtest::MakeTempDir("descriptors"), "ffmpeg",
                  "for fd in 0 1 2 77; do [ -e /proc/$$/fd/$fd ] && echo ffmpeg has $fd; done\n"
                  "[ -e /proc/$PPID/fd/77 ] && echo adapter has 77; exit 0");
  r = RunAdapter("-i a b",
                 "POPCLIPMILL_FFMPEG=" + ShellQuote(look) + " bash -c 'exec \"$@\" 77</dev/null' sh");
  EXPECT_EQ(r.out, "ffmpeg has 0\nffmpeg has 1\nffmpeg has 2\nadapter has 77\n");
}

TEST(Conversion, StillImageWithOddName) {
  std::string dir = pcmtest::MakeTempDir("still");
  std::string out = dir + "/50% \"off\" -Ünï.bmp";
  AdapterRun r = RunAdapter("-ss 00:00:01 -y -i " + ShellQuote(pcmtest::MakeMedia("avi", 2)) +
                            " -t 0.01 -s 320x240 -f image2 " + ShellQuote(out));
  EXPECT_EQ(r.code, 0) << r.out;
  pcmtest::ProbeInfo info = pcmtest::FfprobeFile(out);
  EXPECT_TRUE(info.ok);
  EXPECT_EQ(info.width, 320);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
            1);
}

TEST(Conversion, OddNamesConvert) {
  std::string dir = pcmtest::MakeTempDir("odd names");
  std::string in = dir + "/-in \"quoted\" Ünïcødé:1.mp3";
  std::filesystem::copy_file(pcmtest::MakeMedia("mp3", 1), in);
  for (const char* name : {"-out \"quoted\" Ünïcødé:1.wav", "pipe:2.wav", "http:3.wav"}) {
    SCOPED_TRACE(name);
    std::string out = dir + "/" + name;
    AdapterRun r = RunAdapter("-y -i " + ShellQuote(in) + " -ac 1 " + ShellQuote(out));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(pcmtest::FfprobeFile(out).ok);
  }
  // Relative names starting with '-' stay names in the working directory.
  AdapterRun r = RunAdapter("-y -i " + ShellQuote(in) + " '-rel.wav'", "cd " + ShellQuote(dir) + " &&");
  EXPECT_TRUE(std::filesystem::exists(dir + "/-rel.wav")) << r.out;
}

// The batches' reserved output (a hidden name) is opened without following a
// link and written through its descriptor, its name still in the lines; an
// AMR output likewise, through sox. A link in its place is refused, its
// target untouched; an output whose format is not named goes by its name.
// A job line's new output is made beside its final name, whatever that
// name's length, and never takes a name that is taken.
TEST(Conversion, OutputsAreWrittenOnlyIntoTheirOwnFile) {
  namespace fs = std::filesystem;
  const std::string dir = pcmtest::MakeTempDir("own-output");
  const std::string in = ShellQuote(pcmtest::MakeMedia("wav", 1));
  auto hidden = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
    return names;
  };
  for (const char* name : {"/.clip.pcm-AbCd12.mp3", "/.voice.pcm-AbCd12.amr", "/.plain.pcm-AbCd12.wav"}) {
    SCOPED_TRACE(name);
    const std::string out = dir + name;
    std::ofstream{out};
    const bool amr = fs::path(out).extension() == ".amr", named = fs::path(out).extension() == ".mp3";
    AdapterRun r = RunAdapter("-y -i " + in +
                              (amr     ? " -ab 12200 "
                               : named ? " -f mp3 "
                                       : " -ac 1 ") +
                              ShellQuote(out));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(pcmtest::FfprobeFile(out).ok);
    if (!amr) {
      EXPECT_NE(r.out.find("to 'file:" + out + "'"), std::string::npos) << r.out;
    }
    EXPECT_EQ(r.out.find("/proc/self/fd"), std::string::npos) << r.out;
    fs::remove(out);
  }
  const std::string victim = dir + "/victim";
  std::ofstream(victim) << "someone's file";
  for (const char* name : {"/.link.pcm-AbCd12.mp3", "/.link.pcm-AbCd12.amr"}) {
    fs::create_symlink(victim, dir + name);
    AdapterRun r = RunAdapter("-y -i " + in + " -ab 12200 -f mp3 " + ShellQuote(dir + name));
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("is not the file reserved for it"), std::string::npos) << r.out;
    fs::remove(dir + name);
  }
  EXPECT_EQ(pcmtest::RunShell("test \"$(cat " + ShellQuote(victim) + ")\" = \"someone's file\""), 0);

  // Job lines: a name as long as a file name may be, and one that is taken.
  const std::string longName = dir + "/" + std::string(249, 'K') + "_1.mp3";
  AdapterRun made = RunAdapter("--new-output -y -i " + in + " -f mp3 " + ShellQuote(longName));
  EXPECT_EQ(made.code, 0) << made.out;
  EXPECT_TRUE(pcmtest::FfprobeFile(longName).ok);
  AdapterRun taken = RunAdapter("--new-output -y -i " + in + " -f mp3 " + ShellQuote(victim));
  EXPECT_EQ(taken.code, 1) << taken.out;
  EXPECT_NE(taken.out.find(victim + " exists; it is not replaced"), std::string::npos) << taken.out;
  AdapterRun unnamed = RunAdapter("--new-output -y -i " + in + " " + ShellQuote(dir + "/x.mp3"));
  EXPECT_EQ(unnamed.code, 1) << unnamed.out;
  EXPECT_FALSE(fs::exists(dir + "/x.mp3"));
  EXPECT_EQ(pcmtest::RunShell("test \"$(cat " + ShellQuote(victim) + ")\" = \"someone's file\""), 0);
  EXPECT_EQ(hidden(), std::vector<std::string>{});
}

TEST(Conversion, FfmpegExitCodesPassThrough) {
  AdapterRun missing =
      RunAdapter("-y -i /nonexistent/in.mp3 " + ShellQuote(pcmtest::MakeTempDir("fail") + "/o.wav"));
  EXPECT_NE(missing.code, 0);
  EXPECT_NE(missing.out.find("No such file or directory"), std::string::npos) << missing.out;

  std::string dir = pcmtest::MakeTempDir("exit-codes");
  std::string three = WriteScript(dir, "three", "echo failing; exit 3");
  EXPECT_EQ(RunAdapter("-i a b", "POPCLIPMILL_FFMPEG=" + ShellQuote(three)).code, 3);
  std::string killed = WriteScript(dir, "killed", "kill -9 $$");
  EXPECT_EQ(RunAdapter("-i a b", "POPCLIPMILL_FFMPEG=" + ShellQuote(killed)).code, 128 + 9);
}

TEST(Conversion, MissingFfmpegIsAClearErrorAtOnce) {
  AdapterRun r = RunAdapter("-y -i a.mp3 b.wav", "POPCLIPMILL_FFMPEG=/nonexistent");
  EXPECT_EQ(r.code, 127);
  EXPECT_EQ(r.out, "register.dat: cannot start ffmpeg: No such file or directory\n");

  std::string dir = pcmtest::MakeTempDir("noexec");
  std::string plain = dir + "/ffmpeg";
  pcmtest::RunShell("echo 'not a program' > " + ShellQuote(plain));
  r = RunAdapter("-y -i a.mp3 b.wav", "POPCLIPMILL_FFMPEG=" + ShellQuote(plain));
  EXPECT_EQ(r.code, 127);
  EXPECT_EQ(r.out, "register.dat: cannot start ffmpeg: Permission denied\n");

  // No ffmpeg on PATH at all.
  r = RunAdapter("-y -i a.mp3 b.wav", "PATH=" + ShellQuote(dir));
  EXPECT_EQ(r.code, 127);
  EXPECT_NE(r.out.find("cannot start ffmpeg"), std::string::npos) << r.out;
}

// A stand-in ffmpeg plays one taken over by a crafted input: before it runs
// the real ffmpeg it tries what such a decoder would. Only what a conversion
// needs works: reading its input, writing, renaming and removing in the
// output folder, writing /dev/null, signalling itself. Reading a file beside
// the input or elsewhere, writing elsewhere, connecting to a local port and
// signalling a process outside the adapter (this test) are refused as far as
// the kernel's Landlock ABI reaches; the conversion still finishes.
TEST(Conversion, ConfinedToTheOutputFolder) {
  const int abi = pcmtest::LandlockAbi();
  if (abi == 0) GTEST_SKIP() << "the kernel has no Landlock: the encoder runs unconfined";
  AdapterRun status = RunAdapter("--sandbox-status");
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(
      status.out.rfind("sandbox: Landlock ABI " + std::to_string(abi) +
                           ": reads only its inputs and the system's files, writes only in the output folder",
                       0),
      0u)
      << status.out;

  pcmtest::LocalListener listener;
  ASSERT_GT(listener.port(), 0);
  const std::string outside = pcmtest::MakeTempDir("confined-outside");
  const std::string dir = pcmtest::MakeTempDir("confined-out");
  const std::string inputs = pcmtest::MakeTempDir("confined-in");
  std::filesystem::copy_file(pcmtest::MakeMedia("wav", 1), inputs + "/clip.wav");
  std::ofstream(inputs + "/beside.txt") << "a person's notes";
  std::ofstream(outside + "/secret.txt") << "a person's secret";
  const std::string ffmpeg = WriteScript(
      pcmtest::MakeTempDir("confined-ffmpeg"), "ffmpeg",
      "try() { what=$1; shift; if \"$@\"; then echo \"$what: done\"; else echo \"$what: refused\"; fi; }\n"
      "for out; do :; done; out=${out#file:}\n"
      "for f in " +
          ShellQuote(inputs + "/clip.wav") + " " + ShellQuote(inputs + "/beside.txt") + " " +
          ShellQuote(outside + "/secret.txt") +
          "; do try \"read ${f##*/}\" sh -c 'cat \"$0\" > /dev/null' \"$f\"; done\n"
          "try outside sh -c 'echo x > \"$0\"' " +
          ShellQuote(outside + "/escaped") +
          "\n"
          "try inside sh -c 'echo x > \"$0\"' \"$out.part\"\n"
          "try rename mv \"$out.part\" \"$out.moved\"\n"
          "try remove rm \"$out.moved\"\n"
          "try /dev/null sh -c 'echo x > /dev/null'\n"
          "try connect bash -c 'exec 3<>/dev/tcp/127.0.0.1/" +
          std::to_string(listener.port()) +
          "'\n"
          "try 'signal outside' kill -0 " +
          std::to_string(getpid()) +
          "\n"
          "try 'signal itself' kill -0 $$\n"
          "exec ffmpeg \"$@\"");
  AdapterRun r =
      RunAdapter("-y -i " + ShellQuote(inputs + "/clip.wav") + " -ac 1 " + ShellQuote(dir + "/clip.mp3"),
                 "POPCLIPMILL_FFMPEG=" + ShellQuote(ffmpeg));
  EXPECT_EQ(r.code, 0) << r.out;
  std::string tries;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 6 && (line.ends_with(": done") || line.ends_with(": refused"))) tries += line + "\n";
  EXPECT_EQ(tries,
            std::string("read clip.wav: done\nread beside.txt: refused\nread secret.txt: refused\n"
                        "outside: refused\ninside: done\nrename: done\nremove: done\n/dev/null: done\n") +
                (abi >= 4 ? "connect: refused\n" : "connect: done\n") +
                (abi >= 6 ? "signal outside: refused\n" : "signal outside: done\n") + "signal itself: done\n")
      << r.out;
  EXPECT_NE(r.out.find("Permission denied"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(outside + "/escaped"));
  if (abi >= 4) {
    EXPECT_FALSE(listener.Connected());
  }
  EXPECT_TRUE(pcmtest::FfprobeFile(dir + "/clip.mp3").ok) << r.out;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
            1);
}

TEST(Conversion, UsageWithoutArguments) {
  AdapterRun r = RunAdapter("");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out.rfind("usage: register.dat", 0), 0u) << r.out;
}

// The command printed for a job file is the one a conversion runs: ffmpeg by
// its absolute path with the same arguments; a DVD row or an AMR output,
// which need the adapter around ffmpeg, are the adapter's own command.
TEST(Conversion, PrintedCommandIsTheOneThatRuns) {
  auto printed = [](const std::string& args, const std::string& env = "") {
    std::string out;
    EXPECT_EQ(pcmtest::RunShell(env + " " + ShellQuote(Adapter()) + " --print-command " + args, &out), 0);
    std::vector<std::string> words;
    for (size_t start = 0, end; (end = out.find('\0', start)) != std::string::npos; start = end + 1)
      words.push_back(out.substr(start, end - start));
    return words;
  };
  const std::string args = "-ss 00:00:05 -y -i '-odd:name.avi' -r 25 -b 799000 -ab 128000 -ac 2 out.mp4";
  std::vector<std::string> command = printed(args);
  AdapterRun r = RunAdapter(args, EchoFfmpeg());
  ASSERT_FALSE(command.empty());
  EXPECT_EQ(command[0][0], '/') << command[0];
  EXPECT_EQ(std::vector<std::string>(command.begin() + 1, command.end()), EchoedArgs(r.out));

  const std::string self = std::filesystem::canonical(Adapter()).string();
  std::string amr = "/tmp/a b.amr";
  EXPECT_EQ(printed("-y -i /in.wav -ab 12200 " + ShellQuote(amr)),
            (std::vector<std::string>{self, "-y", "-i", "/in.wav", "-ab", "12200", amr}));
  pcm::DvdInputForm form;
  form.folder = "/dvd/it's";
  form.sectors = {{0, 10}};
  std::string dvd = pcm::EncodeDvdInput(form);
  EXPECT_EQ(printed("-ss 00:00:01 -y -i " + ShellQuote(dvd) + " out.mpg"),
            (std::vector<std::string>{self, "-ss", "00:00:01", "-y", "-i", dvd, "out.mpg"}));
}

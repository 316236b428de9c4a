// Real probes through register.dat of files made at test time.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "core/Application.h"
#include "support/Fixtures.h"

using namespace pcm;

namespace {

bool IsNumber(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

struct Expect {
  const char* kind;
  const char* codec;
  bool video;
};

}  // namespace

TEST(ProbeRun, DescribesRealFiles) {
  CoreApp app({pcmtest::MakeProgramDir("probe")});
  for (Expect e :
       {Expect{"mp3", "mp3", false}, Expect{"wav", "pcm_s16le", false}, Expect{"ogg", "vorbis", false},
        Expect{"m4a", "aac", false}, Expect{"avi", "mp3", true}, Expect{"mp4", "aac", true}}) {
    SCOPED_TRACE(e.kind);
    app.probe.ProbeAndWait(pcmtest::MakeMedia(e.kind, 2));
    const ProbeResult& r = app.probe.result;
    EXPECT_FALSE(app.probe.Busy());
    EXPECT_EQ(r.ProbeDuration, "00:00:02");
    EXPECT_TRUE(IsNumber(r.ProbeTotalKbps)) << r.ProbeTotalKbps;
    EXPECT_EQ(r.ProbeAudioCodec, e.codec);
    EXPECT_EQ(r.ProbeSampleRate, " 44100 Hz");
    EXPECT_EQ(r.ProbeChannels, " stereo");
    EXPECT_TRUE(IsNumber(r.ProbeAudioKbps)) << r.ProbeAudioKbps;
    if (e.video) {
      EXPECT_EQ(r.ProbeFrameSize, "320x240");
      EXPECT_TRUE(IsNumber(r.ProbeVideoKbps)) << r.ProbeVideoKbps;
    } else {
      EXPECT_EQ(r.ProbeFrameSize, "");
    }
  }
  // Rates as the files were made.
  app.probe.ProbeAndWait(pcmtest::MakeMedia("mp3", 2));
  EXPECT_EQ(app.probe.result.ProbeAudioKbps, "128");
  app.probe.ProbeAndWait(pcmtest::MakeMedia("wav", 2));
  EXPECT_EQ(app.probe.result.ProbeAudioKbps, "1411");
}

TEST(ProbeRun, UnreadableFilesGiveNoOverallRate) {
  CoreApp app({pcmtest::MakeProgramDir("probe-bad")});
  app.probe.ProbeAndWait(pcmtest::MakeMedia("txt.mp3"));
  EXPECT_EQ(app.probe.result.ProbeTotalKbps, "");
  app.probe.ProbeAndWait("/nonexistent/file.mp3");
  EXPECT_EQ(app.probe.result.ProbeTotalKbps, "");
  // A previous probe's values do not leak into the next one.
  app.probe.ProbeAndWait(pcmtest::MakeMedia("avi", 2));
  app.probe.ProbeAndWait(pcmtest::MakeMedia("txt.mp3"));
  EXPECT_EQ(app.probe.result.ProbeFrameSize, "");
  EXPECT_EQ(app.probe.result.ProbeDuration, "");
}

TEST(ProbeRun, AHangingEncoderIsKilledAfterTheLimit) {
  // A scripted encoder that never answers stands for an input that blocks.
  CoreApp app({pcmtest::MakeProgramDir("probe-hang", "sleep 60")});
  app.probe.timeoutMs = 500;
  app.probe.ProbeAndWait("/whatever.mp3");
  EXPECT_FALSE(app.probe.Busy());
  EXPECT_EQ(app.probe.result.ProbeTotalKbps, "");
}

TEST(ProbeRun, MissingEncoderEndsTheProbe) {
  CoreApp app({pcmtest::MakeProgramDir("probe-none", "exit 0")});
  std::remove((app.program.Directory() + "register.dat").c_str());
  app.probe.ProbeAndWait("/whatever.mp3");
  EXPECT_FALSE(app.probe.Busy());
  EXPECT_EQ(app.probe.result.ProbeTotalKbps, "");
}

TEST(ProbeRun, APartSecondAtTheEndIsNotCutOff) {
  // The length option is built from the whole seconds of the description, so
  // a clip of 1.6 s must be described as 2 s to be converted to its end.
  std::string dir = pcmtest::MakeTempDir("part-second");
  std::string in = dir + "/short.wav";
  pcmtest::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=1.6 " +
                    pcmtest::ShellQuote(in));
  CoreApp app({pcmtest::MakeProgramDir("part-second")});
  app.probe.ProbeAndWait(in);
  ASSERT_EQ(app.probe.result.ProbeDuration, "00:00:02");
  bool ended = false;
  app.run.converting = true;
  app.engine.entryEndedHook = [&](EncoderJob&) { ended = true; };
  intputrec r = app.engine.record;
  r.InputFile = in;
  r.OutputFile = dir + "/short.mp3";
  r.StartOpt = " -ss 00:00:00";
  r.LengthOpt = " -t " + app.probe.result.ProbeDuration;
  r.DurationSecs = 2;
  app.engine.StartEncoderJob(r);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return ended; }, 30000));
  EXPECT_NEAR(pcmtest::FfprobeFile(r.OutputFile).duration, 1.6, 0.1);
}

TEST(ProbeRun, ABrokenInstallationIsNamedInsteadOfTheFile) {
  // A program folder with a copy of the adapter and no probe module, then a
  // damaged one: each file would otherwise be called unsupported.
  std::string program = pcmtest::MakeProgramDir("probe-module");
  std::string dir = program.substr(0, program.rfind('/'));
  std::filesystem::remove(dir + "/register.dat");
  std::filesystem::copy_file(pcmtest::BinDir() + "/register.dat", dir + "/register.dat");
  CoreApp app({program});
  auto& ui = dynamic_cast<ScriptedUserInterface&>(app.ui());
  std::string mp3 = pcmtest::MakeMedia("mp3", 2);
  for (bool damaged : {false, true}) {
    SCOPED_TRACE(damaged);
    if (damaged) pcmtest::RunShell("echo broken > " + pcmtest::ShellQuote(dir + "/register-probe.so"));
    ui.boxes.clear();
    EXPECT_FALSE(app.listCommands.AddFileWithRetry(mp3));
    EXPECT_EQ(app.list.Count(), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.rfind("clip", 0), 0u) << ui.boxes[0].text;
    EXPECT_NE(ui.boxes[0].text.find(" cannot be added: register.dat: the probe module register-probe.so "),
              std::string::npos)
        << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].text.find("not support"), std::string::npos);
  }
  // A file the adapter describes as unusable is still called unsupported.
  std::filesystem::remove(dir + "/register.dat");
  std::filesystem::create_symlink(pcmtest::BinDir() + "/register.dat", dir + "/register.dat");
  ui.boxes.clear();
  EXPECT_FALSE(app.listCommands.AddFileWithRetry(pcmtest::MakeMedia("txt.mp3")));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find(" is not support!"), std::string::npos) << ui.boxes[0].text;
}

TEST(ProbeRun, AStopRequestEndsAProbeAtOnceAndIsNotRetried) {
  // A scripted encoder whose description never comes, logging each start.
  std::string program =
      pcmtest::MakeProgramDir("probe-stop", "echo $$ >> \"$(dirname \"$0\")/probes.log\"\nexec sleep 120");
  std::string log = program.substr(0, program.rfind('/')) + "/probes.log";
  CoreApp app({program});
  auto& ui = dynamic_cast<ScriptedUserInterface&>(app.ui());
  int asked = 0;
  // Asked until the encoder has started, then the stop is requested.
  app.probe.stopHook = [&] { return ++asked > 1 && std::filesystem::exists(log); };
  std::string mp3 = pcmtest::MakeMedia("mp3", 2);
  EXPECT_FALSE(app.listCommands.AddFileWithRetry(mp3));
  EXPECT_TRUE(app.probe.Stopped());
  EXPECT_FALSE(app.probe.Busy());
  EXPECT_EQ(app.probe.result.ProbeTotalKbps, "");
  EXPECT_TRUE(ui.boxes.empty());  // neither a second try nor a notice
  EXPECT_EQ(app.list.Count(), 0);
  std::ifstream in(log);
  pid_t pid = -1;
  ASSERT_TRUE(in >> pid);
  EXPECT_FALSE(in >> pid);  // one start only
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return kill(pid, 0) != 0; }, 20000));

  // A probe that only runs out of time is no stop request.
  app.probe.stopHook = nullptr;
  app.probe.timeoutMs = 300;
  app.probe.ProbeAndWait(mp3);
  EXPECT_FALSE(app.probe.Stopped());
}

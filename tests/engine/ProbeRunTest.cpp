// Real probes through register.dat of files made at test time.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "core/Application.h"
#include "support/Fixtures.h"

using namespace pcm;

namespace {

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
    const MediaInfo& m = app.probe.result.media;
    EXPECT_FALSE(app.probe.Busy());
    ASSERT_TRUE(m.described);
    EXPECT_EQ(WholeSeconds(m.durationMs), 2);
    EXPECT_GT(m.kbps, 0);
    EXPECT_GT(m.bytes, 0);
    const StreamInfo* a = ChosenAudio(m.streams);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->codec, e.codec);
    EXPECT_EQ(a->sampleRate, 44100);
    EXPECT_EQ(a->channels, 2);
    EXPECT_GT(a->kbps, 0);
    const StreamInfo* v = MainVideo(m.streams);
    EXPECT_EQ(v != nullptr, e.video);
    if (v) {
      EXPECT_EQ(v->width, 320);
      EXPECT_EQ(v->height, 240);
      EXPECT_EQ(v->rotation, 0);
      EXPECT_EQ(v->fpsNum, 25 * v->fpsDen);
    }
  }
  // Rates as the files were made.
  app.probe.ProbeAndWait(pcmtest::MakeMedia("mp3", 2));
  EXPECT_EQ(ChosenAudio(app.probe.result.media.streams)->kbps, 128);
  app.probe.ProbeAndWait(pcmtest::MakeMedia("wav", 2));
  EXPECT_EQ(ChosenAudio(app.probe.result.media.streams)->kbps, 1411);
}

TEST(ProbeRun, UnreadableFilesGiveNoOverallRate) {
  CoreApp app({pcmtest::MakeProgramDir("probe-bad")});
  app.probe.ProbeAndWait(pcmtest::MakeMedia("txt.mp3"));
  EXPECT_FALSE(app.probe.result.media.described);
  app.probe.ProbeAndWait("/nonexistent/file.mp3");
  EXPECT_FALSE(app.probe.result.media.described);
  // A previous probe's values do not leak into the next one.
  app.probe.ProbeAndWait(pcmtest::MakeMedia("avi", 2));
  app.probe.ProbeAndWait(pcmtest::MakeMedia("txt.mp3"));
  EXPECT_TRUE(app.probe.result.media.streams.empty());
  EXPECT_EQ(app.probe.result.media.durationMs, -1);
}

TEST(ProbeRun, AHangingEncoderIsKilledAfterTheLimit) {
  // A scripted encoder that never answers stands for an input that blocks.
  CoreApp app({pcmtest::MakeProgramDir("probe-hang", "sleep 60")});
  app.probe.timeoutMs = 500;
  app.probe.ProbeAndWait("/whatever.mp3");
  EXPECT_FALSE(app.probe.Busy());
  EXPECT_FALSE(app.probe.result.media.described);
}

TEST(ProbeRun, MissingEncoderEndsTheProbe) {
  CoreApp app({pcmtest::MakeProgramDir("probe-none", "exit 0")});
  std::remove((app.program.Directory() + "register.dat").c_str());
  app.probe.ProbeAndWait("/whatever.mp3");
  EXPECT_FALSE(app.probe.Busy());
  EXPECT_FALSE(app.probe.result.media.described);
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
  ASSERT_EQ(WholeSeconds(app.probe.result.media.durationMs), 2);
  bool ended = false;
  app.run.converting = true;
  app.engine.entryEndedHook = [&](EncoderJob&) { ended = true; };
  intputrec r = app.engine.record;
  r.InputFile = in;
  r.OutputFile = dir + "/short.mp3";
  r.LengthOpt = OptionField({"-t", FormatClock(2)});
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
    EXPECT_EQ(ui.boxes[0].text.rfind(mp3 + " cannot be added: ", 0), 0u) << ui.boxes[0].text;
    EXPECT_NE(ui.boxes[0].text.find(" cannot be added: register.dat: the probe module register-probe.so "),
              std::string::npos)
        << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].text.find("not support"), std::string::npos);
  }
  // A file the adapter describes as unusable is still called unsupported,
  // with the library's reason (without the path) on a line of its own.
  std::filesystem::remove(dir + "/register.dat");
  std::filesystem::create_symlink(pcmtest::BinDir() + "/register.dat", dir + "/register.dat");
  ui.boxes.clear();
  const std::string text = pcmtest::MakeMedia("txt.mp3");
  EXPECT_FALSE(app.listCommands.AddFileWithRetry(text));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, text + " is not support!\nInvalid data found when processing input.");
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
  EXPECT_FALSE(app.probe.result.media.described);
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

// Conversions with the real adapter and ffmpeg where a profile used to fail
// or to give something else than asked: mono OGG at every quality, an MP3
// whose cover picture is not its video, and a WAV source's 1411 kbit/s kept
// by profiles whose audio encoder takes less.
#include <gtest/gtest.h>

#include <QByteArray>
#include <sstream>

#include "core/Application.h"
#include "profiles/Catalog.h"
#include "support/Fixtures.h"

using namespace pcm;

namespace {

struct Converted {
  std::string problem;  // "" when the encoder ended well
  std::string command;
  std::string output;
  pcmtest::ProbeInfo info;
};

// Adds the file as the list commands do (real probe), converts it with the
// current choices and reads the result back.
Converted Convert(CoreApp& app, const std::string& input, const std::string& outDir) {
  Converted c;
  if (!app.listCommands.AddFileEntry(input)) {
    c.problem = "the probe did not take " + input;
    return c;
  }
  ListRow& row = app.list.Row(app.list.Count() - 1);
  app.settings.outputField = outDir;
  intputrec rec = app.engine.record;
  rec.InputFile = input;
  rec.OutputFile = app.options.OutputFilePath(row);
  app.options.FillProfileOptions(rec, row);
  rec.DurationSecs = 2;
  rec.StartOpt = pcm::OptionField({"-ss", "00:00:00"});
  rec.LengthOpt = pcm::OptionField({"-t", "00:00:02"});
  c.command = BuildCommandLine(rec);
  c.output = rec.OutputFile;

  bool ended = false;
  JobOutcome outcome;
  app.engine.entryEndedHook = [&](EncoderJob& job) {
    ended = true;
    outcome = job.outcome;
  };
  app.engine.StartEncoderJob(rec);
  if (!pcmtest::WaitUntil([&] { return ended; }, 120000)) {
    c.problem = "no end within 2 minutes";
    return c;
  }
  app.engine.entryEndedHook = nullptr;
  if (!outcome.Succeeded()) {
    std::ostringstream why;
    why << "encoder exit " << outcome.exitCode << ";";
    for (const std::string& line : outcome.lastLines) why << " " << line;
    c.problem = why.str();
  }
  c.info = pcmtest::FfprobeFile(rec.OutputFile);
  return c;
}

int AudioBitRate(const std::string& path) {
  std::string out;
  pcmtest::RunShell("ffprobe -v error -select_streams a:0 -show_entries stream=bit_rate -of csv=p=0 " +
                        pcmtest::ShellQuote(path),
                    &out);
  return std::atoi(out.c_str());
}

// Every stream of a file by kind, in order, pictures included: "audio video".
std::string StreamKinds(const std::string& path) {
  std::string out;
  pcmtest::RunShell(
      "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + pcmtest::ShellQuote(path), &out);
  std::string kinds;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) kinds += (kinds.empty() ? "" : " ") + line;
  return kinds;
}

class RealConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("POPCLIPMILL_CONFIG_DIR", QByteArray::fromStdString(pcmtest::MakeTempDir("real-config") + "/"));
    app = std::make_unique<CoreApp>(CoreApp::Options{pcmtest::MakeProgramDir("real")});
    app->run.converting = true;  // so the job's end reaches the hook
    outDir = pcmtest::MakeTempDir("real-out");
  }
  std::unique_ptr<CoreApp> app;
  std::string outDir;
};

// "Mono" gives one channel at the highest quality too, where the encoder
// takes less than the step's 320 kbit/s for one channel.
TEST_F(RealConversion, OggMonoAtTheHighestAndLowestQuality) {
  const std::string wav = pcmtest::MakeMedia("wav", 2);
  ProfileState& p = app->profiles;
  p.SelectProfile(18);
  for (int quality : {0, 4}) {
    SCOPED_TRACE(quality);
    p.SetSelected(p.cb_audiobitrate, quality);
    p.SetSelected(p.cb_channel, 0);
    Converted c = Convert(*app, wav, outDir);
    ASSERT_EQ(c.problem, "") << c.command;
    EXPECT_EQ(c.info.formatName, "ogg");
    EXPECT_EQ(c.info.audioStreams, 1);
    EXPECT_EQ(c.info.channels, 1) << c.command;
    // Stereo is still stereo.
    p.SetSelected(p.cb_channel, 1);
    c = Convert(*app, wav, outDir);
    ASSERT_EQ(c.problem, "") << c.command;
    EXPECT_EQ(c.info.channels, 2);
  }
}

// The cover of an MP3 is an attached picture, not a video stream: the MP4
// gets the audio and no picture stream, and the job ends well.
TEST_F(RealConversion, Mp3WithCoverArtToMp4) {
  std::string dir = pcmtest::MakeTempDir("cover");
  std::string mp3 = dir + "/with cover.mp3";
  ASSERT_EQ(pcmtest::RunShell("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=2 "
                              "-f lavfi -i testsrc=size=300x300:duration=1 -map 0:a -map 1:v -frames:v 1 "
                              "-c:a libmp3lame -b:a 128k -c:v mjpeg -disposition:v attached_pic "
                              "-id3v2_version 3 " +
                              pcmtest::ShellQuote(mp3)),
            0);
  ASSERT_EQ(StreamKinds(mp3), "audio video");  // the picture
  app->profiles.SelectProfile(5);
  Converted c = Convert(*app, mp3, outDir);
  ASSERT_EQ(c.problem, "") << c.command;
  ASSERT_TRUE(c.info.ok) << c.output;
  EXPECT_EQ(c.info.formatName, "mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_EQ(StreamKinds(c.output), "audio");
  EXPECT_NEAR(c.info.duration, 2.0, 0.5);

  // A real video with two audio streams: the one marked as the default is
  // taken, told by its language, although it is the second.
  std::string two = dir + "/two tracks.mkv";
  ASSERT_EQ(
      pcmtest::RunShell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                        "-f lavfi -i sine=frequency=440:duration=2 -f lavfi -i "
                        "sine=frequency=880:duration=2,aformat=channel_layouts=stereo "
                        "-map 0:v -map 1:a -map 2:a -c:v mpeg4 -c:a aac -metadata:s:a:0 language=eng "
                        "-metadata:s:a:1 language=fre -disposition:a:0 0 -disposition:a:1 default " +
                        pcmtest::ShellQuote(two)),
      0);
  c = Convert(*app, two, outDir);
  ASSERT_EQ(c.problem, "") << c.command;
  EXPECT_EQ(StreamKinds(c.output), "video audio");
  std::string language;
  pcmtest::RunShell("ffprobe -v error -select_streams a:0 -show_entries stream_tags=language -of csv=p=0 " +
                        pcmtest::ShellQuote(c.output),
                    &language);
  EXPECT_EQ(language, "fre\n");
}

// A WAV source at its own quality (1411 kbit/s) into MPEG-1 and MPEG-2,
// whose audio encoder takes 384 kbit/s at most, in stereo and in mono.
TEST_F(RealConversion, WavAtTheSourceQualityIntoMpeg1AndMpeg2) {
  const std::string wav = pcmtest::MakeMedia("wav", 2);
  for (int n : {110, 111}) {
    for (int channel : {1, 0}) {
      SCOPED_TRACE(std::to_string(n) + " channel " + std::to_string(channel));
      ProfileState& p = app->profiles;
      p.SelectProfile(n);
      ASSERT_EQ(p.cb_audiobitrate.SelectedText(), kOriginalAudio);
      p.SetSelected(p.cb_channel, channel);
      Converted c = Convert(*app, wav, outDir);
      ASSERT_EQ(app->list.Row(app->list.Count() - 1).entry.audioKbps, 1411);
      ASSERT_EQ(c.problem, "") << c.command;
      // The source's rate is capped at the highest the profiles' audio takes.
      EXPECT_NE(c.command.find(" -ab 320000"), std::string::npos) << c.command;
      EXPECT_EQ(c.info.audioStreams, 1);
      EXPECT_EQ(c.info.audioCodec, "mp2");
      EXPECT_EQ(c.info.channels, channel + 1);
      EXPECT_EQ(AudioBitRate(c.output), 320000);
      EXPECT_NEAR(c.info.duration, 2.0, 0.5);
    }
  }
}

}  // namespace

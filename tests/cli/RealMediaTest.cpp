// Media that others made (sample videos and sounds of Debian packages) and
// the awkward cases derived from them, converted through the front end a
// person uses and measured: against plain ffmpeg on the same source for the
// start, the frames and the sound's offset; for the picture's shape, the
// track heard, the cover and the tags; and a result without streams.
#include <gtest/gtest.h>

#include <QDir>
#include <cmath>

#include "CliSupport.h"
#include "support/RealMedia.h"

using clitest::Contains;
using clitest::Result;
using pcmtest::ShellQuote;

namespace {

struct RealBed {
  std::string media, out, config;
  RealBed(const std::string& tag) {
    std::string why;
    media = pcmtest::RealMediaDir(&why);
    skipReason = why;
    out = pcmtest::MakeTempDir(tag);
    config = pcmtest::MakeTempDir(tag + "-config");
  }
  std::string skipReason;
  Result Run(const std::string& args) const {
    Result r;
    r.status = pcmtest::RunShell("POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " +
                                     ShellQuote(clitest::Program()) + " --batch " + args + " 2>&1",
                                 &r.out);
    return r;
  }
  // Converts one file of the media folder (or one named by its whole
  // path); the result's path.
  std::string Convert(const std::string& file, int profile, const std::string& options = "") const {
    Result r = Run("--profile " + std::to_string(profile) + " " + options + " --output " + ShellQuote(out) +
                   " " + ShellQuote(file[0] == '/' ? file : media + "/" + file));
    EXPECT_EQ(r.status, 0) << r.out;
    size_t at = r.out.rfind("Finish  ");
    if (at == std::string::npos) return {};
    return r.out.substr(at + 8, r.out.find('\n', at) - at - 8);
  }
  // The same source through plain ffmpeg with the given options.
  std::string Plain(const std::string& file, const std::string& options, const std::string& name) const {
    std::string path = out + "/plain-" + name;
    EXPECT_EQ(pcmtest::RunShell("ffmpeg -nostdin -v error -y -i " + ShellQuote(media + "/" + file) + " " +
                                options + " " + ShellQuote(path)),
              0);
    return path;
  }
};

#define SKIP_WITHOUT_MEDIA(bed) \
  if ((bed).media.empty()) GTEST_SKIP() << (bed).skipReason

}  // namespace

TEST(RealMedia, TheWholeStartInSyncAsPlainFfmpegGivesIt) {
  RealBed bed("real-start");
  SKIP_WITHOUT_MEDIA(bed);
  // MPEG-4 video with AC-3 sound in AVI, into DivX AVI: no part of the
  // start or the end is lost, the sound starts where plain ffmpeg's does.
  // Plain ffmpeg gets the frame rate every profile gives.
  std::string ours = bed.Convert("real-av.avi", 2);
  std::string plain = bed.Plain("real-av.avi", "-r 25 -vcodec mpeg4 -vtag DIVX -acodec libmp3lame", "av.avi");
  pcmtest::MediaFacts a = pcmtest::MeasureMedia(ours), b = pcmtest::MeasureMedia(plain);
  ASSERT_TRUE(a.ok && b.ok) << ours;
  EXPECT_NEAR(a.duration, b.duration, 0.1);
  EXPECT_EQ(a.videoFrames, b.videoFrames);
  EXPECT_NEAR(a.audioStart, b.audioStart, 0.05);
  EXPECT_NEAR(a.videoStart, b.videoStart, 0.05);
  EXPECT_LT(pcmtest::FrameDifference(ours, plain), 8);
  // Its sound alone, and a raw MPEG-1 video of 100 frames into MP4.
  std::string sound = bed.Convert("real-av.avi", 17);
  EXPECT_NEAR(pcmtest::MeasureMedia(sound).duration,
              pcmtest::MeasureMedia(bed.Plain("real-av.avi", "-vn -acodec libmp3lame", "av.mp3")).duration,
              0.1);
  std::string frames = bed.Convert("mpeg1.mpg", 4);
  const long plainFrames =
      pcmtest::MeasureMedia(bed.Plain("mpeg1.mpg", "-r 25 -vcodec mpeg4", "m1.mp4")).videoFrames;
  EXPECT_GE(plainFrames, 100);
  EXPECT_EQ(pcmtest::MeasureMedia(frames).videoFrames, plainFrames);
  EXPECT_LT(pcmtest::FrameDifference(frames, bed.media + "/mpeg1.mpg"), 8);
}

// Turned, anamorphic and portrait pictures keep the shape they are shown
// in: at the source's size (the shown size, or the stored one with the
// aspect flag) and fitted with black bars into a fixed frame.
TEST(RealMedia, PicturesKeepTheShapeTheyAreShownIn) {
  RealBed bed("real-shape");
  SKIP_WITHOUT_MEDIA(bed);
  for (const char* file : {"rotated.mp4", "anamorphic.mkv", "portrait.mp4", "wide.mp4"}) {
    SCOPED_TRACE(file);
    const double shape = pcmtest::MeasureMedia(bed.media + "/" + file).displayAspect;
    ASSERT_GT(shape, 0);
    // Profile 102 (H.264 in AVI, which states a pixel aspect) and 11 (Flash
    // video, which does not) at the source's size, then at a fixed one.
    struct Try {
      int profile, size, width, height;
    };
    for (Try t : {Try{102, 6, 0, 0}, Try{102, 4, 640, 480}, Try{11, 4, 0, 0}, Try{11, 1, 320, 240}}) {
      SCOPED_TRACE(std::to_string(t.profile) + " size " + std::to_string(t.size));
      std::string result = bed.Convert(file, t.profile, "--size " + std::to_string(t.size));
      ASSERT_FALSE(result.empty());
      EXPECT_NEAR(pcmtest::ShownAspect(result) / shape, 1.0, 0.05);
      pcmtest::MediaFacts r = pcmtest::MeasureMedia(result);
      if (t.width) {
        EXPECT_EQ(r.width, t.width);
        EXPECT_EQ(r.height, t.height);
      }
      QFile::remove(QString::fromStdString(result));
    }
  }
  // A turned phone clip at its own size is stored upright.
  pcmtest::MediaFacts upright = pcmtest::MeasureMedia(bed.Convert("rotated.mp4", 102, "--size 6"));
  EXPECT_EQ(upright.width, 720);
  EXPECT_EQ(upright.height, 1280);
  EXPECT_EQ(upright.rotation, 0);

  // The disc presets, PAL and NTSC: a 4:3 picture that leaves its pixel
  // aspect unset (as motion-JPEG AVI files do) keeps 4:3 in every frame; a
  // 16:9 one is flagged 16:9 on a DVD and letterboxed on a VCD.
  const std::string unset = bed.out + "/unset-sar.avi";
  ASSERT_EQ(pcmtest::RunShell("ffmpeg -nostdin -v error -i " + ShellQuote(bed.media + "/real-video.mp4") +
                              " -t 2 -vf scale=768:576,setsar=0 -c:v mjpeg -an " + ShellQuote(unset)),
            0);
  for (std::string disc : {"112 0", "113 1", "114 0", "114 1", "112 1 wide", "114 0 wide"}) {
    SCOPED_TRACE(disc);
    const bool wide = disc.size() > 5;
    std::string result =
        bed.Convert(wide ? "wide.mp4" : unset, std::stoi(disc), "--size " + disc.substr(4, 1));
    EXPECT_NEAR(pcmtest::ShownAspect(result) * (wide ? 9 / 16.0 : 0.75), 1.0, 0.03);
    QFile::remove(QString::fromStdString(result));
  }
}

TEST(RealMedia, TheDefaultTrackTheCoverAndTheTagsReachTheResult) {
  RealBed bed("real-streams");
  SKIP_WITHOUT_MEDIA(bed);
  // The second of two tracks is marked default: its 880 Hz is heard.
  for (int profile : {17, 4, 114}) {
    std::string two = bed.Convert("two-tracks.mkv", profile);
    EXPECT_NEAR(pcmtest::DominantFrequency(two), 880, 60) << profile;
    QFile::remove(QString::fromStdString(two));
  }
  // --list shows every track, the converted one marked; --audio picks another.
  Result list = bed.Run("--list --profile 17 " + ShellQuote(bed.media + "/two-tracks.mkv"));
  EXPECT_TRUE(Contains(list.out, "        audio 0: id 0x1, aac, eng, ")) << list.out;
  EXPECT_TRUE(Contains(list.out, "      * audio 1: id 0x2, aac, deu, ")) << list.out;
  for (int profile : {17, 112, 114}) {
    std::string first = bed.Convert("two-tracks.mkv", profile, "--audio 0");
    EXPECT_NEAR(pcmtest::DominantFrequency(first), 440, 40) << profile;
    QFile::remove(QString::fromStdString(first));
  }
  EXPECT_EQ(bed.Run("--profile 17 --audio 0x7 " + ShellQuote(bed.media + "/two-tracks.mkv")).status, 2);
  // On a DVD a sound file's cover is shown for the whole 4 s.
  EXPECT_GE(pcmtest::MeasureMedia(bed.Convert("cover.mp3", 114)).videoFrames, 95);
  // The cover goes along into the formats that keep one beside sound, never
  // as a moving picture; the tags reach every one.
  for (int profile : {17, 23}) {
    SCOPED_TRACE(profile);
    pcmtest::MediaFacts c = pcmtest::MeasureMedia(bed.Convert("cover.mp3", profile));
    EXPECT_TRUE(c.hasCover);
    EXPECT_EQ(c.coverWidth * 1000 + c.coverHeight, 352 * 1000 + 288);
    EXPECT_EQ(c.title, "Cover Song");
    EXPECT_EQ(c.artist, "Test Artist");
    EXPECT_EQ(c.album, "Test Album");
    EXPECT_EQ(c.track.substr(0, 1), "3");
    EXPECT_EQ(c.date.substr(0, 4), "2019");
  }
  pcmtest::MediaFacts video = pcmtest::MeasureMedia(bed.Convert("cover.mp3", 4));
  EXPECT_FALSE(video.hasCover);
  EXPECT_EQ(video.width, 0);  // no picture made from the cover
  // Tags an OGG file keeps on its sound stream become the file's own.
  for (int profile : {17, 23, 21}) {
    SCOPED_TRACE(profile);
    pcmtest::MediaFacts t = pcmtest::MeasureMedia(bed.Convert("stream-tags.ogg", profile));
    EXPECT_EQ(t.title, "Stream Song");
    EXPECT_EQ(t.artist, "Stream Artist");
    EXPECT_EQ(t.album, "Stream Album");
    EXPECT_EQ(t.track.substr(0, 1), "5");
    EXPECT_EQ(t.date.substr(0, 4), "2021");
  }
}

// Five samples of sound: a result with a stream, or "Failed" with the
// reason and nothing under the final name.
TEST(RealMedia, AResultWithoutAnyStreamFails) {
  RealBed bed("real-empty");
  SKIP_WITHOUT_MEDIA(bed);
  for (int profile : {2, 125, 8, 17}) {
    SCOPED_TRACE(profile);
    Result r = bed.Run("--profile " + std::to_string(profile) + " --output " + ShellQuote(bed.out) + " " +
                       ShellQuote(bed.media + "/five-samples.wav"));
    size_t at = r.out.rfind("Finish  ");
    if (at != std::string::npos) {
      std::string result = r.out.substr(at + 8, r.out.find('\n', at) - at - 8);
      EXPECT_EQ(pcmtest::MeasureMedia(result).audioStreams, 1) << r.out;
    } else {
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_TRUE(Contains(r.out, "The result holds no stream")) << r.out;
    }
  }
  // Whatever failed left nothing behind, not even a hidden file.
  for (const QString& name : QDir(QString::fromStdString(bed.out)).entryList(QDir::Files | QDir::Hidden))
    EXPECT_FALSE(name.startsWith(".")) << name.toStdString();
}

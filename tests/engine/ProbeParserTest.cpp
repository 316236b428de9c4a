// The reading of the adapter's description: every stream as numbers, a
// description split over chunks, values beyond any medium, and the rules
// read from the numbers (the shown size, the sound converted, the length).
#include <gtest/gtest.h>

#include "engine/MediaProbe.h"

using namespace pcm;

namespace {

const char* kDescription =
    "media format=matroska,webm duration_ms=83400 bit_rate=1152000 size=12000000 tagged=0\n"
    "stream index=0 kind=video codec=h264 language=eng default=1 attached_pic=0 tagged=0 width=720 "
    "height=576 sar=64/45 rotation=0 fps=25/1 bit_rate=1000000\n"
    "stream index=1 kind=audio codec=aac language=eng default=0 attached_pic=0 tagged=0 channels=2 "
    "sample_rate=44100 bit_rate=128000\n"
    "stream index=2 kind=audio codec=ac3 language=deu default=1 attached_pic=0 tagged=1 channels=6 "
    "sample_rate=48000 bit_rate=448000\n"
    "stream index=3 kind=subtitle codec=subrip language=fra default=0 attached_pic=0 tagged=0\n"
    "stream index=4 kind=video codec=mjpeg default=0 attached_pic=1 tagged=0 width=300 height=300\n";

}  // namespace

TEST(ProbeParser, EveryStreamAsNumbersAndTheRulesReadFromThem) {
  std::string error;
  MediaInfo m = ParseMediaDescription(kDescription, &error);
  EXPECT_EQ(error, "");
  ASSERT_TRUE(m.described);
  EXPECT_EQ(m.container, "matroska,webm");
  EXPECT_EQ(m.durationMs, 83400);
  EXPECT_EQ(m.kbps, 1152);
  EXPECT_EQ(m.bytes, 12000000);
  ASSERT_EQ(m.streams.size(), 5u);
  const StreamInfo& v = m.streams[0];
  EXPECT_EQ(v.kind, StreamInfo::Kind::Video);
  EXPECT_EQ(v.codec, "h264");
  EXPECT_EQ(v.sarNum * 45, v.sarDen * 64);
  EXPECT_EQ(v.kbps, 1000);
  EXPECT_EQ(m.streams[2].channels, 6);
  EXPECT_EQ(m.streams[2].language, "deu");
  EXPECT_EQ(m.streams[3].kind, StreamInfo::Kind::Subtitle);

  // The moving picture, not the cover; the sound marked default, counted
  // among the audio streams as "-map 0:a:N" counts.
  EXPECT_EQ(MainVideo(m.streams), &m.streams[0]);
  EXPECT_EQ(CoverPicture(m.streams), &m.streams[4]);
  ASSERT_EQ(ChosenAudio(m.streams), &m.streams[2]);
  EXPECT_EQ(KindOrdinal(m.streams, m.streams[2]), 1);
  EXPECT_EQ(KindOrdinal(m.streams, m.streams[4]), 1);
  // Without a default mark the first sound; one that cannot be decoded
  // (no rate, no channels) is never chosen.
  m.streams[2].isDefault = false;
  EXPECT_EQ(ChosenAudio(m.streams), &m.streams[1]);
  m.streams[1].sampleRate = 0;
  EXPECT_EQ(ChosenAudio(m.streams), &m.streams[2]);

  // The shown size: the pixel aspect widens, a quarter turn swaps.
  FrameSize shown = DisplayedSize(v);
  EXPECT_EQ(shown.width, 1024);
  EXPECT_EQ(shown.height, 576);
  StreamInfo phone;
  phone.width = 1280;
  phone.height = 720;
  phone.rotation = 90;
  EXPECT_EQ(DisplayedSize(phone).width, 720);
  EXPECT_EQ(DisplayedSize(phone).height, 1280);
  EXPECT_EQ(TurnedSize(phone).width, 720);
  phone.sarNum = phone.sarDen = 1;
  phone.rotation = 180;
  EXPECT_EQ(DisplayedSize(phone).width, 1280);
  // A pixel aspect no real picture has (a broken header) counts as square.
  phone.sarNum = 1000000;
  EXPECT_EQ(DisplayedSize(phone).width, 1280);

  // The texts made from the numbers.
  EXPECT_EQ(SampleRateText(m.streams[2]), "48000 Hz");
  EXPECT_EQ(SampleRateText(m.streams[1]), "");
  EXPECT_EQ(ChannelsText(m.streams[2]), "5.1");
  EXPECT_EQ(StreamSummary(m.streams[2]), "ac3, deu, 5.1, 48000 Hz");
}

TEST(ProbeParser, ADescriptionSplitAnywhereGivesTheSameValues) {
  const std::string whole = kDescription;
  for (size_t cut = 0; cut <= whole.size(); cut += 7) {
    std::string text = whole.substr(0, cut), lines;
    TakeDescriptionLines(text, lines);
    text += whole.substr(cut);
    TakeDescriptionLines(text, lines);
    EXPECT_EQ(text, "");
    MediaInfo m = ParseMediaDescription(lines);
    ASSERT_EQ(m.streams.size(), 5u) << cut;
    EXPECT_EQ(m.streams[4].height, 300) << cut;
  }
}

TEST(ProbeParser, ErrorsUnknownWordsAndValuesBeyondAnyMedium) {
  std::string error;
  MediaInfo m = ParseMediaDescription("error /m/notes.mp3: Invalid data found when processing input\n", &error);
  EXPECT_FALSE(m.described);
  EXPECT_EQ(error, "/m/notes.mp3: Invalid data found when processing input");

  // Streams before the file's own line belong to nothing; unknown keys and
  // lines are passed over; a value beyond any medium counts as not stated.
  m = ParseMediaDescription(
      "stream index=9 kind=audio channels=2 sample_rate=8000\n"
      "future words here\n"
      "media format=avi duration_ms=99999999999999999999 bit_rate=2147483700000 size=-5 colour=blue\n"
      "stream index=0 kind=video codec=mpeg4 width=99999 height=480 sar=0/0 rotation=45 fps=x/y "
      "bit_rate=-1\n"
      "stream index=1 kind=audio codec=mp3\xff<> channels=300 sample_rate=44100 language=a\"b\n");
  ASSERT_TRUE(m.described);
  EXPECT_EQ(m.durationMs, 0);
  EXPECT_EQ(m.kbps, 0);
  EXPECT_EQ(m.bytes, 0);
  ASSERT_EQ(m.streams.size(), 2u);
  EXPECT_EQ(m.streams[0].width, 0);
  EXPECT_EQ(m.streams[0].rotation, 0);
  EXPECT_EQ(m.streams[0].sarNum, 0);
  EXPECT_EQ(m.streams[0].kbps, 0);
  EXPECT_EQ(MainVideo(m.streams), nullptr);  // no width: no picture to convert
  EXPECT_EQ(m.streams[1].codec, "mp3");
  EXPECT_EQ(m.streams[1].language, "ab");
  EXPECT_EQ(ChosenAudio(m.streams), nullptr);  // 300 channels are no sound
  EXPECT_EQ(ParseMediaDescription("media duration_ms=-1\n").durationMs, -1);
}

TEST(ProbeParser, WholeSecondsKeepAPartSecondBeyondPadding) {
  EXPECT_EQ(WholeSeconds(-1), 0);
  EXPECT_EQ(WholeSeconds(0), 0);
  EXPECT_EQ(WholeSeconds(1040), 1);
  EXPECT_EQ(WholeSeconds(1050), 1);
  EXPECT_EQ(WholeSeconds(1060), 2);
  EXPECT_EQ(WholeSeconds(1600), 2);
  EXPECT_EQ(WholeSeconds(3599999), 3600);
  EXPECT_EQ(RateBoundKbps(500000, 4000), 1000);
  EXPECT_EQ(RateBoundKbps(0, 4000), 0);
  EXPECT_EQ(RateBoundKbps(500000, -1), 0);
}

// Option assembly: the worked examples as exact strings, the thresholds and
// the choices the options make for lists without a selection.
#include <gtest/gtest.h>

#include "ProfileTestBed.h"
#include "engine/JobRecord.h"

using namespace pcmtest;

namespace {

// The options a profile gives an entry, filled as the batch fills them.
pcm::intputrec Filled(OptionBed& bed, const pcm::ListRow& row) {
  pcm::intputrec rec;
  rec.EncoderPath = "/opt/pcm/register.dat";
  rec.InputFile = "/media/in.avi";
  rec.OutputFile = "/music/clip.out";
  rec.StartOpt = pcm::OptionField({"-ss", "00:00:00"});
  rec.LengthOpt = pcm::OptionField({"-t", "00:01:30"});
  bed.options().FillProfileOptions(rec, row);
  return rec;
}

}  // namespace

TEST(WorkedExample, Profile7ComputedWmv) {
  OptionBed bed;
  bed.Choose(7, 1, 2, 2, 1);
  auto row = Entry();
  EXPECT_EQ(bed.options().TotalBitRate(row), 927);
  pcm::intputrec rec = Filled(bed, row);
  EXPECT_EQ(rec.SizeOpt.Text(), " -s 320x240");
  EXPECT_EQ(rec.AspectOpt.Text(), " -aspect 1.3333");
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 799000");
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 128000");
  EXPECT_EQ(rec.SampleRateOpt.Text(), " -ar 44100 ");
  EXPECT_EQ(rec.ChannelsOpt.Text(), " -ac 2");
  EXPECT_EQ(rec.TargetOpt.Text(), " -opt7");
  EXPECT_EQ(pcm::BuildCommandLine(rec),
            "/opt/pcm/register.dat -ss 00:00:00 -y  -i /media/in.avi -r 25 -b 799000 -ab 128000 -ac 2"
            " -aspect 1.3333 -t 00:01:30 -s 320x240  -ar 44100  -opt7 /music/clip.out");
}

TEST(WorkedExample, Profile112DiscUsesTheTargetOnly) {
  OptionBed bed;
  bed.Choose(112, 0, -2, -2, 1);
  auto row = Entry();
  EXPECT_EQ(bed.options().TotalBitRate(row), 1393);
  pcm::intputrec rec = Filled(bed, row);
  EXPECT_EQ(rec.TargetOpt.Text(), " -target pal-vcd ");
  // The frame is always flagged with its shape: players go by the flag.
  EXPECT_EQ(pcm::BuildCommandLine(rec),
            "/opt/pcm/register.dat -ss 00:00:00 -y  -i /media/in.avi -ac 2 -aspect 4:3 -t 00:01:30  -target "
            "pal-vcd  /music/clip.out");
  bed.Choose(113, 1, -2, -2, 0);
  EXPECT_EQ(bed.options().TotalBitRate(row), 1948);
  EXPECT_EQ(bed.options().TargetOption().Text(), " -target ntsc-svcd ");
  EXPECT_EQ(bed.options().ChannelsOption().Text(), " -ac 1");
  bed.Choose(114, 0, -2, -2, 1);
  EXPECT_EQ(bed.options().TotalBitRate(row), 3222);
  EXPECT_EQ(bed.options().TargetOption().Text(), " -target pal-dvd ");
}

TEST(WorkedExample, Profile17Audio) {
  OptionBed bed;
  bed.Choose(17, -2, -2, 1, 1);
  auto row = Entry();
  EXPECT_EQ(bed.options().TotalBitRate(row), 192);
  pcm::intputrec rec = Filled(bed, row);
  EXPECT_EQ(rec.SizeOpt.Text(), "");
  EXPECT_EQ(rec.AspectOpt.Text(), "");
  EXPECT_EQ(rec.VideoRateOpt.Text(), "");
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 192000");
  EXPECT_EQ(rec.SampleRateOpt.Text(), " -ar 44100 ");
  EXPECT_EQ(rec.ChannelsOpt.Text(), " -ac 2");
  EXPECT_EQ(rec.TargetOpt.Text(), " -vn -opt17");
}

TEST(WorkedExample, Profile68TableWithAmrRates) {
  OptionBed bed("popclipmill", {{68, {"176x144 352x288", "64 96 128 256 384", " -f 3gp"}}});
  bed.Choose(68, 0, 2, 2, 1);
  auto row = Entry();
  EXPECT_EQ(bed.options().TotalBitRate(row), 135);
  pcm::intputrec rec = Filled(bed, row);
  // A 4:3 picture in the 11:9 frame: fitted with bars above and below.
  EXPECT_EQ(rec.SizeOpt.Text(), " -vf scale=176:132,setsar=1,pad=176:144:-1:-1:black");
  EXPECT_EQ(rec.AspectOpt.Text(), " -aspect 1.2222");
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 128000");
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 7400");
  EXPECT_EQ(rec.SampleRateOpt.Text(), " -ar 8000 ");
  EXPECT_EQ(rec.ChannelsOpt.Text(), " -ac 1 ");
  EXPECT_EQ(rec.TargetOpt.Text(), " -f 3gp");
  // Every AMR mode, and 4.75 rounds to the even 5 in the total.
  const char* modes[5] = {" -ab 12200", " -ab 10200", " -ab 7400", " -ab 5900", " -ab 4750"};
  const int parts[5] = {12, 10, 7, 6, 5};
  for (int ai = 0; ai < 5; ++ai) {
    bed.profiles().SetSelected(bed.profiles().cb_audiobitrate, ai);
    EXPECT_EQ(bed.options().AudioRateOption(row).Text(), modes[ai]);
    EXPECT_EQ(bed.options().TotalBitRate(row), 128 + parts[ai]);
  }
}

TEST(WorkedExample, Profile102WithSourceQualityEntries) {
  OptionBed bed(
      "popclipmill",
      {{102, {"176x144 320x240 352x288 480x360 640x480 720x576", "1 2 3 4 5", " -vcodec libx264"}}});
  bed.profiles().SelectProfile(102);
  auto& p = bed.profiles();
  EXPECT_EQ(p.cb_size.SelectedText(), "640x480");
  EXPECT_EQ(p.cb_videobitrate.SelectedText(), pcm::kOriginalVideo);
  EXPECT_EQ(p.cb_audiobitrate.SelectedText(), pcm::kOriginalAudio);
  auto row = Entry("clip", "320x240", "1200", "128");
  EXPECT_EQ(bed.options().TotalBitRate(row), 1328);
  pcm::intputrec rec = Filled(bed, row);
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 1200000");
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 128000");
  EXPECT_EQ(rec.SampleRateOpt.Text(), " -ar 44100 ");
  EXPECT_EQ(rec.SizeOpt.Text(), " -s 640x480");
  EXPECT_EQ(rec.AspectOpt.Text(), " -aspect 1.3333");
  // The source frame size and a source audio rate above 192 kbit/s.
  p.SetSelected(p.cb_size, 6);
  p.SetSelected(p.cb_videobitrate, 2);
  row.entry.audioKbps = 256;
  row.entry.width = 1280;
  row.entry.height = 720;
  EXPECT_EQ(bed.options().SizeOption(row).Text(), " -s 1280x720");
  EXPECT_EQ(bed.options().AspectOption("1280x720").Text(), " -aspect 1.7778");
  EXPECT_EQ(bed.options().TotalBitRate(row), 2398 + 256);  // 720 x 3.33 = 2397.6
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 2398000");
  EXPECT_EQ(bed.options().AudioRateOption(row).Text(), " -ab 256000");
}

TEST(HeightFactors, GeneralMiniAndExcellentAtNormal480) {
  OptionBed bed;
  auto row = Entry();
  const std::pair<int, int> cases[] = {{119, 1598}, {122, 1598}, {118, 725},
                                       {121, 725},  {120, 3000}, {123, 3000}};
  for (auto [n, video] : cases) {
    bed.Choose(n, 2, 2, 2, 1);
    ASSERT_EQ(bed.profiles().cb_size.SelectedText(), "640x480");
    EXPECT_EQ(bed.options().TotalBitRate(row), video + 128) << n;
    EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b " + std::to_string(video) + "000") << n;
  }
}

TEST(Sizes, NotesAndHeightsThatAreNoNumber) {
  OptionBed bed("popclipmill", {{1, {"320x240(QVGA) 640xabc 800", "1 2 3 4 5", ""}}});
  bed.Choose(1, 0, 2, 2, 1);
  auto row = Entry();
  EXPECT_EQ(bed.options().SizeOption(row).Text(), " -s 320x240");
  EXPECT_EQ(bed.options().AspectOption("320x240").Text(), " -aspect 1.3333");
  EXPECT_EQ(bed.options().AspectOption("720x576").Text(), " -aspect 1.2500");
  EXPECT_EQ(bed.options().TotalBitRate(row), 799 + 128);
  bed.profiles().SetSelected(bed.profiles().cb_size, 1);
  EXPECT_EQ(bed.options().TotalBitRate(row), 128);  // height no number: no video part
  EXPECT_THROW(bed.options().AspectOption("640xabc").Text(), pcm::CommandError);
  bed.profiles().SetSelected(bed.profiles().cb_size, 2);
  EXPECT_EQ(bed.options().TotalBitRate(row), 128);  // no "x" at all
}

TEST(SampleRate, Thresholds) {
  OptionBed bed;
  bed.Choose(7, 1, 2, 2, 1);
  auto& o = bed.options();
  EXPECT_EQ(o.SampleRateOption(256000).Text(), " -ar 48000 ");
  EXPECT_EQ(o.SampleRateOption(192001).Text(), " -ar 48000 ");
  EXPECT_EQ(o.SampleRateOption(192000).Text(), " -ar 44100 ");
  EXPECT_EQ(o.SampleRateOption(64001).Text(), " -ar 44100 ");
  EXPECT_EQ(o.SampleRateOption(64000).Text(), " -ar 22050 ");
  EXPECT_EQ(o.SampleRateOption(0).Text(), "");
  const char* byStep[5] = {" -ar 48000 ", " -ar 44100 ", " -ar 44100 ", " -ar 22050 ", " -ar 22050 "};
  auto row = Entry();
  for (int ai = 0; ai < 5; ++ai) {
    bed.profiles().SetSelected(bed.profiles().cb_audiobitrate, ai);
    EXPECT_EQ(o.SampleRateOption(o.AudioBitRate(row)).Text(), byStep[ai]);
  }
  bed.Choose(8, 0, 2, 2, 1);
  EXPECT_EQ(o.SampleRateOption(256000).Text(), " -ar 8000 ");
}

TEST(Extensions, UpperCaseMp4IsNotMp4AndWavCountsAsPcm) {
  OptionBed bed;
  bed.Choose(123, 2, 5, 5, 1);
  auto row = Entry("clip", "320x240", "900", "96");
  EXPECT_EQ(bed.profiles().OutputExtension(), ".MP4");
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 900000");
  EXPECT_EQ(bed.options().AudioRateOption(row).Text(), " -ab 96000");
  bed.settings().outputField = MakeTempDir("mp4out");
  EXPECT_EQ(bed.options().OutputFilePath(row), bed.settings().outputField + "/clip.MP4");

  bed.Choose(20, -2, -2, 4, 1);  // ".wav"
  ASSERT_EQ(bed.profiles().OutputExtension(), ".wav");
  EXPECT_EQ(bed.options().TotalBitRate(row), 1500);
  EXPECT_EQ(bed.options().AudioRateOption(row).Text(), " -ab 32000");
}

TEST(Profile8, AmrPartsAndTheSubtractedTableRate) {
  OptionBed bed;
  bed.Choose(8, 0, 2, 2, 1);
  ASSERT_EQ(bed.profiles().cb_size.SelectedText(), "176x144");
  auto row = Entry();
  EXPECT_EQ(bed.options().TotalBitRate(row), 487);
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 359000");
  EXPECT_EQ(bed.options().ChannelsOption().Text(), " -ac 1 ");
}

// AMR has no mode for the source's rate, so the audio source-quality entry
// reads as "Normal": 7.4 kbit/s at 8000 Hz, 128 subtracted for the video.
TEST(Profile8, AudioSourceQualityReadsAsNormal) {
  OptionBed bed;
  bed.Choose(8, 0, 2, 5, 1);
  ASSERT_EQ(bed.profiles().cb_audiobitrate.SelectedText(), pcm::kOriginalAudio);
  auto row = Entry("clip", "320x240", "768", "256");
  pcm::intputrec rec = Filled(bed, row);
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 7400");
  EXPECT_EQ(rec.SampleRateOpt.Text(), " -ar 8000 ");
  EXPECT_EQ(bed.options().TotalBitRate(row), 487);
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 359000");
}

// High AMR audio with low video would leave a negative video rate after the
// table rate is subtracted; the video part itself is used then.
TEST(Profile8, VideoRateNeverDropsToZeroOrBelow) {
  OptionBed bed;
  bed.Choose(8, 0, 4, 0, 1);  // 144 x 1.51 = 217, AMR 12, table 320
  auto row = Entry();
  EXPECT_EQ(bed.options().TotalBitRate(row), 229);
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 217000");
}

// A list without a selection uses the profile's default, else "Normal", the
// first size or "Stereo": never an empty value where the encoder needs one.
TEST(NoSelection, ListsFallBackToDefaults) {
  OptionBed bed("popclipmill", {{4, {"320x240 640x480", "1 2 3 4 5", ""}}});
  auto row = Entry("clip", "320x240", "768", "128");
  bed.Choose(7, -1, -1, -1, -1);
  pcm::intputrec rec = Filled(bed, row);
  EXPECT_EQ(rec.SizeOpt.Text(), " -s 320x240");            // default size 1
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 768000");  // default: source quality
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 128000");
  EXPECT_EQ(rec.ChannelsOpt.Text(), " -ac 2");

  bed.profiles().SelectProfile(4);  // defaults 5 beyond every list
  ASSERT_EQ(bed.profiles().cb_size.selected, -1);
  ASSERT_EQ(bed.profiles().cb_videobitrate.selected, -1);
  rec = Filled(bed, row);
  EXPECT_EQ(rec.SizeOpt.Text(), " -s 320x240");
  EXPECT_EQ(rec.AspectOpt.Text(), " -aspect 1.3333");
  EXPECT_EQ(rec.VideoRateOpt.Text(), " -r 25 -b 799000");
  EXPECT_EQ(rec.AudioRateOpt.Text(), " -ab 128000");
  EXPECT_EQ(bed.options().TotalBitRate(row), 927);

  bed.Choose(112, -1, -2, -2, -1);
  EXPECT_EQ(bed.options().TargetOption().Text(), " -target pal-vcd ");
  EXPECT_EQ(bed.options().ChannelsOption().Text(), " -ac 2");
}

TEST(SourceRates, BelowZeroIsAClearError) {
  OptionBed bed;
  bed.Choose(1, 0, 5, 5, 1);
  auto row = Entry("clip", "320x240", "-5", "128");
  EXPECT_THROW(bed.options().TotalBitRate(row), pcm::CommandError);
  EXPECT_THROW(bed.options().VideoRateOption(row).Text(), pcm::CommandError);
  row.entry.audioKbps = -1;
  EXPECT_THROW(bed.options().AudioRateOption(row).Text(), pcm::CommandError);
}

// A table profile whose rate line stored nothing has no step to pass on.
TEST(TableRates, MissingStepIsAnErrorNotAnEmptyRate) {
  OptionBed bed("popclipmill", {{27, {"320x240", " 1 2 3 4 5", ""}}});
  bed.Choose(27, 0, 2, 2, 1);
  ASSERT_EQ(bed.profiles().RateStep(2), "");
  auto row = Entry();
  EXPECT_THROW(bed.options().VideoRateOption(row).Text(), pcm::CommandError);
  EXPECT_THROW(bed.options().TotalBitRate(row), pcm::CommandError);
}

// The picture's shape and the streams, from the entry's numbers: turned and
// anamorphic pictures at their own size, pictures of another shape fitted
// into a fixed frame, a sound file with no picture options, and the option
// line's maps for the default track, a cover and tags kept on the sound.
TEST(SourceShape, SizesAspectsAndStreamsFromTheEntrysNumbers) {
  const std::string rates = "300 500 800 1200 1600";
  OptionBed bed("popclipmill",
                {{102, {"320x240 640x480", rates, " -map 0:V:0? -map 0:a:0? -vcodec libx264 -f avi"}},
                 {11, {"320x240 640x480", rates, " -map 0:V:0? -map 0:a:0? -vcodec flv -f flv"}},
                 {17, {"", "*", " -map 0:a:0? -vn -acodec libmp3lame -f mp3"}}});
  pcm::StreamInfo picture, sound, cover;
  picture.kind = pcm::StreamInfo::Kind::Video;
  picture.codec = "h264";
  picture.width = 720;
  picture.height = 576;
  picture.sarNum = 64;
  picture.sarDen = 45;
  sound.kind = pcm::StreamInfo::Kind::Audio;
  sound.codec = "aac";
  sound.sampleRate = 48000;
  sound.channels = 2;
  auto rowOf = [&](std::vector<pcm::StreamInfo> streams) {
    pcm::ListRow row = Entry();
    row.entry.streams = std::move(streams);
    if (const pcm::StreamInfo* v = pcm::MainVideo(row.entry.streams)) {
      row.entry.width = pcm::DisplayedSize(*v).width;
      row.entry.height = pcm::DisplayedSize(*v).height;
    }
    return row;
  };
  struct Want {
    int profile, size;
    const char *sizeOpt, *aspectOpt;
  };
  // Anamorphic 16:9: kept stored with the flag where the codec states a
  // pixel aspect, widened to square pixels where it does not, fitted with
  // bars above and below into 4:3.
  pcm::ListRow wide = rowOf({picture, sound});
  for (Want w :
       {Want{102, 2, " -s 720x576", " -aspect 1.7778"}, Want{11, 2, " -s 1024x576", " -aspect 1.7778"},
        Want{102, 1, " -vf scale=640:360,setsar=1,pad=640:480:-1:-1:black", " -aspect 1.3333"}}) {
    SCOPED_TRACE(std::to_string(w.profile) + " size " + std::to_string(w.size));
    bed.Choose(w.profile, w.size, 2, 2);
    pcm::intputrec rec = Filled(bed, wide);
    EXPECT_EQ(rec.SizeOpt.Text(), w.sizeOpt);
    EXPECT_EQ(rec.AspectOpt.Text(), w.aspectOpt);
    EXPECT_EQ(bed.options().StillSizeOption(wide).Text(),
              w.profile == 102 && w.size == 2 ? " -s 1024x576" : w.sizeOpt);
  }
  // A VCD is 4:3 only: a 16:9 picture gets bars, drawn in the frame's own
  // pixels. A DVD takes it whole, flagged 16:9. A 4:3 picture fills either
  // by the preset's own scaling, flagged 4:3 whatever its pixel aspect.
  bed.Choose(112, -1, -2, -2, -1);
  EXPECT_EQ(Filled(bed, wide).SizeOpt.Text(), " -vf scale=352:216,pad=352:288:-1:-1:black");
  EXPECT_EQ(Filled(bed, wide).AspectOpt.Text(), " -aspect 4:3");
  EXPECT_EQ(Filled(bed, Entry()).SizeOpt.Text(), "");
  bed.Choose(114, -1, -2, -2, -1);
  EXPECT_EQ(Filled(bed, wide).SizeOpt.Text(), "");
  EXPECT_EQ(Filled(bed, wide).AspectOpt.Text(), " -aspect 16:9");
  // A phone clip turned a quarter: upright at its own size, pillarboxed.
  picture.sarNum = picture.sarDen = 1;
  picture.width = 1280;
  picture.height = 720;
  picture.rotation = 90;
  pcm::ListRow turned = rowOf({picture, sound});
  bed.Choose(102, 2, 2, 2);
  EXPECT_EQ(Filled(bed, turned).SizeOpt.Text(), " -s 720x1280");
  EXPECT_EQ(Filled(bed, turned).AspectOpt.Text(), " -aspect 0.5625");
  bed.Choose(102, 0, 2, 2);
  EXPECT_EQ(Filled(bed, turned).SizeOpt.Text(), " -vf scale=136:240,setsar=1,pad=320:240:-1:-1:black");
  bed.Choose(114, -1, -2, -2, -1);
  EXPECT_EQ(Filled(bed, turned).SizeOpt.Text(), " -vf scale=304:576,pad=720:576:-1:-1:black");
  // Sound alone: no picture options, no picture in the estimate.
  bed.Choose(102, 0, 2, 2);
  pcm::ListRow song = rowOf({sound});
  pcm::intputrec rec = Filled(bed, song);
  EXPECT_TRUE(rec.SizeOpt.empty() && rec.AspectOpt.empty() && rec.VideoRateOpt.empty());
  EXPECT_EQ(bed.options().TotalBitRate(song), 128);

  // Two tracks, the second marked default and tagged, and a cover.
  pcm::StreamInfo second = sound;
  second.isDefault = true;

  cover.kind = pcm::StreamInfo::Kind::Video;
  cover.codec = "mjpeg";
  cover.attachedPicture = true;
  cover.width = cover.height = 300;
  pcm::ListRow album = rowOf({sound, cover, second});
  album.entry.soundKeepsTags = true;
  bed.Choose(17, -2, -2, 2);
  EXPECT_EQ(Filled(bed, album).TargetOpt.Text(),
            " -map 0:a:1? -map 0:v:0 -c:v copy -disposition:v:0 attached_pic -acodec libmp3lame -f mp3"
            " -map_metadata:g 0:g -map_metadata:g 0:s:a:1");
  // Into a video profile the cover is no picture; the track is the same.
  bed.Choose(102, 0, 2, 2);
  EXPECT_EQ(Filled(bed, album).TargetOpt.Text(),
            " -map 0:V:0? -map 0:a:1? -vcodec libx264 -f avi -map_metadata:g 0:g"
            " -map_metadata:g 0:s:a:1");
  EXPECT_EQ(Filled(bed, album).SizeOpt.Text(), "");
  // Sound alone on a disc: no picture, and the estimate of its sound; a
  // VCD packs even that to its constant rate.
  bed.Choose(114, -1, -2, -2, -1);
  EXPECT_TRUE(Filled(bed, song).SizeOpt.empty() && Filled(bed, song).AspectOpt.empty());
  EXPECT_EQ(bed.options().TotalBitRate(song), 456);
  bed.Choose(112, -1, -2, -2, -1);
  EXPECT_EQ(bed.options().TotalBitRate(song), 1393);
  // A row whose streams are not known keeps the line as written.
  bed.Choose(17, -2, -2, 2);
  EXPECT_EQ(Filled(bed, Entry()).TargetOpt.Text(), " -map 0:a:0? -vn -acodec libmp3lame -f mp3");
}

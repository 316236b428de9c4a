// The encoder's command line: exact string form and the argument vector
// actually started.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/JobRecord.h"

using namespace pcm;

namespace {

intputrec Record() {
  intputrec r;
  r.EncoderPath = "/opt/pcm/register.dat";
  r.InputFile = "/media/in.avi";
  r.OutputFile = "/out/in.mp4";
  return r;
}

}  // namespace

TEST(CommandLine, QuotesOnlyTextsWithBlanks) {
  EXPECT_EQ(QuoteIfSpaced("/a/b.mp3"), "/a/b.mp3");
  EXPECT_EQ(QuoteIfSpaced("/my music/b.mp3"), "\"/my music/b.mp3\"");
  EXPECT_EQ(QuoteIfSpaced(""), "");
  // Quotes inside are not treated specially.
  EXPECT_EQ(QuoteIfSpaced("a\"b c"), "\"a\"b c\"");
}

TEST(CommandLine, EmptyFieldsLeaveOnlyTheFixedPieces) {
  EXPECT_EQ(BuildCommandLine(Record()), "/opt/pcm/register.dat -y  -i /media/in.avi  /out/in.mp4");
}

TEST(CommandLine, PiecesStandInTheirFixedOrder) {
  intputrec r = Record();
  r.EncoderPath = "/opt/my pcm/register.dat";
  r.InputFile = "/media/my clip.avi";
  r.StartOpt = OptionField({"-ss", "00:00:05"});
  r.VideoRateOpt = OptionField({"-r", "25", "-b", "768000"});
  r.AudioRateOpt = OptionField({"-ab", "128000"});
  r.ChannelsOpt = OptionField({"-ac", "2"});
  r.AspectOpt = OptionField({"-aspect", "1.3333"});
  r.LengthOpt = OptionField({"-t", "00:01:00"});
  r.SizeOpt = OptionField({"-s", "320x240"});
  r.SampleRateOpt = OptionField({"-ar", "44100"}, " ");
  // A profile's line keeps the text it was written with.
  r.TargetOpt = OptionField::Written({"-vcodec", "mpeg4", "-f", "mp4"}, " -vcodec mpeg4 -f mp4");
  r.DurationSecs = 60;  // never on the command line
  EXPECT_EQ(
      BuildCommandLine(r),
      "\"/opt/my pcm/register.dat\" -ss 00:00:05 -y  -i \"/media/my clip.avi\" -r 25 -b 768000 -ab 128000"
      " -ac 2 -aspect 1.3333 -t 00:01:00 -s 320x240  -ar 44100  -vcodec mpeg4 -f mp4 /out/in.mp4");
  std::vector<std::string> expected{"/opt/my pcm/register.dat",
                                    "-ss",
                                    "00:00:05",
                                    "-y",
                                    "-i",
                                    "/media/my clip.avi",
                                    "-r",
                                    "25",
                                    "-b",
                                    "768000",
                                    "-ab",
                                    "128000",
                                    "-ac",
                                    "2",
                                    "-aspect",
                                    "1.3333",
                                    "-t",
                                    "00:01:00",
                                    "-s",
                                    "320x240",
                                    "-ar",
                                    "44100",
                                    "-vcodec",
                                    "mpeg4",
                                    "-f",
                                    "mp4",
                                    "/out/in.mp4"};
  EXPECT_EQ(BuildArgumentVector(r), expected);
  // For paths without double quotes, splitting the string gives the vector.
  EXPECT_EQ(SplitCommandLine(BuildCommandLine(r)), expected);

  // A value with blanks or quotes is one argument however it is shown.
  r.TargetOpt = OptionField({"-metadata", "title=Live \"at\" the hall", "-f", "mp4"});
  EXPECT_EQ(r.TargetOpt.Text(), " -metadata \"title=Live \"at\" the hall\" -f mp4");
  const std::vector<std::string> args = BuildArgumentVector(r);
  EXPECT_EQ(std::count(args.begin(), args.end(), "title=Live \"at\" the hall"), 1);
  EXPECT_EQ(r.TargetOpt.ValueOf("-f"), "mp4");
  EXPECT_TRUE(r.TargetOpt.Has("-metadata"));
  EXPECT_FALSE(r.TargetOpt.Has("-meta"));
}

TEST(CommandLine, PathsStayWholeWhateverTheyHold) {
  intputrec r = Record();
  r.InputFile = "/in/say \"hi\" -x.mp3";
  r.OutputFile = "-odd name.mp3";
  auto v = BuildArgumentVector(r);
  ASSERT_GE(v.size(), 5u);
  EXPECT_EQ(v[3], "/in/say \"hi\" -x.mp3");
  EXPECT_EQ(v.back(), "-odd name.mp3");
}

TEST(CommandLine, SplitKeepsQuotedStretchesWhole) {
  EXPECT_EQ(SplitCommandLine("  a  \"b c\" d\"e f\"g "), (std::vector<std::string>{"a", "b c", "de fg"}));
  EXPECT_EQ(SplitCommandLine("\"\""), (std::vector<std::string>{""}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

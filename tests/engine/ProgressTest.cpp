// Encoder output turned into progress: chunk boundaries, line ends, creep,
// the strip and the status column.
#include <gtest/gtest.h>

#include "engine/Progress.h"
#include "queue/ConversionList.h"
#include "support/Fixtures.h"
#include "ui/Display.h"
#include "ui/MulDiv.h"

using namespace pcm;

namespace {

// The parser alone, without a process or an application: a list with one
// row being converted, a headless display, and the sink the application
// gives the parser (the strip and hint, then the entry's row).
struct ProgressFixture : ::testing::Test {
  HeadlessDisplay display;
  ConversionList list;
  Progress progress{[this](int32_t v) {
    ShowStrip(display, "convertpos", kConvertStripWidth, v);
    display.SetText("hint", progress.statusLine);
    list.ShowCurrentProgress(v);
  }};
  int32_t duration = 0;
  double reported = -1;
  void SetUp() override {
    ListRow row;
    row.caption = "clip";
    list.Append(row);
    list.currentPosition = 0;
  }
  void StartJob(int seconds) { duration = seconds; }
  void Parse(std::string& text) { progress.ParseEncoderOutput(text, duration, &reported); }
  std::string Status() { return StatusText(list.Row(0)); }
  int Strip() { return display.StripWidth("convertpos"); }
};

}  // namespace

// The last report tells how much the encoder wrote, fractions kept.
TEST(ProgressText, LastReportedTime) {
  EXPECT_EQ(LastReportedTime("time=1.00 bitrate=1\rtime=2.50 bitrate=1\r"), 2.5);
  EXPECT_EQ(LastReportedTime("size= 1kB time=363600.04 bitrate= 8.0kbits/s"), 363600.04);
  EXPECT_EQ(LastReportedTime("time=0.04 bitrate=1\rtime=N/A bitrate=N/A"), 0);
  EXPECT_EQ(LastReportedTime("time=N/A bitrate=N/A\rtime=0.04 bitrate=1"), 0.04);
  EXPECT_EQ(LastReportedTime("time=7 bitrate=1"), 7);
  EXPECT_EQ(LastReportedTime("time=-1.00 bitrate=1"), -1);
  EXPECT_EQ(LastReportedTime("time=3.00"), -1);  // not a report yet
  EXPECT_EQ(LastReportedTime(""), -1);
}

TEST(ProgressText, ClockAndPercentForms) {
  EXPECT_EQ(FormatClock(3725), "01:02:05");
  EXPECT_EQ(FormatClock(0), "00:00:00");
  EXPECT_EQ(FormatClock(100 * 3600), "100:00:00");
  EXPECT_EQ(ParseClock("01:02:05"), 3725);
  EXPECT_EQ(ParseClock("00:01:23.45"), 83);
  EXPECT_EQ(ParseClock("1:02:05"), 0);  // hours are always two characters
  // Hours of three digits and more are read whole, so a length of 100
  // hours is not taken for 10.
  EXPECT_EQ(ParseClock("101:00:00"), 101 * 3600);
  EXPECT_EQ(ParseClock("100:00:01.50"), 100 * 3600 + 1);
  EXPECT_EQ(ParseClock(FormatClock(596522 * 3600)), 596522 * 3600);
  EXPECT_EQ(ParseClock("999999:00:00"), 0);  // does not fit
  EXPECT_EQ(ParseClock("101:0:00"), 0);
  EXPECT_EQ(ParseClock("0123"), 0);
  EXPECT_EQ(ParseClock("aa:00:01"), 0);
  EXPECT_EQ(ParseClock(""), 0);
  EXPECT_EQ(ProgressPercentText(5), "00.05%");
  EXPECT_EQ(ProgressPercentText(1234), "12.34%");
  EXPECT_EQ(ProgressPercentText(10000), "100.00%");
  EXPECT_EQ(ProgressPercentText(10150), "101.50%");
  EXPECT_EQ(ProgressPercentText(-3), "00.00%");
}

TEST(ProgressText, TimeReports) {
  EXPECT_EQ(ParseTimeSeconds("frame= 10 time=83.45 bitrate= 128kbits/s"), 83);
  EXPECT_EQ(ParseTimeSeconds("time= 7.99 bitrate="), 7);
  EXPECT_EQ(ParseTimeSeconds("time=12"), 0);                    // no bitrate yet
  EXPECT_EQ(ParseTimeSeconds("bitrate= x time=3.0 "), 0);       // bitrate before time
  EXPECT_EQ(ParseTimeSeconds("time=12 bitrate=1.5"), 0);        // the "." must come before bitrate=
  EXPECT_EQ(ParseTimeSeconds("time=00:01:23.45 bitrate="), 0);  // clock form is not seconds
  EXPECT_EQ(ParseTimeSeconds("time=100001.00 bitrate="), 0);
  EXPECT_EQ(ParseTimeSeconds("time=100000.00 bitrate="), 100000);
  EXPECT_EQ(ParseTimeSeconds("time=-5.00 bitrate="), 0);
  EXPECT_EQ(ParseTimeSeconds("time=N/A bitrate=N/A speed=1.0x"), 0);
}

TEST(ProgressText, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(5000, 715, 10000), 358);  // 357.5
  EXPECT_EQ(MulDiv(-5000, 715, 10000), -358);
  EXPECT_EQ(MulDiv(1, 1, 3), 0);
  EXPECT_EQ(MulDiv(2, 1, 3), 1);
  EXPECT_EQ(MulDiv(7, 1, 0), -1);
  EXPECT_EQ(MulDiv(1000000, 10000, 1), -1);  // beyond 32 bits
}

TEST_F(ProgressFixture, ChunkEndingInsideAReportWaitsForTheRest) {
  StartJob(166);
  std::string text = "frame= 1 time=12";
  Parse(text);
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(text, "frame= 1 time=12");  // nothing consumed without a line end
  text += ".50 bitrate= 1.0kbits/s\r";
  Parse(text);
  EXPECT_EQ(Status(), "07.23%");  // 12 * 10000 / 166 = 722.9
  EXPECT_EQ(text, "");
}

TEST_F(ProgressFixture, HalfwayShowsFiftyPercentAndA358PixelStrip) {
  StartJob(166);
  std::string text = "time=83.45 bitrate=128.0kbits/s\r";
  Parse(text);
  EXPECT_EQ(Status(), "50.00%");
  EXPECT_EQ(Strip(), 358);
}

TEST_F(ProgressFixture, OnlyTheFirstReportOfAChunkIsShown) {
  StartJob(100);
  std::string text = "time=10.00 bitrate=1\rtime=11.00 bitrate=1\r";
  Parse(text);
  EXPECT_EQ(Status(), "10.00%");
  EXPECT_EQ(text, "");
}

TEST_F(ProgressFixture, StatusLineKeptFromElevenSeconds) {
  StartJob(100);
  std::string text = "time=5.00 bitrate=1\r";
  progress.statusLine = "old";
  Parse(text);
  EXPECT_EQ(progress.statusLine, "");
  text = "time=11.00 bitrate=1\r";
  Parse(text);
  EXPECT_EQ(progress.statusLine, "time=11.00 bitrate=1\r");
  // The hint shows the line stored at the previous update.
  EXPECT_EQ(display.Text("hint"), "");
  text = "time=12.00 bitrate=1\r";
  Parse(text);
  EXPECT_EQ(display.Text("hint"), "time=11.00 bitrate=1\r");
}

TEST_F(ProgressFixture, LineEnds) {
  StartJob(100);
  std::string text = "a\r\nb\nc\rd";
  Parse(text);
  EXPECT_EQ(text, "d");
  text = "x\r";  // a CR at the very end: its LF may come with the next chunk
  Parse(text);
  EXPECT_EQ(text, "");
  text = "\ntime=20.00 bitrate=1\n";
  Parse(text);
  EXPECT_EQ(Status(), "20.00%");
}

TEST_F(ProgressFixture, CreepThenFirstReport) {
  StartJob(600);
  progress.StartCreep();
  for (int i = 0; i < 30; ++i) progress.CreepTick();
  EXPECT_EQ(Status(), "00.30%");
  std::string text = "time=60.00 bitrate=1\r";
  Parse(text);
  EXPECT_FALSE(progress.CreepRunning());
  EXPECT_EQ(Status(), "10.27%");  // 30 + 60 * 9970 / 600
}

TEST_F(ProgressFixture, BeyondTheEndTheStripStaysFull) {
  StartJob(100);
  std::string text = "time=101.50 bitrate=1\r";
  Parse(text);
  EXPECT_EQ(Status(), "101.00%");
  progress.ShowEntryProgress(10150);
  EXPECT_EQ(Status(), "101.50%");
  EXPECT_EQ(Strip(), 715);
}

TEST_F(ProgressFixture, ZeroDurationNeverShowsNegativeProgress) {
  StartJob(0);
  std::string text = "time=42.00 bitrate=1\r";
  Parse(text);
  EXPECT_EQ(Status(), "00.00%");
  EXPECT_EQ(Strip(), 0);
  EXPECT_EQ(progress.statusLine, "time=42.00 bitrate=1\r");  // the time still reaches the hint
}

TEST_F(ProgressFixture, NoEntryBeingConvertedLeavesTheListAlone) {
  StartJob(100);
  list.currentPosition = 5;
  std::string text = "time=50.00 bitrate=1\r";
  Parse(text);
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(Strip(), 358);
}

// The shown progress follows the first report of a chunk, while the time the
// encoder says it wrote follows the last one (the check at the job's end
// uses it); a report without a time counts as nothing written.
TEST_F(ProgressFixture, WrittenTimeFollowsTheLastReport) {
  StartJob(100);
  std::string text = "time=10.00 bitrate=1\rtime=11.50 bitrate=1\rtime=12";
  Parse(text);
  EXPECT_EQ(Status(), "10.00%");
  EXPECT_EQ(reported, 11.5);
  text += ".25 bitrate=1\rtime=N/A bitrate=N/A\r";
  Parse(text);
  EXPECT_EQ(reported, 0);
  EXPECT_EQ(list.Row(0).progress, 1200);
}

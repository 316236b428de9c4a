// Values far outside what media and parameter files normally hold: the
// rates and sizes are computed in 64 bits and never wrap, and a parameter
// file with absurd sizes or rates is refused by block and line.
#include <gtest/gtest.h>

#include <QLocale>

#include "ProfileTestBed.h"

using namespace pcmtest;

namespace {

std::string SelectionError(ProfileTestBed& bed, int n) {
  try {
    bed.profiles().SelectProfile(n);
  } catch (const pcm::ProfileFileError& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("not a profile file error: ") + e.what();
  }
  return "no error";
}

}  // namespace

// A description of 2147483700 kb/s overall with a 128 kb/s audio stream
// leaves a row whose two source rates each fit 32 bits but whose sum does
// not. Profile 102 keeps both source rates by default.
// The source's own rates at the source quality are capped: the video at
// what the profile's best quality gives the frame (a broken header's rate
// would otherwise be the encoder's target), the sound at 320 kbit/s.
TEST(HostileValues, SourceRatesAreCappedAndNeverBelowZero) {
  ProfileTestBed bed;
  bed.profiles().SelectProfile(102);
  auto row = Entry("huge", "640x480", "2147483572", "2147483647", "01:00:00");
  EXPECT_EQ(bed.options().TotalBitRate(row), 3600 + 320);  // 576 x 6.25 for 720x576
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 3600000");
  EXPECT_EQ(bed.options().AudioRateOption(row).Text(), " -ab 320000");
  // The video computed from the total less the capped source audio.
  bed.profiles().SetSelected(bed.profiles().cb_size, 1);
  bed.profiles().SetSelected(bed.profiles().cb_videobitrate, 2);
  EXPECT_EQ(bed.options().TotalBitRate(row), 799 + 320);
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 799000");
  // A rate below zero (a hand-edited list) is an error, not a number.
  row.entry.audioKbps = -128;
  EXPECT_THROW(bed.options().EstimateOutputSize(row), pcm::CommandError);
}

// A 320x999999999 frame with the source size selected: the height times the
// factor is beyond 32 bits, and the video rate must not come out negative.
TEST(HostileValues, FrameHeightBeyond32BitRates) {
  ProfileTestBed bed;
  bed.Choose(102, 6, 2, 2, 1);
  ASSERT_EQ(bed.profiles().cb_size.SelectedText(), pcm::kOriginalSize);
  auto row = Entry("tall", "320x999999999", "768", "128", "00:01:00");
  // 999999999 x 3.33 = 3329999996.67
  EXPECT_EQ(bed.options().TotalBitRate(row), 3329999997LL + 128);
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 3329999997000");
  std::string size = bed.options().EstimateOutputSize(row, QLocale(QLocale::C));
  EXPECT_EQ(size.find('-', size.find('E') + 2), std::string::npos) << size;
  EXPECT_EQ(size.front() == '-', false) << size;
  // The largest height a row can hold at the highest factor.
  bed.profiles().SetSelected(bed.profiles().cb_videobitrate, 0);
  row.entry.height = 2147483647;
  EXPECT_EQ(bed.options().VideoRateOption(row).Text(), " -r 25 -b 13421772794000");  // x 6.25
}

// Sizes and rates beyond any real format are refused when the block is
// selected, naming the file, the block, the line and the value; sizes that
// only carry a note or a height that is not a number stay as they were.
TEST(HostileValues, ParameterFileWithAbsurdSizesOrRates) {
  ProfileTestBed bed("popclipmill", {{1, {"320x999999999 640x480", "1 2 3 4 5", ""}},
                                     {2, {"30000x240", "1 2 3 4 5", ""}},
                                     {3, {"320x0(none) 640x480", "1 2 3 4 5", ""}},
                                     {4, {"16384x16384(largest) 640xabc 0320x0240", "1 2 3 4 5", ""}},
                                     {5, {"640x480 -320x240", "1 2 3 4 5", ""}},
                                     {6, {"320x+240(plus)", "1 2 3 4 5", ""}},
                                     {7, {"320x-0", "1 2 3 4 5", ""}},
                                     {27, {"320x240", "300 400 500 600 99999999999999999999", ""}},
                                     {28, {"320x240", "300 400 500 600 1000001", ""}},
                                     {29, {"320x240", "300 400 500 600 1000000", ""}}});
  bed.profiles().SelectProfile(17);
  std::string e = SelectionError(bed, 1);
  for (const char* part : {"320x999999999", "block 1 ", "line 2)", "/profiles.pop"})
    EXPECT_NE(e.find(part), std::string::npos) << part << " in " << e;
  EXPECT_NE(SelectionError(bed, 2).find("\"30000x240\" in block 2 (line 6)"), std::string::npos);
  EXPECT_NE(SelectionError(bed, 3).find("\"320x0(none)\" in block 3 (line 10)"), std::string::npos);
  EXPECT_EQ(SelectionError(bed, 4), "no error");
  // A side with a sign is refused, whatever its value.
  EXPECT_NE(SelectionError(bed, 5).find("\"-320x240\" in block 5 (line 18) of the profile file "),
            std::string::npos);
  EXPECT_NE(SelectionError(bed, 6).find("\"320x+240(plus)\" in block 6 (line 22)"), std::string::npos);
  EXPECT_NE(SelectionError(bed, 7).find("\"320x-0\" in block 7 (line 26)"), std::string::npos);
  e = SelectionError(bed, 27);
  EXPECT_NE(e.find("\"99999999999999999999\" in block 27 (line 107)"), std::string::npos) << e;
  EXPECT_NE(SelectionError(bed, 28).find("\"1000001\" in block 28 (line 111)"), std::string::npos);
  EXPECT_EQ(bed.profiles().currentProfile, 4);  // the failed selections changed nothing
  EXPECT_EQ(SelectionError(bed, 29), "no error");
  bed.profiles().SetSelected(bed.profiles().cb_videobitrate, 0);
  EXPECT_EQ(bed.options().VideoRateOption(Entry()).Text(), " -r 25 -b 1000000000");
}

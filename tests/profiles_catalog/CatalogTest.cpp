#include <gtest/gtest.h>

#include <set>
#include <string>

#include "profiles/Catalog.h"

namespace {

using pcm::ProfileInfo;

bool IsFoot(int n) {
  static const std::set<int> feet{26, 52, 67, 74, 82, 90, 98, 101, 109, 117, 124, 132};
  return feet.count(n) > 0;
}

TEST(Catalog, EveryNumberHasItsOwnRecordAndNothingOutside) {
  EXPECT_EQ(ProfileInfo(0), nullptr);
  EXPECT_EQ(ProfileInfo(-1), nullptr);
  EXPECT_EQ(ProfileInfo(133), nullptr);
  int named = 0;
  for (int n = 1; n <= pcm::kProfileCount; ++n) {
    const pcm::ProfileRecord* r = ProfileInfo(n);
    ASSERT_NE(r, nullptr) << n;
    EXPECT_EQ(r->number, n);
    EXPECT_EQ(r->category, pcm::CategoryOf(n)) << n;
    EXPECT_GE(r->place, 1) << n;
    ASSERT_NE(r->panel, nullptr);
    EXPECT_EQ(std::string(r->panel).rfind("pl_", 0), 0u) << n;
    if (IsFoot(n)) {
      EXPECT_EQ(r->displayName, nullptr) << n;
      EXPECT_EQ(r->media, pcm::Media::None) << n;
      continue;
    }
    ++named;
    ASSERT_NE(r->displayName, nullptr) << n;
    // Every named profile yields an extension such as ".mp4".
    const std::string ext = pcm::ExtensionOfName(r->displayName);
    ASSERT_GE(ext.size(), 2u) << n;
    EXPECT_EQ(ext[0], '.') << n;
    // The class follows the number ranges.
    const pcm::ProfileClass expected = pcm::IsDiscProfile(n)    ? pcm::ProfileClass::Disc
                                       : pcm::IsTableProfile(n) ? pcm::ProfileClass::Table
                                                                : pcm::ProfileClass::Computed;
    EXPECT_EQ(r->cls, expected) << n;
  }
  EXPECT_EQ(named, 120);
}

TEST(Catalog, ButtonKindsAndPlaces) {
  for (int n : {2, 3, 4, 5}) EXPECT_EQ(ProfileInfo(n)->button, pcm::ButtonKind::Category) << n;
  for (int n : {26, 52, 67, 74, 82, 90}) EXPECT_EQ(ProfileInfo(n)->button, pcm::ButtonKind::Foot) << n;
  for (int n : {13, 14, 98, 101, 109, 117, 124, 132})
    EXPECT_EQ(ProfileInfo(n)->button, pcm::ButtonKind::None) << n;
  EXPECT_EQ(ProfileInfo(1)->button, pcm::ButtonKind::Select);
  // The MKV panel holds MPEG-4 above XviD.
  EXPECT_STREQ(ProfileInfo(127)->panel, "pl_mkv");
  EXPECT_EQ(ProfileInfo(127)->place, 4);
  EXPECT_EQ(ProfileInfo(128)->place, 3);
  EXPECT_STREQ(ProfileInfo(102)->panel, "pl_avi");
  EXPECT_STREQ(ProfileInfo(8)->panel, "pl_video2");
  EXPECT_EQ(ProfileInfo(8)->place, 1);
}

TEST(Catalog, MediaOfAudioProfiles) {
  const std::set<int> audio{15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 33, 40, 45, 59, 71, 80};
  for (int n = 1; n <= pcm::kProfileCount; ++n) {
    if (IsFoot(n)) continue;
    EXPECT_EQ(ProfileInfo(n)->media, audio.count(n) ? pcm::Media::Audio : pcm::Media::Video) << n;
  }
  // The name says audio, yet it is a video profile.
  EXPECT_STREQ(ProfileInfo(72)->displayName, "BlackBerry AVI Audio(*.avi)");
  EXPECT_EQ(ProfileInfo(72)->media, pcm::Media::Video);
}

TEST(Catalog, ExtensionRule) {
  EXPECT_EQ(pcm::ExtensionOfName("ASF-Advanced Streaming Format(*.asf)"), ".asf");
  EXPECT_EQ(pcm::ExtensionOfName("AIFF-Audio Interchange File Format(*.aiff)"), ".aiff");
  // The two-byte "×" before the "*" must not shift the cut.
  EXPECT_EQ(pcm::ExtensionOfName("Apple TV MPEG-4 720P(1280×720)(*.mp4)"), ".mp4");
  EXPECT_EQ(pcm::ExtensionOfName("iPod(320×240)MPEG-4 Codec(*.mp4)"), ".mp4");
  // A "×" after the "*" is kept whole, never split into half a character.
  EXPECT_EQ(pcm::ExtensionOfName("x(*.a×b)"), ".a×b");
  // Only the last character is dropped, whatever it is.
  EXPECT_EQ(pcm::ExtensionOfName("odd(*.mp3"), ".mp");
  // No "*", or nothing between it and the last character: no extension.
  EXPECT_EQ(pcm::ExtensionOfName("no star"), "");
  EXPECT_EQ(pcm::ExtensionOfName("(*)"), "");
  EXPECT_EQ(pcm::ExtensionOfName("*"), "");
  EXPECT_EQ(pcm::ExtensionOfName(""), "");
}

TEST(Catalog, UpperCaseMp4ProfilesKeepTheirCase) {
  for (int n = 1; n <= pcm::kProfileCount; ++n) {
    if (IsFoot(n)) continue;
    const std::string ext = pcm::ExtensionOfName(ProfileInfo(n)->displayName);
    const bool upper = n == 53 || n == 54 || n == 55 || n == 123;
    EXPECT_EQ(ext == ".MP4", upper) << n;
  }
}

TEST(Catalog, NamesWithMultiplicationSignAreUtf8) {
  const std::string name = ProfileInfo(47)->displayName;
  EXPECT_EQ(name,
            "Apple TV MPEG-4 720P(1280\xC3\x97"
            "720)(*.mp4)");
  int withSign = 0;
  for (int n = 1; n <= pcm::kProfileCount; ++n)
    if (!IsFoot(n) && std::string(ProfileInfo(n)->displayName).find("\xC3\x97") != std::string::npos)
      ++withSign;
  // iPod, iPhone and GPhone video profiles and Apple TV.
  EXPECT_EQ(withSign, 6 + 6 + 4 + 6);
}

TEST(Catalog, RepeatedNamesAreDistinctProfiles) {
  const int pairs[][2] = {{13, 6},  {14, 7},   {68, 8}, {69, 9},  {80, 21},
                          {99, 11}, {100, 12}, {81, 7}, {116, 95}};
  for (const auto& p : pairs) {
    const pcm::ProfileRecord* a = ProfileInfo(p[0]);
    const pcm::ProfileRecord* b = ProfileInfo(p[1]);
    EXPECT_STREQ(a->displayName, b->displayName) << p[0];
    EXPECT_NE(a, b);
    EXPECT_NE(a->number, b->number);
  }
  // Repeated names differ in where they sit and, for some, in their class.
  EXPECT_EQ(ProfileInfo(68)->cls, pcm::ProfileClass::Table);
  EXPECT_EQ(ProfileInfo(8)->cls, pcm::ProfileClass::Computed);
}

TEST(Catalog, CategoryRanges) {
  const struct {
    int first, last, category;
  } ranges[] = {{1, 14, 1},   {15, 26, 2},  {27, 33, 3},   {34, 40, 4},  {41, 45, 5},
                {46, 52, 6},  {53, 59, 7},  {60, 67, 8},   {68, 74, 9},  {75, 82, 10},
                {83, 90, 11}, {91, 98, 12}, {99, 101, 13}, {102, 132, 1}};
  for (const auto& r : ranges) {
    EXPECT_EQ(pcm::CategoryOf(r.first), r.category) << r.first;
    EXPECT_EQ(pcm::CategoryOf(r.last), r.category) << r.last;
  }
  EXPECT_EQ(pcm::CategoryOf(0), 0);
  EXPECT_EQ(pcm::CategoryOf(133), 0);
}

TEST(Catalog, ClassTestsAtTheirBorders) {
  EXPECT_FALSE(pcm::IsTableProfile(14));
  EXPECT_TRUE(pcm::IsTableProfile(15));
  EXPECT_TRUE(pcm::IsTableProfile(101));
  EXPECT_FALSE(pcm::IsTableProfile(102));
  EXPECT_FALSE(pcm::IsDiscProfile(111));
  EXPECT_TRUE(pcm::IsDiscProfile(112));
  EXPECT_TRUE(pcm::IsDiscProfile(114));
  EXPECT_FALSE(pcm::IsDiscProfile(115));
  EXPECT_TRUE(pcm::IsComputedProfile(111));
  EXPECT_TRUE(pcm::IsComputedProfile(115));
  EXPECT_TRUE(pcm::IsComputedProfile(132));
  EXPECT_FALSE(pcm::IsComputedProfile(133));
  EXPECT_FALSE(pcm::IsComputedProfile(0));
}

}  // namespace

// The rules the option assembly takes from the catalog's records: a panel's
// foot belongs to the class of its panel, numbers outside the catalog to
// none, and the disc formats and rate variants sit where the options need
// them.
#include <gtest/gtest.h>

#include "profiles/Catalog.h"

using namespace pcm;

TEST(CatalogClass, FeetTakeTheirPanelsClassAndOutsideNumbersHaveNone) {
  for (int foot : {26, 52, 67, 74, 82, 90, 98, 101}) {
    EXPECT_EQ(ProfileInfo(foot)->cls, ProfileClass::None) << foot;
    EXPECT_TRUE(IsTableProfile(foot)) << foot;
  }
  for (int foot : {109, 117, 124, 132}) {
    EXPECT_TRUE(IsComputedProfile(foot)) << foot;
    EXPECT_FALSE(IsDiscProfile(foot)) << foot;
  }
  for (int n : {0, -5, 133}) {
    EXPECT_EQ(ClassOf(n), ProfileClass::None) << n;
    EXPECT_EQ(CategoryOf(n), 0) << n;
    EXPECT_EQ(DiscFormatOf(n).totalKbps, 0) << n;
  }
  // Only the three disc formats carry a target and a fixed rate.
  int discs = 0;
  for (int n = 1; n <= kProfileCount; ++n) {
    DiscFormat d = DiscFormatOf(n);
    EXPECT_EQ(d.totalKbps != 0, IsDiscProfile(n)) << n;
    if (d.totalKbps == 0) continue;
    ++discs;
    EXPECT_EQ(std::string(d.target).back(), ' ') << n;
  }
  EXPECT_EQ(discs, 3);
  EXPECT_STREQ(DiscFormatOf(113).target, "-svcd ");
  // The smaller and larger rates per line belong to computed video profiles.
  for (int n = 1; n <= kProfileCount; ++n) {
    if (VariantOf(n) == Variant::Mini || VariantOf(n) == Variant::Excellent) {
      EXPECT_TRUE(IsComputedProfile(n) && ProfileInfo(n)->media == Media::Video) << n;
    }
  }
}

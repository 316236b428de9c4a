// The trim rule the trim window and the front end's --trim share, on rows
// alone.
#include <gtest/gtest.h>

#include "queue/Trim.h"

namespace {

pcm::ListRow RowOf(int32_t total) {
  pcm::ListRow r;
  r.trim.total = total;
  r.trim.end = total;
  r.entry.duration = r.time = "00:01:40";
  return r;
}

}  // namespace

// Within the entry the times are taken as asked; an end past it becomes its
// end; a begin at or past its end leaves the row untouched and is refused;
// an entry of unknown length is trimmed as asked.
TEST(Trim, TakesTimesWithinTheEntryOnly) {
  pcm::ListRow inside = RowOf(100);
  ASSERT_TRUE(pcm::ApplyTrim(inside, 10, 70));
  EXPECT_EQ(inside.trim.begin, 10);
  EXPECT_EQ(inside.trim.end, 70);
  EXPECT_EQ(inside.entry.duration, "00:01:00");
  EXPECT_EQ(inside.time, "00:01:00");

  pcm::ListRow past = RowOf(100);
  ASSERT_TRUE(pcm::ApplyTrim(past, 90, 4000));
  EXPECT_EQ(past.trim.end, 100);
  EXPECT_EQ(past.entry.duration, "00:00:10");

  for (int32_t begin : {100, 101}) {
    pcm::ListRow after = RowOf(100);
    EXPECT_FALSE(pcm::ApplyTrim(after, begin, 200)) << begin;
    EXPECT_EQ(after.trim.begin, 0);
    EXPECT_EQ(after.trim.end, 100);
    EXPECT_EQ(after.entry.duration, "00:01:40");
  }

  pcm::ListRow unknown = RowOf(0);
  ASSERT_TRUE(pcm::ApplyTrim(unknown, 5, 3605));
  EXPECT_EQ(unknown.trim.end, 3605);
  EXPECT_EQ(unknown.entry.duration, "01:00:00");
}

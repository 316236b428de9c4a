// The message a second start hands its paths over with: read as it
// arrives, and nothing but a well-formed one is taken.
#include <gtest/gtest.h>

#include "queue/OpenedPaths.h"

namespace pcmtest {
namespace {

using pcm::OpenMessageRead;

TEST(OpenMessage, ArrivesInPiecesAndRefusesAnythingElse) {
  std::vector<std::string> paths = {"/home/p/a song.mp3", "/home/p/\xc3\xa9\nline.wav", "/x"};
  std::string m = pcm::OpenMessage(paths);
  // Every cut of it is incomplete, never refused, until the last byte.
  for (size_t n = 0; n < m.size(); ++n)
    ASSERT_EQ(pcm::ReadOpenMessage(m.substr(0, n)).kind, OpenMessageRead::Incomplete) << n;
  OpenMessageRead r = pcm::ReadOpenMessage(m);
  ASSERT_EQ(r.kind, OpenMessageRead::Complete);
  EXPECT_EQ(r.paths, paths);
  // No paths: only the window is raised.
  r = pcm::ReadOpenMessage(pcm::OpenMessage({}));
  EXPECT_EQ(r.kind, OpenMessageRead::Complete);
  EXPECT_TRUE(r.paths.empty());

  const std::string bad[] = {
      "GET / HTTP/1.1\r\n",
      "popclipmill-open x\n",
      "popclipmill-open -1\n",
      "popclipmill-open 99999999",
      "popclipmill-open 10001\n",
      "popclipmill-open 1\nrelative.mp3",
      "popclipmill-open 1\netc/passwd\0",
      std::string("popclipmill-open 1\n\0", 20),  // an empty path
      m + "extra",
      std::string("popclipmill-open 1\n/a\0/b\0", 24),
      "popclipmill-open 1\n/" + std::string(pcm::kMaxOpenMessage, 'a'),
  };
  for (const std::string& b : bad)
    EXPECT_EQ(pcm::ReadOpenMessage(b).kind, OpenMessageRead::Bad) << b.substr(0, 40);
}

}  // namespace
}  // namespace pcmtest

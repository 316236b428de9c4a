// Several probes at once: the same values as one after another, in the
// order given (also when taken one by one as they come), a bad file still
// named by its own result, and a stop that ends every probe at once.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "engine/MediaProbe.h"
#include "support/Fixtures.h"

using namespace pcm;

namespace {

// The values of a result in one text: the file's, then each stream's.
std::string Values(const ProbeResult& r) {
  const MediaInfo& m = r.media;
  std::string t = (m.described ? std::to_string(m.durationMs) + "|" + std::to_string(m.kbps) : "|") + "|" +
                  r.ProbeFailure;
  for (const StreamInfo& s : m.streams)
    t += "|" + std::to_string(int(s.kind)) + s.codec + std::to_string(s.width) + "x" +
         std::to_string(s.height) + "/" + std::to_string(s.kbps) + "/" + std::to_string(s.sampleRate) + "/" +
         std::to_string(s.channels);
  return t;
}

}  // namespace

TEST(ProbeAll, SameValuesInTheGivenOrderAsOneAfterAnother) {
  std::string program = pcmtest::MakeProgramDir("probe-all");
  std::string dir = program.substr(0, program.rfind('/') + 1);
  std::vector<std::string> paths = {pcmtest::MakeMedia("avi", 3),  pcmtest::MakeMedia("mp3", 2),
                                    pcmtest::MakeMedia("txt.mp3"), pcmtest::MakeMedia("wav", 1),
                                    "/nonexistent/file.mp3",       pcmtest::MakeMedia("mp4", 2),
                                    pcmtest::MakeMedia("ogg", 2),  pcmtest::MakeMedia("wav", 4)};
  MediaProbe probe(dir + "register.dat", dir);
  std::vector<std::string> serial;
  for (const auto& p : paths) {
    probe.ProbeAndWait(p);
    serial.push_back(Values(probe.result));
  }
  for (int atOnce : {3, 1, 20}) {
    auto results = probe.ProbeAllAndWait(paths, atOnce);
    EXPECT_FALSE(probe.Stopped());
    EXPECT_FALSE(probe.Busy());
    ASSERT_EQ(results.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
      EXPECT_EQ(Values(results[i]), serial[i]) << atOnce << " " << paths[i];
  }
  // One file at a time, each as soon as it is described, in any order.
  probe.StartAll(paths, 1);
  for (size_t i : {size_t(2), size_t(0), size_t(7), size_t(1), size_t(6), size_t(5), size_t(4), size_t(3)})
    EXPECT_EQ(Values(probe.WaitFor(i)), serial[i]) << paths[i];
  EXPECT_EQ(Values(probe.WaitFor(99)), "||");
  EXPECT_FALSE(probe.Stopped());
  EXPECT_FALSE(serial[0].starts_with("|"));  // the good files were described
  EXPECT_NE(serial[0].find("|1mpeg4320x240/"), std::string::npos) << serial[0];
  EXPECT_EQ(probe.ProbeAllAndWait({}, 4).size(), 0u);
}

TEST(ProbeAll, AStopEndsEveryProbeAndAHangingOneIsKilledAtTheLimit) {
  // A scripted encoder that never answers, logging each start.
  std::string program = pcmtest::MakeProgramDir(
      "probe-all-stop", "echo $$ >> \"$(dirname \"$0\")/probes.log\"\nexec sleep 120");
  std::string dir = program.substr(0, program.rfind('/') + 1);
  MediaProbe probe(dir + "register.dat", dir);
  auto started = [&] {
    std::ifstream in(dir + "probes.log");
    std::vector<pid_t> pids;
    for (pid_t p; in >> p;) pids.push_back(p);
    return pids;
  };
  probe.stopHook = [&] { return started().size() >= 3; };
  auto results = probe.ProbeAllAndWait(std::vector<std::string>(7, "/whatever.mp3"), 3);
  EXPECT_TRUE(probe.Stopped());
  ASSERT_EQ(results.size(), 7u);
  for (const auto& r : results) EXPECT_EQ(Values(r), "||");
  auto pids = started();
  EXPECT_EQ(pids.size(), 3u);  // nothing started after the stop
  for (pid_t pid : pids) EXPECT_TRUE(pcmtest::WaitUntil([&] { return kill(pid, 0) != 0; }, 10000));

  // Without a stop request, probes that never answer end at the time limit:
  // four files at two places are two runs of two files each.
  probe.stopHook = nullptr;
  probe.timeoutMs = 300;
  results = probe.ProbeAllAndWait(std::vector<std::string>(4, "/whatever.mp3"), 2);
  EXPECT_FALSE(probe.Stopped());
  EXPECT_EQ(started().size(), 5u);
  for (const auto& r : results) EXPECT_FALSE(r.media.described);
}

// A run that describes several files ends early: the files it described
// keep their values, the others come back empty (the list tries them once
// more alone); an encoder that cannot start gives its reason for each file.
TEST(ProbeAll, ARunThatEndsEarlyGivesOnlyWhatItDescribed) {
  // A scripted encoder that describes the first file of a run with
  // "--describe-each", then crashes.
  std::string program = pcmtest::MakeProgramDir("probe-all-crash", R"SH(
[ "$1" = "--describe-each" ] || exit 1
printf 'media format=wav duration_ms=7000 bit_rate=99000\n\036'
printf 'media format=wav duration_ms=8000 bit_r'

kill -9 $$
)SH");
  std::string dir = program.substr(0, program.rfind('/') + 1);
  MediaProbe probe(dir + "register.dat", dir);
  auto results = probe.ProbeAllAndWait({"/a.wav", "/b.wav", "/c.wav", "/d.wav", "/e.wav", "/f.wav"}, 2);
  ASSERT_EQ(results.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(Values(results[i]), i % 3 == 0 ? "7000|99|" : "||") << i;

  MediaProbe missing(dir + "nothing-here", dir);
  results = missing.ProbeAllAndWait({"/a.wav", "/b.wav", "/c.wav"}, 1);
  ASSERT_EQ(results.size(), 3u);
  for (const auto& r : results) {
    EXPECT_FALSE(r.media.described);
    EXPECT_FALSE(r.ProbeFailure.empty());
  }
  missing.ProbeAndWait("/a.wav");
  EXPECT_EQ(results[2].ProbeFailure, missing.result.ProbeFailure);
}

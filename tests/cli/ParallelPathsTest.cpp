// The front end's paths with several probes at once, over the real encoder:
// files named next to each other are probed together, yet the rows keep the
// order given, around a folder and a path that names nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>

#include "CliSupport.h"

using clitest::Contains;
using clitest::Result;
using pcmtest::ShellQuote;

namespace {

std::string CopyAs(const std::string& from, const std::string& to) {
  EXPECT_TRUE(QFile::copy(QString::fromStdString(from), QString::fromStdString(to))) << to;
  return to;
}

}  // namespace

TEST(CliParallelAdd, RowsKeepTheOrderGivenAndEveryBadPathNamesItself) {
  std::string d = pcmtest::MakeTempDir("cli-parallel-paths");
  std::string first = CopyAs(pcmtest::MakeMedia("mp3", 3), d + "/first.mp3");
  std::string second = CopyAs(pcmtest::MakeMedia("wav", 1), d + "/second.wav");
  std::string bad = CopyAs(pcmtest::MakeMedia("txt.mp3"), d + "/bad.mp3");
  std::string folder = d + "/folder";
  ASSERT_EQ(pcmtest::RunShell("mkdir " + ShellQuote(folder)), 0);
  CopyAs(pcmtest::MakeMedia("ogg", 2), folder + "/third.ogg");
  ASSERT_EQ(symlink(second.c_str(), (d + "/link.wav").c_str()), 0);
  std::string config = pcmtest::MakeTempDir("cli-parallel-paths-config");

  Result r;
  r.status = pcmtest::RunShell(
      "POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " + ShellQuote(clitest::Program()) +
          " --batch --list " + ShellQuote(first) + " " + ShellQuote(d + "/missing.wav") + " " +
          ShellQuote(second) + " " + ShellQuote(bad) + " " + ShellQuote(folder) + " " + ShellQuote(second) +
          " " + ShellQuote(folder + "/./third.ogg") + " " + ShellQuote(d + "/link.wav") + " 2>&1",
      &r.out);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "bad.mp3 is not support!")) << r.out;
  EXPECT_TRUE(Contains(r.out, "missing.wav")) << r.out;
  // The rows in the order named, each with its own file's length.
  size_t at = 0;
  for (const char* row :
       {"  1* first  320x240  00:00:03", "  2* second  320x240  00:00:01", "  3* third  320x240  00:00:02"}) {
    size_t found = r.out.find(row, at);
    ASSERT_NE(found, std::string::npos) << row << " in\n" << r.out;
    at = found;
  }
  // A file named twice, by its name or through its folder, is one entry,
  // and a note says so.
  EXPECT_FALSE(Contains(r.out, "  4")) << r.out;
  EXPECT_TRUE(Contains(r.out, second + ": named more than once; converted once\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, folder + "/third.ogg: named more than once; converted once\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, d + "/link.wav: the same file as " + second + "; converted once\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "missing.wav: no such file or folder\n")) << r.out;
}

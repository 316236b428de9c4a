// Folders as people keep media, given to the headless front end: the common
// extensions, nested folders with --recursive, links that loop and folders
// that cannot be read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>

#include "cli/CliSupport.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

void MakeFlac(const std::string& path, int seconds) {
  ASSERT_EQ(pcmtest::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=" +
                              std::to_string(seconds) + " " + ShellQuote(path)),
            0)
      << path;
}

void MakeDir(const std::string& path) { ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path))) << path; }

// Runs the program as `user` ("" for this one) with its settings in `config`.
Result RunFront(const std::string& args, const std::string& config, const std::string& user = "") {
  Result r;
  r.status = pcmtest::RunShell(user + "env POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " +
                                   ShellQuote(Program()) + " " + args + " 2>&1",
                               &r.out);
  return r;
}

// The "from" lines of the final report, in order.
std::vector<std::string> Sources(const std::string& report) {
  std::vector<std::string> from;
  for (size_t at = report.find("    from "); at != std::string::npos; at = report.find("    from ", at + 1))
    from.push_back(report.substr(at + 9, report.find('\n', at) - at - 9));
  return from;
}

}  // namespace

// A music library: an album folder beside loose files, two albums with a
// track of the same name, a cover picture, a link back to the top and, deep
// down, a second link to an album already listed. Everything is converted
// once, in name order, with the same-named tracks kept apart.
TEST(CliFolders, RecursiveFlacTreeWithLoops) {
  std::string src = pcmtest::MakeTempDir("cli-tree");
  std::string out = pcmtest::MakeTempDir("cli-tree-out");
  MakeDir(src + "/Artist/Album 1");
  MakeDir(src + "/Artist/Album 2/CD2");
  MakeFlac(src + "/z loose.flac", 1);
  MakeFlac(src + "/Artist/Album 1/01 Intro.flac", 2);
  MakeFlac(src + "/Artist/Album 1/02 Song.FLAC", 3);
  MakeFlac(src + "/Artist/Album 2/01 Intro.flac", 1);
  MakeFlac(src + "/Artist/Album 2/CD2/track.opus", 2);
  WriteAll(src + "/Artist/Album 2/cover.jpg", "not media");
  ASSERT_EQ(symlink(src.c_str(), (src + "/Artist/back to top").c_str()), 0);
  ASSERT_EQ(symlink("../../Album 1", (src + "/Artist/Album 2/CD2/same as album 1").c_str()), 0);

  // Without --recursive only the top level: the loose file.
  std::string config = pcmtest::MakeTempDir("cli-tree-config");
  Result flat =
      RunFront("--batch --dry-run --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(src), config);
  EXPECT_EQ(flat.status, 0) << flat.out;
  EXPECT_TRUE(Contains(flat.out, "z loose.mp3")) << flat.out;
  EXPECT_FALSE(Contains(flat.out, "Intro")) << flat.out;

  Result r = RunFront("--batch --recursive --profile 17 --output " + ShellQuote(out) + " " + ShellQuote(src),
                      config);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Sources(r.out), (std::vector<std::string>{
                                src + "/Artist/Album 1/01 Intro.flac", src + "/Artist/Album 1/02 Song.FLAC",
                                src + "/Artist/Album 2/01 Intro.flac", src + "/Artist/Album 2/CD2/track.opus",
                                src + "/z loose.flac"}))
      << r.out;
  EXPECT_TRUE(Contains(r.out, src + "/Artist/back to top: already listed")) << r.out;
  EXPECT_TRUE(Contains(r.out, src + "/Artist/Album 2/CD2/same as album 1: already listed")) << r.out;
  const std::pair<const char*, double> kOutputs[] = {
      {"01 Intro.mp3", 2}, {"02 Song.mp3", 3}, {"01 Intro_1.mp3", 1}, {"track.mp3", 2}, {"z loose.mp3", 1}};
  for (const auto& [name, seconds] : kOutputs) {
    auto info = pcmtest::FfprobeFile(out + "/" + name);
    EXPECT_TRUE(info.ok) << name;
    EXPECT_NEAR(info.duration, seconds, 0.2) << name;
  }
  EXPECT_EQ(QDir(QString::fromStdString(out)).entryList(QDir::Files | QDir::Hidden).size(), 5);
}

// Under --recursive, a media file and a folder whose paths are longer than
// the system takes are named and fail the run instead of being passed over;
// the files above them are still taken.
TEST(CliFolders, PathsLongerThanTheSystemTakesAreNamed) {
  const std::string src = pcmtest::MakeTempDir("cli-tree-deep");
  MakeFlac(src + "/top.flac", 1);
  std::string flac;
  {
    QFile f(QString::fromStdString(src + "/top.flac"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    flac = f.readAll().toStdString();
  }
  // Folders down to a path of 4000 bytes; a file and a folder of 100-byte
  // names in the deepest one reach past the limit. Made through the
  // folders' descriptors, since no path to them can be given.
  const std::string level(250, 'd');
  int dir = open(src.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  size_t length = src.size();
  auto descend = [&](const std::string& name) {
    ASSERT_EQ(mkdirat(dir, name.c_str(), 0755), 0);
    int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(dir);
    dir = next;
    length += 1 + name.size();
  };
  while (length + 1 + level.size() <= 4000) descend(level);
  if (length + 1 < 4000) descend(std::string(4000 - length - 1, 'e'));
  ASSERT_GE(dir, 0);
  const std::string fileName = std::string(94, 'f') + ".flac", folderName(100, 's');
  int file = openat(dir, fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(file, 0);
  ASSERT_EQ(write(file, flac.data(), flac.size()), ssize_t(flac.size()));
  close(file);
  ASSERT_EQ(mkdirat(dir, folderName.c_str(), 0755), 0);
  close(dir);

  Result r = RunFront("--batch --dry-run --recursive --profile 17 --output " +
                          ShellQuote(pcmtest::MakeTempDir("cli-tree-deep-out")) + " " + ShellQuote(src),
                      pcmtest::MakeTempDir("cli-tree-deep-config"));
  EXPECT_EQ(r.status, 1);
  for (const std::string& name : {fileName, folderName})
    EXPECT_TRUE(Contains(r.out, "/" + name + ": the path is longer than the system takes; not added\n"))
        << name;
  EXPECT_TRUE(Contains(r.out, "/top.mp3\n"));
  // The test folders' clean-up cannot reach so deep either.
  pcmtest::RunShell("cd " + ShellQuote(src) + " && rm -rf " + level);
}

// A subfolder that cannot be read is named and fails the run; the rest of
// the tree is still taken.
TEST(CliFolders, UnreadableSubfolderIsNamed) {
  // Outside the tests' own folder, which only this user may enter.
  QTemporaryDir tmp(QDir::tempPath() + "/popclipmill-tree-shut-XXXXXX");
  ASSERT_TRUE(tmp.isValid());
  std::string src = tmp.path().toStdString();
  chmod(src.c_str(), 0755);
  MakeDir(src + "/open");
  MakeDir(src + "/shut");
  MakeDir(src + "/out");
  chmod((src + "/out").c_str(), 0777);
  MakeFlac(src + "/open/a.flac", 1);
  MakeFlac(src + "/shut/b.flac", 1);
  chmod((src + "/open").c_str(), 0755);
  chmod((src + "/open/a.flac").c_str(), 0644);
  ASSERT_EQ(chmod((src + "/shut").c_str(), 0), 0);
  std::string asUser;
  if (geteuid() == 0) {
    if (pcmtest::RunShell("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "no setpriv to drop root";
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  Result r = RunFront("--batch --dry-run --recursive --profile 17 --output " + ShellQuote(src + "/out") +
                          " " + ShellQuote(src),
                      src + "/config", asUser);
  chmod((src + "/shut").c_str(), 0755);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, src + "/shut: the folder cannot be read: Permission denied")) << r.out;
  EXPECT_TRUE(Contains(r.out, "/open/a.flac")) << r.out;
  EXPECT_FALSE(Contains(r.out, "b.flac")) << r.out;
}

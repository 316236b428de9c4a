// Folders as people keep media, given to the headless front end: the common
// extensions, nested folders with --recursive, links that loop, folders
// that cannot be read, overlong paths, and a library converted again and
// again with its tree kept and what exists skipped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <climits>
#include <map>

#include "cli/CliSupport.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

// A FLAC file of a tone; with a title, tagged as a ripped track is.
void MakeFlac(const std::string& path, int seconds, const std::string& title = "") {
  ASSERT_EQ(pcmtest::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=" +
                              std::to_string(seconds) +
                              (title.empty() ? ""
                                             : " -metadata title=" + ShellQuote(title) +
                                                   " -metadata artist=Someone -metadata album=Some") +
                              " " + ShellQuote(path)),
            0)
      << path;
}

// The title tag of a file as ffprobe reads it.
std::string TitleOf(const std::string& path) {
  std::string out;
  pcmtest::RunShell(
      "ffprobe -v error -show_entries format_tags=title -of default=nw=1:nk=1 " + ShellQuote(path), &out);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// A file's identity and time: unchanged when nothing wrote it.
std::string Stamp(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return std::to_string(st.st_ino) + "." + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
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
// down, a second link to an album already listed; links to the root, to the
// folder above the library and to /proc, none of them walked. Everything
// is converted once, in name order, with the same-named tracks kept apart.
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
  ASSERT_EQ(symlink("/", (src + "/Artist/Album 2/root").c_str()), 0);
  ASSERT_EQ(symlink((src + "/..").c_str(), (src + "/above").c_str()), 0);
  ASSERT_EQ(symlink("/proc", (src + "/processes").c_str()), 0);

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
  EXPECT_TRUE(Contains(r.out, src + "/Artist/Album 2/root: a link to a folder above")) << r.out;
  EXPECT_TRUE(Contains(r.out, src + "/above: a link to a folder above")) << r.out;
  EXPECT_TRUE(Contains(r.out, src + "/processes: a folder of the system's own")) << r.out;
  EXPECT_FALSE(Contains(r.out, "cannot be read")) << r.out;
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

// A library of four albums whose tracks share names, converted with its
// tree kept: each result in its album's folder, none numbered, each the
// track it should be (by its title tag). The dry run shows those names and
// makes nothing. Converted again while skipping what exists: nothing runs,
// nothing is written, every entry says Skipped and the run succeeds. A
// track added later is the only conversion of the third run. An album whose
// output folder is taken by a file fails alone.
TEST(CliFolders, KeptTreeConvertsALibraryOnce) {
  std::string src = pcmtest::MakeTempDir("cli-library");
  std::string out = pcmtest::MakeTempDir("cli-library-out") + "/phone";
  std::string config = pcmtest::MakeTempDir("cli-library-config");
  const std::vector<std::string> albums = {"Artist A/Album 1", "Artist A/Album 2", "Artist B/It's \"Live\"",
                                           "Various/Best of"};
  std::vector<std::string> expected;
  for (const std::string& album : albums) {
    MakeDir(src + "/" + album);
    for (const char* track : {"01 Intro", "02 Song"}) {
      MakeFlac(src + "/" + album + "/" + track + ".flac", 1, album + " " + track);
      expected.push_back(album + "/" + track + ".mp3");
    }
  }
  // One track is on the compilation too, as a hard link: one file at two
  // places, a result at each.
  ASSERT_EQ(link((src + "/Artist A/Album 1/01 Intro.flac").c_str(),
                 (src + "/Various/Best of/03 Again.flac").c_str()),
            0);
  expected.push_back("Various/Best of/03 Again.mp3");
  std::sort(expected.begin(), expected.end());
  const std::string args = "--batch --keep-folders --profile 17 --output " + ShellQuote(out) + " ";

  Result dry = RunFront(args + "--dry-run " + ShellQuote(src), config);
  EXPECT_EQ(dry.status, 0) << dry.out;
  for (const std::string& file : expected)
    EXPECT_TRUE(Contains(dry.out, ShellQuote(out + "/" + file))) << file;
  EXPECT_FALSE(Contains(dry.out, "_1.mp3")) << dry.out;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));

  Result first = RunFront(args + "--jobs 2 " + ShellQuote(src), config);
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_EQ(Tree(out), expected);
  for (const std::string& album : albums)
    for (const char* track : {"01 Intro", "02 Song"})
      EXPECT_EQ(TitleOf(out + "/" + album + "/" + track + ".mp3"), album + " " + track);
  EXPECT_EQ(TitleOf(out + "/Various/Best of/03 Again.mp3"), "Artist A/Album 1 01 Intro");
  EXPECT_TRUE(Contains(first.out, "Conversion over: 9 finished, 0 failed, 0 stopped.")) << first.out;
  std::map<std::string, std::string> stamps;
  for (const std::string& file : expected) stamps[file] = Stamp(out + "/" + file);

  Result second = RunFront(args + "--skip-existing " + ShellQuote(src), config);
  EXPECT_EQ(second.status, 0) << second.out;
  EXPECT_TRUE(Contains(second.out, "Conversion over: 0 finished, 0 failed, 0 stopped, 9 skipped."))
      << second.out;
  EXPECT_TRUE(Contains(second.out, "Skipped  " + out + "/Artist A/Album 2/02 Song.mp3\n    from " + src +
                                       "/Artist A/Album 2/02 Song.flac"))
      << second.out;
  EXPECT_FALSE(Contains(second.out, "converting")) << second.out;
  EXPECT_EQ(Tree(out), expected);
  for (const std::string& file : expected) EXPECT_EQ(Stamp(out + "/" + file), stamps[file]) << file;

  MakeDir(src + "/Artist B/Album 3");
  MakeFlac(src + "/Artist B/Album 3/01 Intro.flac", 2, "new");
  Result third = RunFront(args + "--skip-existing --jobs 0 " + ShellQuote(src), config);
  EXPECT_EQ(third.status, 0) << third.out;
  EXPECT_TRUE(Contains(third.out, "Conversion over: 1 finished, 0 failed, 0 stopped, 9 skipped."))
      << third.out;
  expected.push_back("Artist B/Album 3/01 Intro.mp3");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Tree(out), expected);
  EXPECT_EQ(TitleOf(out + "/Artist B/Album 3/01 Intro.mp3"), "new");
  for (const auto& [file, stamp] : stamps) EXPECT_EQ(Stamp(out + "/" + file), stamp) << file;

  // An album whose folder name is taken by a file fails alone; a file named
  // on the command line goes to the output folder itself.
  MakeDir(src + "/Blocked");
  MakeFlac(src + "/Blocked/x.flac", 1);
  WriteAll(out + "/Blocked", "a person's file");
  MakeFlac(out + "/../loose.flac", 1);
  Result fourth = RunFront(
      args + "--skip-existing " + ShellQuote(src) + " " + ShellQuote(out + "/../loose.flac"), config);
  EXPECT_EQ(fourth.status, 1) << fourth.out;
  EXPECT_TRUE(Contains(fourth.out, "Failed  -\n    from " + src + "/Blocked/x.flac")) << fourth.out;
  EXPECT_TRUE(Contains(fourth.out, out + "/Blocked is not a folder")) << fourth.out;
  EXPECT_TRUE(Contains(fourth.out, "Conversion over: 1 finished, 1 failed, 0 stopped, 10 skipped."))
      << fourth.out;
  EXPECT_EQ(ReadAll(out + "/Blocked"), "a person's file");
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(out + "/loose.mp3")));
}

// Output size estimates (64-bit product, locale only for display) and output
// file names.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <clocale>

#include "ProfileTestBed.h"

using namespace pcmtest;

namespace {

// Table profile 27 at "Normal" with a chosen video rate: total = rate + 128.
void ChooseTotal(ProfileTestBed& bed, int videoRate) {
  std::string r = std::to_string(videoRate);
  bed.WritePop(PopText({{27, {"320x240", "1 2 " + r + " 4 5", ""}}}));
  bed.Choose(27, 0, 2, 2, 1);
}

void Touch(const std::string& path) { WriteFile(path, "x"); }

}  // namespace

TEST(Estimate, MegabytesWithTwoDecimals) {
  ProfileTestBed bed;
  ChooseTotal(bed, 872);
  QLocale c(QLocale::C);
  EXPECT_EQ(bed.options().EstimateOutputSize(Entry("a", "320x240", "1", "1", "00:01:00"), c), "7.15MB");
  EXPECT_EQ(bed.options().EstimateOutputSize(Entry("a", "320x240", "1", "1", ""), c), "0.00MB");
  EXPECT_EQ(bed.options().EstimateOutputSize(Entry("a", "320x240", "1", "1", "xx:yy"), c), "0.00MB");
  // The same block writing Vorbis: its sound counts at the four fifths of
  // its rate libvorbis writes (872 + 128 * 0.8 kbit/s for a minute).
  bed.WritePop(PopText({{27, {"320x240", "1 2 872 4 5", "-vcodec mpeg4 -acodec libvorbis -f ogg"}}}));
  bed.Choose(27, 0, 2, 2, 1);
  EXPECT_EQ(bed.options().EstimateOutputSize(Entry("a", "320x240", "1", "1", "00:01:00"), c), "6.97MB");
  EXPECT_EQ(pcm::OptionAssembly::FormatMegabytes(1234.5678, c), "1234.60");
  EXPECT_EQ(pcm::OptionAssembly::FormatMegabytes(99999.4, c), "99999.00");
}

// A product of rate and seconds beyond 32 bits stays positive.
TEST(Estimate, LongHighRateEntryIsNotNegative) {
  ProfileTestBed bed;
  ChooseTotal(bed, 99872);  // 100000 kbit/s
  auto row = Entry("long", "320x240", "1", "1", "99:59:59");
  std::string text = bed.options().EstimateOutputSize(row, QLocale(QLocale::C));
  EXPECT_EQ(text.find('-'), std::string::npos) << text;
  EXPECT_EQ(text, "4.2915E+06MB");
  ChooseTotal(bed, 5872);  // 6000 kbit/s for 99:59:59 = 2159994000 kbit
  EXPECT_EQ(bed.options().EstimateOutputSize(row, QLocale(QLocale::C)).find('-'), std::string::npos);
}

// Under a locale with a decimal comma the encoder still gets "1.3333"; only
// the displayed size uses the comma.
TEST(Locale, DecimalCommaOnlyInDisplayedTexts) {
  QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  std::string savedNumeric = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // when installed, printf would write a comma too
  {
    ProfileTestBed bed;
    ChooseTotal(bed, 872);
    auto row = Entry("a", "320x240", "1", "1", "00:01:00");
    EXPECT_EQ(bed.options().EstimateOutputSize(row), "7,15MB");
    EXPECT_EQ(pcm::OptionAssembly::FormatMegabytes(1234.5678, QLocale()), "1234,60");
    bed.Choose(7, 1, 2, 2, 1);
    EXPECT_EQ(bed.options().AspectOption(bed.options().SizeOption(row).ValueOf("-s")).Text(),
              " -aspect 1.3333");
  }
  std::setlocale(LC_NUMERIC, savedNumeric.c_str());
  QLocale::setDefault(saved);
}

TEST(OutputPath, CreatesTheFolderAndCountsUpOnCollision) {
  ProfileTestBed bed;
  bed.profiles().SelectProfile(7);
  std::string out = MakeTempDir("out") + "/new";
  bed.app->settings.outputField = out;
  auto row = Entry("clip");
  std::string first = bed.options().OutputFilePath(row);
  EXPECT_EQ(first, out + "/clip.wmv");
  // Computing the name makes nothing; the step before a job makes the folder.
  EXPECT_FALSE(QDir(QString::fromStdString(out)).exists());
  EXPECT_EQ(bed.options().MakeOutputFolder(bed.app->settings), out + "/");
  EXPECT_TRUE(QDir(QString::fromStdString(out)).exists());
  EXPECT_EQ(bed.app->settings.outputDirectory, out + "/");
  Touch(first);
  EXPECT_EQ(bed.options().OutputFilePath(row), out + "/clip_1.wmv");
  Touch(out + "/clip_1.wmv");
  EXPECT_EQ(bed.options().OutputFilePath(row), out + "/clip_2.wmv");
  // A trailing "/" is not doubled.
  bed.app->settings.outputField = out + "/";
  EXPECT_EQ(bed.options().OutputFilePath(row), out + "/clip_2.wmv");
}

// A title is the name of its output whole: its dots are its own. Only a
// media extension a renamed title still carries is replaced, and the
// numbered names are the plain name with a number.
TEST(OutputPath, TitlesKeepTheirDotsAndTheNumberedNamesFollowThePlainOne) {
  ProfileTestBed bed;
  bed.profiles().SelectProfile(17);
  std::string out = MakeTempDir("out");
  bed.app->settings.outputField = out;
  auto path = [&](const std::string& title) { return bed.options().OutputFilePath(Entry(title)); };
  EXPECT_EQ(path("my.song"), out + "/my.song.mp3");
  EXPECT_EQ(path("01. Intro"), out + "/01. Intro.mp3");
  EXPECT_EQ(path("Mr. Smith - Track 1"), out + "/Mr. Smith - Track 1.mp3");
  EXPECT_EQ(path("My.Song.Title"), out + "/My.Song.Title.mp3");
  EXPECT_EQ(path("a_5.4"), out + "/a_5.4.mp3");
  EXPECT_EQ(path("movie.AVI"), out + "/movie.mp3");
  Touch(out + "/Dr. No.mp3");
  EXPECT_EQ(path("Dr. No"), out + "/Dr. No_1.mp3");
  Touch(out + "/movie.mp3");
  EXPECT_EQ(path("movie.avi"), out + "/movie_1.mp3");
  // Never a hidden name, nor none.
  EXPECT_EQ(path("."), out + "/_.mp3");
  EXPECT_EQ(path(".."), out + "/__.mp3");
  EXPECT_EQ(path(".hidden"), out + "/_hidden.mp3");
  EXPECT_EQ(path(""), out + "/_.mp3");
  EXPECT_EQ(path(".wav"), out + "/_wav.mp3");
  // Bytes that are not UTF-8 stay as they are.
  EXPECT_EQ(path("bad\xff\xfe"), out + "/bad\xff\xfe.mp3");
}

// A name too long for the file system is cut, between two characters, so
// that the numbered name and the reserved name beside it fit too.
TEST(OutputPath, LongTitlesAreCutToFit) {
  ProfileTestBed bed;
  bed.profiles().SelectProfile(17);
  std::string out = MakeTempDir("out");
  bed.app->settings.outputField = out;
  std::string wide;
  for (int i = 0; i < 130; ++i) wide += "\xc3\xa9";  // 260 bytes of two-byte letters
  for (const std::string& title : {std::string(251, 'K'), wide}) {
    std::string first = bed.options().OutputFilePath(Entry(title));
    std::string name = first.substr(out.size() + 1);
    ASSERT_LE(name.size() + 12, 255u) << name;  // the reserved name fits
    EXPECT_GE(name.size(), 230u);
    EXPECT_EQ(name.substr(name.size() - 4), ".mp3");
    std::string base = name.substr(0, name.size() - 4);
    EXPECT_EQ(QString::fromUtf8(base.data(), qsizetype(base.size())).toUtf8().toStdString(), base);
    Touch(first);
    EXPECT_EQ(bed.options().OutputFilePath(Entry(title)), out + "/" + base + "_1.mp3");
  }
}

// Captions and a row's subfolder (a list file may hold any text there)
// never lead out of the output folder; a subfolder's parts follow the
// output name rule and keep their bytes, and the numbered names stay in it.
TEST(OutputPath, UnsafeCaptionSubfolderAndEmptyFieldStayInTheOutputFolder) {
  ProfileTestBed bed;
  bed.profiles().SelectProfile(17);
  std::string out = MakeTempDir("out");
  bed.app->settings.outputDirectory = out + "/";
  bed.app->settings.outputField = "";
  EXPECT_EQ(bed.options().OutputFilePath(Entry("../../etc/x")), out + "/___.._etc_x.mp3");
  EXPECT_EQ(bed.options().OutputFilePath(Entry("sub/dir")), out + "/sub_dir.mp3");
  EXPECT_EQ(bed.app->settings.outputDirectory, out + "/");
  auto in = [&](const std::string& subfolder, const std::string& title = "x") {
    auto row = Entry(title);
    row.outputSubfolder = subfolder;
    return bed.options().OutputFilePath(row);
  };
  EXPECT_EQ(in(""), out + "/x.mp3");
  EXPECT_EQ(in("Artist/Album 1/"), out + "/Artist/Album 1/x.mp3");
  EXPECT_EQ(in("../../etc/"), out + "/__/__/etc/x.mp3");
  EXPECT_EQ(in("/abs//./b"), out + "/abs/_/b/x.mp3");
  EXPECT_EQ(in(".hidden/..a/"), out + "/_hidden/__a/x.mp3");
  EXPECT_EQ(in("sp 'q' \"d\"\nnl\xff\xfe/"), out + "/sp 'q' \"d\"\nnl\xff\xfe/x.mp3");
  EXPECT_EQ(pcm::OptionAssembly::OutputSubfolder(std::string(300, 'L') + "/"), std::string(255, 'L') + "/");
  EXPECT_EQ(pcm::OptionAssembly::OutputSubfolder("//"), "");
  // Taken names count in the subfolder only.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(out + "/A")));
  Touch(out + "/A/x.mp3");
  EXPECT_EQ(in("A/"), out + "/A/x_1.mp3");
  EXPECT_EQ(in("B/"), out + "/B/x.mp3");
  EXPECT_EQ(bed.options().FirstOutputPath("x", "A/"), out + "/A/x.mp3");
}

// A dangling link still names a taken file: the encoder would write through it.
TEST(OutputPath, DanglingLinkCountsAsTaken) {
  ProfileTestBed bed;
  bed.profiles().SelectProfile(17);
  std::string out = MakeTempDir("out");
  bed.app->settings.outputField = out;
  ASSERT_TRUE(
      QFile::link(QString::fromStdString(out + "/nowhere"), QString::fromStdString(out + "/clip.mp3")));
  EXPECT_EQ(bed.options().OutputFilePath(Entry("clip")), out + "/clip_1.mp3");
}

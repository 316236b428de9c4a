// Skin files with sizes no screen has are refused when they are read, before
// any window or buffer of that size exists, and name what is wrong.
#include <gtest/gtest.h>

#include <QFile>

#include "WindowFixture.h"
#include "gui/Skin.h"

namespace pcmtest {
namespace {

// The shipped skin with one text replaced, written into a folder of its own.
std::string SkinWith(const QByteArray& from, const QByteArray& to, const std::string& dir) {
  QFile in(QString::fromStdString(BinDir() + "/skn.skn"));
  EXPECT_TRUE(in.open(QIODevice::ReadOnly));
  QByteArray skin = in.readAll();
  EXPECT_TRUE(skin.contains(from)) << from.toStdString();
  skin.replace(from, to);
  std::string path = dir + "/skn.skn";
  QFile out(QString::fromStdString(path));
  EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  out.write(skin);
  return path;
}

std::string LoadError(const std::string& path) {
  try {
    pcm::SkinFile().Load(QString::fromStdString(path));
  } catch (const pcm::SkinError& e) {
    return e.what();
  }
  return "loaded";
}

TEST(SkinLimits, AbsurdFormElementAndFontSizesAreRefused) {
  std::string dir = MakeTempDir("skin-limits");
  const QByteArray form = "\"size\": [760, 572]";
  std::string e = LoadError(SkinWith(form, "\"size\": [30000, 30000]", dir));
  EXPECT_NE(e.find("\"popclipmill\" has the size 30000 x 30000"), std::string::npos) << e;
  EXPECT_NE(LoadError(SkinWith(form, "\"size\": [760, 0]", dir)).find("760 x 0"), std::string::npos);
  EXPECT_NE(LoadError(SkinWith(form, "\"size\": [-760, 572]", dir)).find("-760 x 572"), std::string::npos);
  // Beyond int range is not read as some other number.
  EXPECT_NE(LoadError(SkinWith(form, "\"size\": [760, 1e12]", dir)), "loaded");
  // The largest side allowed still loads.
  EXPECT_EQ(LoadError(SkinWith(form, "\"size\": [8192, 572]", dir)), "loaded");

  const QByteArray title = "\"rect\": [0, 0, 760, 30]";
  e = LoadError(SkinWith(title, "\"rect\": [0, 0, 30000, 30000]", dir));
  EXPECT_NE(e.find("\"titlebar\""), std::string::npos) << e;
  EXPECT_NE(LoadError(SkinWith(title, "\"rect\": [0, 0, -5, 30]", dir)), "loaded");
  e = LoadError(SkinWith("\"fontSize\": 15", "\"fontSize\": 100000", dir));
  EXPECT_NE(e.find("100000"), std::string::npos) << e;
}

// The window itself refuses to open with such a skin, with the reason.
TEST(SkinLimits, WindowDoesNotOpenWithAHugeForm) {
  std::string program = MakeProgramDir("hugeskin");
  std::string dir = program.substr(0, program.rfind('/'));
  SkinWith("\"size\": [760, 572]", "\"size\": [30000, 30000]", dir);
  WindowHarness h("popclipmill", "", dir);
  try {
    h.Open();
    FAIL() << "the window opened with a 30000 x 30000 form";
  } catch (const pcm::SkinError& e) {
    EXPECT_NE(std::string(e.what()).find("30000 x 30000"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace pcmtest

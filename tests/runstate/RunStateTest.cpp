// Program variant, messages from the language file, the refusal convention
// and the strips, before any window exists.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "core/Application.h"
#include "support/Fixtures.h"
#include "profiles/ProductInfo.h"

using namespace pcm;

namespace {

std::string ProgramWithMessages(int lines, const std::string& name = "popclipmill") {
  std::string program = pcmtest::MakeProgramDir("messages", "exit 0", name);
  std::string dir = program.substr(0, program.rfind('/') + 1);
  std::ofstream out(dir + "language.info", std::ios::binary | std::ios::trunc);
  for (int i = 1; i <= lines; ++i) out << "message " << i << (i % 2 ? "\r\n" : "\n");
  return program;
}

}  // namespace

TEST(ProgramVariant, NameDecidesModeAndBranding) {
  EXPECT_TRUE(ProgramInfo("/x/clip_dvd.exe").DvdMode());
  EXPECT_TRUE(ProgramInfo("/x/CLIP_DVD.EXE").DvdMode());
  EXPECT_FALSE(ProgramInfo("/x/popclipmill").DvdMode());
  EXPECT_TRUE(ProgramInfo("/x/popclipmill-dvd").DvdMode());
  EXPECT_TRUE(ProgramInfo("/x/QuorvConvert").Branded());
  EXPECT_TRUE(ProgramInfo("/x/mp3conv").AudioBranded());
  EXPECT_TRUE(ProgramInfo("/x/My AUDIO tool").AudioBranded());
  EXPECT_FALSE(ProgramInfo("/x/popclipmill").AudioBranded());
}

TEST(ProgramVariant, ExtensionDroppedOnlyWhenItIsOne) {
  EXPECT_EQ(ProgramInfo("/x/abc.exe").NameWithoutExtension(), "abc");
  EXPECT_EQ(ProgramInfo("/x/abc").NameWithoutExtension(), "abc");
  EXPECT_EQ(ProgramInfo("/x/popclipmill").NameWithoutExtension(), "popclipmill");
  EXPECT_EQ(ProgramInfo("/x/popclipmill-dvd").NameWithoutExtension(), "popclipmill-dvd");
  EXPECT_EQ(ProgramInfo("/opt/pcm/popclipmill").Directory(), "/opt/pcm/");
}

TEST(Messages, LookupByLineNumber) {
  CoreApp app({ProgramWithMessages(37)});
  EXPECT_EQ(app.LoadMessage(1), "message 1");
  EXPECT_EQ(app.display().Text("hint"), "message 1");
  EXPECT_EQ(app.LoadMessage(2), "message 2");  // CR LF and LF lines alike
  EXPECT_EQ(app.LoadMessage(25), "message 25");
  EXPECT_EQ(app.display().Text("hint"), "message 25 popclipmill.");
  app.display().SetText("hint", "kept");
  EXPECT_EQ(app.LoadMessage(30), "message 30");  // only returned
  EXPECT_EQ(app.display().Text("hint"), "kept");
}

TEST(Messages, WhileConvertingOnlyTheRefusalIsLookedUp) {
  CoreApp app({ProgramWithMessages(37)});
  app.run.converting = true;
  app.display().SetText("hint", "time=12.00 bitrate=");
  EXPECT_EQ(app.LoadMessage(26), "message 26");
  EXPECT_EQ(app.LoadMessage(30), "");
  EXPECT_EQ(app.LoadMessage(3), "");  // a hover keeps the status line
  EXPECT_EQ(app.display().Text("hint"), "time=12.00 bitrate=");
}

TEST(Messages, ShortOrMissingFile) {
  CoreApp app({ProgramWithMessages(20)});
  EXPECT_EQ(app.LoadMessage(26), "");
  EXPECT_EQ(app.LoadMessage(22), "");
  EXPECT_EQ(app.display().Text("hint"), "message 20");  // the last line read
  std::remove((app.program.Directory() + "language.info").c_str());
  EXPECT_THROW(app.LoadMessage(1), CommandError);
  // A named pipe in its place is refused at once instead of waiting for a
  // writer; so is one in place of the product records.
  std::string dir = app.program.Directory();
  ASSERT_EQ(mkfifo((dir + "language.info").c_str(), 0600), 0);
  EXPECT_THROW(app.LoadMessage(1), CommandError);
  std::remove((dir + "softinfo.dat").c_str());
  ASSERT_EQ(mkfifo((dir + "softinfo.dat").c_str(), 0600), 0);
  EXPECT_FALSE(ReadProductRecord(dir + "softinfo.dat", "popclipmill"));
  std::remove((dir + "language.info").c_str());
  // A command that fails this way reaches the error box and nothing else.
  auto& ui = static_cast<ScriptedUserInterface&>(app.ui());
  app.RunCommand([&] {
    app.Refused(false, true);
    app.run.converting = true;
    app.Refused(false, true);
  });
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "error");
}

TEST(Messages, RefusalConventionTestsPreviewFirst) {
  CoreApp app({ProgramWithMessages(37)});
  auto& ui = static_cast<ScriptedUserInterface&>(app.ui());
  EXPECT_FALSE(app.Refused(true, true));
  app.run.previewing = true;
  EXPECT_FALSE(app.Refused(false, true));
  EXPECT_TRUE(app.Refused(true, true));
  app.run.previewing = false;
  app.run.converting = true;
  EXPECT_FALSE(app.Refused(true, false));
  EXPECT_TRUE(app.Refused(true, true));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].kind, "warning");
  EXPECT_EQ(ui.boxes[0].text, "message 27");
  EXPECT_EQ(ui.boxes[1].text, "message 26");
}

TEST(Strips, WidthsFollowTheFraction) {
  CoreApp app({ProgramWithMessages(37)});
  app.ShowConvertProgress(5000);
  EXPECT_EQ(app.display().StripWidth("convertpos"), 358);
  app.ShowConvertProgress(10150);
  EXPECT_EQ(app.display().StripWidth("convertpos"), 715);
  app.ShowConvertProgress(-20);
  EXPECT_EQ(app.display().StripWidth("convertpos"), 0);
  app.ShowStrip("playpos", kPlayStripWidth, 5000);
  EXPECT_EQ(app.display().StripWidth("playpos"), 105);
  app.ShowStrip("cutplaypos", kCutPlayStripWidth, 3333);
  EXPECT_EQ(app.display().StripWidth("cutplaypos"), 98);
}

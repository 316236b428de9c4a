// The program as installed: into a temporary prefix, the links in bin/ run
// the program that finds its data, and the desktop entry and icon are where
// the desktop looks for them.
#include <gtest/gtest.h>

#include "CliSupport.h"

namespace clitest {
namespace {

TEST(Install, IntoATemporaryPrefixAndRunFromThere) {
  std::string prefix = pcmtest::MakeTempDir("install");
  std::string build = pcmtest::BinDir() + "/..";
  std::string log;
  ASSERT_EQ(pcmtest::RunShell("cmake --install " + pcmtest::ShellQuote(build) + " --prefix " +
                                  pcmtest::ShellQuote(prefix) + " 2>&1",
                              &log),
            0)
      << log;
  for (const char* f :
       {"/share/applications/popclipmill.desktop", "/share/icons/hicolor/48x48/apps/popclipmill.png",
        "/share/icons/hicolor/256x256/apps/popclipmill.png", "/lib/popclipmill/help.html",
        "/lib/popclipmill/register.dat", "/lib/popclipmill/profiles.pop", "/bin/popclipmill-dvd"})
    EXPECT_EQ(pcmtest::RunShell("test -e " + pcmtest::ShellQuote(prefix + f)), 0) << f;

  // Run by its link from another folder, with settings of its own.
  std::string media = pcmtest::MakeMedia("wav", 2);
  std::string config = pcmtest::MakeTempDir("install-config");
  std::string out;
  int status = pcmtest::RunShell("cd / && POPCLIPMILL_CONFIG_DIR=" + pcmtest::ShellQuote(config + "/") + " " +
                                     pcmtest::ShellQuote(prefix + "/bin/popclipmill") +
                                     " --batch --dry-run " + pcmtest::ShellQuote(media) + " 2>&1",
                                 &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(Contains(out, prefix + "/lib/popclipmill/register.dat")) << out;
}

TEST(Install, DesktopEntryIsValid) {
  if (pcmtest::RunShell("command -v desktop-file-validate >/dev/null") != 0)
    GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
  std::string out;
  EXPECT_EQ(pcmtest::RunShell(
                "desktop-file-validate " +
                    pcmtest::ShellQuote(std::string(POPCLIPMILL_SOURCE_DIR) + "/data/popclipmill.desktop") +
                    " 2>&1",
                &out),
            0)
      << out;
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace clitest

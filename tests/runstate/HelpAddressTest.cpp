// The help items open the page shipped beside the program; a missing page
// or a desktop with nothing to open it is said, not passed over.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUrl>

#include "support/Fixtures.h"
#include "ui/HelpAddress.h"
#include "profiles/ProductInfo.h"
#include "ui/RunState.h"
#include "ui/SystemActions.h"
#include "ui/UserInterface.h"

namespace pcmtest {
namespace {

TEST(HelpAddress, ShippedPageOpensAsAFileAddressAndFailuresAreSaid) {
  // The shipped records point at the shipped page.
  for (const char* key : {"popclipmill", "popclipmill-dvd"}) {
    auto record = pcm::ReadProductRecord(BinDir() + "/softinfo.dat", key);
    ASSERT_TRUE(record) << key;
    EXPECT_EQ(record->webAddress, "help.html");
    EXPECT_EQ(record->supportAddress, "help.html#support");
  }
  // A program folder whose name needs escaping in an address.
  std::string dir = MakeTempDir("help") + "/my programs #1";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir)));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(BinDir() + "/help.html"),
                          QString::fromStdString(dir + "/help.html")));
  pcm::ProgramInfo program(dir + "/popclipmill");
  std::string url = pcm::ResolveAddress(program, "help.html#support");
  EXPECT_EQ(url, "file://" + QUrl::toPercentEncoding(QString::fromStdString(dir), "/").toStdString() +
                     "/help.html#support");
  EXPECT_EQ(QUrl(QString::fromStdString(url)).toLocalFile().toStdString(), dir + "/help.html");
  EXPECT_EQ(pcm::ResolveAddress(program, "https://example.org/x"), "https://example.org/x");
  // Nothing outside the program's folder is opened as its page.
  EXPECT_EQ(pcm::ResolveAddress(program, "../help.html"), "");
  EXPECT_EQ(pcm::ResolveAddress(program, "/etc/passwd"), "");
  EXPECT_EQ(pcm::ResolveAddress(program, "missing.html"), "");

  pcm::RecordingSystemActions system;
  pcm::ScriptedUserInterface ui;
  pcm::OpenShippedAddress(program, system, ui, "help.html");
  ASSERT_EQ(system.calls.size(), 1u);
  EXPECT_EQ(system.calls[0], "open-address " + pcm::ResolveAddress(program, "help.html"));
  EXPECT_TRUE(ui.boxes.empty());
  // No program takes it.
  system.addressOpens = false;
  pcm::OpenShippedAddress(program, system, ui, "help.html#about");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "warning");
  EXPECT_NE(ui.boxes[0].text.find("No program could be found to open file://"), std::string::npos);
  // The page is gone: said with its path, nothing handed to the desktop.
  std::remove((dir + "/help.html").c_str());
  pcm::OpenShippedAddress(program, system, ui, "help.html#support");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text.find("The help page " + dir + "/help.html is missing"), 0u) << ui.boxes[1].text;
  EXPECT_EQ(system.calls.size(), 2u);
  // No address, no action.
  pcm::OpenShippedAddress(program, system, ui, "");
  EXPECT_EQ(system.calls.size(), 2u);
  EXPECT_EQ(ui.boxes.size(), 2u);
}

}  // namespace
}  // namespace pcmtest

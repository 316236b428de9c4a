// A real batch in the window with one good entry and one whose file was
// damaged after it was added: the good one shows the size of what was
// written, the failed one tells why first in its tooltip and its properties, and
// the properties can show the entry's whole encoder output.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <filesystem>

#include "WindowFixture.h"
#include "gui/Dialogs.h"
#include "gui/SettingsDialog.h"
#include "queue/OptionAssembly.h"

namespace pcmtest {
namespace {

TEST(WindowFailureReport, RealSizeReadableReasonAndWholeOutput) {
  namespace fs = std::filesystem;
  WindowHarness h;
  pcm::MainWindow& w = h.Open();
  const std::string media = MakeTempDir("report-media");
  fs::copy_file(MakeMedia("mp3", 2), media + "/good.mp3");
  fs::copy_file(MakeMedia("mp3", 2), media + "/damaged.mp3");
  h.ui.fileAnswers.push_back({media + "/good.mp3", media + "/damaged.mp3"});
  w.ImageButtonClicked("bt_dvdopen");
  ASSERT_EQ(h.app().list.Count(), 2) << h.LastBox();
  ASSERT_EQ(RunShell("head -c 20000 /dev/urandom > " + ShellQuote(media + "/damaged.mp3")), 0);

  w.outputField()->setText(QString::fromStdString(MakeTempDir("report-out")));
  h.app().settings.finishAction = pcm::kFinishNothing;
  w.ImageButtonClicked("bt_start");
  // While converting, the Settings menu item is disabled as its button is.
  ASSERT_TRUE(h.app().run.converting);
  EXPECT_FALSE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
  ASSERT_TRUE(WaitUntil([&] { return !h.app().run.converting; }, 120000));
  EXPECT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
  w.settingsDialog()->close();
  const pcm::ListRow& good = h.app().list.Row(0);
  const pcm::ListRow& damaged = h.app().list.Row(1);
  ASSERT_EQ(StatusText(good), "Finish");
  ASSERT_EQ(StatusText(damaged), "Failed");

  // The size column: the written file, not the estimate.
  const double written = double(fs::file_size(good.outputFile)) / 1024 / 1024;
  EXPECT_EQ(good.outputSize, pcm::OptionAssembly::FormatMegabytes(written, QLocale()) + "MB");
  EXPECT_EQ(w.listView()->model()->index(0, 3).data().toString().toStdString(), good.outputSize);
  // Another profile changes the estimates, not the written file's size.
  const std::string estimate = damaged.outputSize;
  h.app().profiles.SelectProfile(h.app().profiles.currentProfile == 20 ? 21 : 20);
  EXPECT_EQ(good.outputSize, pcm::OptionAssembly::FormatMegabytes(written, QLocale()) + "MB");
  EXPECT_NE(damaged.outputSize, estimate);

  // The tooltip names the reason first and none of the descriptions.
  QString tip = w.listView()->model()->index(1, 4).data(Qt::ToolTipRole).toString();
  ASSERT_FALSE(damaged.failureLines.empty());
  EXPECT_TRUE(tip.startsWith(QString::fromStdString(damaged.failureLines.front()) + "\n"))
      << tip.toStdString();
  // The encoder's last word names the input and what was wrong with it.
  EXPECT_TRUE(tip.contains("damaged.mp3: ")) << tip.toStdString();
  for (const char* noise : {"Stream #", "Duration:", "Input #", "time="})
    EXPECT_FALSE(tip.contains(noise)) << tip.toStdString();

  // The properties: the reason, then the whole output on request; a good
  // entry has its output too, with the file it wrote.
  w.listView()->selectRow(1);
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Properties"));
  auto* text = w.infoDialog()->findChild<QPlainTextEdit*>("ed_failure");
  auto* whole = w.infoDialog()->findChild<QCheckBox*>("cb_wholeoutput");
  auto* reasonLine = w.infoDialog()->findChild<QLabel*>("lb_reason");
  ASSERT_TRUE(text && whole && reasonLine);
  // The cause stands first, whole within the box (its path wraps), above
  // how the encoder ended and the lines that led to it.
  EXPECT_TRUE(reasonLine->isVisibleTo(w.infoDialog()));
  EXPECT_EQ(reasonLine->toolTip().toStdString(), damaged.failureLines.front());
  EXPECT_EQ(reasonLine->text().remove(QChar(0x200B)).toStdString(), damaged.failureLines.front());
  EXPECT_TRUE(reasonLine->toolTip().contains("damaged.mp3: ")) << damaged.failureLines.front();
  EXPECT_GE(reasonLine->height(), reasonLine->heightForWidth(reasonLine->width()));
  EXPECT_LT(reasonLine->geometry().bottom(), text->geometry().top());
  const QString reason = text->toPlainText();
  EXPECT_FALSE(reason.contains("No problems")) << reason.toStdString();
  EXPECT_TRUE(reason.startsWith("The encoder exited with code 1")) << reason.toStdString();
  ASSERT_TRUE(whole->isEnabled());
  whole->setChecked(true);
  EXPECT_GE(text->toPlainText().size(), reason.size());
  EXPECT_FALSE(reasonLine->isVisibleTo(w.infoDialog()));
  w.infoDialog()->hide();

  w.listView()->selectRow(0);
  ASSERT_TRUE(w.TriggerMenuItem("zm_popup_file", "Properties"));
  EXPECT_FALSE(whole->isChecked());
  EXPECT_EQ(text->toPlainText(), "No problems reported.");
  EXPECT_FALSE(reasonLine->isVisibleTo(w.infoDialog()));
  whole->setChecked(true);
  EXPECT_TRUE(
      text->toPlainText().contains(QString::fromStdString(fs::path(good.outputFile).filename().string())))
      << text->toPlainText().toStdString();
  EXPECT_FALSE(text->toPlainText().contains(".pcm-")) << "the reserved name is shown as the final one";
}

}  // namespace
}  // namespace pcmtest

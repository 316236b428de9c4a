// Test main for window tests: widgets need a QApplication. Runs offscreen.
#include <gtest/gtest.h>

#include <QApplication>

#include "dvd/IfoReader.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  // IFO files are read by the built adapter; test programs live elsewhere.
  pcm::ifo::SetIfoReaderProgram(POPCLIPMILL_BIN_DIR "/register.dat");
  return RUN_ALL_TESTS();
}

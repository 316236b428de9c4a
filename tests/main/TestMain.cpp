// Test main: the engine hands results to the main thread through the Qt event
// loop, so every test program runs with an application object.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "dvd/IfoReader.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  // IFO files are read by the built adapter; test programs live elsewhere.
  pcm::ifo::SetIfoReaderProgram(POPCLIPMILL_BIN_DIR "/register.dat");
  return RUN_ALL_TESTS();
}

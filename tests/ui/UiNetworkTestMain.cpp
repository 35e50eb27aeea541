#include <gtest/gtest.h>

#include <QApplication>

#include "PrivateNetwork.h"

// The window tests run the real engine, so they enter the private network first (before any
// thread exists) and draw on Qt's offscreen platform.
int main(int argc, char** argv) {
  EnterPrivateNetworkForTests();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include <QApplication>

// Window tests draw on Qt's offscreen platform, so they need no display.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

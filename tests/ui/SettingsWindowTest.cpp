// The window's size, position and column widths through the settings file.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QLineEdit>

#include "PrivateNetwork.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

struct Geometry {
  int left, top, outerWidth, outerHeight;
};

struct SettingsCase {
  const char* name;
  QSize screen;
  const char* file;  // null: no settings file
  Geometry geometry;
  std::vector<int> columns;  // empty: the built-in widths
};

const std::vector<int> kBuiltIn{150, 150, 150, 65, 65, 65, 65, 65, 65, 65, 65, 65};
const std::vector<int> kAll200(12, 200);

class WindowSettings : public ::testing::TestWithParam<SettingsCase> {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

TEST_P(WindowSettings, AreAppliedAtStartUp) {
  const SettingsCase& c = GetParam();
  window.desktop.screen = c.screen;
  if (c.file) window.WriteFile("halvoro.ini", c.file);
  TForm1& form = window.Open();
  // The stored size is the outer one: the client area is 16 narrower and 39 lower.
  EXPECT_EQ(form.pos(), QPoint(c.geometry.left, c.geometry.top));
  EXPECT_EQ(form.width(), c.geometry.outerWidth - 16);
  EXPECT_EQ(form.height(), c.geometry.outerHeight - 39);
  const std::vector<int>& columns = c.columns.empty() ? kBuiltIn : c.columns;
  for (int i = 0; i < 12; ++i) EXPECT_EQ(form.lvStatistics->columnWidth(i), columns[i]) << i;
  EXPECT_EQ(form.lvStatistics->geometry(),
            QRect(0, 64, c.geometry.outerWidth - 16, c.geometry.outerHeight - 103));
}

INSTANTIATE_TEST_SUITE_P(
    Files, WindowSettings,
    ::testing::Values(
        SettingsCase{"NoFileOnFullHd", {1920, 1080}, nullptr, {407, 165, 1106, 750}, {}},
        SettingsCase{"NoFileOnXga", {1024, 768}, nullptr, {-41, 9, 1106, 750}, {}},
        SettingsCase{"OnlyFormWidth",
                     {1920, 1080},
                     "[config]\nformwidth=1200\n",
                     {407, 165, 1200, 750},
                     kAll200},
        SettingsCase{"HexadecimalWidth",
                     {1920, 1080},
                     "[config]\nformwidth=0x500\n",
                     {407, 165, 1280, 750},
                     kAll200},
        SettingsCase{"UnreadableWidth",
                     {1920, 1080},
                     "[config]\nformwidth=abc\n",
                     {407, 165, 1106, 750},
                     kAll200},
        SettingsCase{"EverythingGiven",
                     {1920, 1080},
                     "[Config]\nFormWidth=900\nformheight=600\nformleft=10\nformtop=20\n"
                     "col0=1\ncol1=2\ncol2=3\ncol3=4\ncol4=5\ncol5=6\ncol6=7\ncol7=8\ncol8=9\n"
                     "col9=10\ncol10=11\ncol11=12\n",
                     {10, 20, 900, 600},
                     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}),
    [](const auto& info) { return std::string(info.param.name); });

class SettingsOnClose : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

TEST_F(SettingsOnClose, FirstCloseWritesAllSixteenKeys) {
  window.Open();
  window.Close();
  EXPECT_EQ(window.ReadFile("halvoro.ini"),
            "[config]\nformwidth=1106\nformheight=750\nformleft=407\nformtop=165\ncol0=150\n"
            "col1=150\ncol2=150\ncol3=65\ncol4=65\ncol5=65\ncol6=65\ncol7=65\ncol8=65\ncol9=65\n"
            "col10=65\ncol11=65\n");
}

TEST_F(SettingsOnClose, WidenedColumnIsWrittenBackAndRestored) {
  window.WriteFile("halvoro.ini", "; mine\n[other]\nkey=1\n[config]\ncol3=65\nextra=keep\n");
  TForm1& form = window.Open();
  form.lvStatistics->setColumnWidth(3, 80);
  window.Close();
  const std::string ini = window.ReadFile("halvoro.ini");
  EXPECT_NE(ini.find("; mine\n[other]\nkey=1\n[config]\ncol3=80\nextra=keep\n"), std::string::npos)
      << ini;
  WindowFixture::ProcessEventsFor(std::chrono::milliseconds(1));
  TForm1& again = window.Open();
  EXPECT_EQ(again.lvStatistics->columnWidth(3), 80);
}

// A directory that cannot be written: both files fail, both failures are shown, and the window
// closes all the same with the old files unchanged.
TEST_F(SettingsOnClose, FailedWritesAreShownAndTheWindowStillCloses) {
  window.WriteConfig("[]");
  window.WriteFile("halvoro.ini", "[config]\nformwidth=1000\n");
  TForm1& form = window.Open();
  form.show();
  const std::string dir = window.directory.Path();
  ASSERT_EQ(mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr), 0);
  ASSERT_EQ(mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);
  form.edtHost->setText("127.0.0.1");
  window.Close();
  umount2(dir.c_str(), MNT_DETACH);

  ASSERT_EQ(window.desktop.messages.size(), 2);
  EXPECT_TRUE(window.desktop.messages[0].contains(QString::fromStdString(window.ConfigPath())));
  EXPECT_TRUE(window.desktop.messages[0].contains("Read-only file system"));
  EXPECT_EQ(window.desktop.messages[1],
            QString::fromStdString("Unable to write to " + window.SettingsPath()));
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(window.ReadFile("halvoro.ini"), "[config]\nformwidth=1000\n");
  EXPECT_EQ(window.ReadFile("hostconfig.json"), "\xEF\xBB\xBF[]");
}

}  // namespace

// The window's size, position and column widths through the settings file.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <cerrno>
#include <cstring>

#include "MountNamespace.h"

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

struct CloseFaultCase {
  const char* name;
  const char* configReason;    // the system's reason in the configuration file's message
  const char* settingsReason;  // and in the settings file's
};

class CloseFault : public ::testing::TestWithParam<CloseFaultCase> {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  void TearDown() override {
    if (mounted_) umount2(window.directory.Path().c_str(), MNT_DETACH);
  }
  void Mount(const char* source, const char* type, unsigned long flags, const char* options) {
    const std::string dir = window.directory.Path();
    ASSERT_EQ(mount(source, dir.c_str(), type, flags, options), 0) << std::strerror(errno);
    mounted_ = true;
  }
  WindowFixture window;
  bool mounted_ = false;
};

// Both files fail to be written: each failure is shown with the file's name and the system's
// reason, the window closes all the same, and what was on disk before stays as it was.
TEST_P(CloseFault, IsShownAndTheWindowStillCloses) {
  const std::string name = GetParam().name;
  const std::string dir = window.directory.Path();
  if (name == "FullDisk") Mount("tmpfs", "tmpfs", 0, "size=64k");
  const std::string config = "\xEF\xBB\xBF[]", settings = "[config]\nformwidth=1000\n";
  if (name == "ConfigIsADirectory") {
    ASSERT_EQ(::mkdir(window.ConfigPath().c_str(), 0755), 0);
  } else {
    window.WriteFile("hostconfig.json", config);
  }
  if (name == "SettingsIsADirectory") {
    ASSERT_EQ(::mkdir(window.SettingsPath().c_str(), 0755), 0);
  } else {
    window.WriteFile("halvoro.ini", settings);
  }
  TForm1& form = window.Open();
  form.show();
  window.desktop.messages.clear();  // a directory in the file's place is reported at start too
  if (name == "ReadOnlyDirectory") {
    Mount(dir.c_str(), nullptr, MS_BIND, nullptr);
    Mount(nullptr, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
  }
  if (name == "FullDisk") FillFileSystem(dir);
  window.Close();

  QStringList messages = window.desktop.messages;
  ASSERT_EQ(messages.size(), (GetParam().configReason ? 1 : 0) + (GetParam().settingsReason ? 1 : 0))
      << messages.join(" | ").toStdString();
  if (GetParam().configReason) {
    const QString message = messages.takeFirst();
    EXPECT_TRUE(message.contains(QString::fromStdString(window.ConfigPath())));
    EXPECT_TRUE(message.contains(GetParam().configReason)) << message.toStdString();
  }
  if (GetParam().settingsReason) {
    const QString message = messages.takeFirst();
    EXPECT_TRUE(
        message.startsWith(QString::fromStdString("Unable to write to " + window.SettingsPath())));
    EXPECT_TRUE(message.contains(GetParam().settingsReason)) << message.toStdString();
  }
  EXPECT_FALSE(form.isVisible());
  if (GetParam().configReason && name != "ConfigIsADirectory") {
    EXPECT_EQ(window.ReadFile("hostconfig.json"), config) << "the old file stays";
  }
  if (GetParam().settingsReason && name != "SettingsIsADirectory") {
    EXPECT_EQ(window.ReadFile("halvoro.ini"), settings) << "the old file stays";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CloseFault,
    ::testing::Values(
        CloseFaultCase{"ReadOnlyDirectory", "Read-only file system", "Read-only file system"},
        CloseFaultCase{"FullDisk", "No space left on device", "No space left on device"},
        CloseFaultCase{"ConfigIsADirectory", "Is a directory", nullptr},
        CloseFaultCase{"SettingsIsADirectory", nullptr, "not a regular file"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

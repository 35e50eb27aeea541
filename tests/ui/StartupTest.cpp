// Start-up with the saved targets, and what closing writes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include "HostConfigManager.h"
#include "ICMPMonitor.h"
#include "PrivateNetwork.h"
#include "ScopedConditions.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  QStringList Copies() const {
    return QDir(QString::fromStdString(window.directory.Path()))
        .entryList({"hostconfig.json.unreadable-*"}, QDir::Files, QDir::Name);
  }
  WindowFixture window;
};

TEST_F(Startup, WithoutAFileOpensEmptyAndClosingWritesAnEmptyList) {
  window.Open();
  EXPECT_EQ(window.RowCount(), 0);
  EXPECT_TRUE(window.desktop.messages.isEmpty());
  EXPECT_TRUE(window.Lines().empty()) << "not even a diagnostic line";
  window.Close();
  EXPECT_EQ(window.ReadFile("hostconfig.json"), "\xEF\xBB\xBF[\r\n]");
  EXPECT_TRUE(window.Exists("halvoro.ini"));
}

TEST_F(Startup, UnresolvableHostGetsNoRowButStaysSaved) {
  window.WriteConfig(R"([
    {"memo": "gone", "hostname": "nowhere.invalid", "frequency": 1000, "delay": 1000},
    {"memo": "here", "hostname": "127.0.0.1", "frequency": 60000, "delay": 1000}])");
  TForm1& form = window.Open();
  ASSERT_EQ(window.RowCount(), 1);
  EXPECT_EQ(window.RowTexts(0)[0], "here");
  EXPECT_EQ(window.CountLines("目标添加失败: nowhere.invalid (无法解析主机: nowhere.invalid)"), 1u);
  EXPECT_EQ(window.CountLines("已加载监控项: here -> 127.0.0.1 "), 1u);
  EXPECT_EQ(form.Monitor().FindThread("nowhere.invalid"), nullptr);
  window.Close();
  THostConfigManager saved;
  saved.LoadFromFile(window.ConfigPath());
  ASSERT_EQ(saved.GetAll().size(), 2u);
  EXPECT_EQ(saved.GetAll()[0]->HostName(), "nowhere.invalid");
}

TEST_F(Startup, MatchingHostsGetTwoRowsAndOneTarget) {
  window.WriteConfig(R"([
    {"memo": "a", "hostname": "localhost", "frequency": 60000},
    {"memo": "b", "hostname": "LocalHost", "frequency": 60000}])");
  TForm1& form = window.Open();
  EXPECT_EQ(window.RowCount(), 2);
  EXPECT_EQ(window.CountLines("已加载监控项: a -> localhost "), 1u);
  EXPECT_EQ(window.CountLines("已加载监控项: b -> LocalHost "), 1u);
  EXPECT_EQ(form.Monitor().GetAllStatistics().size(), 1u);
}

TEST_F(Startup, ConversionFailureShowsTheMessageAndAddsNoRow) {
  window.WriteConfig(R"([
    {"memo": "1", "hostname": "127.0.0.1"},
    {"memo": "2", "hostname": "127.0.0.2"},
    {"memo": "3", "hostname": "127.0.0.3", "frequency": "often"},
    {"memo": "4", "hostname": "127.0.0.4"}])");
  TForm1& form = window.Open();
  EXPECT_EQ(window.desktop.messages,
            QStringList{"配置文件加载错误: 'often' is not a valid integer value"});
  EXPECT_EQ(window.RowCount(), 0);
  EXPECT_TRUE(form.Monitor().GetAllStatistics().empty());
}

// An existing file that could not be read is kept, byte for byte, before anything can write
// over it; a later failure keeps its own copy.
TEST_F(Startup, UnreadableFileIsKeptBeforeItCanBeOverwritten) {
  const std::string junk =
      "\xEF\xBB\xBF[{\"memo\": \"lost?\", \"hostname\": \"127.0.0.1\"";  // cut off
  window.WriteFile("hostconfig.json", junk);
  window.Open();
  EXPECT_TRUE(window.desktop.messages.isEmpty()) << "text that is not JSON is no reported failure";
  EXPECT_EQ(window.RowCount(), 0);
  window.Close();
  QStringList copies = Copies();
  ASSERT_EQ(copies.size(), 1);
  EXPECT_EQ(window.ReadFile(copies[0].toStdString()), junk);
  EXPECT_EQ(window.ReadFile("hostconfig.json"), "\xEF\xBB\xBF[\r\n]");

  const std::string failing = "\xEF\xBB\xBF{\"not\": \"an array\"}";
  window.WriteFile("hostconfig.json", failing);
  WindowFixture::ProcessEventsFor(std::chrono::milliseconds(10));
  window.Open();
  EXPECT_EQ(window.desktop.messages, QStringList{"配置文件加载错误: Invalid class typecast"});
  copies = Copies();
  ASSERT_EQ(copies.size(), 2);
  EXPECT_EQ(window.ReadFile(copies[0].toStdString()), junk) << "the earlier copy is kept";
  EXPECT_EQ(window.ReadFile(copies[1].toStdString()), failing);
}

TEST_F(Startup, ReadableFilesAreNotCopied) {
  window.WriteConfig("[]");
  window.Open();
  window.Close();
  window.WriteFile("hostconfig.json", "");
  window.Open();
  EXPECT_TRUE(Copies().isEmpty());
}

TEST_F(Startup, WindowHasItsCaptionLayoutAndTabOrder) {
  TForm1& form = window.Open();
  EXPECT_EQ(form.windowTitle(), "Halvoro   -   halvoro.example");
  EXPECT_EQ(form.edtHost->text(), "127.0.0.1") << "the default host is loopback";
  EXPECT_EQ(form.ListGroup->currentText(), "密切关注");
  EXPECT_FALSE(form.CheckFloatChart->isChecked());
  EXPECT_TRUE(form.BtnAddEdit->isDefault());
  EXPECT_EQ(form.BtnAddEdit->text(), "添加 / 修改");
  EXPECT_EQ(form.BtnResetAllStatics->text(), "重置所有计数");
  EXPECT_EQ(form.Button2->text(), "项目主页");
  EXPECT_EQ(form.CheckFloatChart->text(), "显示动态图");
  EXPECT_EQ(form.edtHost->geometry(), QRect(8, 24, 146, 20));
  EXPECT_EQ(form.BtnAddEdit->geometry(), QRect(535, 22, 98, 25));
  QList<QWidget*> order;
  order << form.edtHost << form.edtMemo << form.ListGroup << form.BtnAddEdit
        << form.BtnResetAllStatics << form.lvStatistics << form.CheckFloatChart << form.Button2;
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.edtHost->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), form.edtHost);
  for (int i = 0; i + 1 < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    EXPECT_TRUE(now == order[i + 1] || order[i + 1]->isAncestorOf(now))
        << "tab step " << i << " lands on " << (now ? now->metaObject()->className() : "nothing");
  }
}

}  // namespace

namespace {

class ProbeRights : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

// Without the rights to open either kind of ICMP socket every probe would fail in silence: the
// user is told once what is wrong and how to mend it.
TEST_F(ProbeRights, MissingRightsAreExplainedOnce) {
  SetPingGroupRange(false);
  TForm1& form = window.Open();
  {
    ScopedNoRawSockets noRaw;
    form.WarnIfProbesCannotRun();
  }
  ASSERT_EQ(window.desktop.messages.size(), 1);
  const QString message = window.desktop.messages[0];
  EXPECT_TRUE(message.contains("setcap cap_net_raw+ep " +
                               QString::fromStdString(window.directory.File("halvoro"))))
      << message.toStdString();
  EXPECT_TRUE(message.contains("net.ipv4.ping_group_range")) << message.toStdString();
  EXPECT_TRUE(message.contains("Operation not permitted")) << message.toStdString();
}

TEST_F(ProbeRights, NothingIsSaidWhenProbesCanRun) {
  SetPingGroupRange(true);
  TForm1& form = window.Open();
  {
    ScopedNoRawSockets noRaw;  // datagram sockets are enough
    form.WarnIfProbesCannotRun();
  }
  SetPingGroupRange(false);
  form.WarnIfProbesCannotRun();  // raw sockets are enough
  EXPECT_TRUE(window.desktop.messages.isEmpty());
}

}  // namespace

// The user's commands: add and edit, the input boxes, presses on the list and the row menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include "HostConfigManager.h"
#include "ICMPMonitor.h"
#include "PrivateNetwork.h"
#include "ScopedConditions.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

struct SavedEntry {
  std::string memo, host;
  int32_t frequency, delay;
  bool notify;
  std::string group;
  bool operator==(const SavedEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SavedEntry& e) {
  return out << "{" << e.memo << ", " << e.host << ", " << e.frequency << ", " << e.delay << ", "
             << e.notify << ", " << e.group << "}";
}

std::vector<SavedEntry> EntriesOf(THostConfigManager& manager) {
  std::vector<SavedEntry> out;
  for (const THostConfig* c : manager.GetAll()) {
    out.push_back(
        {c->Memo(), c->HostName(), c->SendFrequency(), c->Delay(), c->Notify(), c->GroupName()});
  }
  return out;
}

std::vector<SavedEntry> EntriesOnDisk(const std::string& path) {
  THostConfigManager saved;
  saved.LoadFromFile(path);
  return EntriesOf(saved);
}

struct RowView {
  QString caption, host, group;
  bool operator==(const RowView&) const = default;
};

std::ostream& operator<<(std::ostream& out, const RowView& r) {
  return out << "{" << r.caption.toStdString() << ", " << r.host.toStdString() << ", "
             << r.group.toStdString() << "}";
}

std::vector<RowView> RowsOf(TForm1& form) {
  const TStatisticsModel& items = form.lvStatistics->Items();
  std::vector<RowView> out;
  for (int i = 0; i < items.Count(); ++i) {
    QString group;
    for (const auto& g : items.Groups()) {
      if (g.GroupID == items.Item(i).GroupID) group = g.Header;
    }
    out.push_back({items.Item(i).Caption, items.Item(i).SubItems.value(0), group});
  }
  return out;
}

struct AddEditCase {
  const char* name;
  const char* config;      // hostconfig.json at start-up
  const char* hostsLater;  // hosts file lines laid over /etc/hosts before the command, or null
  QString host, memo, group;
  bool failureMessage;
  std::vector<RowView> rows;
  std::vector<SavedEntry> entries;
  bool fileUnchanged;
};

class AddOrEdit : public ::testing::TestWithParam<AddEditCase> {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

TEST_P(AddOrEdit, ChangesMonitorEntriesRowsAndFileTogether) {
  const AddEditCase& c = GetParam();
  window.WriteConfig(c.config);
  TForm1& form = window.Open();
  form.show();
  QApplication::setActiveWindow(&form);
  const std::string before = window.ReadFile("hostconfig.json");
  std::unique_ptr<ScopedHostsFile> hosts;
  if (c.hostsLater) hosts = std::make_unique<ScopedHostsFile>(c.hostsLater);

  form.edtHost->setText(c.host);
  form.edtMemo->setText(c.memo);
  form.ListGroup->setEditText(c.group);
  form.BtnAddEditClick();

  EXPECT_EQ(window.desktop.messages,
            c.failureMessage ? QStringList{"添加失败，请检查输入！"} : QStringList{});
  EXPECT_EQ(RowsOf(form), c.rows);
  EXPECT_EQ(EntriesOf(*form.Manager), c.entries);
  if (c.fileUnchanged) {
    EXPECT_EQ(window.ReadFile("hostconfig.json"), before);
  } else {
    EXPECT_EQ(EntriesOnDisk(window.ConfigPath()), c.entries) << "saved at once";
  }
  EXPECT_NE(form.ListGroup->findText(c.group), -1) << "the group is listed in every case";
  if (!c.failureMessage) {
    const TMonitorThread* thread = form.Monitor().FindThread(c.host.toStdString());
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(thread->Note(), c.memo.toStdString());
  }
  EXPECT_EQ(form.edtHost->selectedText(), form.edtHost->text()) << "host box text selected";
  EXPECT_EQ(QApplication::focusWidget(), form.edtHost);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddOrEdit,
    ::testing::Values(
        AddEditCase{"NewHost",
                    "[]",
                    nullptr,
                    "198.18.0.9",
                    "新主机",
                    "G",
                    false,
                    {{"新主机", "198.18.0.9", "G"}},
                    {{"新主机", "198.18.0.9", 1000, 1000, true, "G"}},
                    false},
        AddEditCase{"HostMonitoredUnderAnotherCaseIsEdited",
                    R"([{"memo": "old", "hostname": "localhost", "frequency": 5000,
                         "delay": 700, "notify": false, "groupname": "A"}])",
                    nullptr,
                    "LOCALHOST",
                    "new",
                    "B",
                    false,
                    {{"new", "localhost", "B"}},
                    {{"new", "localhost", 5000, 700, false, "B"}},
                    false},
        AddEditCase{"UnresolvableHostIsTakenBack",
                    R"([{"memo": "keep", "hostname": "127.0.0.1", "frequency": 60000}])",
                    nullptr,
                    "nowhere.invalid",
                    "x",
                    "Fresh group",
                    true,
                    {{"keep", "127.0.0.1", "关注"}},
                    {{"keep", "127.0.0.1", 60000, 1000, false, "关注"}},
                    true},
        AddEditCase{
            "EditChangesEveryRowOfTheHost",
            R"([{"memo": "a", "hostname": "localhost", "frequency": 5000, "delay": 700,
                         "notify": false, "groupname": "A"},
                        {"memo": "b", "hostname": "LocalHost", "frequency": 6000,
                         "groupname": "A"},
                        {"memo": "c", "hostname": "127.0.0.1", "frequency": 60000,
                         "groupname": "A"}])",
            nullptr,
            "localhost",
            "both",
            "B",
            false,
            {{"both", "localhost", "B"}, {"both", "LocalHost", "B"}, {"c", "127.0.0.1", "A"}},
            {{"both", "localhost", 5000, 700, false, "B"},
             {"b", "LocalHost", 6000, 1000, false, "A"},
             {"c", "127.0.0.1", 60000, 1000, false, "A"}},
            false},
        AddEditCase{"HostWithAnEntryButNoWorkerGetsASecondEntry",
                    R"([{"memo": "then", "hostname": "late.halvoro.test", "frequency": 60000,
                         "notify": false, "groupname": "A"}])",
                    "198.18.0.60 late.halvoro.test\n",
                    "late.halvoro.test",
                    "now",
                    "A",
                    false,
                    {{"now", "late.halvoro.test", "A"}},
                    {{"then", "late.halvoro.test", 60000, 1000, false, "A"},
                     {"now", "late.halvoro.test", 1000, 1000, true, "A"}},
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

class Commands : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  TForm1& OpenWith(const char* config) {
    window.WriteConfig(config);
    TForm1& form = window.Open();
    form.show();
    QApplication::setActiveWindow(&form);
    return form;
  }
  // The centre of a row's cell in the list's viewport.
  static QPoint CellCentre(TForm1& form, int item, int column) {
    return form.lvStatistics->visualRect(form.lvStatistics->Items().IndexOfItem(item, column))
        .center();
  }
  WindowFixture window;
};

const char* const kTwoTargets = R"([
  {"memo": "first", "hostname": "127.0.0.1", "frequency": 60000, "groupname": "A"},
  {"memo": "second", "hostname": "::1", "frequency": 60000, "groupname": "B"}])";

TEST_F(Commands, TypingInTheHostBoxOverwritesTheMemoBox) {
  TForm1& form = OpenWith("[]");
  form.edtMemo->setText("typed first");
  form.edtHost->clear();
  QTest::keyClicks(form.edtHost, "gw");
  EXPECT_EQ(form.edtMemo->text(), "gw");
  QTest::keyClick(form.edtHost, Qt::Key_Backspace);
  EXPECT_EQ(form.edtMemo->text(), "g") << "at every keystroke";
}

TEST_F(Commands, EnterInTheHostOrMemoBoxPressesAddOrEdit) {
  TForm1& form = OpenWith("[]");
  form.edtHost->setText("198.18.0.21");
  QTest::keyClick(form.edtHost, Qt::Key_Return);
  form.edtHost->setText("198.18.0.22");
  form.edtMemo->setText("by memo");
  QTest::keyClick(form.edtMemo, Qt::Key_Return);
  ASSERT_EQ(window.RowCount(), 2);
  EXPECT_EQ(window.RowTexts(1)[0], "by memo");
}

TEST_F(Commands, ClickOnARowFillsHostMemoAndGroup) {
  TForm1& form = OpenWith(kTwoTargets);
  QTest::mouseClick(form.lvStatistics->viewport(), Qt::LeftButton, {}, CellCentre(form, 1, 2));
  EXPECT_EQ(form.lvStatistics->Selected(), 1);
  EXPECT_EQ(form.edtHost->text(), "::1");
  EXPECT_EQ(form.edtMemo->text(), "second") << "the caption replaces the copied host";
  EXPECT_EQ(form.ListGroup->currentText(), "B");
}

struct PressCase {
  const char* name;
  Qt::MouseButton button;
  int column;  // -1: below the rows
  bool deletes;
};

class Press : public Commands, public ::testing::WithParamInterface<PressCase> {};

TEST_P(Press, DeletesOnlyOnTheDeleteCell) {
  const PressCase& c = GetParam();
  TForm1& form = OpenWith(kTwoTargets);
  QPoint at = c.column >= 0 && c.column < 12
                  ? CellCentre(form, 1, c.column)
                  : QPoint(20, form.lvStatistics->viewport()->height() - 5);
  if (c.column == 12) {  // on the row's line, past the last column
    at = QPoint(form.lvStatistics->header()->length() + 10, CellCentre(form, 1, 0).y());
    ASSERT_LT(at.x(), form.lvStatistics->viewport()->width());
  }
  QTest::mousePress(form.lvStatistics->viewport(), c.button, {}, at);
  QTest::mouseRelease(form.lvStatistics->viewport(), c.button, {}, at);

  const bool gone = form.Monitor().FindThread("::1") == nullptr;
  EXPECT_EQ(gone, c.deletes);
  EXPECT_EQ(window.RowCount(), c.deletes ? 1 : 2);
  EXPECT_EQ(EntriesOf(*form.Manager).size(), c.deletes ? 1u : 2u);
  if (c.deletes) {
    EXPECT_EQ(EntriesOnDisk(window.ConfigPath()).size(), 1u);
    EXPECT_EQ(window.RowTexts(0)[0], "first");
  }
  EXPECT_TRUE(window.desktop.messages.isEmpty()) << "no question asked";
  EXPECT_TRUE(window.desktop.popups.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cells, Press,
    ::testing::Values(PressCase{"LeftOnDeleteCell", Qt::LeftButton, 11, true},
                      PressCase{"MiddleOnDeleteCell", Qt::MiddleButton, 11, true},
                      PressCase{"LeftOnMaximum", Qt::LeftButton, 10, false},
                      PressCase{"LeftOnCaption", Qt::LeftButton, 0, false},
                      PressCase{"LeftBelowTheRows", Qt::LeftButton, -1, false},
                      PressCase{"LeftRightOfTheLastColumn", Qt::LeftButton, 12, false},
                      PressCase{"RightBelowTheRows", Qt::RightButton, -1, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Scrolled to the right, a press goes by the cell the user sees. Counted from the unscrolled
// positions, the visible delete cell would read as an earlier column.
TEST_F(Commands, ScrolledListDeletesByTheCellUnderThePointer) {
  TForm1& form = OpenWith(kTwoTargets);
  form.resize(500, 400);
  QScrollBar* scroll = form.lvStatistics->horizontalScrollBar();
  ASSERT_GT(scroll->maximum(), 0);
  scroll->setValue(scroll->maximum());
  QHeaderView* header = form.lvStatistics->header();
  const int y = CellCentre(form, 1, 0).y();

  form.lvStatisticsMouseDown(Qt::LeftButton, header->sectionViewportPosition(10) + 5, y);
  EXPECT_EQ(window.RowCount(), 2) << "a press on column 10 never deletes";

  const int deleteX = header->sectionViewportPosition(11) + 10;
  ASSERT_LT(deleteX, header->sectionPosition(11)) << "unscrolled, this is an earlier column";
  form.lvStatisticsMouseDown(Qt::LeftButton, deleteX, y);
  EXPECT_EQ(window.RowCount(), 1);
  EXPECT_EQ(form.Monitor().FindThread("::1"), nullptr);
}

TEST_F(Commands, RightPressOpensTheMenuTitledWithTheRow) {
  TForm1& form = OpenWith(kTwoTargets);
  window.desktop.cursor = QPoint(321, 654);
  QTest::mousePress(form.lvStatistics->viewport(), Qt::RightButton, {}, CellCentre(form, 1, 4));
  ASSERT_EQ(window.desktop.popups, QStringList{"second"});
  EXPECT_EQ(window.desktop.popupPositions.front(), QPoint(321, 654));
  EXPECT_EQ(form.lvStatistics->Selected(), 1) << "the menu acts on the pressed row";
  EXPECT_EQ(window.RowCount(), 2);

  struct Item {
    QAction* action;
    const char* caption;
    bool enabled, visible;
  };
  for (const Item& item :
       {Item{form.N2, "重置计数", true, true}, Item{form.N4, "删除", true, true},
        Item{form.N5, "修改", false, true}, Item{form.IP1, "复制 IP", true, true},
        Item{form.N6, "上移", true, false}, Item{form.N7, "下移", true, false},
        Item{form.N8, "置顶", true, false}, Item{form.N9, "置底", true, false}}) {
    EXPECT_EQ(item.action->text(), item.caption);
    // Qt disables hidden actions itself, so only the shown ones tell their flag.
    if (item.visible) {
      EXPECT_EQ(item.action->isEnabled(), item.enabled) << item.caption;
    }
    EXPECT_EQ(item.action->isVisible(), item.visible) << item.caption;
  }
  EXPECT_FALSE(form.N1->isEnabled());
  EXPECT_TRUE(form.N3->isSeparator());
  EXPECT_TRUE(form.N10->isSeparator());
}

TEST_F(Commands, MenuResetsDeletesAndCopies) {
  TForm1& form = OpenWith(kTwoTargets);
  ASSERT_TRUE(WindowFixture::ProcessEventsUntil(
      [&] { return form.Monitor().GetStatistics("::1").Sent >= 1; }));
  window.chart().AppendChartPoint(5, {});
  form.lvStatistics->SetSelected(1);

  ASSERT_TRUE(WindowFixture::ProcessEventsUntil([&] { return !window.RowTexts(1)[2].isEmpty(); }));
  form.IP1Click();
  EXPECT_EQ(window.desktop.clipboard, "::1");

  form.N2Click();
  EXPECT_EQ(form.Monitor().GetStatistics("::1").Sent, 0);
  EXPECT_GE(form.Monitor().GetStatistics("127.0.0.1").Sent, 1) << "one target only";
  EXPECT_EQ(window.chart().PointCount(), 1) << "the chart is not touched";

  form.N4Click();
  EXPECT_EQ(form.Monitor().FindThread("::1"), nullptr);
  EXPECT_EQ(window.RowCount(), 1);
  EXPECT_EQ(EntriesOnDisk(window.ConfigPath()).size(), 1u);
}

TEST_F(Commands, CopyIpBeforeTheFirstUpdateIsEmpty) {
  TForm1& form = OpenWith(kTwoTargets);
  form.lvStatistics->SetSelected(0);
  form.IP1Click();  // events not processed: the row has had no update
  EXPECT_EQ(window.desktop.clipboardWrites, 1);
  EXPECT_EQ(window.desktop.clipboard, "");
}

TEST_F(Commands, MoveUpCrossesGroupsMovesTheEntryAndSaves) {
  TForm1& form = OpenWith(R"([
    {"memo": "a", "hostname": "127.0.0.1", "frequency": 60000, "groupname": "X"},
    {"memo": "b", "hostname": "127.0.0.2", "frequency": 60000, "groupname": "Y"},
    {"memo": "c", "hostname": "127.0.0.3", "frequency": 60000, "groupname": "X"}])");
  form.lvStatistics->SetSelected(2);
  form.N6Click();
  EXPECT_EQ(RowsOf(form),
            (std::vector<RowView>{
                {"a", "127.0.0.1", "X"}, {"c", "127.0.0.3", "X"}, {"b", "127.0.0.2", "Y"}}));
  EXPECT_EQ(form.lvStatistics->Selected(), 1);
  const auto onDisk = EntriesOnDisk(window.ConfigPath());
  ASSERT_EQ(onDisk.size(), 3u);
  EXPECT_EQ(onDisk[1].host, "127.0.0.3");

  form.lvStatistics->SetSelected(0);
  form.N6Click();
  EXPECT_EQ(RowsOf(form)[0].host, "127.0.0.1") << "the first row stays first";
}

TEST_F(Commands, ResetAllRestartsEveryTargetAndEmptiesTheChart) {
  TForm1& form = OpenWith(kTwoTargets);
  ASSERT_TRUE(WindowFixture::ProcessEventsUntil(
      [&] { return window.RowTexts(0)[6] != "0" && window.RowTexts(1)[6] != "0"; }));
  const QString sentBefore = window.RowTexts(0)[6];
  window.chart().host = "x";
  window.chart().BindData("x", {1, 2, 3});
  form.BtnResetAllStaticsClick();
  for (const auto& stats : form.Monitor().GetAllStatistics()) EXPECT_EQ(stats.Sent, 0);
  EXPECT_EQ(window.chart().PointCount(), 0);
  EXPECT_EQ(window.chart().TitleText(), "x 网络状态");
  EXPECT_EQ(window.RowTexts(0)[6], sentBefore) << "rows keep their figures until the next update";
}

TEST_F(Commands, HomePageOpensOurOwnAddress) {
  TForm1& form = OpenWith("[]");
  form.Button2Click();
  EXPECT_EQ(window.desktop.openedUrls, QStringList{"https://halvoro.example/"});
}

}  // namespace

// Rows, groups and colours of the statistics list, as the start-up load creates them.

#include <gtest/gtest.h>

#include <QComboBox>

#include "PrivateNetwork.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

std::string Entry(const std::string& memo, const std::string& host, const std::string& group) {
  return "{\"memo\": \"" + memo + "\", \"hostname\": \"" + host +
         "\", \"frequency\": 60000, \"delay\": 1000, \"groupname\": \"" + group + "\"}";
}

std::string ConfigOf(const std::vector<std::string>& entries) {
  std::string json = "[";
  for (std::size_t i = 0; i < entries.size(); ++i) json += (i ? ", " : "") + entries[i];
  return json + "]";
}

class StatisticsList : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

TEST_F(StatisticsList, NewRowShowsItsInitialCellsAndImages) {
  window.WriteConfig(ConfigOf({Entry("网关", "198.18.0.2", "密切关注")}));
  TForm1& form = window.Open();  // no event is processed: no status update reaches the row
  ASSERT_EQ(window.RowCount(), 1);
  EXPECT_EQ(window.RowTexts(0),
            (QStringList{"网关", "198.18.0.2", "", "0", "0", "0%", "0", "0", "0", "0", "0", "删"}));
  const TListItem& row = form.lvStatistics->Items().Item(0);
  EXPECT_EQ(row.ImageIndex, 0) << "grey circle";
  QVector<int> images(11, -1);
  images[10] = 3;  // the red X of the delete cell; the IP cell has no badge yet
  EXPECT_EQ(row.SubItemImages, images);
}

TEST_F(StatisticsList, GroupsShareAsciiCaseAndKeepTheFirstSpelling) {
  window.WriteConfig(ConfigOf({
      Entry("a", "198.18.0.2", "Office"),
      Entry("b", "198.18.0.3", "office"),
      Entry("c", "198.18.0.4", "\xEF\xBC\xAF\x66\x66ice"),  // full-width O: not folded
      Entry("d", "198.18.0.5", ""),
      Entry("e", "198.18.0.6", "OFFICE"),
      Entry("f", "198.18.0.7", "Branch"),
  }));
  TForm1& form = window.Open();
  const auto& groups = form.lvStatistics->Items().Groups();
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0].Header, "Office");
  EXPECT_EQ(groups[1].Header, QString::fromUtf8("\xEF\xBC\xAF\x66\x66ice"));
  EXPECT_EQ(groups[2].Header, "");
  EXPECT_EQ(groups[3].Header, "Branch");
  const TStatisticsModel& items = form.lvStatistics->Items();
  EXPECT_EQ(items.Item(0).GroupID, items.Item(1).GroupID);
  EXPECT_EQ(items.Item(0).GroupID, items.Item(4).GroupID);
  EXPECT_NE(items.Item(0).GroupID, items.Item(2).GroupID);

  QStringList listed;
  for (int i = 0; i < form.ListGroup->count(); ++i) listed << form.ListGroup->itemText(i);
  EXPECT_EQ(listed,
            (QStringList{"", "Branch", "Office", QString::fromUtf8("\xEF\xBC\xAF\x66\x66ice")}))
      << "each name once, sorted";
  EXPECT_EQ(form.ListGroup->currentText(), "密切关注") << "the typed group stays";
}

// The display shows the groups in the order they were created, each with its rows in list
// order, while the list keeps its own order.
TEST_F(StatisticsList, DisplayGroupsRowsUnderTheirHeaders) {
  window.WriteConfig(ConfigOf({
      Entry("a1", "198.18.0.2", "A"),
      Entry("b1", "198.18.0.3", "B"),
      Entry("a2", "198.18.0.4", "A"),
  }));
  TForm1& form = window.Open();
  const TStatisticsModel& model = form.lvStatistics->Items();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "A");
  EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "B");
  const QModelIndex a = model.index(0, 0);
  ASSERT_EQ(model.rowCount(a), 2);
  EXPECT_EQ(model.data(model.index(0, 0, a), Qt::DisplayRole).toString(), "a1");
  EXPECT_EQ(model.data(model.index(1, 0, a), Qt::DisplayRole).toString(), "a2");
  EXPECT_EQ(model.ItemOfIndex(model.index(1, 0, a)), 2);
  EXPECT_EQ(model.Item(1).Caption, "b1");
}

struct ColourCase {
  int column;
  QColor colour;  // invalid: the list's own font colour
};

class ColumnColour : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColumnColour, DependsOnTheColumnOnly) {
  EXPECT_EQ(lvStatisticsCustomDrawSubItem(GetParam().column), GetParam().colour)
      << "column " << GetParam().column;
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnColour,
    ::testing::Values(ColourCase{0, QColor()}, ColourCase{1, QColor(0, 0, 0)},
                      ColourCase{2, QColor(0, 0, 0)}, ColourCase{3, QColor(165, 42, 42)},
                      ColourCase{4, QColor(0, 0, 0)}, ColourCase{5, QColor(255, 0, 0)},
                      ColourCase{6, QColor(0, 0, 255)}, ColourCase{7, QColor(0, 128, 0)},
                      ColourCase{8, QColor(255, 0, 0)}, ColourCase{9, QColor(0, 0, 0)},
                      ColourCase{10, QColor(0, 0, 0)}, ColourCase{11, QColor(255, 0, 0)}));

TEST(ColumnLayout, CaptionsWidthsAndAlignment) {
  TStatisticsListView view;
  const QStringList captions{"名称", "目标", "IP",   "最新", "平均", "丢包率",
                             "发送", "接收", "丢失", "最低", "最高", "删除"};
  for (int c = 0; c < 12; ++c) {
    EXPECT_EQ(view.Items().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), captions[c]);
    EXPECT_EQ(view.columnWidth(c), c < 3 ? 150 : 65);
    const auto alignment =
        view.Items().headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
    EXPECT_EQ(bool(alignment & Qt::AlignRight), c >= 3) << "column " << c;
  }
}

}  // namespace

// Input no one should type, and files no one should have: messages, never a crash, and a window
// that can still be used.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <cstdio>

#include "ICMPMonitor.h"
#include "PrivateNetwork.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

struct InputCase {
  const char* name;
  QString host, memo, group;
  bool added;
};

class BadInput : public ::testing::TestWithParam<InputCase> {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

TEST_P(BadInput, EndsInAMessageOrARowAndTheWindowStillDraws) {
  const InputCase& c = GetParam();
  TForm1& form = window.Open();
  form.show();
  form.edtHost->setText(c.host);
  form.edtMemo->setText(c.memo);
  form.ListGroup->setEditText(c.group);
  form.BtnAddEditClick();
  EXPECT_EQ(window.desktop.messages,
            c.added ? QStringList{} : QStringList{"添加失败，请检查输入！"});
  ASSERT_EQ(window.RowCount(), c.added ? 1 : 0);
  if (c.added) {
    EXPECT_EQ(window.RowTexts(0)[0], form.edtMemo->text()) << "as much as the box holds";
    EXPECT_NE(form.Monitor().FindThread(c.host.toStdString()), nullptr);
  }
  QElapsedTimer painting;
  painting.start();
  const QPixmap drawn = form.grab();
  std::printf("[ figure ] %s: window drawn in %lld ms\n", c.name,
              static_cast<long long>(painting.elapsed()));
  EXPECT_FALSE(drawn.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadInput,
    ::testing::Values(InputCase{"HugeHost", QString(100000, 'a'), "x", "g", false},
                      InputCase{"ControlCharacters", QString::fromUtf8("\x01\x02\t\n"), "x", "g",
                                false},
                      InputCase{"BlanksOnly", "   ", "x", "g", false},
                      InputCase{"EmptyMemoAndGroup", "127.0.0.1", "", "", true},
                      InputCase{"MegabyteMemo", "127.0.0.1", QString(1 << 20, QChar(0x7F51)), "g",
                                true}),
    [](const auto& info) { return std::string(info.param.name); });

class BigFile : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

std::string Entries(int count, const std::string& memo) {
  std::string json = "[";
  for (int i = 0; i < count; ++i) {
    json += (i ? ",\n" : "") + std::string("{\"memo\": \"") + memo + std::to_string(i) +
            "\", \"hostname\": \"198.18." + std::to_string(1 + i / 250) + "." +
            std::to_string(2 + i % 250) + "\", \"groupname\": \"g" + std::to_string(i % 20) +
            "\"}";
  }
  return json + "]";
}

// Ten thousand saved targets: every one gets its row and its worker. A sanitizer's shadow memory
// for that many threads does not fit the machine, so sanitizer builds load a tenth.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kManyEntries = 1000;
#else
constexpr int kManyEntries = 10000;
#endif

TEST_F(BigFile, TenThousandEntriesLoad) {
  window.WriteConfig(Entries(kManyEntries, "m"));
  QElapsedTimer loading;
  loading.start();
  TForm1& form = window.Open();
  const qint64 loaded = loading.elapsed();
  form.show();
  WindowFixture::ProcessEventsFor(std::chrono::milliseconds(500));
  std::printf("[ figure ] %d entries loaded in %lld ms\n", kManyEntries,
              static_cast<long long>(loaded));
  EXPECT_EQ(window.RowCount(), kManyEntries);
  EXPECT_EQ(form.Monitor().GetAllStatistics().size(), static_cast<std::size_t>(kManyEntries));
  EXPECT_FALSE(form.grab().isNull());
  QElapsedTimer closing;
  closing.start();
  window.Close();
  std::printf("[ figure ] %d targets closed in %lld ms\n", kManyEntries,
              static_cast<long long>(closing.elapsed()));
}

// Fifty megabytes in ten memos of five each.
TEST_F(BigFile, FiftyMegabytesLoad) {
  window.WriteConfig(Entries(10, std::string(5 << 20, 'x')));
  QElapsedTimer loading;
  loading.start();
  TForm1& form = window.Open();
  std::printf("[ figure ] 50 MB file loaded in %lld ms\n", static_cast<long long>(loading.elapsed()));
  EXPECT_TRUE(window.desktop.messages.isEmpty());
  EXPECT_EQ(window.RowCount(), 10);
  form.show();
  QElapsedTimer painting;
  painting.start();
  EXPECT_FALSE(form.grab().isNull());
  std::printf("[ figure ] drawn in %lld ms\n", static_cast<long long>(painting.elapsed()));
}

}  // namespace

// A long run of the window with hundreds of targets of every kind, with the user's commands along
// the way: the process's memory, threads and descriptors must stay flat, and every row's counts
// must add up. Runs inside the private network it makes itself, on whatever display Qt is given.
//
// Usage: halvoro-soak [seconds] (default 600)

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <string>

#include "Desktop.h"
#include "FloatChart.h"
#include "ICMPMonitor.h"
#include "MainWindow.h"
#include "PrivateNetwork.h"
#include "StatisticsList.h"
#include "TempDirectory.h"
#include "TestHost.h"

namespace {

using namespace std::chrono_literals;

// Messages are printed instead of waiting for a click.
class LoggingDesktop final : public TDesktop {
 public:
  explicit LoggingDesktop(std::unique_ptr<TDesktop> real) : real_(std::move(real)) {}
  void ShowMessage(QWidget*, const QString& text) override {
    std::printf("message: %s\n", text.toUtf8().constData());
    ++messages;
  }
  void SetClipboardText(const QString& text) override { real_->SetClipboardText(text); }
  void OpenUrl(const QString&) override {}
  QSize PrimaryScreenSize() const override { return real_->PrimaryScreenSize(); }
  QRect PrimaryWorkArea() const override { return real_->PrimaryWorkArea(); }
  QPoint CursorPos() const override { return real_->CursorPos(); }
  void Popup(QMenu&, QPoint) override {}
  int messages = 0;

 private:
  std::unique_ptr<TDesktop> real_;
};

struct Sample {
  long rssKiB = 0;
  long heapKiB = 0;  // what malloc has handed out and not yet had back
  long threads = 0;
  long descriptors = 0;
};

Sample Measure() {
  Sample sample;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "VmRSS:") fields >> sample.rssKiB;
    if (key == "Threads:") fields >> sample.threads;
  }
  const struct mallinfo2 heap = mallinfo2();
  sample.heapKiB = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++sample.descriptors;
    closedir(dir);
    sample.descriptors -= 3;  // ".", ".." and the directory itself
  }
  return sample;
}

// 300 targets: answering quickly, answering slowly, silent, unreachable and answering one
// request in three; IPv4 and IPv6 alike.
std::string Configure(TestHost& host) {
  std::string json = "[";
  for (int i = 0; i < 300; ++i) {
    const std::string address = i % 2 ? TestHost::V6(1000 + i) : TestHost::V4(2 + i / 2);
    switch (i % 5) {
      case 0:
      case 1:
        host.Answer(address, std::chrono::milliseconds(1 + i % 50));
        break;
      case 2:
        host.Answer(address, std::chrono::milliseconds(200 + i % 200));
        break;
      case 3:
        (i % 10 == 3) ? host.Drop(address) : host.Unreachable(address);
        break;
      default:
        host.AnswerOneIn(address, 3, 5ms);
    }
    json += (i ? ",\n" : "") + std::string("{\"memo\": \"target ") + std::to_string(i) +
            "\", \"hostname\": \"" + address + "\", \"frequency\": 1000, \"delay\": 1000, " +
            "\"notify\": true, \"groupname\": \"group " + std::to_string(i % 7) + "\"}";
  }
  return json + "]";
}

bool RowsAddUp(TForm1& form) {
  const TStatisticsModel& items = form.lvStatistics->Items();
  bool ok = true;
  for (int i = 0; i < items.Count(); ++i) {
    const QStringList& cells = items.Item(i).SubItems;
    const long sent = cells[5].toLong(), received = cells[6].toLong(), lost = cells[7].toLong();
    if (sent != received + lost) {
      std::printf("row %d (%s): sent %ld != received %ld + lost %ld\n", i,
                  cells[0].toUtf8().constData(), sent, received, lost);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string whyNot;
  if (!EnterPrivateNetwork(whyNot)) {
    std::fprintf(stderr, "%s\n", whyNot.c_str());
    return 77;
  }
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
  SetPingGroupRange(true);
  TestHost host;
  TTempDirectory directory;
  std::ofstream(directory.File("hostconfig.json")) << "\xEF\xBB\xBF" << Configure(host);

  QApplication app(argc, argv);
  LoggingDesktop desktop(MakeQtDesktop());
  TForm1 form(desktop, QString::fromStdString(directory.File("halvoro")));
  TFormFloatChart chart(&form);
  form.SetFloatChart(&chart);
  form.show();

  Sample first;
  int step = 0;
  const auto start = std::chrono::steady_clock::now();
  QTimer every;
  // Every ten seconds one of the user's commands, in turn.
  QObject::connect(&every, &QTimer::timeout, [&] {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed >= std::chrono::seconds(seconds)) {
      app.quit();
      return;
    }
    // The test host lives in this process and records every request it sees (up to 100,000,
    // some 17 MB); forgetting them keeps its memory out of the program's figures.
    host.ClearRequests();
    if (step == 1) first = Measure();  // after the start-up has settled
    if (step % 6 == 0) {  // once a minute, so a slow rise shows apart from a settling one
      const Sample now = Measure();
      std::printf("minute %d: RSS %ld KiB, heap in use %ld KiB, %ld threads, %ld descriptors\n",
                  step / 6, now.rssKiB, now.heapKiB, now.threads, now.descriptors);
      std::fflush(stdout);
    }
    TStatisticsModel& items = form.lvStatistics->Items();
    switch (step++ % 5) {
      case 0:  // add
        form.edtHost->setText(QString::fromStdString(TestHost::V4(200 + step % 50)));
        form.ListGroup->setEditText("added");
        form.BtnAddEditClick();
        break;
      case 1:  // edit the memo of a row
        form.lvStatistics->SetSelected(step % items.Count());
        form.lvStatisticsClick();
        form.edtMemo->setText("edited " + QString::number(step));
        form.BtnAddEditClick();
        break;
      case 2:  // delete the last row
        form.lvStatistics->SetSelected(items.Count() - 1);
        form.N4Click();
        break;
      case 3:  // reset one
        form.lvStatistics->SetSelected(step % items.Count());
        form.N2Click();
        break;
      default:
        form.BtnResetAllStaticsClick();
    }
  });
  every.start(10000);
  app.exec();

  const Sample last = Measure();
  const bool consistent = RowsAddUp(form);
  std::printf("| | start | end |\n|---|---|---|\n");
  std::printf("| memory (RSS, KiB) | %ld | %ld |\n", first.rssKiB, last.rssKiB);
  std::printf("| heap in use (KiB) | %ld | %ld |\n", first.heapKiB, last.heapKiB);
  std::printf("| threads | %ld | %ld |\n", first.threads, last.threads);
  std::printf("| open descriptors | %ld | %ld |\n", first.descriptors, last.descriptors);
  std::printf("rows: %d, messages: %d, counts add up: %s\n", form.lvStatistics->Items().Count(),
              desktop.messages, consistent ? "yes" : "NO");
  form.FormDestroy();
  return consistent ? 0 : 1;
}

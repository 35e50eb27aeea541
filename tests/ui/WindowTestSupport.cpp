#include "WindowTestSupport.h"

#include <sys/stat.h>

#include <QEventLoop>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "Diagnostics.h"
#include "StatisticsList.h"

WindowFixture::WindowFixture() {
  SetDiagnosticSink([this](std::string_view line) {
    std::lock_guard<std::mutex> hold(linesLock_);
    lines_.emplace_back(line);
  });
}

WindowFixture::~WindowFixture() {
  if (form_) form_->FormDestroy();
  chart_.reset();
  form_.reset();
  SetDiagnosticSink({});
}

void WindowFixture::WriteConfig(const std::string& json) const {
  WriteFile("hostconfig.json", "\xEF\xBB\xBF" + json);
}

void WindowFixture::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(directory.File(name), std::ios::binary) << bytes;
}

std::string WindowFixture::ReadFile(const std::string& name) const {
  std::ifstream in(directory.File(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WindowFixture::Exists(const std::string& name) const {
  struct stat info {};
  return ::stat(directory.File(name).c_str(), &info) == 0;
}

TForm1& WindowFixture::Open() {
  chart_.reset();  // owned by the old window, so it goes first
  form_.reset();
  form_ = std::make_unique<TForm1>(desktop, QString::fromStdString(directory.File("halvoro")));
  chart_ = std::make_unique<TFormFloatChart>(form_.get());
  form_->SetFloatChart(chart_.get());
  return *form_;
}

void WindowFixture::Close() {
  form_->close();
  form_->FormDestroy();
}

bool WindowFixture::ProcessEventsUntil(const std::function<bool()>& done,
                                       std::chrono::milliseconds limit) {
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void WindowFixture::ProcessEventsFor(std::chrono::milliseconds period) {
  ProcessEventsUntil([] { return false; }, period);
}

std::vector<std::string> WindowFixture::Lines() const {
  std::lock_guard<std::mutex> hold(linesLock_);
  return lines_;
}

std::size_t WindowFixture::CountLines(const std::string& line) const {
  std::size_t n = 0;
  for (const auto& l : Lines()) n += (l == line);
  return n;
}

QStringList WindowFixture::RowTexts(int item) const {
  const TListItem& row = form_->lvStatistics->Items().Item(item);
  return QStringList{row.Caption} + row.SubItems;
}

int WindowFixture::RowCount() const {
  return form_->lvStatistics->Items().Count();
}

#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "FloatChart.h"
#include "MainWindow.h"
#include "TempDirectory.h"

// A main window in a directory of its own, with a recording desktop and the diagnostic lines
// caught. The chart window is created right after it, as the program does.
class WindowFixture {
 public:
  WindowFixture();
  ~WindowFixture();

  // Writes hostconfig.json (the byte-order mark is added) or the settings file before Open().
  void WriteConfig(const std::string& json) const;
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;
  std::string ConfigPath() const { return directory.File("hostconfig.json"); }
  std::string SettingsPath() const { return directory.File("halvoro.ini"); }

  TForm1& Open();
  TForm1& form() { return *form_; }
  TFormFloatChart& chart() { return *chart_; }
  // Closes the window as the user would: the close handler, then the monitor stops.
  void Close();

  // Runs the event loop (notifications included) until `done` holds or `limit` passes.
  static bool ProcessEventsUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds limit = std::chrono::seconds(10));
  static void ProcessEventsFor(std::chrono::milliseconds period);

  std::vector<std::string> Lines() const;
  std::size_t CountLines(const std::string& line) const;

  // The texts of one row of the list, caption first.
  QStringList RowTexts(int item) const;
  int RowCount() const;

  TTempDirectory directory;
  FakeDesktop desktop;

 private:
  std::unique_ptr<TForm1> form_;
  std::unique_ptr<TFormFloatChart> chart_;
  mutable std::mutex linesLock_;
  std::vector<std::string> lines_;
};

#include <QApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "Desktop.h"
#include "DisplayCheck.h"
#include "FloatChart.h"
#include "MainWindow.h"
#include "SocketLibrary.h"

int main(int argc, char** argv) {
  std::string why;
  if (!DesktopAvailable(why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  std::optional<TSocketLibrary> sockets;
  try {
    sockets.emplace();
  } catch (const std::runtime_error& error) {
    ShowStartupFailure(error.what());  // the program does not start without its sockets
    return 1;
  }
  QApplication app(argc, argv);
  const std::unique_ptr<TDesktop> desktop = MakeQtDesktop();

  TForm1 form(*desktop, QCoreApplication::applicationFilePath());
  TFormFloatChart chart(&form);
  form.SetFloatChart(&chart);
  form.show();
  form.WarnIfProbesCannotRun();
  const int result = app.exec();

  // Every worker is joined before any window goes, so no notification reaches a destroyed one.
  form.FormDestroy();
  return result;
}

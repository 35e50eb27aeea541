#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>

class QMenu;
class QWidget;

// What the window asks of the desktop: message boxes, the clipboard, the browser, the screen and
// the pointer. Tests put a recording stand-in here so that nothing blocks or opens.
class TDesktop {
 public:
  virtual ~TDesktop() = default;
  // A modal message box with one OK button.
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  virtual void SetClipboardText(const QString& text) = 0;
  // Opens a web address in the default browser; the outcome is not reported.
  virtual void OpenUrl(const QString& url) = 0;
  virtual QSize PrimaryScreenSize() const = 0;
  // The primary display minus the task bar and panels, in screen pixels.
  virtual QRect PrimaryWorkArea() const = 0;
  virtual QPoint CursorPos() const = 0;
  // Opens a popup menu at a screen position and returns when it has closed.
  virtual void Popup(QMenu& menu, QPoint screenPosition) = 0;
};

std::unique_ptr<TDesktop> MakeQtDesktop();

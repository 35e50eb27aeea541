#pragma once

#include <QMenu>
#include <QStringList>

#include "Desktop.h"

// Records what the window asks of the desktop instead of doing it: no message box blocks, no
// browser opens, the clipboard stays untouched. Screen, work area and pointer are set by the test.
class FakeDesktop final : public TDesktop {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
  void SetClipboardText(const QString& text) override {
    clipboard = text;
    ++clipboardWrites;
  }
  void OpenUrl(const QString& url) override { openedUrls.push_back(url); }
  QSize PrimaryScreenSize() const override { return screen; }
  QRect PrimaryWorkArea() const override { return workArea; }
  QPoint CursorPos() const override { return cursor; }
  void Popup(QMenu& menu, QPoint at) override {
    popups.push_back(menu.actions().isEmpty() ? QString() : menu.actions().front()->text());
    popupPositions.push_back(at);
  }

  QSize screen{1920, 1080};
  QRect workArea{0, 0, 1920, 1040};
  QPoint cursor{500, 400};
  QStringList messages;
  QString clipboard;
  int clipboardWrites = 0;
  QStringList openedUrls;
  QStringList popups;  // the menu's first caption each time it opened
  QList<QPoint> popupPositions;
};

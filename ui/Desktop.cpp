#include "Desktop.h"

#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace {

class QtDesktop final : public TDesktop {
 public:
  void ShowMessage(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, parent);
    box.exec();
  }
  void SetClipboardText(const QString& text) override {
    QGuiApplication::clipboard()->setText(text);
  }
  void OpenUrl(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }
  QSize PrimaryScreenSize() const override {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
  }
  QRect PrimaryWorkArea() const override {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
  }
  QPoint CursorPos() const override { return QCursor::pos(); }
  void Popup(QMenu& menu, QPoint screenPosition) override { menu.exec(screenPosition); }
};

}  // namespace

std::unique_ptr<TDesktop> MakeQtDesktop() {
  return std::make_unique<QtDesktop>();
}

#include "MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <functional>
#include <stdexcept>

#include "Desktop.h"
#include "Diagnostics.h"
#include "EchoService.h"
#include "FloatChart.h"
#include "Formatting.h"
#include "HostConfigManager.h"
#include "HostMatch.h"
#include "ICMPMonitor.h"
#include "Images.h"
#include "StatisticsList.h"
#include "Synchronizer.h"
#include "WindowSettings.h"

namespace {

const char* const kSiteHost = "halvoro.example";
const char* const kHomePage = "https://halvoro.example/";

// The settings file speaks of the window's outer size; the window is placed by its frame's
// corner but sized by its client area, with the frame of the window's original design.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 39;
constexpr int kStripHeight = 64;

std::string Std(const QString& text) {
  return text.toStdString();
}
QString Qt8(const std::string& text) {
  return QString::fromStdString(text);
}

std::u16string_view View(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}
bool SameText(const QString& a, const QString& b) {
  return SameHost(View(a), View(b));
}

// Texts that match each other have one folded form.
QString FoldedHost(const QString& text) {
  QString folded = text;
  for (QChar& c : folded) c = QChar(FoldHostUnit(c.unicode()));
  return folded;
}

}  // namespace

TForm1::TForm1(TDesktop& desktop, const QString& executablePath)
    : FDesktop(desktop), FExecutablePath(executablePath) {
  CreateControls();
  CreatePopupMenu();
  WireEvents();
  FormCreate();
}

TForm1::~TForm1() {
  FormDestroy();
}

void TForm1::CreateControls() {
  QFont font;
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP")});
  font.setPixelSize(12);
  setFont(font);
  resize(1090, 711);

  Label1 = new QLabel(QStringLiteral("目标 IP/主机名"), this);
  Label1->setGeometry(8, 8, 84, 12);
  Label2 = new QLabel(QStringLiteral("备注/昵称"), this);
  Label2->setGeometry(168, 8, 54, 12);
  Label3 = new QLabel(QStringLiteral("分组"), this);
  Label3->setGeometry(328, 8, 24, 12);
  for (QLabel* label : {Label1, Label2, Label3}) label->adjustSize();

  edtHost = new QLineEdit(QStringLiteral("127.0.0.1"), this);
  edtHost->setGeometry(8, 24, 146, 20);
  edtMemo = new QLineEdit(QStringLiteral("本机"), this);
  edtMemo->setGeometry(168, 24, 145, 20);
  ListGroup = new QComboBox(this);
  ListGroup->setEditable(true);
  ListGroup->setInsertPolicy(QComboBox::NoInsert);
  ListGroup->setGeometry(328, 24, 145, 20);
  ListGroup->setEditText(QStringLiteral("密切关注"));
  BtnAddEdit = new QPushButton(QStringLiteral("添加 / 修改"), this);
  BtnAddEdit->setGeometry(535, 22, 98, 25);
  BtnAddEdit->setDefault(true);
  BtnResetAllStatics = new QPushButton(QStringLiteral("重置所有计数"), this);
  BtnResetAllStatics->setGeometry(928, 22, 97, 25);
  lvStatistics = new TStatisticsListView(this);
  lvStatistics->setGeometry(0, kStripHeight, 1090, 647);
  CheckFloatChart = new QCheckBox(QStringLiteral("显示动态图"), this);
  CheckFloatChart->setGeometry(656, 26, 97, 17);
  Button2 = new QPushButton(QStringLiteral("项目主页"), this);
  Button2->setGeometry(824, 22, 75, 25);

  setTabOrder(edtHost, edtMemo);
  setTabOrder(edtMemo, ListGroup);
  setTabOrder(ListGroup, BtnAddEdit);
  setTabOrder(BtnAddEdit, BtnResetAllStatics);
  setTabOrder(BtnResetAllStatics, lvStatistics);
  setTabOrder(lvStatistics, CheckFloatChart);
  setTabOrder(CheckFloatChart, Button2);
}

void TForm1::CreatePopupMenu() {
  PopupMenu1 = new QMenu(this);
  const auto item = [this](const char* caption, int image, bool enabled, bool visible) {
    QAction* action = PopupMenu1->addAction(QString::fromUtf8(caption));
    if (image >= 0) action->setIcon(ListIcon(image));
    action->setEnabled(enabled);
    action->setVisible(visible);
    return action;
  };
  N1 = item("名称", -1, false, true);
  N2 = item("重置计数", 7, true, true);
  N3 = PopupMenu1->addSeparator();
  N4 = item("删除", 3, true, true);
  N5 = item("修改", 5, false, true);
  IP1 = item("复制 IP", 6, true, true);
  N10 = PopupMenu1->addSeparator();
  N6 = item("上移", 8, true, false);
  N7 = item("下移", 4, true, false);
  N8 = item("置顶", 8, true, false);
  N9 = item("置底", 4, true, false);
}

void TForm1::WireEvents() {
  connect(BtnAddEdit, &QPushButton::clicked, this, [this] { BtnAddEditClick(); });
  connect(BtnResetAllStatics, &QPushButton::clicked, this, [this] { BtnResetAllStaticsClick(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(edtHost, &QLineEdit::textChanged, this, [this] { edtHostChange(); });
  // Enter in the input strip presses the default button.
  for (QLineEdit* box : {edtHost, edtMemo, ListGroup->lineEdit()}) {
    connect(box, &QLineEdit::returnPressed, BtnAddEdit, &QPushButton::click);
  }
  connect(lvStatistics, &TStatisticsListView::ItemClick, this, [this] { lvStatisticsClick(); });
  connect(lvStatistics, &QAbstractItemView::doubleClicked, this,
          [this] { lvStatisticsDblClick(); });
  connect(lvStatistics, &TStatisticsListView::MouseDown, this,
          [this](Qt::MouseButton button, int x, int y) { lvStatisticsMouseDown(button, x, y); });
  connect(lvStatistics, &TStatisticsListView::MouseMove, this,
          [this](int x, int y) { lvStatisticsMouseMove(x, y); });
  connect(lvStatistics, &TStatisticsListView::MouseLeave, this,
          [this] { lvStatisticsMouseLeave(); });
  connect(N1, &QAction::triggered, this, [this] { N1Click(); });
  connect(N2, &QAction::triggered, this, [this] { N2Click(); });
  connect(N4, &QAction::triggered, this, [this] { N4Click(); });
  connect(IP1, &QAction::triggered, this, [this] { IP1Click(); });
  connect(N6, &QAction::triggered, this, [this] { N6Click(); });
  connect(N7, &QAction::triggered, this, [this] { N7Click(); });
  connect(N8, &QAction::triggered, this, [this] { N8Click(); });
  connect(N9, &QAction::triggered, this, [this] { N9Click(); });
}

QString TForm1::HostConfigPath() const {
  return QFileInfo(FExecutablePath).absoluteDir().filePath(QStringLiteral("hostconfig.json"));
}

QString TForm1::SettingsPath() const {
  return Qt8(SettingsPathFor(Std(QFileInfo(FExecutablePath).absoluteFilePath())));
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

void TForm1::FormCreate() {
  setWindowTitle(QStringLiteral("Halvoro   -   ") + QString::fromLatin1(kSiteHost));
  // The worker's hand-off runs from this window's event loop.
  FUi = std::make_unique<TSynchronizer>([this] {
    QMetaObject::invokeMethod(
        this, [this] { FUi->RunPending(); }, Qt::QueuedConnection);
  });
  FMonitor = std::make_unique<TICMPMonitor>(*FUi);
  FMonitor->SetOnStatusUpdate(
      [this](TICMPMonitor*, const std::string& Host, const std::string& Note,
             const TPingStatistics& Stats) { StatusUpdate(Host, Note, Stats); });
  Manager = std::make_unique<THostConfigManager>();
  LoadHostConfig();
  LoadSettings();
}

void TForm1::LoadHostConfig() {
  std::vector<THostConfig*> entries;
  try {
    const TLoadOutcome outcome = Manager->LoadFromFile(Std(HostConfigPath()));
    if (outcome == TLoadOutcome::NotJson) KeepUnreadableConfigFile();
    entries = Manager->GetAll();
  } catch (const std::exception& error) {
    KeepUnreadableConfigFile();
    FDesktop.ShowMessage(this,
                         QStringLiteral("配置文件加载错误: ") + QString::fromUtf8(error.what()));
    return;
  }
  for (THostConfig* entry : entries) {
    if (!entry) continue;
    try {
      AddTargetRow(Qt8(entry->Memo()), Qt8(entry->HostName()), Qt8(entry->GroupName()));
      bool registered = false;
      try {
        FMonitor->AddTarget(entry->HostName(), static_cast<uint32_t>(entry->SendFrequency()),
                            static_cast<uint32_t>(entry->Delay()), entry->Memo());
        registered = true;
      } catch (const std::exception& error) {
        TStatisticsModel& items = lvStatistics->Items();
        if (items.Count() > 0) items.Delete(items.Count() - 1);
        DebugOutput("目标添加失败: " + entry->HostName() + " (" + error.what() + ")");
      }
      if (registered)
        DebugOutput("已加载监控项: " + entry->Memo() + " -> " + entry->HostName() + " ");
    } catch (const std::exception& error) {
      DebugOutput(std::string("配置处理异常: ") + error.what());
    }
  }
}

// A file that exists but could not be read would be replaced by the next save: a copy of it is
// kept first, under a name of its own that carries the time, never over an earlier copy.
void TForm1::KeepUnreadableConfigFile() {
  const QString path = HostConfigPath();
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return;
  // Nothing but blanks (or the byte-order mark): there is nothing to lose.
  const QByteArray bytes = file.readAll();
  if (bytes.trimmed().isEmpty() || bytes.trimmed() == QByteArray("\xEF\xBB\xBF")) return;
  file.close();
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString copy = path + QStringLiteral(".unreadable-") + stamp;
  for (int n = 2; QFileInfo::exists(copy); ++n) {
    copy = path + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
  }
  if (!QFile::copy(path, copy)) {
    DebugOutput("无法保留无法读取的配置文件: " + Std(path));
  } else {
    DebugOutput("已保留无法读取的配置文件: " + Std(copy));
  }
}

void TForm1::SaveHostConfig() {
  Manager->SaveToFile(Std(HostConfigPath()));
}

void TForm1::LoadSettings() {
  const QSize screen = FDesktop.PrimaryScreenSize();
  const TWindowSettings settings =
      LoadWindowSettings(Std(SettingsPath()), screen.width(), screen.height());
  resize(settings.FormWidth - kFrameWidth, settings.FormHeight - kFrameHeight);
  move(settings.FormLeft, settings.FormTop);
  for (int i = 0; i < TStatisticsModel::ColumnCount; ++i) {
    lvStatistics->setColumnWidth(i, settings.ColumnWidths[static_cast<std::size_t>(i)]);
  }
  PlaceList();
}

void TForm1::StoreSettings() {
  TWindowSettings settings{};
  settings.FormWidth = width() + kFrameWidth;
  settings.FormHeight = height() + kFrameHeight;
  settings.FormLeft = pos().x();
  settings.FormTop = pos().y();
  for (int i = 0; i < TStatisticsModel::ColumnCount; ++i) {
    settings.ColumnWidths[static_cast<std::size_t>(i)] = lvStatistics->columnWidth(i);
  }
  StoreWindowSettings(Std(SettingsPath()), settings);
}

void TForm1::PlaceList() {
  lvStatistics->setGeometry(0, kStripHeight, width(), height() - kStripHeight);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceList();  // the list is anchored to all four edges
}

namespace {
// A failure's message, followed by the system's reason when it carries one of its own.
QString MessageOf(const std::exception& error) {
  QString text = QString::fromUtf8(error.what());
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& reason) {
    text += QLatin1Char('\n') + QString::fromUtf8(reason.what());
  }
  return text;
}
}  // namespace

// Closing never traps the user: a step that fails is reported and the next one still runs.
void TForm1::FormClose() {
  try {
    SaveHostConfig();
  } catch (const std::exception& error) {
    FDesktop.ShowMessage(this, MessageOf(error));
  }
  try {
    StoreSettings();
  } catch (const std::exception& error) {
    FDesktop.ShowMessage(this, MessageOf(error));
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TForm1::FormDestroy() {
  // Late notifications are still rendered meanwhile; the windows are all still there.
  FMonitor.reset();
}

void TForm1::WarnIfProbesCannotRun() {
#ifndef _WIN32
  uint32_t error = 0;
  const std::shared_ptr<TEchoService> echo = PlatformEchoService();
  if (echo->Open(false, error)) return;
  const QString program = QFileInfo(FExecutablePath).absoluteFilePath();
  FDesktop.ShowMessage(
      this,
      QStringLiteral(
          "无法打开 ICMP 套接字（错误 %1: %2），所有目标的探测都会失败，各行将一直显示 0。\n\n"
          "解决办法（任选其一，需要管理员权限）：\n"
          "1. 允许本程序发送 ping：\n    sudo setcap cap_net_raw+ep %3\n"
          "2. 允许普通用户发送 ping：\n"
          "    sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"
          "   （写入 /etc/sysctl.d/ 下的文件可长期生效）\n\n"
          "然后重新启动本程序。")
          .arg(error)
          .arg(Qt8(echo->ErrorText(error)), program));
#endif
}

// ---------------------------------------------------------------------------------------------
// Rows and groups

void TForm1::AddTargetRow(const QString& Caption, const QString& Host, const QString& Group) {
  EnsureGroupListed(Group);
  TListItem item;
  item.ImageIndex = 0;
  item.GroupID = GroupIDFor(Group);
  item.Caption = Caption;
  item.SubItems = {Host,
                   QString(),
                   QStringLiteral("0"),
                   QStringLiteral("0"),
                   QStringLiteral("0%"),
                   QStringLiteral("0"),
                   QStringLiteral("0"),
                   QStringLiteral("0"),
                   QStringLiteral("0"),
                   QStringLiteral("0"),
                   QStringLiteral("删")};
  item.SubItemImages = QVector<int>(TStatisticsModel::SubItemCount, -1);
  item.SubItemImages[10] = 3;
  lvStatistics->Items().Append(std::move(item));
}

int TForm1::GroupIDFor(const QString& GroupName) {
  TStatisticsModel& items = lvStatistics->Items();
  for (const TListGroup& group : items.Groups()) {
    if (SameText(group.Header, GroupName)) return group.GroupID;
  }
  const int id = items.AddGroup(GroupName);
  items.SetGroupView(true);
  return id;
}

void TForm1::EnsureGroupListed(const QString& GroupName) {
  for (int i = 0; i < ListGroup->count(); ++i) {
    if (SameText(ListGroup->itemText(i), GroupName)) return;
  }
  // Kept in the combo box's ascending order; the typed text stays as it is.
  const QString text = ListGroup->currentText();
  int at = 0;
  while (at < ListGroup->count() &&
         QString::compare(ListGroup->itemText(at), GroupName, Qt::CaseInsensitive) <= 0) {
    ++at;
  }
  ListGroup->insertItem(at, GroupName);
  ListGroup->setCurrentIndex(-1);
  ListGroup->setEditText(text);
}

// ---------------------------------------------------------------------------------------------
// Status updates

void TForm1::StatusUpdate(const std::string& Host, const std::string& Note,
                          const TPingStatistics& Stats) {
  (void)Note;  // rows are found by their target, not by their memo
  const TPingStatistics stats = Stats;
  const qint32 received = stats.Sent - stats.Lost;
  QString average, minimum, maximum;
  if (received <= 0) {
    average = minimum = maximum = QStringLiteral("N/A");
  } else {
    average = MsText(stats.TotalLatency / received);
    minimum = MsText(stats.MinLatency);
    maximum = MsText(stats.MaxLatency);
  }
  const QString host = Qt8(Host);
  UpdateRow(host, stats, average, minimum, maximum);
  if (CheckFloatChart->isChecked() && FormFloatChart && FormFloatChart->host == host &&
      FormFloatChart->SeriesCount() >= 1) {
    const TMonitorThread* thread = FMonitor ? FMonitor->FindThread(Host) : nullptr;
    FormFloatChart->AppendChartPoint(stats.LastLatency,
                                     thread ? thread->LatencyHistory() : std::vector<int32_t>{});
  }
}

const QVector<int>& TForm1::RowsOfHost(const QString& host) {
  const TStatisticsModel& items = lvStatistics->Items();
  if (FRowsByHostVersion != items.StructureVersion()) {
    FRowsByHost.clear();
    for (int i = 0; i < items.Count(); ++i) {
      if (!items.Item(i).SubItems.isEmpty())
        FRowsByHost[FoldedHost(items.Item(i).SubItems[0])] << i;
    }
    FRowsByHostVersion = items.StructureVersion();
  }
  static const QVector<int> kNone;
  const auto found = FRowsByHost.constFind(FoldedHost(host));
  return found == FRowsByHost.constEnd() ? kNone : *found;
}

void TForm1::UpdateRow(const QString& Host, const TPingStatistics& Stats, const QString& AvgLatency,
                       const QString& MinLatencyStr, const QString& MaxLatencyStr) {
  const QString address = Qt8(Stats.dstaddr);
  const QString latest = MsText(Stats.LastLatency);
  const QString loss = LossRateText(Stats.Lost, Stats.Sent);
  TStatisticsModel& items = lvStatistics->Items();
  for (const int i : RowsOfHost(Host)) {
    items.EditItem(i, [&](TListItem& row) {
      row.ImageIndex = Stats.LastLatency == -1 ? 2 : 1;
      row.SubItems[1] = address;
      row.SubItemImages[1] = Stats.IsV6 ? 9 : 10;
      row.SubItemImages[10] = 3;
      row.SubItems[2] = latest;
      row.SubItems[3] = AvgLatency;
      row.SubItems[4] = loss;
      row.SubItems[5] = QString::number(Stats.Sent);
      row.SubItems[6] = QString::number(Stats.Sent - Stats.Lost);
      row.SubItems[7] = QString::number(Stats.Lost);
      row.SubItems[8] = MinLatencyStr;
      row.SubItems[9] = MaxLatencyStr;
    });
  }
}

// ---------------------------------------------------------------------------------------------
// Commands

namespace {
// The application's default report of a failure a command does not handle itself.
void Guarded(TDesktop& desktop, QWidget* parent, const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    desktop.ShowMessage(parent, QString::fromUtf8(error.what()));
  }
}
}  // namespace

void TForm1::FocusHostBox() {
  edtHost->setFocus();
  edtHost->selectAll();
}

void TForm1::BtnAddEditClick() {
  const QString host = edtHost->text();
  const QString memo = edtMemo->text();
  const QString group = ListGroup->currentText();
  if (FMonitor->FindThread(Std(host))) {
    Guarded(FDesktop, this, [&] {
      FMonitor->EditTarget(Std(host), Std(memo));
      THostConfig* entry = Manager->Find(Std(host));
      if (entry) entry->SetMemo(Std(memo));
      EnsureGroupListed(group);
      if (entry) {
        entry->SetGroupName(Std(group));
        Manager->Update(Std(host), *entry);
      }
      SaveHostConfig();
      TStatisticsModel& items = lvStatistics->Items();
      for (int i = 0; i < items.Count(); ++i) {
        const TListItem& row = items.Item(i);
        if (row.SubItems.isEmpty() || !SameText(row.SubItems[0], host)) continue;
        items.SetCaption(i, memo);
        items.SetGroupID(i, GroupIDFor(group));
      }
    });
  } else {
    TStatisticsModel& items = lvStatistics->Items();
    const int rowsBefore = items.Count();
    try {
      AddTargetRow(memo, host, group);
      FMonitor->AddTarget(Std(host), 1000, 1000, Std(memo));
      auto entry =
          std::make_unique<THostConfig>(Std(memo), Std(host), 1000, 1000, true, Std(group));
      Manager->Add(std::move(entry));
      SaveHostConfig();
    } catch (const std::exception&) {
      FDesktop.ShowMessage(this, QStringLiteral("添加失败，请检查输入！"));
      if (items.Count() > rowsBefore) items.Delete(items.Count() - 1);
    }
  }
  FocusHostBox();
}

void TForm1::BtnResetAllStaticsClick() {
  FMonitor->ResetAllStatistics();
  if (FormFloatChart) FormFloatChart->ClearSeries();
}

void TForm1::Button2Click() {
  FDesktop.OpenUrl(QString::fromLatin1(kHomePage));
}

void TForm1::edtHostChange() {
  edtMemo->setText(edtHost->text());
}

void TForm1::lvStatisticsClick() {
  const int selected = lvStatistics->Selected();
  if (selected < 0) return;
  const TListItem row = lvStatistics->Items().Item(selected);
  if (row.SubItems.isEmpty()) return;
  edtHost->setText(row.SubItems[0]);  // copies the host into the memo box, replaced next
  edtMemo->setText(row.Caption);
  if (const THostConfig* entry = Manager->Find(Std(row.SubItems[0]))) {
    ListGroup->setEditText(Qt8(entry->GroupName()));
  }
}

void TForm1::lvStatisticsDblClick() {}

void TForm1::lvStatisticsMouseDown(Qt::MouseButton Button, int X, int Y) {
  const int row = lvStatistics->GetItemAt(QPoint(X, Y));
  if (row < 0) return;
  if (Button == Qt::RightButton) {
    N1->setText(lvStatistics->Items().Item(row).Caption);
    FDesktop.Popup(*PopupMenu1, FDesktop.CursorPos());
    return;
  }
  if (!lvStatistics->IsOnItem(QPoint(X, Y))) return;
  // The cell the user sees under the pointer, scrolled or not.
  if (lvStatistics->ColumnAt(X) != 11) return;
  DeleteTargetOfRow(row);
}

void TForm1::DeleteTargetOfRow(int item) {
  Guarded(FDesktop, this, [&] {
    const QString host = lvStatistics->Items().Item(item).SubItems.value(0);
    FMonitor->RemoveTarget(Std(host));
    Manager->Remove(Std(host));
    SaveHostConfig();
    lvStatistics->Items().Delete(item);
  });
}

void TForm1::N1Click() {}

void TForm1::N2Click() {
  const int selected = lvStatistics->Selected();
  if (selected < 0) return;
  FMonitor->ResetStatistics(Std(lvStatistics->Items().Item(selected).SubItems.value(0)));
}

void TForm1::N4Click() {
  if (lvStatistics->Selected() < 0) return;
  Guarded(FDesktop, this, [&] {
    const std::string host =
        Std(lvStatistics->Items().Item(lvStatistics->Selected()).SubItems.value(0));
    FMonitor->RemoveTarget(host);
    Manager->Remove(host);
    SaveHostConfig();
    const int still = lvStatistics->Selected();
    if (still >= 0) lvStatistics->Items().Delete(still);
  });
}

void TForm1::IP1Click() {
  const int selected = lvStatistics->Selected();
  if (selected < 0) return;
  FDesktop.SetClipboardText(lvStatistics->Items().Item(selected).SubItems.value(1));
}

void TForm1::N6Click() {
  const int idx = lvStatistics->Selected();
  if (idx <= 0) return;
  Guarded(FDesktop, this, [&] {
    TStatisticsModel& items = lvStatistics->Items();
    items.BeginUpdate();
    try {
      items.Insert(idx - 1, items.Item(idx));
      items.Delete(idx + 1);
    } catch (...) {
      items.EndUpdate();
      throw;
    }
    items.EndUpdate();
    lvStatistics->SetSelected(idx - 1);
    Manager->MoveUp(Std(items.Item(idx - 1).SubItems.value(0)));
    SaveHostConfig();
    items.SetGroupView(false);
    items.SetGroupView(true);
  });
}

void TForm1::N7Click() {}
void TForm1::N8Click() {}
void TForm1::N9Click() {}

// ---------------------------------------------------------------------------------------------
// Hover tracking

void TForm1::lvStatisticsMouseMove(int X, int Y) {
  if (!CheckFloatChart->isChecked() || !FormFloatChart) return;
  const int row = lvStatistics->GetItemAt(QPoint(X, Y));
  if (row < 0) {
    FormFloatChart->hide();
    FormFloatChart->host.clear();
    return;
  }
  const QString key = lvStatistics->Items().Item(row).SubItems.value(0);
  if (key == FormFloatChart->host) {
    if (FormFloatChart->isVisible()) PlaceFloatChart(X, Y);
    return;
  }
  FormFloatChart->host = key;
  const TMonitorThread* thread = FMonitor->FindThread(Std(key));
  if (!thread) {
    FormFloatChart->hide();
    return;
  }
  const std::vector<int32_t> history = thread->LatencyHistory();
  if (history.empty()) {
    FormFloatChart->ClearSeries();
    return;
  }
  FormFloatChart->ScaleLeftAxis(history);
  FormFloatChart->BindData(key, history);
  PlaceFloatChart(X, Y);
  // Shown or raised above everything, without taking the focus from this window.
  if (FormFloatChart->isVisible()) {
    FormFloatChart->raise();
  } else {
    FormFloatChart->show();
  }
}

void TForm1::lvStatisticsMouseLeave() {
  if (!CheckFloatChart->isChecked() || !FormFloatChart) return;
  FormFloatChart->hide();
  FormFloatChart->host.clear();
}

void TForm1::PlaceFloatChart(int X, int Y) {
  const QPoint pointer = lvStatistics->viewport()->mapToGlobal(QPoint(X, Y));
  TFormFloatChart& chart = *FormFloatChart;
  chart.move(pointer.x() + 15, pointer.y() + 15);
  const QRect work = FDesktop.PrimaryWorkArea();
  const int right = work.x() + work.width();  // the edges just outside the area
  const int bottom = work.y() + work.height();
  if (chart.x() + chart.width() > right) chart.move(pointer.x() - chart.width() - 5, chart.y());
  if (chart.y() + chart.height() > bottom) chart.move(chart.x(), pointer.y() - chart.height() - 5);
}

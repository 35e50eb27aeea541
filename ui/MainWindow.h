#pragma once

#include <QHash>
#include <QString>
#include <QVector>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PingStatistics.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TDesktop;
class THostConfigManager;
class TFormFloatChart;
class TICMPMonitor;
class TSynchronizer;
class TStatisticsListView;

// The main window: the input strip, the statistics list, the monitor and the saved targets.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // `executablePath` decides where hostconfig.json and the settings file live (its directory,
  // and its name with ".ini"); the program passes its own path, tests a path in a directory of
  // their own.
  TForm1(TDesktop& desktop, const QString& executablePath);
  ~TForm1() override;

  // The chart window, created after this one; it may be absent in tests.
  void SetFloatChart(TFormFloatChart* chart) { FormFloatChart = chart; }
  // Tells the user once when no ICMP socket of either kind can be opened.
  void WarnIfProbesCannotRun();
  // Stops the monitor: every worker is joined. Runs before any window is destroyed.
  void FormDestroy();

  QPushButton* BtnAddEdit;
  QLineEdit* edtHost;
  TStatisticsListView* lvStatistics;
  QPushButton* BtnResetAllStatics;
  QMenu* PopupMenu1;
  QAction* N1;
  QAction* N2;
  QAction* N3;
  QAction* N4;
  QAction* N5;
  QAction* IP1;
  QAction* N6;
  QAction* N7;
  QAction* N8;
  QAction* N9;
  QAction* N10;
  QLineEdit* edtMemo;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QComboBox* ListGroup;
  QCheckBox* CheckFloatChart;
  QPushButton* Button2;

  std::unique_ptr<THostConfigManager> Manager;

  TICMPMonitor& Monitor() { return *FMonitor; }
  TFormFloatChart* FloatChart() { return FormFloatChart; }
  QString HostConfigPath() const;
  QString SettingsPath() const;

  // Event handlers, public so that tests can drive them as the toolkit would.
  void FormClose();
  void BtnAddEditClick();
  void BtnResetAllStaticsClick();
  void Button2Click();
  void edtHostChange();
  void lvStatisticsClick();
  void lvStatisticsDblClick();
  void lvStatisticsMouseDown(Qt::MouseButton Button, int X, int Y);
  void lvStatisticsMouseMove(int X, int Y);
  void lvStatisticsMouseLeave();
  void N1Click();
  void N2Click();
  void N4Click();
  void IP1Click();
  void N6Click();
  void N7Click();
  void N8Click();
  void N9Click();

  void StatusUpdate(const std::string& Host, const std::string& Note, const TPingStatistics& Stats);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void CreatePopupMenu();
  void WireEvents();
  void FormCreate();
  void LoadHostConfig();
  void KeepUnreadableConfigFile();
  void SaveHostConfig();
  void LoadSettings();
  void StoreSettings();
  void AddTargetRow(const QString& Caption, const QString& Host, const QString& Group);
  int GroupIDFor(const QString& GroupName);
  void EnsureGroupListed(const QString& GroupName);
  void PlaceFloatChart(int X, int Y);
  void UpdateRow(const QString& Host, const TPingStatistics& Stats, const QString& AvgLatency,
                 const QString& MinLatencyStr, const QString& MaxLatencyStr);
  void DeleteTargetOfRow(int item);
  // The rows whose sub-item 0 matches the host, found through an index kept up to date with
  // the list's structure; a thousand rows are updated every second.
  const QVector<int>& RowsOfHost(const QString& host);
  void FocusHostBox();
  void PlaceList();

  TDesktop& FDesktop;
  const QString FExecutablePath;
  std::unique_ptr<TSynchronizer> FUi;
  std::unique_ptr<TICMPMonitor> FMonitor;
  TFormFloatChart* FormFloatChart = nullptr;
  quint64 FRowsByHostVersion = ~quint64{0};
  QHash<QString, QVector<int>> FRowsByHost;
};

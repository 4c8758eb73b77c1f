#pragma once
// The program's window: port choice, connect and disconnect, value file load
// and store, and the panel area that shows one of the four child panels. Its
// timer drives the whole user interface (MainHandler).

#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_panel.h"
#include "settings.h"
#include "protocol_engine.h"
#include "record.h"

class QAction;
class QLabel;
class QMenu;

namespace Ui {
class MainPanel;
}

namespace tavomark::ui {

class ParPanel;

// The main timer's period by default, and the periods it may be given: every
// refresh of the panels and the live data rate follow it. A request costs its
// exchanges only, so a short period can carry one live request per tick.
inline constexpr int kMainTimerMs = kDefaultMainTimerMs;
inline constexpr int kMinMainTimerMs = tavomark::kMinMainTimerMs;
inline constexpr int kMaxMainTimerMs = tavomark::kMaxMainTimerMs;

// Child panel indices, as ChangePanel and EnablePanel use them.
enum PanelIndex : int { kHelpPanel = 0, kParPanel = 1, kLivePanel = 2, kEditPanel = 3 };
inline constexpr int kChildPanels = 4;

// Text and verdict of the revision check: "FW %04u par. %c rev. %c%c" from the
// device's info record, passing when its project code and parameter letter
// are the header's; "Invalid Info Data" without a record.
[[nodiscard]] bool CheckRevision(std::string& text, const std::optional<link::InfoData>& info,
                                 const PackHeader& header);

// Label of a port selector in the port ring: "T_CAN", "T_SER", "COMn", empty
// for other negatives. Where the system does not call the port "COMn", its
// own name follows: "COM5 (ttyUSB0)".
[[nodiscard]] std::string PortRingLabel(int32_t port, const std::vector<link::NumberedPort>& table);

class MainPanel final : public QWidget {
  Q_OBJECT
 public:
  explicit MainPanel(PanelContext& context, QWidget* parent = nullptr);
  ~MainPanel() override;
  MainPanel(const MainPanel&) = delete;
  MainPanel& operator=(const MainPanel&) = delete;

  // Creates the child panels in start-up order (parameter, live,
  // configuration, about); the factories are indexed by PanelIndex. False as
  // soon as one cannot be created.
  [[nodiscard]] bool InitChildPanels(const std::array<ChildPanelFactory, kChildPanels>& factories);
  // The desktop program's start: only the about page is created at once; the
  // other panels follow right after the window's first paint, or earlier when
  // a command, a tick or Child needs one. False when the about page cannot be
  // created; a panel that cannot be created later stays out of reach.
  [[nodiscard]] bool InitChildPanelsAfterFirstPaint(const std::array<ChildPanelFactory, kChildPanels>& factories);
  // Creates the panels that are still waiting; nothing otherwise.
  void CreatePendingPanels();
  // What ends the user-interface loop once the closing work allows it.
  void SetQuitUserInterface(std::function<void()> quit) { m_quitUserInterface = std::move(quit); }
  void StartTimer();
  void StopTimer();
  // Clamped to kMinMainTimerMs..kMaxMainTimerMs; a running timer goes on at
  // the new period.
  void SetTimerPeriod(int ms);

  // One timer tick; 1.
  int MainHandler();
  // The closing work; true when the program may quit.
  bool TerminateMainPanel();
  void FillListPort();
  void SelectItemListPort(int32_t port);
  // The port list filled and the port selected once the window has been
  // painted for the first time (listing the system's ports takes a while), or
  // before that when a command or a tick needs the list first.
  void FillListPortAfterFirstPaint(int32_t port);
  // Runs a port listing that is still waiting; nothing otherwise.
  void FillPendingListPort();
  [[nodiscard]] bool EnablePanel(int index, bool flag);
  void SetProgressBar(int percent);
  void ShowConfigName(const std::string& path);
  bool PanelMaximize();
  // Title "TQ%04d%c_USER Rev.AB - <value file name>".
  void RefreshTitle();

  // Control commands.
  void CommOnOff();
  void Rescan();
  void SetComPort();
  void ChangePanel(int target);
  void Load();
  // Loads a value file without asking (the recent files of the File menu).
  void LoadValueFile(const std::string& path);
  // True when the working value set was saved.
  bool Store();
  void Exit() { RequestQuit(); }
  // The close box, Exit and the desktop's end of session all come here; the
  // next tick carries it out.
  void RequestQuit() { m_quitRequest = true; }

  [[nodiscard]] bool QuitRequested() const { return m_quitRequest; }
  [[nodiscard]] bool Terminated() const { return m_terminated; }
  [[nodiscard]] bool Connected() const { return m_connected; }
  [[nodiscard]] int ActivePanel() const { return m_activePanel; }
  // The panel, created first when it is still waiting; null for an unknown
  // index or a panel that cannot be created.
  [[nodiscard]] ChildPanel* Child(int index);
  [[nodiscard]] QTimer& Timer() { return m_timer; }
  // The menu entries by name ("Load", "Save", "Quit", "Open", "Rescan",
  // "Read", "Send", "Parameters", "Monitor", "Edit", "About", "Undo",
  // "Redo"); null for an unknown name.
  [[nodiscard]] QAction* MenuAction(const QString& name) const;
  // The status bar's texts: connection, port, device and last message.
  [[nodiscard]] QString StatusText() const;
  // The window's size and place as text for the settings; empty restores
  // nothing and gives the start size.
  [[nodiscard]] std::string SaveWindowGeometry() const;
  void RestoreWindowGeometry(const std::string& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // While a command runs (it may wait for the engine or a dialog, serving
  // events meanwhile) the panel's other commands are ignored and the quit
  // request waits.
  class CommandScope;
  void ShowConnection(bool connected);
  // Load's work after the dialog: the file replaces the working values when
  // it fits the device description.
  void ReadValueFile(const std::string& path);
  void BuildMenus();
  void BuildStatusBar();
  void RefreshStatusBar(bool connected);
  void FillRecentMenu();
  // Runs a command of the parameter page, showing the page first.
  void RunParCommand(const std::function<void(ParPanel&)>& command);
  void SaveSettings();
  void SelectRingValue(int32_t port);
  // Creates one panel from its factory and places it in the panel area.
  bool CreateChildPanel(int index);
  // The panel when it exists, without creating it.
  [[nodiscard]] ChildPanel* Created(int index) const;

  PanelContext& m_context;
  std::unique_ptr<Ui::MainPanel> m_form;
  QTimer m_timer;
  std::array<std::unique_ptr<ChildPanel>, kChildPanels> m_children;
  std::array<ChildPanelFactory, kChildPanels> m_pendingPanels;  // the panels not created yet
  std::function<void()> m_quitUserInterface;
  int m_activePanel = kHelpPanel;
  bool m_quitRequest = false;
  bool m_connected = false;
  bool m_inTick = false;
  bool m_commandRunning = false;
  bool m_terminated = false;
  QMenu* m_recentMenu = nullptr;
  std::vector<QAction*> m_actions;
  QLabel* m_statusConnection = nullptr;
  QLabel* m_statusPort = nullptr;
  QLabel* m_statusDevice = nullptr;
  QLabel* m_statusMessage = nullptr;
  std::optional<int32_t> m_pendingPort;  // the port to select once the list is filled
};

}  // namespace tavomark::ui

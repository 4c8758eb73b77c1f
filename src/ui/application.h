#pragma once
// Start-up and shut-down of the desktop program around its main panel.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "child_panel.h"
#include "main_panel.h"
#include "protocol_engine.h"
#include "settings.h"
#include "platform_services.h"
#include "value_set.h"

namespace tavomark::ui {

// The about, parameter, live and configuration pages; indexed by PanelIndex.
[[nodiscard]] std::array<ChildPanelFactory, kChildPanels> DefaultChildPanels();

// The panel a --show option names: "about", "param", "live" or "edit".
[[nodiscard]] std::optional<int> ResolveShowOption(const std::string& text);

struct StartOptions {
  std::filesystem::path projectDir;
  std::optional<int32_t> port;  // preselected instead of the saved port
  int showPanel = kHelpPanel;    // the panel shown at start
  std::optional<int> timerPeriodMs;  // the main timer's period; the setting's without it
  // The port list filled after the window's first paint instead of before
  // it is shown (the desktop program); Start fills it at once otherwise.
  bool portListAfterFirstPaint = false;
  // Only the shown panel created before the window's first paint, the others
  // right after it (the desktop program); Start creates them all otherwise.
  bool panelsAfterFirstPaint = false;
  link::EngineOptions engine;
  std::array<ChildPanelFactory, kChildPanels> panels = DefaultChildPanels();
};

class Application {
 public:
  explicit Application(UiServices& services);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Everything before the event loop. 0, or -1 when the program must end
  // (after the "Initialize Error" message when the device description fails).
  [[nodiscard]] int Start(StartOptions options);
  // Shows the window, runs the event loop until the quit request has been
  // served, then shuts down. 0.
  int Run();
  // Releases the data set, stops the engine and writes the settings; once.
  void ShutDown();

  [[nodiscard]] MainPanel* Panel() { return m_panel.get(); }
  [[nodiscard]] DataSet& Data() { return m_data; }
  [[nodiscard]] SettingsBlock& Settings() { return m_settings; }
  [[nodiscard]] link::ProtocolEngine* Engine() { return m_engine.get(); }

 private:
  void RestoreLastValueFile();
  void SaveSettings();

  UiServices& m_services;
  std::filesystem::path m_projectDir;
  DataSet m_data;
  SettingsBlock m_settings;
  // The engine wait: the user-interface thread keeps serving events (repaints,
  // the main timer) until its request is answered.
  link::EventLoopWaiter m_waiter;
  std::unique_ptr<link::ProtocolEngine> m_engine;
  std::unique_ptr<PanelContext> m_context;
  std::unique_ptr<MainPanel> m_panel;
  bool m_started = false;
  bool m_shutDown = false;
};

}  // namespace tavomark::ui

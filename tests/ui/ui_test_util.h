#pragma once
// A project folder with the small configuration of config_fixture.h saved as
// config/PRJ0315cp_C.cfg and its default values as tavomark.dat, the desktop
// program started over it with scripted pop-ups, and tavomark-sim started as
// a child process on a pseudo-terminal for the tests that talk to a device.

#include <gtest/gtest.h>

#include <QProcess>
#include <QPushButton>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "application.h"
#include "config_fixture.h"
#include "main_panel.h"
#include "platform_services.h"
#include "port_table.h"

namespace tavomark::test {

// Positions in every block of the small configuration:
// 1 root, 2 speed (U16, 1 decimal), 3 temp, 4 temp[0], 5 temp[1] (S16), 6 crc.
constexpr std::size_t kSpeed = 2, kTemp = 3, kTemp0 = 4, kTemp1 = 5;
constexpr const char* kTitleWithoutFile = "TQ0315C_USER Rev.AB - ";

// A value file for the configuration, the param block's values set by position.
inline void SaveValues(const std::filesystem::path& path, const ConfigSet& config,
                       const std::map<std::size_t, float>& param = {}) {
  ValToSendSet set = CreateValToSendSet(config);
  for (const auto& [position, value] : param) SetItemValue(set.param.Item(position), value);
  ASSERT_TRUE(SaveValToSendSet(path, set).ok());
}

class SimDevice {
 public:
  ~SimDevice() {
    m_process.kill();
    m_process.waitForFinished(3000);
  }
  // Starts the simulator; its first output line is the port's path.
  bool Start(const QStringList& args) {
#ifdef TAVOMARK_SIM_PATH
    m_process.setProgram(TAVOMARK_SIM_PATH);
#endif
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000)) return false;
    while (!m_process.canReadLine())
      if (!m_process.waitForReadyRead(5000)) return false;
    m_path = m_process.readLine().trimmed().toStdString();
    return !m_path.empty();
  }
  [[nodiscard]] const std::string& Path() const { return m_path; }

 private:
  QProcess m_process;
  std::string m_path;
};

class AppTest : public ProjectDirTest {
 protected:
  void SetUp() override {
    ProjectDirTest::SetUp();
    SaveConfig(MakeConfig(315, 'C'));
    SaveValues(Path("tavomark.dat"), MakeConfig(315, 'C'));
  }
  void TearDown() override {
    m_app.reset();
    ProjectDirTest::TearDown();
  }

  int StartApp(std::vector<int32_t> ports = {}, std::optional<int32_t> port = std::nullopt,
               std::optional<std::array<ui::ChildPanelFactory, ui::kChildPanels>> panels = std::nullopt) {
    m_app = std::make_unique<ui::Application>(m_services);
    ui::StartOptions options;
    options.projectDir = m_dir;
    options.port = port;
    options.engine.ports = m_portTable;
    options.engine.listPorts = [this](std::vector<int32_t>& list, const link::PortScan&) { list = m_ports; };
    options.engine.tickPeriod = std::chrono::milliseconds(20);
    if (panels) options.panels = *panels;
    m_ports = std::move(ports);
    const int result = m_app->Start(std::move(options));
    if (result == 0) m_app->Panel()->SetQuitUserInterface([this] { ++m_quits; });
    return result;
  }
  // Starts tavomark-sim with args and the program with its port preselected.
  void StartWithDevice(const QStringList& args) {
    ASSERT_TRUE(m_device.Start(args));
    std::string error;
    const std::optional<int32_t> port = link::ParsePortOption(m_device.Path(), *m_portTable, error);
    ASSERT_TRUE(port.has_value()) << error;
    m_port = *port;
    ASSERT_EQ(StartApp({m_port}, m_port), 0);
  }

  ui::MainPanel& Panel() { return *m_app->Panel(); }
  template <typename T = QPushButton>
  T* Control(const char* name) {
    T* control = Panel().findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  SettingsBlock SavedSettings() {
    SettingsBlock settings;
    EXPECT_EQ(ReadInitFile(m_dir, settings), 1);
    return settings;
  }
  std::string Title() { return Panel().windowTitle().toStdString(); }
  // Exactly one message box was shown since the last check, with this title and text.
  void ExpectOneMessage(const std::string& title, const std::string& text) {
    const std::vector<ui::ScriptedUiServices::Shown> messages = m_services.Messages();
    ASSERT_EQ(messages.size(), 1u) << (messages.empty() ? "" : messages[0].text);
    EXPECT_EQ(messages[0].title, title);
    EXPECT_EQ(messages[0].text, text);
    m_services.Clear();
  }

  ui::ScriptedUiServices m_services;
  std::vector<int32_t> m_ports;
  // The program's ports: the simulator's pseudo-terminal joins it.
  std::shared_ptr<link::PortTable> m_portTable = std::make_shared<link::PortTable>();
  int m_quits = 0;
  SimDevice m_device;  // destroyed after the program
  int32_t m_port = 0;
  std::unique_ptr<ui::Application> m_app;
};

}  // namespace tavomark::test

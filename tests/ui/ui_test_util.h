#pragma once
// A project folder with the small configuration of config_fixture.h saved as
// config/PRJ0315cp_C.cfg and its default values as tavomark.dat, and the
// desktop program started over it with scripted pop-ups.

#include <gtest/gtest.h>

#include <QPushButton>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "application.h"
#include "config_fixture.h"
#include "platform_services.h"

namespace tavomark::test {

// A value file for the configuration (code, letter), saved at path.
inline void SaveValues(const std::filesystem::path& path, uint16_t code, char letter, int extraParam = 0) {
  ConfigSet config = MakeConfig(code, letter, extraParam);
  ValToSendSet values = CreateValToSendSet(config);
  ASSERT_EQ(SaveValToSendSet(path, values), 1);
}

class AppTest : public ProjectDirTest {
 protected:
  void SetUp() override {
    ProjectDirTest::SetUp();
    SaveConfig(MakeConfig(315, 'C'));
    SaveValues(Path("tavomark.dat"), 315, 'C');
  }
  void TearDown() override {
    m_app.reset();
    ProjectDirTest::TearDown();
    // Parameterised tests are named "Test/Case": the folder sits one deeper.
    if (m_dir.parent_path().filename().string().rfind("tavomark_proj_", 0) == 0)
      std::filesystem::remove(m_dir.parent_path());
  }

  int StartApp(std::vector<int32_t> ports = {}, std::optional<int32_t> port = std::nullopt,
               std::optional<std::array<ui::ChildPanelFactory, ui::kChildPanels>> panels = std::nullopt) {
    m_app = std::make_unique<ui::Application>(m_services);
    ui::StartOptions options;
    options.projectDir = m_dir;
    options.port = port;
    options.engine.listPorts = [this](std::vector<int32_t>& list) { list = m_ports; };
    options.engine.tickPeriod = std::chrono::milliseconds(20);
    if (panels) options.panels = *panels;
    m_ports = std::move(ports);
    const int result = m_app->Start(std::move(options));
    if (result == 0) m_app->Panel()->SetQuitUserInterface([this] { ++m_quits; });
    return result;
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

  ui::ScriptedUiServices m_services;
  std::vector<int32_t> m_ports;
  int m_quits = 0;
  std::unique_ptr<ui::Application> m_app;
};

}  // namespace tavomark::test

#include "application.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <cctype>
#include <cstring>

#include "live_panel.h"
#include "edit_panel.h"
#include "names.h"
#include "par_panel.h"

namespace tavomark::ui {

namespace {

constexpr const char* kDeviceDescription = "tavomark.dat";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::array<ChildPanelFactory, kChildPanels> DefaultChildPanels() {
  std::array<ChildPanelFactory, kChildPanels> panels;
  panels[kHelpPanel] = [](QWidget* parent, PanelContext& context) { return InitHelpPanel(parent, context); };
  panels[kParPanel] = [](QWidget* parent, PanelContext& context) { return InitParPanel(parent, context); };
  panels[kLivePanel] = [](QWidget* parent, PanelContext& context) { return InitLivePanel(parent, context); };
  panels[kEditPanel] = [](QWidget* parent, PanelContext& context) { return InitEditPanel(parent, context); };
  return panels;
}

std::optional<int> ResolveShowOption(const std::string& text) {
  const std::string name = Upper(text);
  if (name == "ABOUT") return kHelpPanel;
  if (name == "PARAM") return kParPanel;
  if (name == "LIVE") return kLivePanel;
  if (name == "EDIT") return kEditPanel;
  return std::nullopt;
}

Application::Application(UiServices& services) : m_services(services), m_data(CreateDataSet()) {}

Application::~Application() { ShutDown(); }

int Application::Start(StartOptions options) {
  m_projectDir = options.projectDir;
  m_services.SetDefaultDirectory(m_projectDir.string());

  // The device description says which firmware this program serves.
  Result<void> described = LoadValToSendSet(m_projectDir / kDeviceDescription, m_data.vts);
  if (described) described = UpdateDataSet(m_data, m_projectDir);
  if (!described) {
    m_services.MessagePopup("Initialize Error", "\nMissing system files Error. Install program again!\n",
                            described.message());
    return -1;
  }
  std::memset(m_data.vts.name, 0, sizeof m_data.vts.name);

  SettingsRead read = SettingsRead::kText;
  if (!ReadInitFile(m_projectDir, m_settings, &read)) {
    m_settings.lastValueFile.clear();
    SaveSettings();
  } else {
    // A file of an older version, or one with damaged entries, is written
    // again in the current form at once.
    if (read != SettingsRead::kText) SaveSettings();
    RestoreLastValueFile();
  }
  LoadFolders(m_services, m_settings);

  // The engine exists from here on so the panels can hold it; its ticks
  // start only after the panels are in place.
  m_engine = std::make_unique<link::ProtocolEngine>(m_waiter, std::move(options.engine));
  m_context = std::make_unique<PanelContext>(PanelContext{m_data, m_settings, *m_engine, m_services, m_projectDir});

  m_panel = std::make_unique<MainPanel>(*m_context);
  m_panel->SetTimerPeriod(options.timerPeriodMs.value_or(m_settings.mainTimerMs));
  m_panel->SetQuitUserInterface([] { QCoreApplication::exit(0); });
  // The desktop's end of session asks to quit like the close box does.
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    QObject::connect(app, &QGuiApplication::commitDataRequest, m_panel.get(),
                     [panel = m_panel.get()](QSessionManager&) { panel->RequestQuit(); });
  if (!(options.panelsAfterFirstPaint ? m_panel->InitChildPanelsAfterFirstPaint(options.panels)
                                        : m_panel->InitChildPanels(options.panels)))
    return -1;
  m_started = true;

  (void)m_panel->EnablePanel(kHelpPanel, true);
  if (options.showPanel != kHelpPanel) m_panel->ChangePanel(options.showPanel);
  m_panel->RefreshTitle();
  (void)m_engine->TlinkInit();

  if (options.port) m_settings.portIndex = static_cast<int16_t>(*options.port);
  if (options.portListAfterFirstPaint) {
    m_panel->FillListPortAfterFirstPaint(m_settings.portIndex);
  } else {
    m_panel->FillListPort();
    m_panel->SelectItemListPort(m_settings.portIndex);
  }
  return 0;
}

void Application::RestoreLastValueFile() {
  const std::string path = m_settings.lastValueFile;
  if (path.empty()) return;  // nothing to restore, nothing to write
  DataSet last = CreateDataSet();
  const bool usable = LoadValToSendSet(path, last.vts) && UpdateDataSet(last, m_projectDir) &&
                      CheckPackCompatibility(last.config.param.header, m_data.config.param.header);
  if (!usable || !CopyDataSet(m_data, last)) {
    m_settings.lastValueFile.clear();
    SaveSettings();
  }
  DisposeDataSet(last);
}

void Application::SaveSettings() {
  StoreFolders(m_services, m_settings);
  if (auto written = WriteInitFile(m_projectDir, m_settings); !written)
    m_services.MessagePopup("Settings", "Can't write the settings file tavomark.ini", written.message());
}

int Application::Run() {
  if (!m_started) return -1;
  m_panel->RestoreWindowGeometry(m_settings.windowGeometry);
  m_panel->show();
  m_panel->StartTimer();
  QApplication::exec();
  ShutDown();
  return 0;
}

void Application::ShutDown() {
  if (!m_started || m_shutDown) return;
  m_shutDown = true;
  if (m_panel) {
    m_panel->StopTimer();
    m_settings.windowGeometry = m_panel->SaveWindowGeometry();
  }
  DisposeDataSet(m_data);
  if (m_engine) m_engine->TlinkTerminate();
  SaveSettings();
}

}  // namespace tavomark::ui

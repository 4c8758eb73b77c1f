#include "main_panel.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QEvent>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "fixed_text.h"
#include "names.h"
#include "par_panel.h"
#include "traffic_window.h"
#include "settings.h"
#include "ui_main_panel.h"
#include "platform_services.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

// Characters from the device go into the text as they are, unless they would
// not show (a zero byte would end the text early).
char Printable(char c) { return c >= 0x20 && c < 0x7F ? c : '?'; }

constexpr const char* kOpenTitle = "Open Communication";

}  // namespace

bool CheckRevision(std::string& text, const std::optional<link::InfoData>& info, const PackHeader& header) {
  if (!info) {
    text = "Invalid Info Data";
    return false;
  }
  char line[64];
  std::snprintf(line, sizeof line, "FW %04u par. %c rev. %c%c", unsigned{info->firmwareCode},
                Printable(info->compVerFw), Printable(info->fwDevRevision), Printable(info->fwNumRevision));
  text = line;
  return info->firmwareCode == header.codeProj && info->compVerFw == header.compVerFw;
}

std::string PortRingLabel(int32_t port, const std::vector<link::NumberedPort>& table) {
  if (port == link::kUsbSerialPort) return "T_SER";
  if (port == link::kUsbCanPort) return "T_CAN";
  if (port < 0) return "";
  std::string label = "COM" + std::to_string(port);
  for (const link::NumberedPort& entry : table) {
    if (entry.number != port) continue;
    std::string name = entry.path;
    if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
    if (name != label) label += " (" + name + ")";
    break;
  }
  return label;
}

class MainPanel::CommandScope {
 public:
  explicit CommandScope(MainPanel& panel) : m_panel(panel), m_owner(!panel.m_commandRunning) {
    if (m_owner) m_panel.m_commandRunning = true;
  }
  ~CommandScope() {
    if (m_owner) m_panel.m_commandRunning = false;
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;
  [[nodiscard]] bool Granted() const { return m_owner; }

 private:
  MainPanel& m_panel;
  bool m_owner;
};

MainPanel::MainPanel(PanelContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_form(std::make_unique<Ui::MainPanel>()) {
  m_form->setupUi(this);
  m_timer.setObjectName("TIMglobal");
  m_timer.setInterval(kMainTimerMs);
  connect(&m_timer, &QTimer::timeout, this, [this] { MainHandler(); });

  connect(m_form->TBcom, &QPushButton::clicked, this, [this] { CommOnOff(); });
  connect(m_form->CBrescan, &QPushButton::clicked, this, [this] { Rescan(); });
  connect(m_form->RINGport, &QComboBox::activated, this, [this] { SetComPort(); });
  connect(m_form->CBinfo, &QPushButton::clicked, this, [this] { ChangePanel(kHelpPanel); });
  connect(m_form->CBparam, &QPushButton::clicked, this, [this] { ChangePanel(kParPanel); });
  connect(m_form->CBlive, &QPushButton::clicked, this, [this] { ChangePanel(kLivePanel); });
  connect(m_form->CBlEdit, &QPushButton::clicked, this, [this] { ChangePanel(kEditPanel); });
  connect(m_form->CBload, &QPushButton::clicked, this, [this] { Load(); });
  connect(m_form->CBstore, &QPushButton::clicked, this, [this] { Store(); });
  connect(m_form->CBexit, &QPushButton::clicked, this, [this] { Exit(); });
  m_form->NSprogressBar->setRange(0, 100);
  m_form->NSprogressBar->hide();
  BuildMenus();
  BuildStatusBar();
}

void MainPanel::BuildMenus() {
  // The bar belongs to the panel's layout: a desktop's global menu bar would
  // take it out of the window (and asking the session bus for one costs the
  // start a few milliseconds).
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  auto* bar = new QMenuBar(this);
  bar->setObjectName("menuBar");
  m_form->mainLayout->setMenuBar(bar);
  auto add = [this](QMenu* menu, const QString& name, const QString& text, const QKeySequence& keys,
                    std::function<void()> run) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    m_actions.push_back(action);
    return action;
  };

  QMenu* file = bar->addMenu("&File");
  add(file, "Load", "&Load...", QKeySequence::Open, [this] { Load(); });
  add(file, "Save", "&Save...", QKeySequence::Save, [this] { Store(); });
  m_recentMenu = file->addMenu("&Recent Value Files");
  connect(m_recentMenu, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  FillRecentMenu();
  file->addSeparator();
  add(file, "Quit", "&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { RequestQuit(); });

  // Undo and redo act on the values edited in the transmit tree; the
  // parameter page brings them once it exists (InitChildPanels).
  bar->addMenu("&Edit")->setObjectName("editMenu");

  QMenu* device = bar->addMenu("&Device");
  add(device, "Open", "&Open/Close", QKeySequence(Qt::CTRL | Qt::Key_D), [this] { CommOnOff(); });
  add(device, "Rescan", "Re&scan", QKeySequence(Qt::Key_F5), [this] { Rescan(); });
  device->addSeparator();
  add(device, "Read", "&Read", QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
    RunParCommand([](ParPanel& panel) { panel.Read(); });
  });
  add(device, "Send", "S&end", QKeySequence(Qt::CTRL | Qt::Key_E), [this] {
    RunParCommand([](ParPanel& panel) { panel.Send(); });
  });
  device->addSeparator();
  add(device, "Traffic", "&Traffic...", QKeySequence(Qt::CTRL | Qt::Key_T),
      [this] { (void)ShowTraffic(this, m_context.engine, m_context.services); });

  QMenu* view = bar->addMenu("&View");
  add(view, "Parameters", "&Parameters", QKeySequence(Qt::CTRL | Qt::Key_1), [this] { ChangePanel(kParPanel); });
  add(view, "Monitor", "&Monitor", QKeySequence(Qt::CTRL | Qt::Key_2), [this] { ChangePanel(kLivePanel); });
  add(view, "Edit", "&Edit", QKeySequence(Qt::CTRL | Qt::Key_3), [this] { ChangePanel(kEditPanel); });
  view->addSeparator();
  // Undoes "Don't ask again" of the question before a send.
  QAction* ask = add(view, "AskBeforeSend", "&Ask Before Sending", {}, [] {});
  ask->setCheckable(true);
  ask->setChecked(m_context.settings.askBeforeSend);
  connect(view, &QMenu::aboutToShow, ask, [this, ask] { ask->setChecked(m_context.settings.askBeforeSend); });
  connect(ask, &QAction::toggled, this, [this](bool on) {
    if (m_context.settings.askBeforeSend == on) return;
    m_context.settings.askBeforeSend = on;
    SaveSettings();
  });

  QMenu* help = bar->addMenu("&Help");
  add(help, "About", "&About", QKeySequence(Qt::Key_F1), [this] { ChangePanel(kHelpPanel); });
}

void MainPanel::BuildStatusBar() {
  auto* status = new QStatusBar(this);
  status->setObjectName("statusBar");
  status->setSizeGripEnabled(true);
  m_statusConnection = new QLabel(status);
  m_statusPort = new QLabel(status);
  m_statusDevice = new QLabel(status);
  m_statusMessage = new QLabel(status);
  m_statusMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
  for (QLabel* label : {m_statusConnection, m_statusPort, m_statusDevice, m_statusMessage})
    label->setContentsMargins(4, 0, 12, 0);
  status->addWidget(m_statusConnection);
  status->addWidget(m_statusPort);
  status->addWidget(m_statusDevice);
  status->addWidget(m_statusMessage, 1);
  m_form->mainLayout->addWidget(status);
  RefreshStatusBar(false);
}

void MainPanel::RefreshStatusBar(bool connected) {
  m_statusConnection->setText(connected ? "Connected" : "Not connected");
  const QString port = m_form->RINGport->currentText();
  m_statusPort->setText(port.isEmpty() ? "No port" : "Port " + port);
  char device[16];
  std::snprintf(device, sizeof device, "Device %04u", unsigned{m_context.dataSet.vts.param.header.codeProj});
  m_statusDevice->setText(device);
  const QString message = QString::fromStdString(m_context.services.LastMessage());
  m_statusMessage->setText(message.section('\n', 0, 0).trimmed());
  m_statusMessage->setToolTip(message);
}

QString MainPanel::StatusText() const {
  return QStringList{m_statusConnection->text(), m_statusPort->text(), m_statusDevice->text(),
                     m_statusMessage->text()}
      .join(" | ");
}

QAction* MainPanel::MenuAction(const QString& name) const {
  for (QAction* action : m_actions)
    if (action->objectName() == name) return action;
  return nullptr;
}

void MainPanel::FillRecentMenu() {
  m_recentMenu->clear();
  const std::vector<std::string>& recent = m_context.settings.recentValueFiles;
  int number = 1;
  for (const std::string& path : recent) {
    QAction* action = m_recentMenu->addAction(QString("&%1 %2").arg(number++).arg(QString::fromStdString(path)));
    connect(action, &QAction::triggered, this, [this, path] { LoadValueFile(path); });
  }
  m_recentMenu->setEnabled(!recent.empty());
}

void MainPanel::RunParCommand(const std::function<void(ParPanel&)>& command) {
  auto* panel = dynamic_cast<ParPanel*>(Child(kParPanel));
  if (panel == nullptr) return;
  ChangePanel(kParPanel);
  if (m_activePanel == kParPanel) command(*panel);
}

std::string MainPanel::SaveWindowGeometry() const { return saveGeometry().toBase64().toStdString(); }

void MainPanel::RestoreWindowGeometry(const std::string& text) {
  if (!text.empty() && restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(text)))) return;
  // A first start: room for both trees on a 1366x768 screen, less on a
  // smaller one; sizes are in device-independent pixels, so a high-DPI
  // screen scales them.
  QSize size(1280, 720);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 0.95);
  resize(size);
}

// The child panels go first: their widgets live in the panel area.
MainPanel::~MainPanel() {
  m_timer.stop();
  for (auto& child : m_children) child.reset();
}

bool MainPanel::InitChildPanels(const std::array<ChildPanelFactory, kChildPanels>& factories) {
  m_pendingPanels = factories;
  for (int index : {kParPanel, kLivePanel, kEditPanel, kHelpPanel})
    if (!CreateChildPanel(index)) return false;
  return true;
}

bool MainPanel::InitChildPanelsAfterFirstPaint(const std::array<ChildPanelFactory, kChildPanels>& factories) {
  m_pendingPanels = factories;
  return CreateChildPanel(kHelpPanel);
}

void MainPanel::CreatePendingPanels() {
  for (int index : {kParPanel, kLivePanel, kEditPanel, kHelpPanel}) (void)CreateChildPanel(index);
}

bool MainPanel::CreateChildPanel(int index) {
  const auto i = static_cast<std::size_t>(index);
  if (m_children[i]) return true;
  const ChildPanelFactory factory = std::exchange(m_pendingPanels[i], nullptr);
  if (!factory) return false;
  m_children[i] = factory(m_form->panelArea, m_context);
  if (!m_children[i]) return false;
  m_form->panelArea->addWidget(m_children[i]->Widget());
  if (index != kParPanel) return true;
  // Undo and redo of the edited values belong to the parameter page.
  auto* par = dynamic_cast<ParPanel*>(m_children[i].get());
  auto* edit = findChild<QMenu*>("editMenu");
  if (par != nullptr && edit != nullptr) {
    edit->addAction(par->UndoAction());
    edit->addAction(par->RedoAction());
    par->UndoAction()->setObjectName("Undo");
    par->RedoAction()->setObjectName("Redo");
    m_actions.push_back(par->UndoAction());
    m_actions.push_back(par->RedoAction());
  }
  return true;
}

void MainPanel::StartTimer() { m_timer.start(); }

void MainPanel::StopTimer() { m_timer.stop(); }

void MainPanel::SetTimerPeriod(int ms) { m_timer.setInterval(std::clamp(ms, kMinMainTimerMs, kMaxMainTimerMs)); }

ChildPanel* MainPanel::Child(int index) {
  if (index < 0 || index >= kChildPanels) return nullptr;
  (void)CreateChildPanel(index);
  return m_children[static_cast<std::size_t>(index)].get();
}

ChildPanel* MainPanel::Created(int index) const {
  if (index < 0 || index >= kChildPanels) return nullptr;
  return m_children[static_cast<std::size_t>(index)].get();
}

int MainPanel::MainHandler() {
  // The engine's waits serve events, so a tick can come up inside a tick.
  if (m_inTick || m_terminated) return 1;
  FillPendingListPort();
  CreatePendingPanels();
  m_inTick = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{m_inTick};

  if (m_quitRequest) {
    // A command that is still waiting keeps its panels: quit after it.
    if (m_commandRunning) return 1;
    m_quitRequest = false;
    if (TerminateMainPanel()) {
      m_terminated = true;
      m_timer.stop();
      if (m_quitUserInterface) m_quitUserInterface();
    }
    return 1;
  }

  bool connected = false;
  m_context.engine.TlinkGetState(connected);
  m_connected = connected;
  for (int index : {kParPanel, kLivePanel, kEditPanel, kHelpPanel})
    if (ChildPanel* child = Created(index)) child->Handler(connected);

  RefreshTitle();
  m_form->TMversion->setText(QString::fromStdString(m_context.engine.TlinkGetFwVersion()));
  ShowConfigName(m_context.settings.lastValueFile);
  ShowConnection(connected);
  RefreshStatusBar(connected);
  m_form->NSprogressBar->hide();
  return 1;
}

void MainPanel::ShowConnection(bool connected) {
  QPushButton* button = m_form->TBcom;
  const QSignalBlocker block(button);
  button->setChecked(connected);
  button->setText(connected ? "Close" : "Open");
  button->setStyleSheet(connected ? "QPushButton#TBcom { background-color: #00ff00; color: black; }"
                                  : "QPushButton#TBcom { color: black; }");
}

bool MainPanel::TerminateMainPanel() {
  if (IsChangedValToSendSet(m_context.dataSet.vts) &&
      m_context.services.ConfirmPopup("Quit Application",
                                      "Value File is not Saved.\n Closing Program the work will lost.\n Do "
                                      "you want save before exit?")) {
    // The operator asked to keep the values: a save that did not happen
    // keeps the program open rather than losing them.
    if (!Store()) return false;
  }
  for (int index : {kLivePanel, kParPanel, kEditPanel, kHelpPanel})
    if (ChildPanel* child = Created(index)) child->Terminate();
  return true;
}

void MainPanel::RefreshTitle() {
  const PackHeader& header = m_context.dataSet.vts.param.header;
  const std::string name(m_context.dataSet.vts.name, strnlen(m_context.dataSet.vts.name, sizeof m_context.dataSet.vts.name));
  setWindowTitle(QString::fromStdString(MainTitleText(header.codeProj, header.compVerFw, name)));
  m_form->TMversion->clear();
  m_form->TMparName->clear();
  m_form->TBcom->setEnabled(true);
}

void MainPanel::ShowConfigName(const std::string& path) {
  std::string name;
  SplitFileName(path, name);
  m_form->TMparName->setText(QString::fromStdString(name));
}

void MainPanel::SetProgressBar(int percent) {
  if (percent > 0) {
    m_form->NSprogressBar->setValue(std::min(percent, 100));
    m_form->NSprogressBar->show();
  } else {
    m_form->NSprogressBar->hide();
  }
}

bool MainPanel::PanelMaximize() {
  showMaximized();
  return true;
}

void MainPanel::SaveSettings() {
  StoreFolders(m_context.services, m_context.settings);
  if (auto written = WriteInitFile(m_context.projectDir, m_context.settings); !written)
    m_context.services.MessagePopup("Settings", "Can't write the settings file tavomark.ini", written.message());
}

void MainPanel::FillListPort() {
  // One listing of the system's ports serves the probes and the labels.
  const link::PortScan scan = link::ScanPorts(m_context.engine.Ports());
  const std::vector<int32_t> ports = m_context.engine.TlinkGetPortList(scan);
  const std::vector<link::NumberedPort>& table = scan.table;
  QComboBox* ring = m_form->RINGport;
  const QSignalBlocker block(ring);
  ring->clear();
  for (int32_t port : ports) ring->addItem(QString::fromStdString(PortRingLabel(port, table)), port);
}

void MainPanel::FillListPortAfterFirstPaint(int32_t port) { m_pendingPort = port; }

void MainPanel::FillPendingListPort() {
  if (!m_pendingPort) return;
  const int32_t port = *m_pendingPort;
  m_pendingPort.reset();
  FillListPort();
  SelectItemListPort(port);
}

bool MainPanel::event(QEvent* event) {
  // Queued, so the first frame is on the screen before the listing starts.
  if (event->type() == QEvent::Paint && m_pendingPort)
    QTimer::singleShot(0, this, [this] { FillPendingListPort(); });
  if (event->type() == QEvent::Paint && std::any_of(m_pendingPanels.begin(), m_pendingPanels.end(),
                                                    [](const ChildPanelFactory& f) { return bool(f); }))
    QTimer::singleShot(0, this, [this] { CreatePendingPanels(); });
  return QWidget::event(event);
}

void MainPanel::SelectItemListPort(int32_t port) {
  QComboBox* ring = m_form->RINGport;
  const QSignalBlocker block(ring);
  if (ring->count() == 0) {
    m_context.settings.portIndex = 0;
  } else {
    int index = ring->findData(port);
    if (index < 0) {
      index = 0;
      m_context.settings.portIndex = static_cast<int16_t>(ring->itemData(0).toInt());
    }
    ring->setCurrentIndex(index);
  }
  SaveSettings();
}

void MainPanel::SelectRingValue(int32_t port) {
  QComboBox* ring = m_form->RINGport;
  const QSignalBlocker block(ring);
  const int index = ring->findData(port);
  if (index >= 0) ring->setCurrentIndex(index);
}

void MainPanel::Rescan() {
  FillPendingListPort();
  CommandScope command(*this);
  if (!command.Granted()) return;
  bool connected = false;
  m_context.engine.TlinkGetState(connected);
  if (connected) return;
  FillListPort();
  SelectItemListPort(m_context.settings.portIndex);
}

void MainPanel::SetComPort() {
  FillPendingListPort();
  CommandScope command(*this);
  bool connected = false;
  m_context.engine.TlinkGetState(connected);
  if (!command.Granted() || connected) {
    // The ring goes back to the port in use, so it never shows another.
    SelectRingValue(m_context.settings.portIndex);
    return;
  }
  const QVariant value = m_form->RINGport->currentData();
  if (!value.isValid()) return;
  m_context.settings.portIndex = static_cast<int16_t>(value.toInt());
  SaveSettings();
}

void MainPanel::CommOnOff() {
  FillPendingListPort();
  CommandScope command(*this);
  if (!command.Granted()) {
    ShowConnection(m_connected);
    return;
  }
  link::ProtocolEngine& engine = m_context.engine;
  bool connected = false;
  engine.TlinkGetState(connected);
  if (connected) {
    engine.TlinkCloseComm();
  } else {
    DataSet& data = m_context.dataSet;
    std::optional<std::string> refusal;
    {
      BusyCursor busy;
      uint8_t liveSize = 0;
      std::string text;
      if (!engine.TlinkOpenComm(m_context.settings.portIndex, data.vts.param.header.codeProj, liveSize)) {
        m_context.services.MessagePopup(kOpenTitle, link::CantConnectText(engine));
      } else if (!CheckRevision(text, engine.TlinkGetInfoData(), data.config.monitor.header)) {
        refusal = text + "\nWrong Hardware/Firmware Revision\n";
      } else if (liveSize != GetStructByteSize(data.config.monitor)) {
        refusal = "Wrong Live Buffer Size";
      }
    }
    if (refusal) {
      m_context.services.MessagePopup(kOpenTitle, *refusal);
      engine.TlinkCloseComm();
    }
  }
  engine.TlinkGetState(m_connected);
  ShowConnection(m_connected);
}

void MainPanel::ChangePanel(int target) {
  CommandScope command(*this);
  if (!command.Granted() || target == m_activePanel || Child(target) == nullptr) return;
  (void)EnablePanel(m_activePanel, false);
  (void)EnablePanel(target, true);
  m_activePanel = target;
}

bool MainPanel::EnablePanel(int index, bool flag) {
  ChildPanel* child = flag ? Child(index) : Created(index);
  if (child == nullptr) return false;
  const bool ok = child->Enable(flag);
  if (flag) m_form->panelArea->setCurrentWidget(child->Widget());
  return ok;
}

void MainPanel::Load() {
  CommandScope command(*this);
  if (!command.Granted()) return;
  const int active = m_activePanel;
  (void)EnablePanel(active, false);
  m_form->CBload->setEnabled(false);

  std::string path = m_context.settings.lastValueFile;
  if (SelectPath(m_context.services, "Load Value data", path, "*.vts", false)) ReadValueFile(path);
  (void)EnablePanel(active, true);
  m_form->CBload->setEnabled(true);
}

void MainPanel::LoadValueFile(const std::string& path) {
  CommandScope command(*this);
  if (!command.Granted()) return;
  const int active = m_activePanel;
  (void)EnablePanel(active, false);
  ReadValueFile(path);
  (void)EnablePanel(active, true);
}

void MainPanel::ReadValueFile(const std::string& path) {
  {
    BusyCursor busy;
    DataSet& data = m_context.dataSet;
    DataSet fresh = CreateDataSet();
    if (auto loaded = LoadValToSendSet(path, fresh.vts); !loaded) {
      m_context.services.MessagePopup("Load", "Load Error", loaded.message());
    } else if (!CheckPackCompatibility(fresh.vts.param.header, data.config.param.header)) {
      m_context.services.MessagePopup("Load", GetValToSendErrorString(kInvalidParameterFile));
    } else if (auto attached = UpdateDataSet(fresh, m_context.projectDir); !attached) {
      m_context.services.MessagePopup("Load", attached.message());
    } else {
      if (!CheckPackCompatibility(fresh.config.param.header, data.config.param.header))
        m_context.engine.TlinkCloseComm();
      if (!CopyDataSet(data, fresh)) {
        m_context.services.MessagePopup("Load", "Load Error", path + ": the values could not be copied");
      } else {
        m_context.settings.lastValueFile = path;
        AddRecentValueFile(m_context.settings, path);
        SaveSettings();
      }
    }
    DisposeDataSet(fresh);
  }
}

bool MainPanel::Store() {
  CommandScope command(*this);
  if (!command.Granted()) return false;
  const int active = m_activePanel;
  (void)EnablePanel(active, false);
  m_form->CBstore->setEnabled(false);

  bool saved = false;
  SettingsBlock& settings = m_context.settings;
  if (SelectPath(m_context.services, "Store Value data", settings.lastValueFile, "*.vts", true)) {
    BusyCursor busy;
    ValToSendSet& vts = m_context.dataSet.vts;
    const std::string path = settings.lastValueFile;
    // Writing clears the changed marks; a save that fails must leave them.
    const uint8_t changed[3] = {vts.param.header.isChanged, vts.info.header.isChanged, vts.calib.header.isChanged};
    const auto stored = SaveValToSendSet(path, vts);
    if (stored) {
      saved = true;
      std::string name;
      SplitFileName(path, name);
      SetText(vts.name, name);
      AddRecentValueFile(settings, path);
      SaveSettings();
      ShowConfigName(path);
    } else {
      vts.param.header.isChanged = changed[0];
      vts.info.header.isChanged = changed[1];
      vts.calib.header.isChanged = changed[2];
      m_context.services.MessagePopup("Store", "errore durante il salvataggio dei parametri", stored.message());
    }
  }
  (void)EnablePanel(active, true);
  m_form->CBstore->setEnabled(true);
  return saved;
}

void MainPanel::closeEvent(QCloseEvent* event) {
  if (m_terminated) {
    event->accept();
    return;
  }
  RequestQuit();
  event->ignore();
}

}  // namespace tavomark::ui

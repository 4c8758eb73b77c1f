#pragma once
// The protocol of the panels that the main panel hosts in its panel area:
// created once at start, Enable(true) when shown and Enable(false) when
// another panel takes the area, Handler on every main timer tick, Terminate
// at the end. While a panel is not active (or one of its own commands runs)
// it ignores its own events.

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class QWidget;

namespace tavomark {
struct DataSet;
struct SettingsBlock;
namespace link {
class ProtocolEngine;
}
}  // namespace tavomark

namespace tavomark::ui {

class UiServices;

// What a child panel may use; everything outlives the panels.
struct PanelContext {
  DataSet& dataSet;
  SettingsBlock& settings;
  link::ProtocolEngine& engine;
  UiServices& services;
  std::filesystem::path projectDir;
};

class ChildPanel {
 public:
  virtual ~ChildPanel() = default;
  // The panel's widget, placed in the main panel's area.
  [[nodiscard]] virtual QWidget* Widget() = 0;
  // True: refresh from the data set and become active. False: inactive.
  virtual bool Enable(bool flag) = 0;
  virtual void Handler(bool connected) = 0;
  // Releases what the panel derived from the data set.
  virtual bool Terminate() = 0;
  [[nodiscard]] bool IsActive() const { return m_active; }

 protected:
  bool m_active = false;
};

// Creates a panel inside parent; null when it cannot be created.
using ChildPanelFactory = std::function<std::unique_ptr<ChildPanel>(QWidget* parent, PanelContext& context)>;

// A panel that shows only its name, with the whole protocol, standing in for
// a panel whose work is not there yet.
[[nodiscard]] std::unique_ptr<ChildPanel> CreatePlaceholderPanel(QWidget* parent, const QString& objectName,
                                                                 const QString& text);

// The about page: a few lines about the tool.
class HelpPanel;
[[nodiscard]] std::unique_ptr<ChildPanel> InitHelpPanel(QWidget* parent, PanelContext& context);

}  // namespace tavomark::ui

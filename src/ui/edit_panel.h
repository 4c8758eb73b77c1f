#pragma once
// The configuration editor: a firmware structure imported from its C headers
// is shown in the selection tree; sub-structures of it are copied into the
// four tabs (parameters, information, calibration, monitor), whose limits and
// default values are edited in place and saved as a configuration file. From
// the same page a value file is made from the defaults, tabs are exported to
// and imported from struct text files, and defaults are taken over from older
// files by position or by name.
//
// The tab trees and the selection tree are views over the struct packs of the
// configuration under edit and of the last import; cells are formatted only
// when a view shows them.

#include <QObject>
#include <QWidget>

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "child_panel.h"
#include "config_set.h"
#include "fw_pack.h"
#include "record.h"

class QEvent;
class QModelIndex;
class QTabWidget;
class QTreeView;

namespace Ui {
class EditPanel;
}

namespace tavomark::ui {

class StructTreeModel;

inline constexpr std::size_t kEditTabs = std::size(kConfigBlocks);

// Columns of the tab trees.
enum EditColumn : int {
  kEditName = 0,
  kEditType,
  kEditBit,
  kEditArray,
  kEditDecimals,
  kEditUnit,
  kEditMax,
  kEditMin,
  kEditDefVal,
  kEditColumns
};

// The text of a tab tree's cell (column 1 to 8) for a record: type, ":%2d"
// bits, "[%4d]" array size ("%4d" for a container), "%1d" decimals, unit, and
// the three numbers, each empty where it does not apply.
[[nodiscard]] std::string SetRecordEditValue(const Record& record, int column);
// Max, Min or DefVal as ValToString formats them, a "CHR" record as "U8".
[[nodiscard]] std::string ScatterItemEditTree(const Record& record, int column);
// Column 1 of the selection tree: the record's type.
[[nodiscard]] std::string SetRecordSelValue(const Record& record);

class EditPanel final : public QObject, public ChildPanel {
  Q_OBJECT
 public:
  EditPanel(QWidget* parent, PanelContext& context);
  ~EditPanel() override;
  EditPanel(const EditPanel&) = delete;
  EditPanel& operator=(const EditPanel&) = delete;

  QWidget* Widget() override;
  bool Enable(bool flag) override { return EnableEditPanel(flag); }
  void Handler(bool) override { EditHandler(); }
  bool Terminate() override { return TerminateEditPanel(); }

  // True: shows the panel, refilling the tabs when the configuration is new,
  // and makes it active. False: inactive.
  bool EnableEditPanel(bool flag);
  // Offers to save an unsaved configuration ("Quit Application"), then
  // releases the configuration and the import; true.
  bool TerminateEditPanel();
  int EditHandler() { return 1; }
  // 1 (swallowed) for the user's input while the panel is not shown and idle.
  int EditEvents(QObject* target, QEvent* event) const;

  // Refills the four tab trees from the set and shows the active tab's header.
  int ConfigPopulateEditTabs(ConfigSet& set);
  // The leaf record of a row of the active tab's tree; null for a container.
  [[nodiscard]] Record* GetActiveEditRecord(const QModelIndex& row);
  // Shows the active tab's header text and byte-order flags.
  void EditTabChange();
  // Stores the toggled check box into the active pack's header.
  enum class HeaderFlag { BigEndian, Swap };
  void HeaderChange(HeaderFlag flag);
  // A finished edit of a Max, Min or DefVal cell: the text, limited to the
  // type's range, becomes the record's field. Text that is not a number is
  // refused (the cell shows the record's value again); false then.
  bool EditTreeChange(Block block, std::size_t position, int column, const std::string& text);

  // Commands of the panel's controls.
  void StructImport();
  void Select();
  void Show();
  void SaveConfig();
  void LoadConfig();
  void NewConf();
  void NewVal();
  void ExportStruct();
  void ImportStruct();
  void ImportValByPos();
  void ImportValByName();

  [[nodiscard]] ConfigSet& EditConfigSet() { return m_config; }
  [[nodiscard]] const FwImportPack& ImportPack() const { return m_import; }
  [[nodiscard]] QTabWidget* Tab() const;
  [[nodiscard]] QTreeView* Tree(Block block) const;
  [[nodiscard]] StructTreeModel& Model(Block block) const;
  [[nodiscard]] QTreeView* SelectionTree() const;
  [[nodiscard]] StructTreeModel& SelectionModel() const { return *m_selModel; }
  [[nodiscard]] bool Busy() const { return m_busy; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Operation;
  struct Page {
    QTreeView* tree = nullptr;
    std::unique_ptr<StructTreeModel> model;
  };

  void SetUpPage(Block block, QTreeView* tree);
  void SetUpSelectionTree();
  // The block of the current tab page.
  [[nodiscard]] Block ActiveBlock() const;
  [[nodiscard]] StructPack& ActivePack();
  void PopulateTab(Block block);
  void FitColumns(QTreeView* tree);
  // The header text and flags of the active tab's pack.
  void ShowHeader();
  // The Enter key on a tab tree opens the "Max" cell of a leaf row.
  bool OpenMaxCell(QTreeView* tree);
  // Import controls beside the tabs (cbShow1 on) or the tabs alone.
  void ApplyLayout();
  // Runs SaveConfig's checks and dialog; true when the set was saved. The
  // operation, when there is one, gets its cursor back before each pop-up.
  bool SaveConfigSetAs(Operation* operation);
  void ReleaseData();
  void Message(Operation* operation, const char* title, const std::string& text,
               const std::string& detail = {});

  PanelContext& m_context;
  std::unique_ptr<Ui::EditPanel> m_form;
  std::array<Page, kEditTabs> m_pages;
  std::unique_ptr<StructTreeModel> m_selModel;
  // After the models: the views go first.
  QWidget m_widget;
  ConfigSet m_config;
  FwImportPack m_import;
  std::string m_headerPath;  // last main header chosen for FW Import
  bool m_shown = false;      // the main panel shows this panel
  bool m_busy = false;       // one of the panel's commands runs
  bool m_terminated = false;
  bool m_terminatePending = false;
};

// Creates the configuration editor inside parent; null when it cannot be
// created.
[[nodiscard]] std::unique_ptr<ChildPanel> InitEditPanel(QWidget* parent, PanelContext& context);

}  // namespace tavomark::ui

#pragma once
// The parameter page: the three device blocks side by side as two trees, the
// working value set on the transmit side (what a send writes into the device)
// and the values last read from the device on the receive side. Each side has
// one tab page per device block, in the blocks' tab order.
//
// The trees are views over the configuration's struct packs; a row's value is
// formatted from the side's value set only when the view shows the row, so a
// block of 10,000 records opens without formatting 10,000 values.

#include <QObject>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "block.h"
#include "child_panel.h"
#include "device_image.h"
#include "pack.h"
#include "record.h"
#include "safe_write.h"
#include "value_set.h"

class QAction;
class QEvent;
class QPushButton;
class QTabWidget;
class QTreeView;
class QUndoStack;

namespace Ui {
class ParPanel;
}

namespace tavomark::ui {

class StructTreeModel;

inline constexpr std::size_t kParPages = std::size(kDeviceBlocks);

// The two tab controls: TAB_TX shows the working value set, TAB_RX the
// received one.
enum class ParSide { Tx, Rx };

// Block id on the wire of a device block.
[[nodiscard]] uint16_t GetDataType(Block block);

// The "Unit" cell of a row: the record's unit for leaves, enumerations and
// bit-field containers (bitSize not 0); empty for other containers.
[[nodiscard]] std::string SetRecordShowValue(const Record& record);

// The "value" cell of a row: item position of the pack formatted for its
// record; empty when the pack has no such item.
[[nodiscard]] std::string ScatterValToSendRecord(const Record& record, std::size_t position, const Pack& pack);

// True when item position differs between the two packs: a NaN on either
// side, or an item that one of them lacks, counts as different.
[[nodiscard]] bool ParValuesDiffer(const Pack& a, const Pack& b, std::size_t position);

class ParPanel final : public QObject, public ChildPanel {
  Q_OBJECT
 public:
  ParPanel(QWidget* parent, PanelContext& context);
  ~ParPanel() override;
  ParPanel(const ParPanel&) = delete;
  ParPanel& operator=(const ParPanel&) = delete;

  QWidget* Widget() override;
  bool Enable(bool flag) override { return EnableParPanel(flag); }
  void Handler(bool connected) override { ParHandler(connected); }
  bool Terminate() override { return TerminateParPanel(); }

  // True: rebuilds the trees when the configuration is new, shows new value
  // sets and makes the panel active. False: inactive. While one of the
  // panel's own commands runs, the refresh waits for the command's end.
  bool EnableParPanel(bool flag);
  // Releases the received value set and the device set; true. While a
  // transfer runs the release waits for its end.
  bool TerminateParPanel();
  // Enables the send and read buttons for the connection state; 1.
  int ParHandler(bool connected);
  void EnableParButton(bool connected);

  // Rebuilds the trees of every page of a side from the configuration and
  // clears the struct packs' isNew; 1, or 0 when a pack's records do not form
  // a tree (what could be read is shown).
  int ConfigPopulateShowTree(ParSide side);
  // Shows the side's value set on every page (values, expanded rows) and
  // clears the packs' isNew; 1.
  int ScatterValToSendAllTab(ParSide side);
  int ScatterValToSendIndexTab(ParSide side, Block block);

  // Commands of the panel's controls.
  void Send();
  void SendAll();
  void Read();
  void ReadAll();
  void TabChange(ParSide side);
  void ParCollapseTx(bool collapse);
  void ParCollapseRx(bool collapse);
  void Compare();
  void CopyTxToRx();
  void CopyRxToTx();
  // "Restore…": picks a backup in <project>/backups and sends it back through
  // the same comparison, question, backup and read-back as a send.
  void Restore();

  // Editing the working values in the transmit trees: the value cell of a
  // leaf that has an item, never the image's checksum word. An entry is read
  // for its record (a number, or one character for "CHR"), rounded to the
  // record's decimals and limited to its range; a refused entry changes
  // nothing and says why, naming the record's path. Every accepted edit goes
  // on the undo stack and marks its row until the set is saved.
  [[nodiscard]] bool IsValueEditable(Block block, std::size_t position) const;
  bool EditValue(Block block, std::size_t position, const QString& text);
  [[nodiscard]] bool IsEdited(Block block, std::size_t position) const;
  [[nodiscard]] QUndoStack& UndoStack() const { return *m_undo; }
  [[nodiscard]] QAction* UndoAction() const { return m_undoAction; }
  [[nodiscard]] QAction* RedoAction() const { return m_redoAction; }

  // 1 (swallowed) for the user's input while the panel is inactive, else 0.
  int ParEvents(QObject* target, QEvent* event) const;

  [[nodiscard]] const ValToSendSet& Received() const { return m_received; }
  [[nodiscard]] const DeviceSet& Devices() const { return m_devices; }
  [[nodiscard]] QTabWidget* Tab(ParSide side) const;
  [[nodiscard]] QTreeView* Tree(ParSide side, Block block) const;
  [[nodiscard]] StructTreeModel& Model(ParSide side, Block block) const;
  [[nodiscard]] bool Busy() const { return m_busy; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Operation;
  class ValueEdit;
  struct Page {
    QTreeView* tree = nullptr;
    std::unique_ptr<StructTreeModel> model;
  };
  struct Side {
    QTabWidget* tab = nullptr;
    std::array<Page, kParPages> pages;
  };

  void SetUpSide(ParSide side, QTabWidget* tab, const std::array<QTreeView*, kParPages>& trees);
  [[nodiscard]] Side& SideOf(ParSide side) { return side == ParSide::Tx ? m_tx : m_rx; }
  [[nodiscard]] const Side& SideOf(ParSide side) const { return side == ParSide::Tx ? m_tx : m_rx; }
  [[nodiscard]] ValToSendSet& ValuesOf(ParSide side);
  // The block of the side's current tab page.
  [[nodiscard]] Block CurrentBlock(ParSide side) const;
  [[nodiscard]] bool ConfigurationIsNew() const;
  void Refresh();
  void ReleaseData();
  void ExpandPage(ParSide side, Block block);
  void ParCollapse(ParSide side, bool collapse);
  void CopySide(ParSide from, ParSide to);
  void SetUpEditing(Block block);
  // Stores a value into the working set's item and marks the row.
  void ApplyValue(Block block, std::size_t position, float value);
  // The undo history and the marks belong to the values they were made on.
  void ForgetEdits();
  void ClearEditMarks();
  // The set was saved: the marks go and the history's clean point moves here.
  void NoteSaved();
  // Converts the working value set into the device set and writes the
  // blocks in order, stopping at the first failure.
  void SendPages(const std::vector<Block>& blocks, const char* title);
  // Reads the blocks into buffers of their own; only when all arrived and
  // convert do they replace the device images and the received packs.
  void ReadPages(const std::vector<Block>& blocks, const char* title);
  // Reads what the device holds in the blocks, lists the records that would
  // change and, once the operator agrees (or is not asked), backs the blocks
  // up, writes them and reads them back.
  void WriteBlocks(Operation& operation, std::vector<BlockWrite> blocks, const char* title);

  PanelContext& m_context;
  std::unique_ptr<Ui::ParPanel> m_form;
  Side m_tx;
  Side m_rx;
  // After the models: the views go first.
  QWidget m_widget;
  QPushButton* m_restore = nullptr;  // owned by m_widget
  ValToSendSet m_received;
  DeviceSet m_devices;
  std::unique_ptr<QUndoStack> m_undo;
  QAction* m_undoAction = nullptr;
  QAction* m_redoAction = nullptr;
  std::array<std::vector<bool>, kParPages> m_edited;
  // The packs' changed flags when the history was last clean: back at that
  // point the set is as it was then.
  std::array<uint8_t, kParPages> m_changedWhenClean{};
  bool m_shown = false;       // the main panel shows this panel
  bool m_busy = false;        // one of the panel's commands runs
  bool m_built = false;       // the trees have been built once
  bool m_terminated = false;
  bool m_terminatePending = false;
};

// Creates the parameter page inside parent; null when it cannot be created.
[[nodiscard]] std::unique_ptr<ChildPanel> InitParPanel(QWidget* parent, PanelContext& context);

}  // namespace tavomark::ui

#pragma once
// The question before a write: the records that would change in the device,
// with the device's value, the value to send and the unit, a "Don't ask
// again" box, and Send / Cancel.

#include <QDialog>

#include <string>
#include <vector>

#include "platform_services.h"
#include "value_diff.h"

class QCheckBox;
class QTableWidget;

namespace tavomark::ui {

class WriteDiffDialog final : public QDialog {
  Q_OBJECT
 public:
  WriteDiffDialog(QWidget* parent, const std::string& title, const std::string& summary,
                  const std::vector<ValueDiff>& diffs);

  [[nodiscard]] QTableWidget* Table() const { return m_table; }
  [[nodiscard]] QCheckBox* DontAskAgain() const { return m_dontAsk; }

 private:
  QTableWidget* m_table = nullptr;
  QCheckBox* m_dontAsk = nullptr;
};

// Shows the dialog modally and returns the operator's answer.
[[nodiscard]] WriteConfirmation ExecWriteDiffDialog(QWidget* parent, const std::string& title,
                                                    const std::string& summary, const std::vector<ValueDiff>& diffs);

}  // namespace tavomark::ui

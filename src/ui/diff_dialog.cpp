#include "diff_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavomark::ui {

namespace {

constexpr int kColumnDevice = 1;
constexpr int kColumnSend = 2;

QTableWidgetItem* Cell(const std::string& text, bool number) {
  auto* item = new QTableWidgetItem(QString::fromStdString(text));
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if (number) {
    // Digits of the same width line up.
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  }
  return item;
}

}  // namespace

WriteDiffDialog::WriteDiffDialog(QWidget* parent, const std::string& title, const std::string& summary,
                                 const std::vector<ValueDiff>& diffs)
    : QDialog(parent) {
  setObjectName("WRITE_DIFF");
  setWindowTitle(QString::fromStdString(title));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QString::fromStdString(summary), this);
  label->setObjectName("TXT_SUMMARY");
  layout->addWidget(label);

  m_table = new QTableWidget(static_cast<int>(diffs.size()), 4, this);
  m_table->setObjectName("TABLE_DIFF");
  m_table->setHorizontalHeaderLabels({"Path", "Device", "To send", "Unit"});
  m_table->verticalHeader()->hide();
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (int row = 0; row < static_cast<int>(diffs.size()); ++row) {
    const ValueDiff& d = diffs[static_cast<std::size_t>(row)];
    m_table->setItem(row, 0, Cell(d.path, false));
    m_table->setItem(row, kColumnDevice, Cell(d.deviceValue, true));
    m_table->setItem(row, kColumnSend, Cell(d.sendValue, true));
    m_table->setItem(row, 3, Cell(d.unit, false));
  }
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_table, 1);

  m_dontAsk = new QCheckBox("Don't ask again", this);
  m_dontAsk->setObjectName("CBdontAsk");
  layout->addWidget(m_dontAsk);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* send = buttons->addButton("Send", QDialogButtonBox::AcceptRole);
  send->setObjectName("CBconfirmSend");
  buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("CBcancelSend");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(560, 360);
}

WriteConfirmation ExecWriteDiffDialog(QWidget* parent, const std::string& title, const std::string& summary,
                                      const std::vector<ValueDiff>& diffs) {
  WriteDiffDialog dialog(parent, title, summary, diffs);
  WriteConfirmation answer;
  answer.send = dialog.exec() == QDialog::Accepted;
  answer.dontAskAgain = dialog.DontAskAgain()->isChecked();
  return answer;
}

}  // namespace tavomark::ui

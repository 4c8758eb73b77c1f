#include <QWidget>

#include <cstdio>

#include "child_panel.h"
#include "fixed_text.h"
#include "ui_help_panel.h"
#include "ui_placeholder_panel.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

class PlaceholderPanel final : public ChildPanel {
 public:
  PlaceholderPanel(QWidget* parent, const QString& objectName, const QString& text) : m_widget(parent) {
    m_form.setupUi(&m_widget);
    m_widget.setObjectName(objectName);
    m_form.TMplaceholder->setText(text);
  }
  QWidget* Widget() override { return &m_widget; }
  bool Enable(bool flag) override {
    m_active = flag;
    return true;
  }
  void Handler(bool) override {}
  bool Terminate() override {
    m_active = false;
    return true;
  }

 private:
  QWidget m_widget;
  Ui::PlaceholderPanel m_form;
};

}  // namespace

class HelpPanel final : public ChildPanel {
 public:
  HelpPanel(QWidget* parent, PanelContext& context) : m_widget(parent), m_context(context) {
    m_form.setupUi(&m_widget);
  }
  QWidget* Widget() override { return &m_widget; }
  bool Enable(bool flag) override {
    m_active = flag;
    if (flag) ShowDataSet();
    return true;
  }
  void Handler(bool) override {}
  bool Terminate() override {
    m_active = false;
    return true;
  }

 private:
  // The device description in use, so the page says which firmware it serves.
  void ShowDataSet() {
    const PackHeader& header = m_context.dataSet.vts.param.header;
    char line[96];
    std::snprintf(line, sizeof line, "Device description: project %04u, parameter version %c",
                  unsigned{header.codeProj}, header.compVerFw >= 0x20 && header.compVerFw < 0x7F ? header.compVerFw : '?');
    m_form.TMaboutSet->setText(QString::fromLatin1(line));
  }

  QWidget m_widget;
  PanelContext& m_context;
  Ui::HelpPanel m_form;
};

std::unique_ptr<ChildPanel> CreatePlaceholderPanel(QWidget* parent, const QString& objectName,
                                                   const QString& text) {
  return std::make_unique<PlaceholderPanel>(parent, objectName, text);
}

std::unique_ptr<ChildPanel> InitHelpPanel(QWidget* parent, PanelContext& context) {
  return std::make_unique<HelpPanel>(parent, context);
}

}  // namespace tavomark::ui

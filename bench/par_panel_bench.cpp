// Times the parameter page on a generated configuration whose parameter block
// has 10,000 records (a root, 99 groups of 100 values), inside the main panel
// on Qt's offscreen platform:
//   show     switching to the page while its configuration is new: both sides'
//            trees rebuilt and expanded, then painted
//   scatter  a changed working value set written into the transmit trees and
//            painted
//   tick     one main timer tick with the page active, and its repaint
// Usage: par_panel_bench [runs]   (prints the best, median and worst run)

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "qt_bench.h"
#include "application.h"
#include "bench_timing.h"
#include "fixed_text.h"
#include "main_panel.h"
#include "par_panel.h"
#include "platform_services.h"

namespace {

using namespace tavomark;
using bench::Figures;
using bench::Print;
using bench::Time;

constexpr int kGroups = 99;
constexpr int kValuesPerGroup = 100;

Record MakeRecord(uint16_t level, RecordKind kind, const std::string& name) {
  Record r;
  r.level = level;
  r.kind = kind;
  SetText(r.varName, name);
  SetText(r.varType, kind == RecordKind::Leaf ? "U16" : "STRUCT");
  if (kind == RecordKind::Leaf) {
    r.byteSize = 2;
    r.decimals = 1;
    r.maxValue = 6553.5;
    SetText(r.unit, "mV");
  }
  return r;
}

StructPack MakeBlockPack(const std::string& root, int groups, int values) {
  StructPack pack = CreateStructPack();
  pack.records.push_back(MakeRecord(0, RecordKind::Struct, root));
  for (int g = 0; g < groups; ++g) {
    pack.records.push_back(MakeRecord(1, RecordKind::Struct, "group" + std::to_string(g)));
    for (int v = 0; v < values; ++v) {
      Record leaf = MakeRecord(2, RecordKind::Leaf, "value" + std::to_string(g) + "_" + std::to_string(v));
      leaf.value = (g * values + v) % 1000 / 10.0;
      pack.records.push_back(leaf);
    }
  }
  CalcStructSize(pack.records);
  SetText(pack.header.projVersion, "FW0315 V1.00");
  pack.header.codeProj = 315;
  pack.header.compVerFw = 'C';
  return pack;
}


}  // namespace

int main(int argc, char** argv) {
  const tavomark::bench::OffscreenApp app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

  DataSet data = CreateDataSet();
  data.config.param = MakeBlockPack("par", kGroups, kValuesPerGroup);
  data.config.info = MakeBlockPack("info", 2, 10);
  data.config.calib = MakeBlockPack("cal", 2, 10);
  data.config.monitor = MakeBlockPack("mon", 1, 10);
  data.vts = CreateValToSendSet(data.config);
  SetText(data.vts.name, "bench");
  std::printf("parameter records: %zu\n", data.config.param.records.size());

  SettingsBlock settings;
  link::EventLoopWaiter waiter;
  link::EngineOptions options;
  options.ownThread = false;
  options.listPorts = [](std::vector<int32_t>& list, const tavomark::link::PortScan&) { list.clear(); };
  link::ProtocolEngine engine(waiter, std::move(options));
  ui::ScriptedUiServices services;
  ui::PanelContext context{data, settings, engine, services, std::filesystem::temp_directory_path()};

  std::array<ui::ChildPanelFactory, ui::kChildPanels> panels = ui::DefaultChildPanels();
  ui::MainPanel main(context);
  if (!main.InitChildPanels(panels)) return 1;
  main.resize(1280, 800);
  (void)main.EnablePanel(ui::kHelpPanel, true);
  main.show();
  QApplication::processEvents();
  auto* par = dynamic_cast<ui::ParPanel*>(main.Child(ui::kParPanel));
  if (par == nullptr) return 1;

  const Figures show = Time(
      runs,
      [&] {
        main.ChangePanel(ui::kHelpPanel);
        data.config.param.header.isNew = 1;
        QApplication::processEvents();
      },
      [&] {
        main.ChangePanel(ui::kParPanel);
        QApplication::processEvents();
      });

  float shift = 0;
  const Figures scatter = Time(
      runs,
      [&] {
        shift += 1;
        for (std::size_t i = 1; i <= data.vts.param.Count(); ++i)
          SetItemValue(data.vts.param.Item(i), static_cast<float>(i % 1000) / 10.0f + shift);
        data.vts.param.header.isNew = 1;
      },
      [&] {
        par->ScatterValToSendAllTab(ui::ParSide::Tx);
        QApplication::processEvents();
      });

  const Figures tick = Time(
      runs * 10, [] {},
      [&] {
        main.MainHandler();
        QApplication::processEvents();
      });

  Print("show", show, 200);
  Print("scatter", scatter, 200);
  Print("tick", tick, 2);
  main.TerminateMainPanel();
  return 0;
}

// Times the live page's work on one tick (everything after the device
// exchange: the pages' updates and the repaint) on a generated monitor struct
// of 10,000 records (a root, 6 flag words of 16 one-bit fields, 98 groups of
// 100 values), inside the main panel on Qt's offscreen platform:
//   all        the All page shown, scrolled into the middle of the tree
//   highlight  the highlight page with 42 values and 6 flag-word rows
//   charts     the first chart page shown, the three charts with four traces
//              each, after 1, 10 and 60 minutes of ticks at 200 ms (the
//              resident memory is printed beside each)
// Every run brings a new live buffer, so every value shown changes. Each is
// timed alone and with the repaint it causes.
// Usage: live_panel_bench [runs]   (prints the best, median and worst run)

#include <QApplication>
#include <QTabWidget>
#include <QTreeView>

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
#include "graph_tab.h"
#include "live_panel.h"
#include "main_panel.h"
#include "platform_services.h"
#include "struct_tree_model.h"

namespace {

using namespace tavomark;
using bench::Figures;
using bench::Print;
using bench::Time;

constexpr int kFlagWords = 6;
constexpr int kGroups = 98;
constexpr int kValuesPerGroup = 100;

Record MakeRecord(uint16_t level, RecordKind kind, const std::string& name, uint16_t bits = 0) {
  Record r;
  r.level = level;
  r.kind = kind;
  SetText(r.varName, name);
  SetText(r.varType, kind == RecordKind::Leaf ? "U16" : "STRUCT");
  if (kind == RecordKind::Leaf) {
    r.byteSize = 2;
    r.bitSize = bits;
    r.decimals = bits ? 0 : 1;
    SetText(r.unit, bits ? "a" : "mV");
  }
  return r;
}

StructPack Monitor() {
  StructPack pack = CreateStructPack();
  pack.records.push_back(MakeRecord(0, RecordKind::Struct, "mon"));
  for (int w = 0; w < kFlagWords; ++w) {
    pack.records.push_back(MakeRecord(1, RecordKind::Struct, "flags" + std::to_string(w)));
    for (int b = 0; b < 16; ++b)
      pack.records.push_back(MakeRecord(2, RecordKind::Leaf, "alarmBit" + std::to_string(b), 1));
  }
  for (int g = 0; g < kGroups; ++g) {
    pack.records.push_back(MakeRecord(1, RecordKind::Struct, "group" + std::to_string(g)));
    for (int v = 0; v < kValuesPerGroup; ++v)
      pack.records.push_back(MakeRecord(2, RecordKind::Leaf, "value" + std::to_string(g) + "_" + std::to_string(v)));
  }
  CalcStructSize(pack.records);
  SetText(pack.header.projVersion, "FW0315 V1.00");
  pack.header.codeProj = 315;
  pack.header.compVerFw = 'C';
  return pack;
}

StructPack Small(const std::string& root) {
  StructPack pack = CreateStructPack();
  pack.records.push_back(MakeRecord(0, RecordKind::Struct, root));
  pack.records.push_back(MakeRecord(1, RecordKind::Leaf, "crc"));
  CalcStructSize(pack.records);
  pack.header.codeProj = 315;
  pack.header.compVerFw = 'C';
  return pack;
}

long ResidentKiB() {
  long pages = 0;
  long resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * 4;
}


}  // namespace

int main(int argc, char** argv) {
  const tavomark::bench::OffscreenApp app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

  DataSet data = CreateDataSet();
  data.config.param = Small("par");
  data.config.info = Small("info");
  data.config.calib = Small("cal");
  data.config.monitor = Monitor();
  data.vts = CreateValToSendSet(data.config);
  data.user = CreateUserConfSet();
  // 42 values from the groups, and the six flag words.
  for (std::size_t slot = 0; slot < 42; ++slot)
    data.user.SetEntry(ui::kTabHilight, slot, static_cast<uint32_t>(1 + kFlagWords * 17 + 2 + slot * 7));
  for (std::size_t w = 0; w < kFlagWords; ++w)
    data.user.SetEntry(ui::kTabHilight, 42 + w, static_cast<uint32_t>(2 + w * 17));
  std::printf("monitor records: %zu, live buffer: %u bytes\n", data.config.monitor.records.size(),
              unsigned{GetStructByteSize(data.config.monitor)});

  SettingsBlock settings;
  link::EventLoopWaiter waiter;
  link::EngineOptions options;
  options.ownThread = false;
  options.listPorts = [](std::vector<int32_t>& list, const link::PortScan&) { list.clear(); };
  link::ProtocolEngine engine(waiter, std::move(options));
  ui::ScriptedUiServices services;
  ui::PanelContext context{data, settings, engine, services, std::filesystem::temp_directory_path()};

  ui::MainPanel main(context);
  if (!main.InitChildPanels(ui::DefaultChildPanels())) return 1;
  main.resize(1280, 800);
  (void)main.EnablePanel(ui::kHelpPanel, true);
  main.show();
  main.ChangePanel(ui::kLivePanel);
  QApplication::processEvents();
  auto* live = dynamic_cast<ui::LivePanel*>(main.Child(ui::kLivePanel));
  if (live == nullptr) return 1;
  auto* tabs = live->Widget()->findChild<QTabWidget*>("TAB");

  std::vector<uint8_t> buffer(GetStructByteSize(data.config.monitor));
  uint8_t seed = 0;
  const auto next = [&] {
    ++seed;
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 31 + seed);
  };

  tabs->setCurrentIndex(ui::kTabAll);
  live->Tree()->scrollTo(live->TreeModel().IndexOf(5000), QAbstractItemView::PositionAtCenter);
  QApplication::processEvents();
  const Figures allUpdate = Time(runs, next, [&] { live->LivePagesUpdate(ui::kTabAll, buffer); });
  QApplication::processEvents();
  const Figures all = Time(runs, next, [&] {
    live->LivePagesUpdate(ui::kTabAll, buffer);
    QApplication::processEvents();
  });
  std::printf("All page: %zu rows formatted per tick\n", live->LastTreeItems().size());

  tabs->setCurrentIndex(ui::kTabHilight);
  QApplication::processEvents();
  const Figures highlightUpdate = Time(runs, next, [&] { live->LivePagesUpdate(ui::kTabHilight, buffer); });
  QApplication::processEvents();
  const Figures highlight = Time(runs, next, [&] {
    live->LivePagesUpdate(ui::kTabHilight, buffer);
    QApplication::processEvents();
  });

  std::printf("the pages' update alone:\n");
  Print("all", allUpdate, 2);
  Print("highlight", highlightUpdate, 1);
  std::printf("the update and the repaint it causes:\n");
  Print("all", all, 2);
  Print("highlight", highlight, 1);

  for (std::size_t page = 0; page < 3; ++page)
    for (std::size_t trace = 0; trace < 4; ++trace)
      data.user.SetEntry(ui::kTabGraph1 + page, trace, static_cast<uint32_t>(200 + page * 10 + trace));
  for (int page = ui::kTabGraph1; page <= ui::kTabGraph3; ++page) live->Graph(page).GraphTabRefresh();
  tabs->setCurrentIndex(ui::kTabGraph1);
  QApplication::processEvents();
  double seconds = 0;
  long ticks = 0;
  std::printf("charts, one tick (update alone / with its repaint):\n");
  for (const long minutes : {1L, 10L, 60L}) {
    for (; ticks < minutes * 300; ++ticks) {
      next();
      live->LivePagesUpdate(ui::kTabGraph1, buffer, seconds += 0.2);
    }
    QApplication::processEvents();
    const Figures update = Time(runs, next, [&] { live->LivePagesUpdate(ui::kTabGraph1, buffer, seconds += 0.2); });
    const Figures painted = Time(runs, next, [&] {
      live->LivePagesUpdate(ui::kTabGraph1, buffer, seconds += 0.2);
      QApplication::processEvents();
    });
    std::printf("after %2ld min  update best %6.3f median %6.3f ms  with repaint best %6.3f median %6.3f ms  "
                "(target < 1 ms)  resident %ld KiB\n",
                minutes, update.best, update.median, painted.best, painted.median, ResidentKiB());
  }
  main.TerminateMainPanel();
  return 0;
}

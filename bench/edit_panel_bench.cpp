// Times the configuration editor on a generated firmware whose import has
// more than 10,000 records (a parameter block of 99 groups of 100 values and
// three small blocks), inside the main panel on Qt's offscreen platform:
//   import   FW Import of the header: parse, layout and the selection tree
//   show     switching to the editor with its configuration new: the four
//            tab trees rebuilt (the parameter tab holds the 10,000-record
//            block) and painted, beside the import (six columns) and alone
//            (nine columns)
// Usage: edit_panel_bench [runs]   (prints the best, median and worst run)

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "qt_bench.h"
#include "application.h"
#include "bench_timing.h"
#include "config_editor.h"
#include "edit_panel.h"
#include "main_panel.h"
#include "platform_services.h"
#include "struct_tree_model.h"

namespace {

using namespace tavomark;
using bench::Figures;
using bench::Print;
using bench::Time;

constexpr int kGroups = 99;
constexpr int kValuesPerGroup = 100;

void WriteFirmware(const std::filesystem::path& path) {
  std::ofstream out(path);
  out << "#define szPROJ_VERSION \"FW0315 V1.00\"\n#define CODE_PROJ 315\n#define COMP_VER_FW 'C'\n"
         "#define COMP_VER_PAR 'C'\n#define COMP_VER_PRODINFO 'A'\n#define COMP_VER_CALIB 'B'\n"
         "#define BIG_ENDIAN_MODE 0\n#define COMM_SWAP_DATA_BLOCK 0\n";
  out << "typedef struct {\n";
  for (int v = 0; v < kValuesPerGroup; ++v) out << "  U16 value" << v << "_dV;\n";
  out << "} Group_t;\ntypedef struct {\n";
  for (int g = 0; g < kGroups; ++g) out << "  Group_t group" << g << ";\n";
  out << "} Par_t;\ntypedef struct { U16 a; S16 b_c; U8 c[4]; } Small_t;\n"
         "typedef struct { Par_t par; Small_t info; Small_t cal; Small_t mon; } Bench_t;\n";
}


}  // namespace

int main(int argc, char** argv) {
  const tavomark::bench::OffscreenApp app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tavomark_edit_bench";
  std::filesystem::create_directories(dir);
  const std::filesystem::path header = dir / "bench.h";
  WriteFirmware(header);

  DataSet data = CreateDataSet();
  SettingsBlock settings;
  link::EventLoopWaiter waiter;
  link::EngineOptions options;
  options.ownThread = false;
  options.listPorts = [](std::vector<int32_t>& list, const link::PortScan&) { list.clear(); };
  link::ProtocolEngine engine(waiter, std::move(options));
  ui::ScriptedUiServices services;
  ui::PanelContext context{data, settings, engine, services, dir};

  ui::MainPanel main(context);
  if (!main.InitChildPanels(ui::DefaultChildPanels())) return 1;
  main.resize(1280, 800);
  (void)main.EnablePanel(ui::kHelpPanel, true);
  main.show();
  QApplication::processEvents();
  auto* edit = dynamic_cast<ui::EditPanel*>(main.Child(ui::kEditPanel));
  if (edit == nullptr) return 1;
  main.ChangePanel(ui::kEditPanel);
  edit->Widget()->findChild<QLineEdit*>("STRUCT_ROOT")->setText("Bench_t");
  auto* fwImport = edit->Widget()->findChild<QPushButton*>("CBfwImport");
  auto* select = edit->Widget()->findChild<QPushButton*>("cbSELECT");
  auto* show = edit->Widget()->findChild<QPushButton*>("cbShow1");

  const Figures import = Time(
      std::max(1, runs / 4), [&] { services.files = {header.string()}; },
      [&] {
        fwImport->click();
        QApplication::processEvents();
      });
  if (!services.Messages().empty()) {
    std::fprintf(stderr, "%s\n", services.Messages().front().text.c_str());
    return 1;
  }
  const StructPack& imported = edit->ImportPack().pack;
  std::printf("imported records: %zu\n", imported.records.size());
  const char* const blocks[] = {"par", "info", "cal", "mon"};
  for (Block block : kConfigBlocks) {
    const int tab = TabOfBlock(block);
    edit->Tab()->setCurrentIndex(tab);
    edit->SelectionTree()->setCurrentIndex(edit->SelectionModel().IndexOf(FindRecordByPath(imported, blocks[tab])));
    select->click();
  }
  edit->Tab()->setCurrentIndex(0);
  std::printf("parameter tab records: %zu\n", edit->EditConfigSet().param.records.size());

  auto showEditor = [&](bool beside) {
    return Time(
        runs,
        [&] {
          if (show->isChecked() != beside) show->click();
          main.ChangePanel(ui::kHelpPanel);
          QApplication::processEvents();
        },
        [&] {
          main.ChangePanel(ui::kEditPanel);
          QApplication::processEvents();
        });
  };
  const Figures beside = showEditor(true);
  const Figures alone = showEditor(false);

  Print("import", import, 0);
  Print("show6", beside, 200);
  Print("show9", alone, 200);
  main.TerminateMainPanel();
  std::filesystem::remove_all(dir);
  return 0;
}

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <thread>

#include "platform_services.h"
#include "request_waiter.h"
#include "settings.h"

namespace tavomark::ui {
namespace {

TEST(FileDialogRequest, StartsWhereThePathPoints) {
  struct Case {
    const char* path;
    const char* pattern;
    const char* directory;
    const char* fileName;
    const char* filter;
  };
  for (const Case& c : {Case{"", "*.vts", "", "*.vts", "*.vts"},  // no path: current folder, pattern as name
                        Case{"/home/op/values/run1.vts", "*.vts", "/home/op/values", "run1.vts", "*.vts"},
                        Case{"C:\\tool\\old.vts", "*.vts", "C:\\tool", "old.vts", "*.vts"},
                        Case{"/top.vts", "*.vts", "/", "top.vts", "*.vts"},
                        Case{"", "*", "", "*", ""},                 // no extension: no filter
                        Case{"", "*.config", "", "*.config", ""}}) {  // more than four characters: none
    const FileDialogRequest request = MakeFileDialogRequest("Load Value data", c.path, c.pattern, false);
    EXPECT_EQ(request.directory, c.directory) << c.path << " " << c.pattern;
    EXPECT_EQ(request.fileName, c.fileName) << c.path << " " << c.pattern;
    EXPECT_EQ(request.filter, c.filter) << c.path << " " << c.pattern;
  }
}

TEST(SelectPath, OnlyAChosenPathThatFitsReplacesThePath) {
  ScriptedUiServices services;
  char field[16] = "/a/b.vts";
  services.files = {std::nullopt, std::string(), std::string("/a/much/too/long/for/it.vts"),
                    std::string("/a/fits.vts")};
  for (int refused = 0; refused < 3; ++refused) {
    EXPECT_EQ(SelectPath(services, "Load Value data", field, sizeof field, "*.vts", false), 0);
    EXPECT_STREQ(field, "/a/b.vts");
  }
  ASSERT_EQ(services.Messages().size(), 1u);  // only the one that does not fit is worth a word
  EXPECT_EQ(SelectPath(services, "Load Value data", field, sizeof field, "*.vts", false), 1);
  EXPECT_STREQ(field, "/a/fits.vts");
  EXPECT_EQ(services.unexpected, 0);
}

TEST(SelectPath, DialogStartsInTheLastFolderOfItsKindElseTheDefault) {
  ScriptedUiServices services;
  services.SetDefaultDirectory("/project");
  services.files = {std::string("/x/y/a.txt"), std::nullopt, std::nullopt, std::nullopt};
  std::string path;
  ASSERT_EQ(SelectPath(services, "Import Struct", path, "*.txt", false), 1);
  EXPECT_EQ(services.fileRequests[0].directory, "/project");
  std::string other = "export.txt";
  (void)SelectPath(services, "Export Struct", other, "*.txt", true);
  EXPECT_EQ(services.fileRequests[1].directory, "/x/y") << "same kind";
  std::string csv;
  (void)SelectPath(services, "Record Live Data", csv, "*.csv", true);
  EXPECT_EQ(services.fileRequests[2].directory, "/project") << "another kind";

  // Kept in the settings and brought back at the next start.
  SettingsBlock settings;
  StoreFolders(services, settings);
  EXPECT_EQ(settings.folders.structText, "/x/y");
  EXPECT_EQ(settings.folders.recording, "");
  ScriptedUiServices next;
  LoadFolders(next, settings);
  EXPECT_EQ(next.LastFolder("*.txt"), "/x/y");
}

TEST(EventLoopWaiter, WaitsNestAndEachReturnsOnceItsAnswerCame) {
  link::EventLoopWaiter waiter;
  std::atomic<bool> outer{false};
  std::atomic<bool> inner{false};
  bool innerDone = false;
  std::thread innerEngine;
  // A callback run inside the outer wait waits for a request of its own,
  // answered on another thread; the outer answer comes only after that.
  QTimer::singleShot(0, [&] {
    innerEngine = std::thread([&] {
      inner.store(true);
      waiter.Wake();
    });
    waiter.Wait([&] { return inner.load(); });
    innerDone = true;
    outer.store(true);
    waiter.Wake();
  });
  waiter.Wait([&] { return outer.load(); });
  innerEngine.join();
  EXPECT_TRUE(innerDone);
}

}  // namespace
}  // namespace tavomark::ui

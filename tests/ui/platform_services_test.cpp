#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "platform_services.h"

namespace tavomark::ui {
namespace {

struct DialogCase {
  const char* path;
  const char* pattern;
  const char* directory;
  const char* fileName;
  const char* filter;
};

class FileDialogRequestTest : public ::testing::TestWithParam<DialogCase> {};

TEST_P(FileDialogRequestTest, StartsWhereThePathPoints) {
  const DialogCase& c = GetParam();
  const FileDialogRequest request = MakeFileDialogRequest("Load Value data", c.path, c.pattern, false);
  EXPECT_EQ(request.title, "Load Value data");
  EXPECT_EQ(request.directory, c.directory);
  EXPECT_EQ(request.fileName, c.fileName);
  EXPECT_EQ(request.filter, c.filter);
  EXPECT_FALSE(request.save);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileDialogRequestTest,
    ::testing::Values(DialogCase{"", "*.vts", "", "*.vts", "*.vts"},  // no path: current folder, pattern as name
                      DialogCase{"/home/op/values/run1.vts", "*.vts", "/home/op/values", "run1.vts", "*.vts"},
                      DialogCase{"C:\\tool\\old.vts", "*.vts", "C:\\tool", "old.vts", "*.vts"},
                      DialogCase{"/top.vts", "*.vts", "/", "top.vts", "*.vts"},
                      DialogCase{"plain.vts", "*.vts", "", "plain.vts", "*.vts"},
                      DialogCase{"", "*", "", "*", ""},                 // no extension: no filter
                      DialogCase{"", "*.config", "", "*.config", ""}));  // more than four characters: no extension

TEST(SelectPath, ChosenFileReplacesPathAndCancelKeepsIt) {
  ScriptedUiServices services;
  services.files = {std::string("/data/new.vts"), std::nullopt, std::string()};
  std::string path = "/data/old.vts";
  EXPECT_EQ(SelectPath(services, "Store Value data", path, "*.vts", true), 1);
  EXPECT_EQ(path, "/data/new.vts");
  EXPECT_TRUE(services.fileRequests.back().save);
  EXPECT_EQ(SelectPath(services, "Store Value data", path, "*.vts", true), 0);  // cancelled
  EXPECT_EQ(path, "/data/new.vts");
  EXPECT_EQ(SelectPath(services, "Store Value data", path, "*.vts", true), 0);  // empty answer
  EXPECT_EQ(path, "/data/new.vts");
  EXPECT_EQ(services.unexpected, 0);
}

TEST(SelectPath, ChoiceTooLongForTheSettingsFieldIsRefused) {
  ScriptedUiServices services;
  char field[16] = "/a/b.vts";
  services.files = {std::string("/a/much/too/long/for/it.vts"), std::string("/a/fits.vts")};
  EXPECT_EQ(SelectPath(services, "Load Value data", field, sizeof field, "*.vts", false), 0);
  EXPECT_STREQ(field, "/a/b.vts");
  ASSERT_EQ(services.Messages().size(), 1u);
  EXPECT_EQ(services.Messages()[0].title, "Load Value data");
  EXPECT_EQ(SelectPath(services, "Load Value data", field, sizeof field, "*.vts", false), 1);
  EXPECT_STREQ(field, "/a/fits.vts");
  EXPECT_EQ(services.fileRequests.back().directory, "/a");
  EXPECT_EQ(services.fileRequests.back().fileName, "b.vts");
}

TEST(ScriptedServices, EmptyQueuesAnswerNoAndCountTheSurprise) {
  ScriptedUiServices services;
  EXPECT_FALSE(services.ConfirmPopup("Quit Application", "?"));
  EXPECT_FALSE(services.PromptPopup("Name", "?", 8).has_value());
  services.prompts = {std::string("abcdefghij")};
  EXPECT_EQ(services.PromptPopup("Name", "?", 4), "abcd");  // bounded answer
  EXPECT_EQ(services.unexpected, 2);
}

TEST(BusyCursor, RestoresThePreviousCursorOnEveryWayOut) {
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  {
    BusyCursor busy;
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  try {
    BusyCursor busy;
    throw std::runtime_error("command failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(EventLoopWait, ReturnsOnceTheOtherThreadHasAnsweredAndWoken) {
  EventLoopWait waiter;
  std::atomic<bool> served{false};
  std::thread engine([&] {
    served.store(true, std::memory_order_release);
    waiter.Wake();
  });
  waiter.Wait([&] { return served.load(std::memory_order_acquire); });
  engine.join();
  EXPECT_TRUE(served.load());
}

TEST(EventLoopWait, WaitsNestAndServeEventsMeanwhile) {
  EventLoopWait waiter;
  std::atomic<bool> outer{false};
  std::atomic<bool> inner{false};
  bool innerDone = false;
  std::thread innerEngine;
  // A callback run inside the outer wait waits for a request of its own; the
  // outer answer arrives only after the inner wait has returned.
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

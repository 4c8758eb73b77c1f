// The GUI tests need one QApplication for the whole run; they run without a
// display on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>

#include <clocale>
#include <vector>

int main(int argc, char** argv) {
  std::vector<char*> qtArgs(argv, argv + argc);
  char platform[] = "-platform";
  char offscreen[] = "offscreen";
  qtArgs.insert(qtArgs.begin() + 1, {platform, offscreen});
  int qtArgc = static_cast<int>(qtArgs.size());
  QApplication app(qtArgc, qtArgs.data());
  std::setlocale(LC_NUMERIC, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

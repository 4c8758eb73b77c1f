// Writes from the parameter page against tavomark-sim: the list of changed
// records before a send, the question, backups and "Restore…", the read-back;
// and the traffic window over the frames of a read.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>
#include <QTabWidget>

#include <fstream>
#include <iterator>

#include "device_backup.h"
#include "diff_dialog.h"
#include "par_panel.h"
#include "protocol_engine.h"
#include "traffic_window.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

TEST(WriteDiffDialog, ListsEveryRecordWithNumbersRightAligned) {
  const std::vector<ValueDiff> diffs = {{Block::Parameters, 4, "temp.temp[0]", "-120", "-2", "C"},
                                        {Block::Parameters, 5, "temp.temp[1]", "5", "300", "C"}};
  ui::WriteDiffDialog dialog(nullptr, "Device Data Send", "2 records differ from the device.", diffs);
  QTableWidget* table = dialog.findChild<QTableWidget*>("TABLE_DIFF");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(1, 0)->text(), "temp.temp[1]");
  EXPECT_EQ(table->item(1, 1)->text(), "5");
  EXPECT_EQ(table->item(1, 2)->text(), "300");
  EXPECT_TRUE(table->item(1, 2)->textAlignment() & Qt::AlignRight);
  QCheckBox* dontAsk = dialog.findChild<QCheckBox*>("CBdontAsk");
  ASSERT_NE(dontAsk, nullptr);
  EXPECT_EQ(dontAsk->text(), "Don't ask again");
  EXPECT_FALSE(dontAsk->isChecked());
}

#ifdef TAVOMARK_SIM_PATH

constexpr std::size_t kParamBytes = 44;  // 8 bytes of image, 36 of trailer

class SafeWriteTest : public AppTest {
 protected:
  // The device holds speed 33.3, temp[0] -120, temp[1] 5.
  void Connect(const QStringList& faults = {}) {
    ValToSendSet device = CreateValToSendSet(MakeConfig(315, 'C'));
    SetItemValue(device.param.Item(kSpeed), 33.3f);
    SetItemValue(device.param.Item(kTemp0), -120.0f);
    SetItemValue(device.param.Item(kTemp1), 5.0f);
    ASSERT_TRUE(SaveValToSendSet(Path("device.vts"), device).ok());
    QStringList args = {"--project", QString::fromStdString(m_dir.string()), "--values",
                        QString::fromStdString(Path("device.vts").string())};
    for (const QString& fault : faults) args << "--fault" << fault;
    StartWithDevice(args);
    Panel().ChangePanel(ui::kParPanel);
    m_par = dynamic_cast<ui::ParPanel*>(Panel().Child(ui::kParPanel));
    ASSERT_NE(m_par, nullptr);
    Control("TBcom")->click();
    ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
    m_original = DeviceParams();
  }
  void LoadValues(const std::map<std::size_t, float>& param) {
    SaveValues(Path("send.vts"), MakeConfig(315, 'C'), param);
    m_services.files = {Path("send.vts").string()};
    Panel().Load();
    Panel().MainHandler();
    m_services.Clear();
  }
  std::vector<uint8_t> DeviceParams() {
    std::vector<uint8_t> memory(kParamBytes);
    EXPECT_TRUE(m_app->Engine()->TlinkReceiveData(1, memory));
    return memory;
  }
  std::vector<std::filesystem::path> Backups() {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Path("backups"), ec))
      if (e.path().extension() == ".img") found.push_back(e.path());
    std::sort(found.begin(), found.end());
    return found;
  }

  ui::ParPanel* m_par = nullptr;
  std::vector<uint8_t> m_original;
};

TEST_F(SafeWriteTest, SendListsTheChangedRecordsAndWritesOnlyOnceConfirmed) {
  Connect();
  LoadValues({{kSpeed, 33.3f}, {kTemp0, -2.0f}, {kTemp1, 300.0f}});
  m_services.confirms = {false};
  Control("CBsend")->click();
  ASSERT_EQ(m_services.writeLists.size(), 1u);
  const std::vector<ValueDiff>& diffs = m_services.writeLists[0];
  ASSERT_EQ(diffs.size(), 2u);
  EXPECT_EQ(diffs[0].path, "temp.temp[0]");
  EXPECT_EQ(diffs[0].deviceValue, "-120");
  EXPECT_EQ(diffs[0].sendValue, "-2");
  EXPECT_EQ(diffs[1].path, "temp.temp[1]");
  EXPECT_EQ(diffs[1].sendValue, "300");
  EXPECT_TRUE(m_services.Messages().empty()) << "a declined send says nothing more";
  EXPECT_EQ(DeviceParams(), m_original);
  EXPECT_TRUE(Backups().empty());

  m_services.Clear();
  m_services.confirms = {true};
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "Done!");
  EXPECT_NE(DeviceParams(), m_original);
  ASSERT_EQ(Backups().size(), 1u);
  std::ifstream in(Backups()[0], std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), m_original);
  EXPECT_TRUE(m_par->IsActive());
}

TEST_F(SafeWriteTest, DontAskAgainSendsLaterWritesWithoutTheQuestion) {
  Connect();
  LoadValues({{kSpeed, 12.3f}});
  m_services.confirms = {true};
  m_services.dontAskAgain = {true};
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "Done!");
  EXPECT_FALSE(m_app->Settings().askBeforeSend);

  LoadValues({{kSpeed, 45.6f}});
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "Done!");
  EXPECT_EQ(m_services.unexpected, 0) << "no question asked";
  EXPECT_EQ(m_services.writeLists.size(), 1u);
}

TEST_F(SafeWriteTest, NothingDiffersNothingIsSent) {
  Connect();
  LoadValues({{kSpeed, 33.3f}, {kTemp0, -120.0f}, {kTemp1, 5.0f}});
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "No value differs from the device: nothing was sent");
  EXPECT_TRUE(m_services.writeLists.empty());
  EXPECT_TRUE(Backups().empty());
}

TEST_F(SafeWriteTest, RestoreBringsTheBlockBackByteForByte) {
  Connect();
  LoadValues({{kSpeed, 12.3f}, {kTemp1, 300.0f}});
  m_services.confirms = {true};
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "Done!");
  ASSERT_EQ(Backups().size(), 1u);
  const std::filesystem::path backup = Backups()[0];

  EXPECT_TRUE(Control("CBrestore")->isEnabled());
  m_services.files = {backup.string()};
  m_services.confirms = {true};
  Control("CBrestore")->click();
  ExpectOneMessage("Restore", "Done!");
  EXPECT_EQ(m_services.fileRequests.size(), 0u) << "cleared with the message check";
  EXPECT_EQ(DeviceParams(), m_original);
  EXPECT_EQ(Backups().size(), 2u) << "the restore backs up what it replaced";

  m_services.files = {Path("not_a_backup.img").string()};
  Control("CBrestore")->click();
  ASSERT_EQ(m_services.Messages().size(), 1u);
  EXPECT_NE(m_services.Messages()[0].text.find("is not named as a device backup"), std::string::npos);
}

TEST_F(SafeWriteTest, ADeviceThatForgetsTheWriteIsNoSuccess) {
  Connect({"forget-write:5"});
  LoadValues({{kSpeed, 12.3f}});
  m_services.confirms = {true};
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "The device does not hold the values sent");
  EXPECT_EQ(DeviceParams(), m_original);
}

TEST_F(SafeWriteTest, TrafficShowsTheFramesOfAReadAndABadChecksum) {
  // The first read-block reply of the page's read comes with a bad checksum.
  Connect({"bad-checksum:8:2"});
  ui::TrafficWindow* window = ui::ShowTraffic(&Panel(), *m_app->Engine(), m_services);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(m_app->Engine()->TlinkTracing());
  m_par->Read();
  ExpectOneMessage("Device Data Receive", "Communication Error");
  m_par->Read();
  ExpectOneMessage("Device Data Receive", "Done!");
  window->Poll();

  ui::TrafficModel& model = window->Model();
  window->CommandFilter()->setCurrentIndex(window->CommandFilter()->findData(8));
  ASSERT_EQ(model.rowCount(), 4);
  const auto cell = [&](int row, int column) { return model.index(row, column).data().toString().toStdString(); };
  EXPECT_EQ(cell(0, ui::TrafficModel::kDirection), "TX");
  EXPECT_EQ(cell(0, ui::TrafficModel::kCommand), "ReadBlock (8)");
  EXPECT_EQ(cell(0, ui::TrafficModel::kLength), "5");
  EXPECT_EQ(cell(1, ui::TrafficModel::kChecksum), "bad");
  EXPECT_EQ(cell(1, ui::TrafficModel::kOutcome), "bad checksum");
  EXPECT_EQ(cell(3, ui::TrafficModel::kDirection), "RX");
  EXPECT_EQ(cell(3, ui::TrafficModel::kLength), "44");
  EXPECT_EQ(cell(3, ui::TrafficModel::kChecksum), "ok");
  EXPECT_EQ(cell(3, ui::TrafficModel::kOutcome), "answered");
  EXPECT_EQ(cell(3, ui::TrafficModel::kBytes).substr(0, 11), "AA F0 2C 08");

  window->OutcomeFilter()->setCurrentIndex(
      window->OutcomeFilter()->findData(static_cast<int>(link::TraceOutcome::kBadChecksum)));
  EXPECT_EQ(model.rowCount(), 1);

  // Paused, frames wait; resumed, they show.
  window->OutcomeFilter()->setCurrentIndex(0);
  window->SetPaused(true);
  m_par->Read();
  m_services.Clear();
  window->Poll();
  EXPECT_EQ(model.rowCount(), 4);
  window->SetPaused(false);
  EXPECT_EQ(model.rowCount(), 6);

  m_services.files = {Path("traffic.txt").string()};
  ASSERT_TRUE(window->SaveText());
  std::ifstream in(Path("traffic.txt"));
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("RX  ReadBlock(8)       dev   315  len  44  sum bad bad checksum"), std::string::npos) << text;

  window->close();
  EXPECT_FALSE(m_app->Engine()->TlinkTracing()) << "closed, the engine traces nothing";
}

#endif

}  // namespace
}  // namespace tavomark::test

// User calibration: the ".cal" reader, the placeholders and the operator's
// answers, the evaluation, and the block writes through the protocol engine
// against a scripted device.

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <fstream>

#include "config_fixture.h"
#include "device_image.h"
#include "fake_transport.h"
#include "profile_file.h"
#include "protocol_engine.h"
#include "user_calib.h"
#include "value_set.h"

namespace tavomark::calib {
namespace {

// Positions in the calibration block of config_fixture.h:
// 1 root, 2 speed (U16, 1 decimal), 3 temp, 4 temp[0], 5 temp[1] (S16), 6 crc.
constexpr std::size_t kSpeed = 2, kTemp = 3, kTemp0 = 4;

class ScriptedPrompt final : public CalibPrompt {
 public:
  std::optional<std::string> Ask(const std::string& title, const std::string& message, std::size_t maxLength) override {
    asked.push_back(title + "|" + message);
    EXPECT_EQ(maxLength, 19u);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected prompt " << title;
      return std::nullopt;
    }
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> asked;
};

class CalFileTest : public test::ProjectDirTest {
 protected:
  std::filesystem::path Write(const std::string& text) {
    const auto path = Path("config/PRJ0315cp_B.cal");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

TEST_F(CalFileTest, NamesIgnoreCaseFirstOccurrenceWinsAndGapsGiveDefaults) {
  const std::string longFormula(150, '1');
  const auto path = Write(
      "; calibration of the demo bench\r\n"
      "[header]\r\n"
      "CODEPROJ = 315\r\n"
      "compVerCal=BC\r\n"
      "[Calib1]\n"
      "Formula=(#M - @M) * 2\n"
      "  TARGET=  25.0 \n"
      "load=300\n"
      "formula=ignored: the first one counts\n"
      "[CALIB1]\n"
      "load=7\n"
      "[CALIB2]\n"
      "formula=" + longFormula + "\n"
      "target=\n"
      "load=-1\n"
      "[CALIB49]\n"
      "formula=1\n");
  CalibTable table;
  table.records[6].result = 2.5;
  EXPECT_EQ(LoadUserCalib(path, table), 1);
  EXPECT_EQ(table.header.codeProj, 315);  // kept whole, not cut to 8 bits
  EXPECT_EQ(table.header.compVerFw, 'B');
  EXPECT_STREQ(table.records[0].formula, "(#M - @M) * 2");
  EXPECT_STREQ(table.records[0].target, "25.0");  // an indented line is a key of its own
  EXPECT_EQ(table.records[0].load, 300 & 0xFF);
  EXPECT_EQ(std::string(table.records[1].formula), longFormula.substr(0, 99));
  EXPECT_STREQ(table.records[1].target, "");
  EXPECT_EQ(table.records[1].load, 255.0);
  EXPECT_STREQ(table.records[6].formula, "");  // no CALIB7
  EXPECT_STREQ(table.records[6].target, "");
  EXPECT_EQ(table.records[6].load, 0.0);
  EXPECT_EQ(table.records[6].result, 2.5);  // not a field of the file
  for (const CalibRecord& r : table.records) EXPECT_NE(std::string(r.formula), "1");  // CALIB49 ignored
}

TEST_F(CalFileTest, MissingFileAndForeignHeaderClearTheTable) {
  CalibTable table;
  EXPECT_EQ(LoadUserCalib(Path("config/none.cal"), table), 1);
  EXPECT_EQ(table.header.codeProj, 0);
  EXPECT_EQ(table.header.compVerFw, 0);

  PackHeader calib;
  calib.codeProj = 315;
  calib.compVerFw = 'B';
  EXPECT_EQ(GetUserCalibPath(m_dir, calib), m_dir / "config" / "PRJ0315cp_B.cal");
  Write("[HEADER]\ncodeProj=315\ncompVerCal=B\n[CALIB3]\nformula=@V\n");
  table.records[2].result = 4.0;
  EXPECT_EQ(DevGetCalibTable(calib, table, GetUserCalibPath(m_dir, calib)), 1);
  EXPECT_STREQ(table.records[2].formula, "@V");
  EXPECT_EQ(table.records[2].result, 4.0);

  // 315 + 65536 must not wrap onto 315; another letter does not match either.
  for (const char* header : {"codeProj=65851\ncompVerCal=B", "codeProj=315\ncompVerCal=C", "compVerCal=B"}) {
    const auto path = Write(std::string("[HEADER]\n") + header + "\n[CALIB3]\nformula=@V\n");
    table.header.numRecords = 5;
    EXPECT_EQ(DevGetCalibTable(calib, table, path), 1);
    EXPECT_STREQ(table.records[2].formula, "") << header;
    EXPECT_EQ(table.records[2].result, 0.0) << header;
    EXPECT_EQ(table.header.numRecords, 0) << header;
  }
}

TEST(ProfileInt, LeadingDecimalIntegerLikeTheProfileFunctions) {
  const std::pair<const char*, int64_t> cases[] = {
      {"12", 12}, {"-3", -3}, {"+4", 4}, {"7abc", 7}, {"abc", 0}, {"", 0}, {"0x10", 0},
      {"99999999999999999999", INT64_MAX}, {"-99999999999999999999", INT64_MIN}};
  for (auto [text, expected] : cases) EXPECT_EQ(ProfileInt(text), expected) << text;
}

TEST(IsNumValid, DigitsAndOnePoint) {
  const std::pair<const char*, int> cases[] = {{"", 1},   {"12", 1},  {"0.5", 1}, {".", 1},    {"12.", 1},
                                               {"-5", 0}, {"1e3", 0}, {"12.5.1", 0}, {" 1", 0}, {"+1", 0}};
  for (auto [text, expected] : cases) EXPECT_EQ(IsNumValid(text), expected) << text;
}

class CalcTest : public ::testing::Test {
 protected:
  CalibRecord& Set(const std::string& formula, const std::string& target = "") {
    SetText(m_table.records[0].formula, formula);
    SetText(m_table.records[0].target, target);
    return m_table.records[0];
  }
  int Calc() { return DevCalcCalib(m_table, 0, m_prompt); }
  double Result() const { return m_table.records[0].result; }

  CalibTable m_table;
  ScriptedPrompt m_prompt;
};

TEST_F(CalcTest, TypedMeasureAndRecordMeasure) {
  Set("(#M - @M) * 2").measure = 3.0;
  m_prompt.answers = {"5"};
  EXPECT_EQ(Calc(), 1);
  EXPECT_EQ(LastExpandedFormula(), "(5 -   3.000000) * 2");
  EXPECT_EQ(Result(), 4.0);
  EXPECT_EQ(m_prompt.asked, std::vector<std::string>{"Insert Measure|Insert data"});
}

TEST_F(CalcTest, EveryPlaceholder) {
  CalibRecord& r = Set("#T * 100 + #M * 10 + @T + @V - @M", "0.5");
  r.present = 2.0;
  r.measure = 1.0;
  m_prompt.answers = {"3", "4"};
  EXPECT_EQ(Calc(), 1);
  EXPECT_EQ(Result(), 341.5);
  EXPECT_EQ(m_prompt.asked, (std::vector<std::string>{"Insert Target|Insert data", "Insert Measure|Insert data"}));
}

TEST_F(CalcTest, AnswersAreAskedAgainUntilValid) {
  Set("#T + 1");
  m_prompt.answers = {"-5", "1e3", "12.5.1", ""};  // empty counts as 0.0
  EXPECT_EQ(Calc(), 1);
  EXPECT_EQ(LastExpandedFormula(), "0.0 + 1");
  EXPECT_EQ(Result(), 1.0);
  ASSERT_EQ(m_prompt.asked.size(), 4u);
  EXPECT_EQ(m_prompt.asked[3], "Insert Target|Data not vald...repeat");
}

TEST_F(CalcTest, LeadingZerosAreDecimal) {
  const std::pair<const char*, double> cases[] = {{"012", 12.0}, {"08", 8.0}, {"007.5", 7.5}, {"000", 0.0},
                                                  {"0.25", 0.25}};
  for (auto [typed, expected] : cases) {
    Set("#T");
    m_prompt.answers = {typed};
    EXPECT_EQ(Calc(), 1) << typed;
    EXPECT_EQ(Result(), expected) << typed;
  }
}

TEST_F(CalcTest, CancelChangesNothing) {
  Set("#T + #M").result = 9.0;
  m_prompt.answers = {"1", std::nullopt};
  EXPECT_EQ(Calc(), 0);
  m_prompt.answers = {"x", std::nullopt};  // cancelled at the repeat
  EXPECT_EQ(Calc(), 0);
  EXPECT_EQ(Result(), 9.0);
}

TEST_F(CalcTest, InvalidFormulas) {
  Set("1/0.0");
  EXPECT_EQ(Calc(), -1);
  EXPECT_TRUE(std::isinf(Result()));
  Set("1 2").result = 6.0;
  EXPECT_EQ(Calc(), -1);
  EXPECT_EQ(Result(), 6.0);
  // Targets of 99 zeros: five fill the 500-byte formula buffer to its
  // terminator, six do not fit.
  Set("@T+@T+@T+@T+@T+@T", std::string(99, '0'));
  EXPECT_EQ(Calc(), -1);
  EXPECT_EQ(Result(), 6.0);
  Set("@T+@T+@T+@T+@T", std::string(99, '0'));
  EXPECT_EQ(Calc(), 1);
  EXPECT_EQ(LastExpandedFormula().size(), 499u);
  EXPECT_EQ(Result(), 0.0);
  EXPECT_EQ(DevCalcCalib(m_table, kCalibRecords, m_prompt), -1);
}

TEST_F(CalcTest, TargetHoldingItsOwnPlaceholderIsPutInOnce) {
  const CalibRecord& r = Set("@T", "x@T");
  std::string expanded;
  EXPECT_EQ(SubstituteOperands(expanded, r, m_prompt), 1);
  EXPECT_EQ(expanded, "x@T");
}

TEST(CalibRows, LeavesBeforeTheChecksumWordAtMost48) {
  StructPack pack = CreateStructPack();
  pack.records.push_back(test::Container(0, RecordKind::Struct, "cal"));
  for (int i = 0; i < 50; ++i) pack.records.push_back(test::U8(1, "v" + std::to_string(i)));
  pack.records.push_back(test::U16(1, "crc"));
  CalcStructSize(pack.records);
  CalibTable table;
  std::vector<CalibRow> rows = CreateCalibRows(pack, table);
  ASSERT_EQ(rows.size(), 48u);
  EXPECT_EQ(table.header.numRecords, 48);
  EXPECT_EQ(rows[47].label, "v47");
  EXPECT_EQ(table.records[47].recordIndex, 49);

  // Deep leaves are labelled with their three nearest containers.
  StructPack deep = CreateStructPack();
  deep.records.push_back(test::Container(0, RecordKind::Struct, "cal"));
  const char* names[] = {"a", "b", "c", "d"};
  for (uint16_t level = 1; level <= 4; ++level)
    deep.records.push_back(test::Container(level, RecordKind::Struct, names[level - 1]));
  deep.records.push_back(test::U8(5, "leaf"));
  deep.records.push_back(test::U16(1, "crc"));
  CalcStructSize(deep.records);
  rows = CreateCalibRows(deep, table);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].label, "b.c.d.leaf");
  EXPECT_EQ(rows[0].recordIndex, 6);
  EXPECT_EQ(table.header.numRecords, 1);
}

// --- the device operations, against a scripted device ----------------------

class HandWaiter final : public link::RequestWaiter {
 public:
  void Wait(const std::function<bool()>& served) override {
    for (int ticks = 0; !served(); ++ticks) {
      ASSERT_LT(ticks, 1000) << "request never served";
      engine->TlinkProtHandler();
    }
  }
  void Wake() override {}
  link::ProtocolEngine* engine = nullptr;
};

class CalibLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link::EngineOptions options;
    options.ownThread = false;
    options.createTransport = [this] {
      auto t = std::make_unique<link::testing::FakeTransport>(&m_device);
      m_transport = t.get();
      return t;
    };
    options.clock = [this] { return m_transport->seconds; };
    m_engine = std::make_unique<link::ProtocolEngine>(m_waiter, options);
    m_waiter.engine = m_engine.get();
    ASSERT_TRUE(m_engine->TlinkInit());
    uint8_t liveSize = 0;
    ASSERT_TRUE(m_engine->TlinkOpenComm(1, m_device.number, liveSize));
    m_data = CreateDeviceData(m_config.calib, kShortTrailerBytes);
    m_device.requests.clear();
  }
  int Set(int32_t position, double value) {
    return DevSetCalibValue(m_config.calib, m_values, m_data, position, value, *m_engine);
  }

  ConfigSet m_config = test::MakeConfig(315, 'B');
  Pack m_values = CreateValToSendPack(m_config.calib);
  DeviceData m_data;
  link::testing::FakeDevice m_device;
  link::testing::FakeTransport* m_transport = nullptr;
  HandWaiter m_waiter;
  std::unique_ptr<link::ProtocolEngine> m_engine;
};

TEST_F(CalibLinkTest, SetValueSendsTheWholeImageToBlockTwo) {
  EXPECT_EQ(Set(kTemp0, -40000.0), kCalibOk);  // S16: clamped to -32768
  EXPECT_EQ(ItemValue(m_values.Item(kTemp0)), -32768.0f);
  EXPECT_EQ(m_device.writeBlock, 2);
  DeviceData expected = CreateDeviceData(m_config.calib, kShortTrailerBytes);
  ASSERT_EQ(CalibVtsToDeviceData(m_values, expected), 1);
  EXPECT_EQ(m_device.blocks[2], expected.buffer);
  EXPECT_EQ(m_device.blocks[2].size(), m_data.totalSize);

  // Read back into a fresh pack.
  Pack readBack = CreateValToSendPack(m_config.calib);
  DeviceData image = CreateDeviceData(m_config.calib, kShortTrailerBytes);
  EXPECT_EQ(DevGetCalib(readBack, image, *m_engine), kCalibOk);
  EXPECT_EQ(ItemValue(readBack.Item(kTemp0)), -32768.0f);
}

TEST_F(CalibLinkTest, ContainersMissingRecordsAndItemsSendNothing) {
  const float before = ItemValue(m_values.Item(kTemp));
  EXPECT_EQ(Set(kTemp, 5.0), kCalibNoRecord);  // the temp array container
  EXPECT_EQ(Set(0, 5.0), kCalibNoRecord);
  EXPECT_EQ(Set(7, 5.0), kCalibNoRecord);
  EXPECT_EQ(ItemValue(m_values.Item(kTemp)), before);
  m_values.items.resize(3 * kValToSendItemBytes);
  EXPECT_EQ(Set(kTemp0, 5.0), kCalibNoValue);
  EXPECT_TRUE(m_device.requests.empty());
  EXPECT_EQ(Set(kSpeed, 5.0), kCalibImageFailed);  // the pack no longer fits the struct
  EXPECT_TRUE(m_device.requests.empty());
}

TEST_F(CalibLinkTest, SilentDeviceFailsTheSendAndTheRead) {
  m_device.silent = true;
  EXPECT_EQ(Set(kTemp0, 1.0), kCalibSendFailed);
  EXPECT_EQ(DevGetCalib(m_values, m_data, *m_engine), kCalibSendFailed);
  DeviceData empty;
  EXPECT_EQ(DevGetCalib(m_values, empty, *m_engine), kCalibSendFailed);
}

}  // namespace
}  // namespace tavomark::calib

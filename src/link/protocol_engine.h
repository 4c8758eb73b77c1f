#pragma once
// The protocol engine: owns the connection to the device and advances one step
// per 100 ms tick on a thread of its own, so that device traffic never runs on
// the caller's thread.
//
// Callers talk to it through request slots, one per kind of request. A slot
// hands over by its state: the caller claims it, writes the parameters and
// publishes them (release); the tick loads the state (acquire), serves the
// request, writes the caller's answer, marks it done (release) and frees the
// slot. Between requests the tick polls the info record as a heartbeat and
// drops the connection after five consecutive failing ticks.
//
// States: 0 closed, 1 live, 2 ready, 3 sending, 4 forcing, 5 testing,
// 6 receiving. A request is taken on one tick and carried out on the next. On
// the engine's own thread a posted request wakes the thread for the tick that
// takes it, and the tick that carries it out follows at once; only the idle
// poll waits out the period.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "result.h"

#include "port_table.h"
#include "port_transport.h"
#include "protocol_frames.h"
#include "request_waiter.h"

class QThread;

namespace tavomark::link {

enum EngineState : int {
  kStateClosed = 0,
  kStateLive = 1,
  kStateReady = 2,
  kStateSending = 3,
  kStateForcing = 4,
  kStateTesting = 5,
  kStateReceiving = 6,
};

// The engine keeps the device's texts to this many characters.
inline constexpr std::size_t kEngineTextChars = 32;
inline constexpr std::size_t kLiveBufferBytes = 241;
// Consecutive failing ticks after which the connection is dropped.
inline constexpr uint8_t kMaxFailingTicks = 5;

// The device's 18-byte identity record, 16-bit fields in host order.
//   0 firmware code (2)  2 revision chars (2)  4 I/O version  5 parameter letter
//   6 product code (2)   8 product version     9 product revision chars (2)
//  11 date (3)          14 serial extension (2) 16 serial number (2)
struct InfoData {
  uint16_t firmwareCode = 0;
  char fwDevRevision = 0;
  char fwNumRevision = 0;
  uint8_t compVerIo = 0;
  char compVerFw = 0;
  uint16_t productCode = 0;
  uint8_t productVersion = 0;
  char productRevision[2] = {};
  uint8_t date[3] = {};
  uint16_t serialExt = 0;
  uint16_t serialNum = 0;
};

// Decodes the record as it arrives: 16-bit fields big-endian.
[[nodiscard]] InfoData DecodeInfoRecord(std::span<const uint8_t, kInfoRecordBytes> record);

struct EngineOptions {
  // The ports the engine opens and lists; shared with whoever names ports.
  std::shared_ptr<PortTable> ports = std::make_shared<PortTable>();
  // Called on the engine's thread: the channel must live there. Empty: the
  // serial channel over the port table.
  std::function<std::unique_ptr<PortTransport>()> createTransport;
  // Called on the caller's thread by TlinkGetPortList, with the caller's scan.
  std::function<void(std::vector<int32_t>&, const PortScan&)> listPorts =
      [](std::vector<int32_t>& list, const PortScan& scan) { GetPortList(list, scan); };
  // Measures the send windows; empty means the steady clock.
  SecondsClock clock;
  std::chrono::milliseconds tickPeriod{100};
  // False: no thread; whoever holds the engine calls TlinkProtHandler.
  bool ownThread = true;
};

class ProtocolEngine {
 public:
  // The waiter must outlive the engine.
  explicit ProtocolEngine(RequestWaiter& waiter, EngineOptions options = {});
  ~ProtocolEngine();
  ProtocolEngine(const ProtocolEngine&) = delete;
  ProtocolEngine& operator=(const ProtocolEngine&) = delete;

  // Starts the ticks (state 0, buffers zeroed). True once running.
  [[nodiscard]] bool TlinkInit();
  // Closes the connection through the close slot and stops the ticks. Later
  // requests fail at once instead of waiting for an engine that is gone.
  bool TlinkTerminate();
  // One tick. Ticks must not overlap: the engine's own thread calls this, or,
  // without it, the one thread that drives the engine by hand.
  void TlinkProtHandler();

  // Requests: each waits until its slot has been served. A second request of a
  // kind that is already pending waits for the slot to be free, then posts its
  // own parameters, so every caller gets its own answer.
  [[nodiscard]] bool TlinkOpenComm(int32_t port, uint16_t deviceNumber, uint8_t& liveSize);
  bool TlinkCloseComm();
  // A failed transfer says why: the block, the byte it stopped at and what
  // the last frame did, or that there is no connection.
  Result<void> TlinkSendData(uint16_t blockId, std::span<const uint8_t> data);
  Result<void> TlinkReceiveData(uint16_t blockId, std::span<uint8_t> buffer);
  [[nodiscard]] bool TlinkGetErrorList(std::span<uint8_t, kErrorListBytes> buffer);
  [[nodiscard]] bool TlinkSetTestOneShot(uint8_t first, uint8_t second);
  [[nodiscard]] bool TlinkSetFunction(uint8_t mode, uint8_t value);
  // A copy of the live buffer; nothing at once, without a request, when size
  // is not the live size agreed on opening, and nothing when the exchange fails.
  [[nodiscard]] std::optional<std::vector<uint8_t>> TlinkGetLiveData(uint8_t size);

  // Queries: no request, no waiting; each returns a whole copy.
  bool TlinkGetState(bool& connected) const;
  [[nodiscard]] std::optional<InfoData> TlinkGetInfoData() const;
  [[nodiscard]] std::string TlinkGetFwVersion() const;
  [[nodiscard]] std::string TlinkGetDataName() const;
  [[nodiscard]] uint8_t LiveSize() const { return m_liveSize.load(std::memory_order_acquire); }
  // Why the last open request found no channel ("/dev/x: No such file or
  // directory"); empty when the channel opened (or the device did not answer).
  [[nodiscard]] std::string TlinkGetOpenError() const;
  // The engine's port table.
  [[nodiscard]] PortTable& Ports() { return *m_options.ports; }
  // Refills the port list on the caller's thread; call it while not connected.
  [[nodiscard]] std::vector<int32_t> TlinkGetPortList();
  // The same from a scan the caller has made (and uses for more).
  [[nodiscard]] std::vector<int32_t> TlinkGetPortList(const PortScan& scan);

  // Traffic trace: while on, every frame sent and read goes into the
  // engine's trace queue, which a reader drains (TlinkTrace().Drain()) on its
  // own thread. Off, the frame layer tests one pointer per frame. Turning it
  // on restarts the trace's clock and empties its queue.
  void TlinkSetTracing(bool on);
  [[nodiscard]] bool TlinkTracing() const { return m_traceHook.load(std::memory_order_acquire) != nullptr; }
  [[nodiscard]] FrameTrace& TlinkTrace() { return m_trace; }

 private:
  struct Answer {
    std::atomic<bool> done{false};
    bool result = false;
    uint8_t liveSize = 0;
    std::vector<uint8_t> live;
    std::string failure;  // why a block transfer failed
  };
  struct OpenParams {
    int32_t port = 0;
    uint16_t device = 0;
  };
  struct SendParams {
    uint16_t blockId = 0;
    std::span<const uint8_t> data;
  };
  struct ReceiveParams {
    uint16_t blockId = 0;
    std::span<uint8_t> buffer;
  };
  struct ByteParams {
    uint8_t first = 0;
    uint8_t second = 0;
  };
  struct NoParams {};
  template <typename Params>
  struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 pending
    Params params{};
    Answer* answer = nullptr;
  };

  template <typename Params>
  bool Post(Slot<Params>& slot, const Params& params, Answer& answer);
  template <typename Params>
  static bool Pending(const Slot<Params>& slot);
  [[nodiscard]] bool AnyPending() const;
  template <typename Params>
  void Reply(Slot<Params>& slot, bool result, const std::vector<uint8_t>* live = nullptr,
             const std::string* failure = nullptr);
  // What a failed block request tells its caller.
  static Result<void> TransferResult(bool ok, const Answer& answer);

  void RunTicks();
  void EnsureTransport();
  void DropConnection();
  void TickClosed();
  void TickReady();
  bool OpenSequence();
  bool RefreshInfoData();
  void StoreText(std::string& target, const std::string& text);
  void StoreLive(std::span<const uint8_t> live);

  RequestWaiter& m_waiter;
  EngineOptions m_options;

  // Written only by ticks.
  std::unique_ptr<PortTransport> m_transport;
  std::unique_ptr<FrameLink> m_frames;
  bool m_lastOk = true;
  uint8_t m_failCount = 0;
  uint16_t m_device = 0;
  uint8_t m_forcedMode = 0;
  uint8_t m_forcedValue = 0;

  std::atomic<int> m_state{kStateClosed};
  std::atomic<uint8_t> m_liveSize{0};
  std::atomic<bool> m_running{false};

  // Outputs: written by ticks, copied whole by readers.
  mutable std::mutex m_outputMutex;
  std::array<uint8_t, kLiveBufferBytes> m_live{};
  InfoData m_info{};
  std::string m_fwVersion;
  std::string m_dataName;
  std::string m_openError;

  // The trace lives as long as the engine, so a tick that is pushing a frame
  // never outlives it; the hook only switches it on and off.
  FrameTrace m_trace;
  std::atomic<FrameTrace*> m_traceHook{nullptr};

  Slot<OpenParams> m_open;
  Slot<NoParams> m_close;
  Slot<SendParams> m_send;
  Slot<ReceiveParams> m_receive;
  Slot<ByteParams> m_test;
  Slot<ByteParams> m_function;
  Slot<NoParams> m_liveRequest;

  std::mutex m_tickMutex;
  std::condition_variable m_tickWake;
  bool m_stop = false;
  bool m_requestPosted = false;  // under m_tickMutex: a request waits to be taken
  std::unique_ptr<QThread> m_thread;
};

// The message of a failed open request: "Can't connect...", then the reason
// when the channel could not be opened ("Can't connect... /dev/x: No such
// file or directory").
[[nodiscard]] std::string CantConnectText(const ProtocolEngine& engine);

}  // namespace tavomark::link

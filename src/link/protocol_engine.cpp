#include "protocol_engine.h"

#include <QThread>

#include <algorithm>

namespace tavomark::link {

namespace {

constexpr int kSlotFree = 0;
constexpr int kSlotFilling = 1;
constexpr int kSlotPending = 2;

uint16_t BigEndian16(std::span<const uint8_t> bytes, std::size_t offset) {
  return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

}  // namespace

InfoData DecodeInfoRecord(std::span<const uint8_t, kInfoRecordBytes> record) {
  InfoData info;
  info.firmwareCode = BigEndian16(record, 0);
  info.fwDevRevision = static_cast<char>(record[2]);
  info.fwNumRevision = static_cast<char>(record[3]);
  info.compVerIo = record[4];
  info.compVerFw = static_cast<char>(record[5]);
  info.productCode = BigEndian16(record, 6);
  info.productVersion = record[8];
  info.productRevision[0] = static_cast<char>(record[9]);
  info.productRevision[1] = static_cast<char>(record[10]);
  info.date[0] = record[11];
  info.date[1] = record[12];
  info.date[2] = record[13];
  info.serialExt = BigEndian16(record, 14);
  info.serialNum = BigEndian16(record, 16);
  return info;
}

ProtocolEngine::ProtocolEngine(RequestWaiter& waiter, EngineOptions options)
    : m_waiter(waiter), m_options(std::move(options)) {
  if (!m_options.clock) m_options.clock = SteadySeconds();
  if (!m_options.ports) m_options.ports = std::make_shared<PortTable>();
}

ProtocolEngine::~ProtocolEngine() { TlinkTerminate(); }

bool ProtocolEngine::TlinkInit() {
  if (m_running.load(std::memory_order_acquire)) return true;
  {
    std::lock_guard lock(m_outputMutex);
    m_live.fill(0);
    m_info = InfoData{};
  }
  m_state.store(kStateClosed, std::memory_order_release);
  m_lastOk = true;
  m_failCount = 0;
  if (m_options.ownThread) {
    {
      std::lock_guard lock(m_tickMutex);
      m_stop = false;
    }
    m_thread.reset(QThread::create([this] { RunTicks(); }));
    if (!m_thread) return false;
    m_thread->start();
  }
  m_running.store(true, std::memory_order_release);
  return true;
}

bool ProtocolEngine::TlinkTerminate() {
  if (!m_running.load(std::memory_order_acquire)) return true;
  // A channel that is already closed is not closed a second time.
  if (m_state.load(std::memory_order_acquire) != kStateClosed) TlinkCloseComm();
  m_running.store(false, std::memory_order_release);
  if (m_thread) {
    {
      std::lock_guard lock(m_tickMutex);
      m_stop = true;
    }
    m_tickWake.notify_all();
    m_thread->wait();
    { std::lock_guard lock(m_tickMutex); }
    m_thread.reset();
  } else {
    m_frames.reset();
    m_transport.reset();
  }
  return true;
}

// Ticks come every period while nothing is asked (the idle poll), and at once
// when a request is posted: the tick that takes it runs on the wake-up and the
// tick that carries it out follows without a pause, so a request costs its
// exchanges, not a period. The period then runs again from the take, so the
// device sees the same sequence of frames as with requests taken on the beat.
void ProtocolEngine::RunTicks() {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + m_options.tickPeriod;
  std::unique_lock lock(m_tickMutex);
  while (!m_stop) {
    m_tickWake.wait_until(lock, next, [this] { return m_stop || m_requestPosted; });
    if (m_stop) break;
    const auto start = Clock::now();
    const bool early = start < next;
    m_requestPosted = false;
    lock.unlock();
    // A wake-up for a request that an earlier tick has already taken is no
    // reason for a tick: it would be an extra poll.
    if (early && !AnyPending()) {
      lock.lock();
      continue;
    }
    TlinkProtHandler();
    lock.lock();
    // A tick that ran past the period delays the next one; ticks never queue up.
    next = std::max(std::min(next, start) + m_options.tickPeriod, Clock::now());
    // A request just taken is carried out by the next tick, at once.
    const int state = m_state.load(std::memory_order_relaxed);
    if (state != kStateClosed && state != kStateReady) next = Clock::now();
  }
  // The channel was made on this thread and is closed on it, still under the
  // tick mutex: TlinkTerminate takes that mutex once the thread has ended, so
  // the hand-over is visible to tools that cannot see into QThread::wait.
  m_frames.reset();
  m_transport.reset();
}

void ProtocolEngine::EnsureTransport() {
  if (m_transport) return;
  m_transport = m_options.createTransport ? m_options.createTransport() : CreateSerialTransport(m_options.ports);
  m_frames = std::make_unique<FrameLink>(*m_transport, m_options.clock, &m_traceHook);
}

void ProtocolEngine::TlinkSetTracing(bool on) {
  if (on == TlinkTracing()) return;
  if (on) m_trace.Restart();
  m_traceHook.store(on ? &m_trace : nullptr, std::memory_order_release);
}

// ---- request slots ---------------------------------------------------------

template <typename Params>
bool ProtocolEngine::Post(Slot<Params>& slot, const Params& params, Answer& answer) {
  if (!m_running.load(std::memory_order_acquire)) return false;
  m_waiter.Wait([&slot] {
    int expected = kSlotFree;
    return slot.state.compare_exchange_strong(expected, kSlotFilling, std::memory_order_acq_rel);
  });
  slot.params = params;
  slot.answer = &answer;
  slot.state.store(kSlotPending, std::memory_order_release);
  {
    std::lock_guard lock(m_tickMutex);
    m_requestPosted = true;
  }
  m_tickWake.notify_all();
  m_waiter.Wait([&answer] { return answer.done.load(std::memory_order_acquire); });
  return answer.result;
}

template <typename Params>
bool ProtocolEngine::Pending(const Slot<Params>& slot) {
  return slot.state.load(std::memory_order_acquire) == kSlotPending;
}

bool ProtocolEngine::AnyPending() const {
  return Pending(m_open) || Pending(m_close) || Pending(m_send) || Pending(m_receive) || Pending(m_test) ||
         Pending(m_function) || Pending(m_liveRequest);
}

template <typename Params>
void ProtocolEngine::Reply(Slot<Params>& slot, bool result, const std::vector<uint8_t>* live,
                           const std::string* failure) {
  if (!Pending(slot)) return;
  Answer& answer = *slot.answer;
  answer.result = result;
  if (failure != nullptr && !result) answer.failure = *failure;
  answer.liveSize = m_liveSize.load(std::memory_order_relaxed);
  if (live != nullptr) answer.live = *live;
  // The answer is complete before the caller can see it done.
  answer.done.store(true, std::memory_order_release);
  slot.state.store(kSlotFree, std::memory_order_release);
  m_waiter.Wake();
}

bool ProtocolEngine::TlinkOpenComm(int32_t port, uint16_t deviceNumber, uint8_t& liveSize) {
  Answer answer;
  const bool ok = Post(m_open, OpenParams{port, deviceNumber}, answer);
  liveSize = answer.liveSize;
  return ok;
}

bool ProtocolEngine::TlinkCloseComm() {
  Answer answer;
  return Post(m_close, NoParams{}, answer);
}

Result<void> ProtocolEngine::TransferResult(bool ok, const Answer& answer) {
  if (ok) return {};
  return Fail(answer.failure.empty() ? "no connection to the device" : answer.failure);
}

Result<void> ProtocolEngine::TlinkSendData(uint16_t blockId, std::span<const uint8_t> data) {
  Answer answer;
  const bool ok = Post(m_send, SendParams{blockId, data}, answer);
  return TransferResult(ok, answer);
}

Result<void> ProtocolEngine::TlinkReceiveData(uint16_t blockId, std::span<uint8_t> buffer) {
  Answer answer;
  const bool ok = Post(m_receive, ReceiveParams{blockId, buffer}, answer);
  return TransferResult(ok, answer);
}

bool ProtocolEngine::TlinkGetErrorList(std::span<uint8_t, kErrorListBytes> buffer) {
  return TlinkReceiveData(kBlockErrorList, buffer).ok();
}

bool ProtocolEngine::TlinkSetTestOneShot(uint8_t first, uint8_t second) {
  Answer answer;
  return Post(m_test, ByteParams{first, second}, answer);
}

bool ProtocolEngine::TlinkSetFunction(uint8_t mode, uint8_t value) {
  Answer answer;
  return Post(m_function, ByteParams{mode, value}, answer);
}

std::optional<std::vector<uint8_t>> ProtocolEngine::TlinkGetLiveData(uint8_t size) {
  if (size != m_liveSize.load(std::memory_order_acquire)) return std::nullopt;
  Answer answer;
  if (!Post(m_liveRequest, NoParams{}, answer)) return std::nullopt;
  return std::move(answer.live);
}

// ---- queries ---------------------------------------------------------------

bool ProtocolEngine::TlinkGetState(bool& connected) const {
  connected = m_state.load(std::memory_order_acquire) != kStateClosed;
  return true;
}

std::optional<InfoData> ProtocolEngine::TlinkGetInfoData() const {
  if (m_state.load(std::memory_order_acquire) == kStateClosed) return std::nullopt;
  std::lock_guard lock(m_outputMutex);
  return m_info;
}

std::string ProtocolEngine::TlinkGetFwVersion() const {
  std::lock_guard lock(m_outputMutex);
  return m_fwVersion;
}

std::string ProtocolEngine::TlinkGetDataName() const {
  std::lock_guard lock(m_outputMutex);
  return m_dataName;
}

std::string ProtocolEngine::TlinkGetOpenError() const {
  std::lock_guard lock(m_outputMutex);
  return m_openError;
}

std::string CantConnectText(const ProtocolEngine& engine) {
  const std::string reason = engine.TlinkGetOpenError();
  return reason.empty() ? std::string("Can't connect...") : "Can't connect... " + reason;
}

std::vector<int32_t> ProtocolEngine::TlinkGetPortList() { return TlinkGetPortList(ScanPorts(*m_options.ports)); }

std::vector<int32_t> ProtocolEngine::TlinkGetPortList(const PortScan& scan) {
  std::vector<int32_t> list;
  if (m_options.listPorts) m_options.listPorts(list, scan);
  return list;
}

// ---- the tick --------------------------------------------------------------

void ProtocolEngine::TlinkProtHandler() {
  EnsureTransport();
  if (m_lastOk || m_state.load(std::memory_order_relaxed) == kStateClosed) {
    m_failCount = 0;
  } else if (++m_failCount >= kMaxFailingTicks) {
    DropConnection();
  }
  if (m_state.load(std::memory_order_relaxed) != kStateClosed) Reply(m_open, true);
  m_lastOk = true;

  switch (m_state.load(std::memory_order_relaxed)) {
    case kStateClosed:
      TickClosed();
      break;
    case kStateLive: {
      std::vector<uint8_t> live(m_liveSize.load(std::memory_order_relaxed));
      m_lastOk = m_frames->GetLiveData(m_device, 0, 0, live, static_cast<uint8_t>(live.size()));
      if (m_lastOk) StoreLive(live);
      Reply(m_liveRequest, m_lastOk, &live);
      m_state.store(kStateReady, std::memory_order_release);
      break;
    }
    case kStateReady:
      TickReady();
      break;
    case kStateSending:
      if (Pending(m_send)) {
        m_lastOk = m_frames->SendData(m_device, m_send.params.blockId, m_send.params.data);
        Reply(m_send, m_lastOk, nullptr, &m_frames->LastFailure());
        // The device renames its data set when a block is written.
        (void)RefreshInfoData();
        std::string name;
        (void)m_frames->GetDataName(m_device, name, 0);
        StoreText(m_dataName, name);
      }
      m_state.store(kStateReady, std::memory_order_release);
      break;
    case kStateForcing: {
      std::vector<uint8_t> live(m_liveSize.load(std::memory_order_relaxed));
      m_lastOk = m_frames->GetLiveData(m_device, m_forcedMode, m_forcedValue, live,
                                       static_cast<uint8_t>(live.size()));
      if (m_lastOk) StoreLive(live);
      Reply(m_function, m_lastOk);
      m_state.store(kStateReady, std::memory_order_release);
      break;
    }
    case kStateTesting:
      if (Pending(m_test)) {
        m_lastOk = m_frames->SetTestOneShot(m_device, m_test.params.first, m_test.params.second);
        Reply(m_test, m_lastOk);
      }
      m_state.store(kStateReady, std::memory_order_release);
      break;
    case kStateReceiving:
      if (Pending(m_receive)) {
        m_lastOk = m_frames->RequestData(m_device, m_receive.params.blockId, m_receive.params.buffer);
        Reply(m_receive, m_lastOk, nullptr, &m_frames->LastFailure());
      }
      m_state.store(kStateReady, std::memory_order_release);
      break;
    default:
      break;
  }
}

void ProtocolEngine::DropConnection() {
  Reply(m_open, false);
  m_state.store(kStateClosed, std::memory_order_release);
  {
    std::lock_guard lock(m_outputMutex);
    m_live.fill(0);
    m_info = InfoData{};
  }
  m_transport->CloseCommPort();
}

void ProtocolEngine::TickClosed() {
  if (Pending(m_open)) {
    m_device = m_open.params.device;
    const bool opened = m_transport->OpenCommPort(m_open.params.port);
    {
      std::lock_guard lock(m_outputMutex);
      m_openError = opened ? std::string() : m_transport->OpenError();
    }
    if (opened && OpenSequence()) {
      {
        std::lock_guard lock(m_outputMutex);
        m_live.fill(0);
      }
      m_state.store(kStateReady, std::memory_order_release);
      Reply(m_open, true);
    } else {
      m_transport->CloseCommPort();
      Reply(m_open, false);
    }
  }
  if (m_state.load(std::memory_order_relaxed) != kStateClosed) return;
  Reply(m_send, false);
  Reply(m_receive, false);
  Reply(m_test, false);
  Reply(m_function, false);
  Reply(m_liveRequest, false);
  Reply(m_close, true);
}

// The first ping wakes a device that has been idle and its outcome does not
// count; the second finds the live size that the connection agrees on.
bool ProtocolEngine::OpenSequence() {
  std::array<uint8_t, kMaxReplyPayload> scratch{};
  uint8_t size = 0;
  (void)m_frames->Ping(m_device, scratch, size);
  m_liveSize.store(size, std::memory_order_release);
  if (!RefreshInfoData()) return false;
  std::string text;
  const bool versionOk = m_frames->GetFwVersion(m_device, text);
  StoreText(m_fwVersion, text);
  if (!versionOk) return false;
  size = 0;
  const bool pingOk = m_frames->Ping(m_device, scratch, size);
  m_liveSize.store(size, std::memory_order_release);
  if (!pingOk) return false;
  const bool nameOk = m_frames->GetDataName(m_device, text, 0);
  StoreText(m_dataName, text);
  return nameOk;
}

void ProtocolEngine::TickReady() {
  if (Pending(m_close)) {
    m_transport->CloseCommPort();
    m_state.store(kStateClosed, std::memory_order_release);
    Reply(m_close, true);
  } else if (Pending(m_send)) {
    m_state.store(kStateSending, std::memory_order_release);
  } else if (Pending(m_receive)) {
    m_state.store(kStateReceiving, std::memory_order_release);
  } else if (Pending(m_test)) {
    m_state.store(kStateTesting, std::memory_order_release);
  } else if (Pending(m_function)) {
    m_forcedMode = m_function.params.first;
    m_forcedValue = m_function.params.second;
    m_state.store(kStateForcing, std::memory_order_release);
  } else if (Pending(m_liveRequest)) {
    m_state.store(kStateLive, std::memory_order_release);
  } else {
    m_lastOk = RefreshInfoData();
  }
}

// A failed exchange may have left part of a reply behind; the record keeps its
// last good content instead.
bool ProtocolEngine::RefreshInfoData() {
  std::array<uint8_t, kInfoRecordBytes> record{};
  if (!m_frames->ReadInfoData(m_device, record)) return false;
  const InfoData info = DecodeInfoRecord(record);
  std::lock_guard lock(m_outputMutex);
  m_info = info;
  return true;
}

void ProtocolEngine::StoreText(std::string& target, const std::string& text) {
  std::lock_guard lock(m_outputMutex);
  target = text.substr(0, kEngineTextChars);
}

void ProtocolEngine::StoreLive(std::span<const uint8_t> live) {
  std::lock_guard lock(m_outputMutex);
  std::copy_n(live.begin(), std::min(live.size(), m_live.size()), m_live.begin());
}

}  // namespace tavomark::link

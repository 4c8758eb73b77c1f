#pragma once
// How a caller of the engine waits until its request has been served. The
// engine calls Wake after every answer; Wait returns once served() is true.
//
// The desktop program waits in a nested event loop (EventLoopWaiter) so that
// its window keeps repainting; tavomark-cli and the tests block on a
// condition variable (ConditionWaiter).

#include <condition_variable>
#include <functional>
#include <mutex>

class QAbstractEventDispatcher;

namespace tavomark::link {

class RequestWaiter {
 public:
  virtual ~RequestWaiter() = default;
  // Called on the requesting thread; may be entered again from inside (a
  // nested event loop runs callbacks that post requests of their own).
  virtual void Wait(const std::function<bool()>& served) = 0;
  // Called on the engine's thread after it has answered a request.
  virtual void Wake() = 0;
};

class ConditionWaiter final : public RequestWaiter {
 public:
  void Wait(const std::function<bool()>& served) override;
  void Wake() override;

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
};

// Runs the calling thread's event loop until served() holds. Create it on the
// thread that will wait (it captures that thread's event dispatcher).
class EventLoopWaiter final : public RequestWaiter {
 public:
  EventLoopWaiter();
  void Wait(const std::function<bool()>& served) override;
  void Wake() override;

 private:
  QAbstractEventDispatcher* m_dispatcher = nullptr;
};

}  // namespace tavomark::link

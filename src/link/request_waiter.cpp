#include "request_waiter.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace tavomark::link {

void ConditionWaiter::Wait(const std::function<bool()>& served) {
  std::unique_lock lock(m_mutex);
  m_wake.wait(lock, served);
}

void ConditionWaiter::Wake() {
  // Taking the mutex orders this wake after a waiter's check of served(), so
  // an answer given between the check and the wait is not lost.
  { std::lock_guard lock(m_mutex); }
  m_wake.notify_all();
}

EventLoopWaiter::EventLoopWaiter() : m_dispatcher(QAbstractEventDispatcher::instance(QThread::currentThread())) {}

void EventLoopWaiter::Wait(const std::function<bool()>& served) {
  // A wake-up that arrives before the loop blocks is kept by the dispatcher,
  // so the loop cannot sleep through an answer.
  while (!served()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

void EventLoopWaiter::Wake() {
  if (m_dispatcher != nullptr) m_dispatcher->wakeUp();
}

}  // namespace tavomark::link

#pragma once
// Carrying work from a worker thread to the UI thread.
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace fahuo {

// Runs `fn` on `target`'s thread without waiting; calls made from one thread run in order.
template <typename Fn>
void PostToUi(QObject* target, Fn&& fn) {
  QMetaObject::invokeMethod(target, std::forward<Fn>(fn), Qt::QueuedConnection);
}

// Runs `fn` on `target`'s thread and waits for it (directly when already there).
template <typename Fn>
void RunOnUi(QObject* target, Fn&& fn) {
  if (QThread::currentThread() == target->thread()) {
    fn();
  } else {
    QMetaObject::invokeMethod(target, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
  }
}

}  // namespace fahuo

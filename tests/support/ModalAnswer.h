#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

namespace quillon::test {

// Waits in the message loop for the next modal window of type T and hands it to AAnswer, which
// must close it. Polls, since the window opens from a handler the test does not call itself.
template <class T>
void AnswerNextModal(std::function<void(T&)> AAnswer) {
  auto* Poll = new QTimer(qApp);
  Poll->setInterval(10);
  QObject::connect(Poll, &QTimer::timeout, [Poll, AAnswer] {
    if (auto* Window = qobject_cast<T*>(QApplication::activeModalWidget()); Window != nullptr && Window->isVisible()) {
      Poll->stop();
      Poll->deleteLater();
      AAnswer(*Window);
    }
  });
  Poll->start();
}

}  // namespace quillon::test

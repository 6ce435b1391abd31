#pragma once
// Records the message boxes that would have been shown, for as long as it lives.

#include <QStringList>

#include "shell/uServices.h"

namespace vedalia::test {

class FakeMessages : public IMessageService {
 public:
  FakeMessages() {
    Services s;
    s.messages = this;
    previous = SetAppServices(s);
  }
  ~FakeMessages() override { SetAppServices(previous); }
  void ShowMessage(QWidget*, MessageKind kind, const QString& text, const QString&) override {
    texts << text;
    kinds.push_back(kind);
  }
  QStringList texts;
  std::vector<MessageKind> kinds;

 private:
  Services previous;
};

}  // namespace vedalia::test

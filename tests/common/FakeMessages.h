#pragma once
// The message service's fake: records the boxes that would have been shown.

#include <QString>
#include <QStringList>
#include <vector>

#include "desktop/uServices.h"

namespace vedalia::test {

struct RecordedMessage {
  QWidget* parent;
  MessageKind kind;
  QString text;
  QString caption{};
};

class FakeMessages : public IMessageService {
 public:
  void ShowMessage(QWidget* parent, MessageKind kind, const QString& text,
                   const QString& caption) override {
    shown.push_back({parent, kind, text, caption});
  }
  QStringList Texts() const {
    QStringList texts;
    for (const RecordedMessage& m : shown) texts << m.text;
    return texts;
  }
  std::vector<RecordedMessage> shown;
};

// A FakeMessages that is the message service in force for as long as it lives.
class ScopedFakeMessages : public FakeMessages {
 public:
  ScopedFakeMessages() {
    Services s;
    s.messages = this;
    previous_ = SetAppServices(s);
  }
  ~ScopedFakeMessages() override { SetAppServices(previous_); }
  ScopedFakeMessages(const ScopedFakeMessages&) = delete;
  ScopedFakeMessages& operator=(const ScopedFakeMessages&) = delete;

 private:
  Services previous_;
};

}  // namespace vedalia::test

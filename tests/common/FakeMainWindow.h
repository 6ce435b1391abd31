#pragma once
// The main window as the command handler sees it: replies to the movie recorded, closing
// counted, a window of the default size.

#include <QSize>
#include <QStringList>

#include "shell/uCommandHandler.h"

namespace vedalia::test {

class FakeMainWindow : public IReplySink, public IMainWindowHost {
 public:
  void ReplyToMovie(const QString& text) override { replies << text; }
  QSize MainWindowOuterSize() const override { return QSize(1030, 770); }
  void CloseMainWindow() override { ++closed; }
  QWidget* MessageParent() const override { return nullptr; }
  QStringList replies;
  int closed = 0;
};

}  // namespace vedalia::test

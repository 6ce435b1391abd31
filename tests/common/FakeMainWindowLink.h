#pragma once
// The main window as a viewer reaches it: commands recorded with their sender, showings
// counted, a player of its own.

#include <QList>
#include <QStringList>

#include "flashhost/FlashPlayerControl.h"
#include "viewers/ViewerLinks.h"

namespace vedalia::test {

class FakeMainWindowLink : public IMainWindowLink {
 public:
  void ShPlayerFSCommand(QObject* sender, const QString& command, const QString& args) override {
    commands << QStringList{command, args};
    senders << sender;
  }
  TFlashPlayerControl* MainPlayer() override { return &player; }
  void ShowMainWindow() override { ++shown; }

  TFlashPlayerControl player;
  QList<QStringList> commands;
  QList<QObject*> senders;
  int shown = 0;
};

}  // namespace vedalia::test

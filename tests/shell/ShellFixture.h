#pragma once
// A temporary course below a fresh BaseDir with a real accounts database, a desktop folder
// for launchers, and fakes for the message service and the main window.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>

#include "common/FakeMainWindow.h"
#include "common/FakeMessages.h"
#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "misc/uMisc.h"
#include "shell/uCommandHandler.h"
#include "store/SealedFile.h"
#include "store/uTables.h"

namespace vedalia::testing {

using test::FakeMainWindow;
using test::FakeMessages;

class ShellFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    base = dir.path() + "/course/";
    ASSERT_TRUE(QDir().mkpath(base + "database"));
    ASSERT_TRUE(QDir().mkpath(base + "folders"));  // delivered with the course
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/desktop"));
    SetBaseDir(base);
    SetContentDir(base);
    CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
    previousLookup = SetSpecialFolderLookup(
        [this](int location) { return location == 0 ? dir.path() + "/desktop" : QString(); });
    Services services;
    services.messages = &messages;
    previousServices = SetAppServices(services);
    settingsPath = dir.path() + "/vedalia.ini";
    handler = makeHandler(true);
  }
  void TearDown() override {
    handler.reset();
    SetAppServices(previousServices);
    SetSpecialFolderLookup(previousLookup);
    SetBaseDir(QString());
    SetContentDir(QString());
  }

  std::unique_ptr<TMainCommandHandler> makeHandler(bool databaseAvailable) {
    TMainCommandHandler::Setup setup;
    setup.replies = &window;
    setup.mainWindow = &window;
    setup.openStore = [this] {
      ++storesOpened;
      return OpenCourseStore();
    };
    setup.databaseAvailable = databaseAvailable;
    setup.settingsPath = settingsPath;
    return std::make_unique<TMainCommandHandler>(std::move(setup));
  }

  // Sends one command and returns the replies it produced.
  QStringList send(const QString& command, const QString& args = QString()) {
    const qsizetype before = window.replies.size();
    handler->ShPlayerFSCommand(command, args);
    return window.replies.mid(before);
  }
  QString launcher(const QString& person) const {
    return dir.path() + "/desktop/" + ProductTitlePrefix() + person + ".desktop";
  }

  QTemporaryDir dir;
  QString base;
  QString settingsPath;
  FakeMessages messages;
  FakeMainWindow window;
  int storesOpened = 0;
  std::unique_ptr<TMainCommandHandler> handler;
  Services previousServices;
  SpecialFolderLookup previousLookup;
};

}  // namespace vedalia::testing

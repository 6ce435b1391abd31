#pragma once
// The main movie's command handler. The movie raises a command word and one argument text;
// the handler decodes the text, opens the per-event objects (media catalogue, and the
// account store when the database is available), runs the one command and answers the
// movie with at most one name=value reply. It runs without any window: the main window,
// the reply channel, the viewers and the store are reached through the small interfaces
// below, which the GUI implements and tests fake.

#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>

#include "desktop/uServices.h"
#include "media/uMediaTypes.h"

class QWidget;

namespace vedalia {

// Where replies to the movie go (the main player's FlashVars).
class IReplySink {
 public:
  virtual ~IReplySink() = default;
  virtual void ReplyToMovie(const QString& text) = 0;
};

// What the handler needs of the main window.
class IMainWindowHost {
 public:
  virtual ~IMainWindowHost() = default;
  // Outer size (frame included) of the main window, remembered at exit.
  virtual QSize MainWindowOuterSize() const = 0;
  // Closes the main window, which ends the program.
  virtual void CloseMainWindow() = 0;
  // Parent of the handler's message boxes (null: none).
  virtual QWidget* MessageParent() const = 0;
};

// Opens media items in viewer windows.
class IMediaOpener {
 public:
  virtual ~IMediaOpener() = default;
  virtual TOpenMediaResult OpenMedia(const QString& fileName, const QString& mediaType,
                                     const QString& objectName, const QString& userFolderName) = 0;
};

// The account and results store for one event: record strings in, replies out ("nil",
// "false", "isalready", an id, a record or list, or empty text for a write that succeeded).
// Operations may throw (a field that is no number, an engine failure).
class IAccountStore {
 public:
  virtual ~IAccountStore() = default;
  virtual QString AddUser(const QString& record) = 0;
  virtual QString ValidateUser(const QString& record) = 0;
  virtual QString GetUsersList() = 0;
  virtual QString GetUserResults(const QString& record) = 0;
  virtual QString AddTestResult(const QString& record) = 0;
  virtual QString DeleteUser(const QString& record) = 0;
  virtual QString SetPassword(const QString& record) = 0;
};
// Opens the store for one event (opening the database file); throws when it cannot.
using AccountStoreOpener = std::function<std::unique_ptr<IAccountStore>()>;
// The store on the course database below BaseDir().
std::unique_ptr<IAccountStore> OpenCourseStore();

// A field the command needs is missing from its argument text.
class MissingFieldError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sections and keys of the settings file.
inline constexpr char kUserSettings[] = "UserSettings";
inline constexpr char kGeneralSettings[] = "GeneralSettings";

class TMainCommandHandler {
 public:
  struct Setup {
    IReplySink* replies = nullptr;          // required
    IMainWindowHost* mainWindow = nullptr;  // required
    IMediaOpener* players = nullptr;        // null: media requests cannot be served
    AccountStoreOpener openStore;           // required when databaseAvailable
    bool databaseAvailable = false;
    QString settingsPath;  // the settings file
  };
  explicit TMainCommandHandler(Setup setup);

  // One event of the main movie (the player's OnFSCommand).
  void ShPlayerFSCommand(const QString& command, const QString& args);

  // The message the shell sends unasked when the user closes the main window.
  void SystemCloseRequested();

  // Login state.
  int CurrentUserId() const { return currentUserId; }
  const QString& UserFolderName() const { return userFolderName; }
  bool DatabaseAvailable() const { return setup.databaseAvailable; }
  // Set once at start-up, after the handler exists.
  void SetDatabaseAvailable(bool available) { setup.databaseAvailable = available; }

  // The decoded argument text: narrowed to Windows-1251, double quotes removed.
  static QString DecodeArgs(const QString& args);
  // True for the command words this handler answers.
  static bool IsKnownCommand(const QString& command);

 private:
  // What one event works on.
  struct Event {
    QString A;
    TMediaObjects* catalogue = nullptr;
    IAccountStore* store = nullptr;  // null without the database
  };
  struct Command {
    void (TMainCommandHandler::*run)(Event&) = nullptr;
    // A command that does not need the database runs even when the database cannot be
    // opened for its event.
    bool needsDatabase = false;
  };
  static const QHash<QString, Command>& commandTable();

  void ReplyToMovie(const QString& text);
  // Replies name + "=nety_basi" and returns true when the database is unavailable.
  bool answeredWithoutDatabase(const Event& e, const char* replyName);

  // Account commands.
  void cmdDebug(Event& e);
  void cmdAskLogin(Event& e);
  void cmdAddUser(Event& e);
  void cmdValidateUser(Event& e);
  void cmdGetUsersData(Event& e);
  void cmdClearUserData(Event& e);
  void cmdDeleteUser(Event& e);
  void cmdSetPassword(Event& e);
  void cmdAppExit(Event& e);

  // Results, files and printing commands.
  void cmdGetUserResults(Event& e);
  void cmdAddTestResult(Event& e);
  void cmdOpenFile(Event& e);
  void cmdSaveFile(Event& e);
  void cmdSaveTestToHtml(Event& e);
  void cmdPrintTestResult(Event& e);
  void cmdGetUsersFiles(Event& e);
  void cmdSaveFavorites(Event& e);

  // BaseDir() + "folders/" + the logged-in user's folder + "/" (folders/ itself for nobody).
  QString PersonalFolder() const;
  void ensurePersonalFolder() const;
  void showMessage(MessageKind kind, const QString& text);

  Setup setup;
  int currentUserId = 0;
  QString userFolderName;
};

// The fields of a record from the movie, split as SplitString does.
QStringList SplitFields(const QString& text, QChar separator);
// Field i of `fields`, or MissingFieldError.
const QString& FieldAt(const QStringList& fields, int i);

}  // namespace vedalia

#include "shell/uCommandHandler.h"

#include <QDebug>
#include <exception>
#include <optional>

#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "misc/uMisc.h"
#include "platform/Cp1251.h"
#include "platform/Log.h"
#include "shell/uSettingsFile.h"
#include "store/uCrypto.h"

namespace vedalia {

namespace {

QString personalRoot() { return BaseDir() + QStringLiteral("folders/"); }

// Fields of an account record as the store gives it.
constexpr int kAccountRecordFields = 14;

// The longest name of one level that the file systems in use take, in bytes of its UTF-8 form.
constexpr int kMaxNameBytes = 255;

// Folder levels a record names must stay single levels below folders/.
bool plainLevels(const QString& classFolder, const QString& personFolder) {
  return (classFolder.isNull() || IsPlainName(classFolder)) && IsPlainName(personFolder);
}

// An account record's personal folder, the same at log-in and at deletion.
struct AccountFolder {
  QString person;  // surname, a blank and the name: also the launcher's name
  QString path;    // below folders/
};

// A pupil's folder lies in its class folder; a privileged account's directly below folders/.
// Nothing when a name in the record would not stay one level.
std::optional<AccountFolder> accountFolder(const QStringList& r) {
  const QString person = FieldAt(r, 3) + QLatin1Char(' ') + FieldAt(r, 1);
  const bool privileged = FieldAt(r, 13) == QLatin1String("1");
  const QString classFolder = privileged ? QString() : FieldAt(r, 8) + FieldAt(r, 9);
  if (!plainLevels(classFolder, person)) return std::nullopt;
  return AccountFolder{person, privileged ? person : classFolder + QLatin1Char('/') + person};
}

}  // namespace

QStringList SplitFields(const QString& text, QChar separator) {
  QStringList fields;
  SplitString(fields, text, separator);
  return fields;
}

const QString& FieldAt(const QStringList& fields, int i) {
  if (i < 0 || i >= fields.size())
    throw MissingFieldError("field " + std::to_string(i) + " is missing");
  return fields[i];
}

TMainCommandHandler::TMainCommandHandler(Setup s) : setup(std::move(s)) {}

QString TMainCommandHandler::DecodeArgs(const QString& args) {
  return RemoveChars(NarrowToCp1251(args), QStringLiteral("\""));
}

const QHash<QString, TMainCommandHandler::Command>& TMainCommandHandler::commandTable() {
  using H = TMainCommandHandler;
  static const QHash<QString, Command> table = {
      {QStringLiteral("debug"), {&H::cmdDebug, false}},
      {QStringLiteral("askLogin"), {&H::cmdAskLogin, false}},
      {QStringLiteral("addUser"), {&H::cmdAddUser, true}},
      {QStringLiteral("validateUser"), {&H::cmdValidateUser, true}},
      {QStringLiteral("getUsersData"), {&H::cmdGetUsersData, true}},
      {QStringLiteral("clearUserData"), {&H::cmdClearUserData, true}},
      {QStringLiteral("deleteUser"), {&H::cmdDeleteUser, true}},
      {QStringLiteral("setPassword"), {&H::cmdSetPassword, true}},
      {QStringLiteral("app_exit"), {&H::cmdAppExit, false}},
      {QStringLiteral("getUserResults"), {&H::cmdGetUserResults, true}},
      {QStringLiteral("addTestResult"), {&H::cmdAddTestResult, true}},
      {QStringLiteral("open_file"), {&H::cmdOpenFile, false}},
      {QStringLiteral("save_file"), {&H::cmdSaveFile, false}},
      {QStringLiteral("save_test_to_html"), {&H::cmdSaveTestToHtml, false}},
      {QStringLiteral("print_test_result"), {&H::cmdPrintTestResult, false}},
      {QStringLiteral("getUsersFiles"), {&H::cmdGetUsersFiles, false}},
      {QStringLiteral("saveFavorites"), {&H::cmdSaveFavorites, false}},
  };
  return table;
}

bool TMainCommandHandler::IsKnownCommand(const QString& command) {
  return commandTable().contains(command);
}

void TMainCommandHandler::ShPlayerFSCommand(const QString& command, const QString& args) {
  Event e;
  e.A = DecodeArgs(args);
  TMediaObjects catalogue;
  e.catalogue = &catalogue;
  std::unique_ptr<IAccountStore> store;
  const auto it = commandTable().constFind(command);
  const bool known = it != commandTable().constEnd();
  try {
    // The database is opened for every event while it is available, used or not. When it
    // cannot be opened, only the commands that need it end here.
    if (setup.databaseAvailable) {
      try {
        store = setup.openStore ? setup.openStore() : nullptr;
      } catch (const std::exception& error) {
        if (!known || it->needsDatabase) throw;
        qCWarning(lcShell).noquote() << "database not opened for" << command << ":" << error.what();
      }
      if (!store && (!known || it->needsDatabase)) return;
      e.store = store.get();
    }
    if (known) (this->*(it->run))(e);
  } catch (const std::exception& error) {
    // The event ends without an answer; what was done before the error stays.
    qCWarning(lcShell).noquote() << "command" << command << "ended:" << error.what();
  }
}

void TMainCommandHandler::ReplyToMovie(const QString& text) {
  if (setup.replies) setup.replies->ReplyToMovie(text);
}

void TMainCommandHandler::SystemCloseRequested() { ReplyToMovie(QStringLiteral("exit=true")); }

bool TMainCommandHandler::answeredWithoutDatabase(const Event& e, const char* replyName) {
  if (e.store) return false;
  ReplyToMovie(QLatin1String(replyName) + QStringLiteral("=nety_basi"));
  return true;
}

// ---- Commands ------------------------------------------------------------------------------

void TMainCommandHandler::cmdDebug(Event& e) {
  AppServices().messages->ShowMessage(
      setup.mainWindow ? setup.mainWindow->MessageParent() : nullptr, MessageKind::Plain, e.A);
}

void TMainCommandHandler::cmdAskLogin(Event&) {
  const TIniFile ini(setup.settingsPath);
  static const char* const keys[] = {"LastSurname", "LastName", "LastClass", "LastPassword"};
  QStringList values;
  for (const char* key : keys) {
    if (!ini.ValueExists(kUserSettings, key)) {
      ReplyToMovie(QStringLiteral("askedLogin = nil"));
      return;
    }
    values << DecodeStr(ini.ReadString(kUserSettings, key), kFieldCipherKey);
  }
  ReplyToMovie(QStringLiteral("askedLogin=") + values.join(QLatin1Char(';')));
}

void TMainCommandHandler::cmdAddUser(Event& e) {
  if (answeredWithoutDatabase(e, "registred")) return;
  const QStringList f = SplitFields(e.A, QLatin1Char(';'));
  // Without its shortcut flag (an empty last field is dropped by the split) the record is
  // refused before the account exists, so no account is left made but unanswered. With fewer
  // fields the reads below end the event before anything is written.
  if (f.size() == 4) {
    ReplyToMovie(QStringLiteral("registred=false"));
    return;
  }
  const QString& name = FieldAt(f, 0);
  const QString& surname = FieldAt(f, 1);
  const QString& classLetter = FieldAt(f, 2);
  const QString& password = FieldAt(f, 3);
  const QString& shortcut = FieldAt(f, 4);

  // The account keeps only the letter's first character; its folder, found again at log-in
  // and deletion from the account, must use the same one.
  const QString classFolder = QStringLiteral("8") + classLetter.left(1);
  const QString personFolder = surname + QLatin1Char(' ') + name;
  // A name that would lead the personal folder out of folders/, or that no file system takes
  // as one level, is refused before the account exists, so no account is left without its
  // folder.
  if (!plainLevels(QStringLiteral("8") + classLetter, personFolder) ||
      personFolder.toUtf8().size() > kMaxNameBytes) {
    ReplyToMovie(QStringLiteral("registred=false"));
    return;
  }

  const QStringList record = {name,
                              QStringLiteral("Батькович"),
                              surname,
                              QStringLiteral("1.1.2001"),
                              name,
                              password,
                              classLetter,
                              QStringLiteral("true"),
                              QStringLiteral("true"),
                              QStringLiteral("8"),
                              QStringLiteral("0")};
  const QString id = e.store->AddUser(record.join(QLatin1Char(';')));
  if (id == QLatin1String("false") || id == QLatin1String("isalready")) {
    ReplyToMovie(QStringLiteral("registred=false"));
    return;
  }

  const QString folder = classFolder + QLatin1Char('/') + personFolder;
  ForceFolderPath(personalRoot(), folder);
  if (shortcut == QLatin1String("1")) CreateDesktopShortcut(personalRoot() + folder);
  if (currentUserId != 1) {
    currentUserId = id.toInt();
    userFolderName = folder;
  }
  ReplyToMovie(QStringLiteral("registred=") + id);
}

void TMainCommandHandler::cmdValidateUser(Event& e) {
  if (answeredWithoutDatabase(e, "validated")) return;
  const QString record = e.store->ValidateUser(e.A);
  if (record == QLatin1String("nil") || record == QLatin1String("false")) {
    ReplyToMovie(QStringLiteral("validated=false"));
    return;
  }
  const QStringList r = SplitFields(record, QLatin1Char(';'));
  const auto folder = accountFolder(r);
  if (!folder) {
    ReplyToMovie(QStringLiteral("validated=false"));
    return;
  }
  bool ok = false;
  const int id = FieldAt(r, 0).toInt(&ok);
  if (!ok) throw std::runtime_error("account id is no number");
  currentUserId = id;
  userFolderName = folder->path;
  ReplyToMovie(QStringLiteral("validated=") + record);
}

void TMainCommandHandler::cmdGetUsersData(Event& e) {
  if (answeredWithoutDatabase(e, "UsersData")) return;
  const QString list = e.store->GetUsersList();
  if (list == QLatin1String("nil") || list == QLatin1String("false"))
    ReplyToMovie(QStringLiteral("UsersData=nil"));
  else
    ReplyToMovie(QStringLiteral("UsersData=") + list);
}

void TMainCommandHandler::cmdClearUserData(Event& e) {
  if (!e.store) return;
  currentUserId = 0;
  userFolderName.clear();
}

void TMainCommandHandler::cmdDeleteUser(Event& e) {
  if (answeredWithoutDatabase(e, "UserDeleted")) return;
  const QString found = e.store->ValidateUser(e.A);
  const QStringList r = SplitFields(found, QLatin1Char(';'));
  // The record names the folder and the launcher; without one (no such account) there is
  // nothing of the kind to remove. The folder is the one log-in gives the account, so a
  // privileged account's goes too.
  std::optional<AccountFolder> folder;
  if (r.size() >= kAccountRecordFields) {
    folder = accountFolder(r);
    if (!folder) {
      ReplyToMovie(QStringLiteral("UserDeleted=false"));
      return;
    }
  }
  if (e.store->DeleteUser(e.A) == QLatin1String("false")) {
    ReplyToMovie(QStringLiteral("UserDeleted=false"));
    return;
  }
  if (folder) {
    if (!DeleteFolderTree(personalRoot() + folder->path))
      qCWarning(lcShell).noquote() << "personal folder of" << folder->person << "not removed";
    DeleteDesktopShortcut(folder->person);
  }
  ReplyToMovie(QStringLiteral("UserDeleted=true"));
}

void TMainCommandHandler::cmdSetPassword(Event& e) {
  if (!e.store) return;
  e.store->SetPassword(e.A);
}

void TMainCommandHandler::cmdAppExit(Event& e) {
  // The window closes whatever happens to the settings.
  struct CloseAtEnd {
    IMainWindowHost* window;
    ~CloseAtEnd() {
      if (window) window->CloseMainWindow();
    }
  } closeAtEnd{setup.mainWindow};

  try {
    TIniFile ini(setup.settingsPath);
    static const char* const keys[] = {"LastSurname", "LastName", "LastClass", "LastPassword"};
    if (e.A == QLatin1String("0")) {
      for (const char* key : keys) ini.DeleteKey(kUserSettings, key);
    } else {
      const QStringList f = SplitFields(e.A, QLatin1Char(';'));
      for (int i = 0; i < 4; ++i) FieldAt(f, i);  // all four or none
      for (int i = 0; i < 4; ++i)
        ini.WriteString(kUserSettings, keys[i], EncodeStr(f[i], kFieldCipherKey));
    }
    const QSize size = setup.mainWindow ? setup.mainWindow->MainWindowOuterSize() : QSize();
    ini.WriteInteger(kGeneralSettings, QStringLiteral("FWid"), size.width());
    ini.WriteInteger(kGeneralSettings, QStringLiteral("FHei"), size.height());
  } catch (const std::exception& error) {
    qCWarning(lcShell).noquote() << "settings not saved at exit:" << error.what();
  }
}

}  // namespace vedalia

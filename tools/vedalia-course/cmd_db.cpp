// db: the accounts database for a school's teacher or administrator. The shell never
// creates the database; these commands make it (a file, or the two tables on a classroom
// server), add accounts the way the shell's registration does, list accounts and results
// (read-only) and copy a whole database between a file and a server.
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <iostream>
#include <map>

#include "CourseCommand.h"
#include "platform/Cp1251.h"
#include "store/PgConnection.h"
#include "store/PgStore.h"
#include "store/StoreErrors.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia::course {
namespace {

QString FromArg(const std::string& arg) { return QString::fromLocal8Bit(arg.c_str()); }

void Print(const QString& line) { std::cout << line.toStdString() << "\n"; }

int Fail(const QString& message) {
  std::cerr << "vedalia-course db: " << message.toStdString() << "\n";
  return 1;
}

int Usage(const QString& message) {
  std::cerr << "vedalia-course db: " << message.toStdString() << "\n(see vedalia-course --help)\n";
  return 2;
}

int EngineFailure(const QString& path, const EngineError& e) {
  // A server's messages name it themselves; its URL is shown without a password.
  if (IsServerUrl(path)) return Fail(RedactedUrl(path) + ": " + QString::fromStdString(e.what()));
  switch (e.kind()) {
    case EngineError::Kind::FileMissing:
      return Fail(path + ": no such database file");
    case EngineError::Kind::BadSignature:
      return Fail(path + ": not a course database (wrong signature)");
    case EngineError::Kind::Damaged:
      return Fail(path + ": the database file is damaged");
    case EngineError::Kind::Locked:
      return Fail(path + ": the database is in use by another program");
    default:
      return Fail(QString::fromStdString(e.what()));
  }
}

bool HasTable(TDM& dm, const QString& table) {
  try {
    dm.Database.Backend().TableColumns(table);
    return true;
  } catch (const EngineError& e) {
    if (e.kind() != EngineError::Kind::Sql) throw;
    return false;
  }
}

// The two tables on a server, made in one transaction; tables there already are never
// touched.
int CreateOnServer(const QString& url) {
  try {
    TDM dm(url);
    for (const char* table : {"users", "results"}) {
      if (HasTable(dm, QLatin1String(table))) {
        return Fail(RedactedUrl(url) + ": the table \"" + table +
                    "\" exists already; nothing was changed");
      }
    }
    dm.Database.StartTransaction();
    for (const QString& statement : ServerSchema())
      dm.Database.Backend().Run(statement, {}, /*wantRows=*/false);
    dm.Database.Commit();
  } catch (const EngineError& e) {
    return EngineFailure(url, e);
  }
  Print(RedactedUrl(url) + ": empty accounts tables created");
  return 0;
}

int Create(const QString& path) {
  if (IsServerUrl(path)) return CreateOnServer(path);
  if (QFileInfo::exists(path)) return Fail(path + ": exists already; it is not replaced");
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) return Fail(folder + ": cannot create the folder");
  try {
    CreateDatabaseFile(path);
  } catch (const EngineError& e) {
    return EngineFailure(path, e);
  }
  Print(path + ": empty database created");
  return 0;
}

int Upgrade(const QString& path) {
  bool converted = false;
  try {
    UpgradeDatabaseFile(path, &converted);
  } catch (const EngineError& e) {
    return EngineFailure(path, e);
  }
  Print(path + (converted ? ": converted to the page-encrypted format" : ": already current"));
  return 0;
}

// Options of add-account with their defaults: the values the shell's registration gives.
int AddAccount(const QString& path, const std::vector<std::string>& args) {
  std::map<std::string, QString> o = {{"--father-name", QStringLiteral("Батькович")},
                                      {"--birth-date", QStringLiteral("1.1.2001")},
                                      {"--sex", QStringLiteral("true")},
                                      {"--class-number", QStringLiteral("8")}};
  bool privileged = false;
  static const char* const kValued[] = {"--name",     "--surname",     "--class-letter",
                                        "--password", "--father-name", "--birth-date",
                                        "--sex",      "--login",       "--class-number"};
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--privileged") {
      privileged = true;
      continue;
    }
    bool known = false;
    for (const char* name : kValued) known = known || args[i] == name;
    if (!known) return Usage("unknown option " + FromArg(args[i]));
    if (i + 1 >= args.size()) return Usage(FromArg(args[i]) + " needs a value");
    o[args[i]] = FromArg(args[i + 1]);
    ++i;
  }
  for (const char* required : {"--name", "--surname", "--class-letter", "--password"}) {
    if (o[required].isEmpty()) return Usage(QString::fromLatin1(required) + " is required");
  }
  if (!o.count("--login")) o["--login"] = o["--name"];
  bool isNumber = false;
  o["--class-number"].toInt(&isNumber);
  if (!isNumber) return Usage(QStringLiteral("--class-number needs a whole number"));
  if (o["--class-letter"].size() != 1) return Usage(QStringLiteral("--class-letter is one letter"));
  for (const auto& [option, value] : o) {
    if (value.contains(';'))
      return Fail(QString::fromStdString(option) + ": \";\" cannot be stored");
    if (value.contains('"'))
      return Fail(QString::fromStdString(option) + ": '\"' cannot be stored");
    if (NarrowToCp1251(value) != value) {
      return Fail(QString::fromStdString(option) + ": \"" + value +
                  "\" has characters outside the course's code page (Windows-1251)");
    }
  }
  const QString record =
      QStringList{
          o["--name"],         o["--father-name"],  o["--surname"],        o["--birth-date"],
          o["--login"],        o["--password"],     o["--class-letter"],   o["--sex"],
          QStringLiteral("-"), o["--class-number"], privileged ? "1" : "0"}
          .join(';');
  QString reply;
  try {
    TDBTransaction tx(path);
    reply = tx.AddUser(record);
  } catch (const EngineError& e) {
    return EngineFailure(path, e);
  } catch (const std::exception& e) {
    return Fail(QString::fromStdString(e.what()));
  }
  if (reply == QLatin1String("isalready")) {
    return Fail(QStringLiteral("an account with this name, surname and class letter exists"));
  }
  if (reply == QLatin1String("false")) return Fail(path + ": the account could not be stored");
  Print(QStringLiteral("account %1 added%2").arg(reply, privileged ? " (privileged)" : ""));
  return 0;
}

// CSV for spreadsheets: fields quoted where they need it, UTF-8 with a byte-order mark so
// that spreadsheets read the Cyrillic names right.
QString CsvField(const QString& value) {
  if (!value.contains(',') && !value.contains('"') && !value.contains('\n') &&
      !value.contains('\r') && value.trimmed() == value) {
    return value;
  }
  QString quoted = value;
  quoted.replace('"', QStringLiteral("\"\""));
  return '"' + quoted + '"';
}

// Tab-separated text: a tab, a line break or a backslash inside a field is written as a
// backslash escape (\t, \n, \r, \\), so every row stays one line of the same columns.
QString TsvField(QString value) {
  value.replace('\\', QStringLiteral("\\\\"));
  value.replace('\t', QStringLiteral("\\t"));
  value.replace('\n', QStringLiteral("\\n"));
  return value.replace('\r', QStringLiteral("\\r"));
}

int List(const QString& path, const QString& statement, const QStringList& header, bool csv) {
  try {
    TDM dm(path);
    dm.Query.AddLine(statement);
    dm.Query.Open();
    if (csv) std::cout << "\xEF\xBB\xBF";
    const auto writeRow = [&](const QStringList& values) {
      QStringList fields;
      for (const QString& v : values) fields << (csv ? CsvField(v) : TsvField(v));
      if (!csv) return Print(fields.join('\t'));
      std::cout << fields.join(',').toStdString() << "\r\n";
    };
    writeRow(header);
    for (dm.Query.First(); !dm.Query.Eof(); dm.Query.Next()) {
      QStringList values;
      for (int i = 0; i < dm.Query.FieldCount(); ++i) values << dm.Query.FieldText(i);
      writeRow(values);
    }
  } catch (const EngineError& e) {
    return EngineFailure(path, e);
  }
  return 0;
}

int Users(const QString& path) {
  return List(path,
              QStringLiteral("SELECT U_id, U_SurName, U_name, U_Father_Name, U_class_numb, "
                             "U_class_literal, U_login, U_Birth_date, U_sex, U_last_enter_date, "
                             "U_Privileges FROM `users` ORDER BY U_id"),
              {"id", "surname", "name", "father's name", "class", "letter", "login", "born", "sex",
               "registered", "privileged"},
              false);
}

int Results(const QString& path, bool csv) {
  return List(path,
              QStringLiteral("SELECT r.U_id, u.U_SurName, u.U_name, u.U_class_numb, "
                             "u.U_class_literal, r.R_Glava, r.R_Razv, r.R_Test_Num, r.R_Last_Res, "
                             "r.R_Best_Res, r.R_Avg_Res, r.R_Num_Pop, r.R_Dop_Inf "
                             "FROM `results` r LEFT JOIN `users` u ON u.U_id = r.U_id "
                             "ORDER BY r.U_id, r.R_Glava, r.R_Razv, r.R_Test_Num"),
              {"id", "surname", "name", "class", "letter", "chapter", "section", "test", "last",
               "best", "average", "attempts", "extra"},
              csv);
}

// Every row of a table in the order of its key.
SqlResult AllRows(TDM& dm, const QString& table, const QString& order) {
  return dm.Database.Backend().Run("SELECT * FROM `" + table + "` ORDER BY " + order, {},
                                   /*wantRows=*/true);
}

void InsertAll(TDM& dm, const QString& table, const SqlResult& rows) {
  SqlBindings row;
  for (const auto& values : rows.rows) {
    row.clear();
    for (std::size_t i = 0; i < values.size(); ++i)
      row.emplace_back(rows.columns[i].name, values[i]);
    dm.Database.Backend().Insert(table, row);
  }
}

int Copy(const QString& from, const QString& to) {
  if (QFileInfo(from).absoluteFilePath() == QFileInfo(to).absoluteFilePath() || from == to)
    return Usage(QStringLiteral("copy needs two different databases"));
  SqlResult users, results;
  try {
    // The source is held against writers while it is read, so accounts and results agree.
    TDM source(from);
    source.Database.StartTransaction();
    source.Database.LockTable(QStringLiteral("users"));
    source.Database.LockTable(QStringLiteral("results"));
    users = AllRows(source, QStringLiteral("users"), QStringLiteral("U_id"));
    results = AllRows(source, QStringLiteral("results"),
                      QStringLiteral("U_id, R_Glava, R_Razv, R_Test_Num"));
    source.Database.Rollback();
  } catch (const EngineError& e) {
    return EngineFailure(from, e);
  }

  const bool toServer = IsServerUrl(to);
  if (!toServer && QFileInfo::exists(to))
    return Fail(to + ": exists already; a copy goes into a new file");
  bool madeFile = false;
  try {
    // A new file, or a server whose tables are empty or missing (then made in the copy's
    // transaction, so a failed copy leaves none behind).
    std::unique_ptr<TDM> target;
    bool makeTables = false;
    if (toServer) {
      target = std::make_unique<TDM>(to);
      const bool hasUsers = HasTable(*target, QStringLiteral("users"));
      if (hasUsers != HasTable(*target, QStringLiteral("results")))
        return Fail(RedactedUrl(to) + ": only one of the two tables exists; nothing was copied");
      makeTables = !hasUsers;
    } else {
      if (!QDir().mkpath(QFileInfo(to).absolutePath()))
        return Fail(QFileInfo(to).absolutePath() + ": cannot create the folder");
      CreateDatabaseFile(to);
      madeFile = true;
      target = std::make_unique<TDM>(to);
    }
    TDM& dm = *target;
    dm.Database.StartTransaction();
    if (makeTables) {
      for (const QString& statement : ServerSchema())
        dm.Database.Backend().Run(statement, {}, /*wantRows=*/false);
    } else if (toServer) {
      dm.Database.LockTable(QStringLiteral("users"));
      dm.Database.LockTable(QStringLiteral("results"));
      for (const char* table : {"users", "results"}) {
        const QString probe = QStringLiteral("SELECT 1 FROM `%1` LIMIT 1").arg(table);
        if (!dm.Database.Backend().Run(probe, {}, /*wantRows=*/true).rows.empty()) {
          dm.Database.Rollback();
          return Fail(RedactedUrl(to) + ": the table \"" + table +
                      "\" holds rows already; nothing was copied");
        }
      }
    }
    InsertAll(dm, QStringLiteral("users"), users);
    InsertAll(dm, QStringLiteral("results"), results);
    dm.Database.Commit();
  } catch (const EngineError& e) {
    // A file made for the copy goes again; a server's transaction has rolled back.
    if (madeFile) {
      for (const char* suffix : {"", "-journal", "-wal", "-shm"}) QFile::remove(to + suffix);
    }
    return EngineFailure(to, e);
  }
  Print(QStringLiteral("%1 accounts and %2 results copied to %3")
            .arg(users.rows.size())
            .arg(results.rows.size())
            .arg(toServer ? RedactedUrl(to) : to));
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() < 2)
    return Usage(
        QStringLiteral("expected: db create|upgrade|add-account|users|results|copy DATABASE"));
  const std::string& what = args[0];
  const QString path = FromArg(args[1]);
  const std::vector<std::string> rest(args.begin() + 2, args.end());
  if (what == "create" && rest.empty()) return Create(path);
  if (what == "upgrade" && rest.empty()) {
    if (IsServerUrl(path)) return Usage(QStringLiteral("upgrade converts a file, not a server"));
    return Upgrade(path);
  }
  if (what == "copy" && rest.size() == 1) return Copy(path, FromArg(rest[0]));
  if (what == "add-account") return AddAccount(path, rest);
  if (what == "users" && rest.empty()) return Users(path);
  if (what == "results" && (rest.empty() || (rest.size() == 1 && rest[0] == "--csv"))) {
    return Results(path, !rest.empty());
  }
  return Usage("bad arguments for db " + FromArg(what));
}

const CourseCommandRegistrar registrar({
    "db",
    "db create DATABASE           a new, empty accounts database (never replaces a file or\n"
    "                               tables); DATABASE is a file or postgresql://HOST:PORT/DB\n"
    "  db add-account PATH --surname S --name N --class-letter L --password P\n"
    "                   [--privileged] [--class-number 8] [--father-name F] [--birth-date D]\n"
    "                   [--sex X] [--login L]   an account, encoded as the shell's registration\n"
    "  db upgrade PATH              convert an older database file in place\n"
    "  db users PATH                the accounts, tab-separated (\\t \\n \\r \\\\ escaped)\n"
    "  db results PATH [--csv]      every test result with its pupil (CSV for spreadsheets)\n"
    "  db copy FROM TO              every account and result into a new file or into a\n"
    "                               server's empty (or missing) tables, in one transaction",
    &Run,
});

}  // namespace
}  // namespace vedalia::course

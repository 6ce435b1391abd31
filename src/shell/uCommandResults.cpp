// The main movie's results, files and printing commands.

#include <QFileInfo>
#include <QPrinter>
#include <QTextDocument>
#include <cmath>

#include "desktop/uServices.h"
#include "media/uDecryptor.h"
#include "misc/uMisc.h"
#include "platform/Cp1251.h"
#include "platform/Log.h"
#include "platform/SafePath.h"
#include "shell/uCommandHandler.h"

namespace vedalia {
namespace {

QByteArray textFileBytes(const QString& text) { return ToCp1251(text) + "\r\n"; }

// Writes `text` and a line break as 8-bit text, replacing the file only once it is complete;
// no link below BaseDir is followed on the way.
bool writeTextFile(const QString& path, const QString& text) {
  return ReplaceFileConfined(path, textFileBytes(text));
}

// True when a favourites file may be written into `dir` under `name`: never into the
// database folder or the content tree, never over the main movie (compared as the file
// system sees them now, whatever path led there).
bool mayHoldFavorites(const SafeDir& dir, const QString& name) {
  const FileIdentity here = dir.Identity();
  for (const QString& courseOwn :
       {BaseDir() + QStringLiteral("database"), ContentDir() + QStringLiteral("data")}) {
    const FileIdentity id = IdentityOf(courseOwn);
    if (id.valid && id == here) return false;
  }
  return name.isNull() || here != IdentityOf(ContentDir()) ||
         name.compare(QLatin1String("start.swf"), Qt::CaseInsensitive) != 0;
}

}  // namespace

QString TMainCommandHandler::PersonalFolder() const {
  QString folder = BaseDir() + QStringLiteral("folders/");
  if (!userFolderName.isEmpty()) folder += userFolderName + QLatin1Char('/');
  return folder;
}

void TMainCommandHandler::ensurePersonalFolder() const {
  if (!QFileInfo(PersonalFolder()).isDir())
    ForceFolderPath(BaseDir() + QStringLiteral("folders/"), userFolderName);
}

void TMainCommandHandler::showMessage(MessageKind kind, const QString& text) {
  AppServices().messages->ShowMessage(
      setup.mainWindow ? setup.mainWindow->MessageParent() : nullptr, kind, text);
}

void TMainCommandHandler::cmdGetUserResults(Event& e) {
  if (answeredWithoutDatabase(e, "UserResults")) return;
  const QString results = e.store->GetUserResults(e.A);
  if (results == QLatin1String("nil") || results == QLatin1String("false"))
    ReplyToMovie(QStringLiteral("UserResults=nil"));
  else
    ReplyToMovie(QStringLiteral("UserResults=") + results);
}

void TMainCommandHandler::cmdAddTestResult(Event& e) {
  if (answeredWithoutDatabase(e, "ResultAdded")) return;
  const QString answer = e.store->AddTestResult(e.A);
  const bool failed = answer == QLatin1String("nil") || answer == QLatin1String("false");
  ReplyToMovie(failed ? QStringLiteral("ResultAdded=false") : QStringLiteral("ResultAdded=true"));
}

void TMainCommandHandler::cmdOpenFile(Event& e) {
  const QStringList f = SplitFields(e.A, QLatin1Char('|'));
  const QString& fileName = FieldAt(f, 0);
  const QString& mediaType = FieldAt(f, 1);
  const QString objectName = f.size() > 2 ? f[2] : QString();
  if (!setup.players) throw std::runtime_error("no player set to open media");
  ReportOpenMediaResult(setup.mainWindow ? setup.mainWindow->MessageParent() : nullptr,
                        setup.players->OpenMedia(fileName, mediaType, objectName, userFolderName));
}

void TMainCommandHandler::cmdSaveFile(Event& e) {
  const QStringList l = SplitFields(e.A, QLatin1Char(';'));
  const long items = std::lround((l.size() - 1) / 3.0);
  bool allCopied = true;
  for (long i = 0; i < items; ++i) {
    const QString& fileName = FieldAt(l, int(3 * i + 1));
    const QString& mediaType = FieldAt(l, int(3 * i + 2));
    // Names come from the movie: a file outside the type's folder does not exist for it, and
    // a copy that would land outside the personal folder is not made.
    const QString source =
        IsPlainName(fileName)
            ? ResolveContentFile(ContentDir() + e.catalogue->GetFolderPath(mediaType) + fileName)
            : QString();
    if (source.isEmpty() || !QFileInfo(source).isFile()) {
      allCopied = false;
      continue;
    }
    // The name is needed only for a file that exists: a missing file counts as not copied
    // even when its triple lacks the name.
    const QString& name = FieldAt(l, int(3 * i + 3));
    const QString targetName = e.catalogue->GetTitle(mediaType) + QLatin1Char('_') + name +
                               QLatin1Char('.') + fileName.right(3);
    if (!IsPlainName(targetName)) {
      allCopied = false;
      continue;
    }
    ensurePersonalFolder();
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : fileName.mid(dot + 1);
    TDecryptor loader;
    if (!loader.SaveContent(source, PersonalFolder() + targetName, {}, ext)) allCopied = false;
  }
  if (allCopied)
    showMessage(MessageKind::Information,
                QStringLiteral("Файлы успешно скопированы в Вашу личную директорию."));
  else
    showMessage(MessageKind::Warning, QStringLiteral("Не все файлы были удачно скопированы."));
}

void TMainCommandHandler::cmdSaveTestToHtml(Event& e) {
  bool saved = false;
  try {
    const QStringList l = SplitFields(e.A, QLatin1Char('|'));
    const QString& fileName = FieldAt(l, 0);
    // A missing content field is an error, not an empty report.
    const QString& content = FieldAt(l, 1);
    if (IsPlainName(fileName)) {
      ensurePersonalFolder();
      saved = writeTextFile(PersonalFolder() + fileName, content);
    }
  } catch (const std::exception&) {
    LogFailure(lcShell(), "saving test results");
    saved = false;
  }
  showMessage(MessageKind::Plain,
              saved ? QStringLiteral("Результаты теста были успешно сохранены в Вашу личную папку.")
                    : QStringLiteral("Не удалось сохранить результаты теста."));
}

void TMainCommandHandler::cmdPrintTestResult(Event& e) {
  ensurePersonalFolder();
  const QByteArray page = textFileBytes(e.A);
  if (!ReplaceFileConfined(PersonalFolder() + QStringLiteral("tmp.html"), page)) return;
  // The report goes to the default printer as the desktop would print an HTML page: the
  // page just written, not whatever the name may have been replaced with meanwhile.
  std::unique_ptr<QPrinter> printer = AppServices().printers->CreatePrinter();
  if (!printer) return;
  QTextDocument document;
  document.setHtml(FromCp1251(page));
  document.print(printer.get());
}

void TMainCommandHandler::cmdGetUsersFiles(Event&) {
  QString list;
  // Entries in the order the file system gives them, "." and ".." included: each entry after
  // the list became non-empty adds a separator, listed or not. A folder reached through a
  // link is not listed at all.
  const auto entries = OpenConfined(PersonalFolder()).List();
  for (const SafeDir::Entry& entry : entries.value_or(QList<SafeDir::Entry>())) {
    if (!list.isEmpty()) list += QLatin1Char(';');
    if (entry.isDir || entry.name == QLatin1String(".") || entry.name == QLatin1String(".."))
      continue;
    list += SavedFileDisplayName(entry.name);
  }
  ReplyToMovie(QStringLiteral("UsersFiles=") + list);
}

void TMainCommandHandler::cmdSaveFavorites(Event& e) {
  const QStringList l = SplitFields(e.A, QLatin1Char('|'));
  const QString& folderPath = FieldAt(l, 0);
  const QString& fileName = FieldAt(l, 1);
  const QString& content = FieldAt(l, 2);  // missing: the command ends, nothing written
  // Every level stays a plain name below BaseDir, is no link, and is checked before anything
  // is made inside it.
  if (!IsPlainName(fileName)) return;
  SafeDir folder = SafeDir::Open(BaseDir());
  if (!mayHoldFavorites(folder, QString())) return;
  for (const QString& level : SplitFields(folderPath, QLatin1Char('\\'))) {
    if (level.isEmpty()) continue;
    if (!IsPlainName(level) || !folder.Enter({level}, true) || !mayHoldFavorites(folder, QString()))
      return;
  }
  if (mayHoldFavorites(folder, fileName)) folder.ReplaceFile(fileName, textFileBytes(content));
}

}  // namespace vedalia

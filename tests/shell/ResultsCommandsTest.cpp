// The main movie's results, files and printing commands on a real course folder.

#include <QBuffer>
#include <QDirIterator>
#include <QImage>
#include <QPrinter>

#include "ShellFixture.h"
#include "common/FakeServices.h"
#include "media/uDecryptor.h"
#include "platform/Cp1251.h"

namespace vedalia::testing {
namespace {

class RecordingOpener : public IMediaOpener {
 public:
  TOpenMediaResult OpenMedia(const QString& fileName, const QString& mediaType,
                             const QString& objectName, const QString& userFolderName) override {
    calls << QStringList{fileName, mediaType, objectName, userFolderName};
    if (throwNext) throw std::runtime_error("catalogue failure");
    return result;
  }
  QList<QStringList> calls;
  TOpenMediaResult result = kMediaOpened;
  bool throwNext = false;
};

class ResultsCommandsTest : public ShellFixture {
 protected:
  void SetUp() override {
    ShellFixture::SetUp();
    TMainCommandHandler::Setup setup;
    setup.replies = &window;
    setup.mainWindow = &window;
    setup.players = &opener;
    setup.openStore = [] { return OpenCourseStore(); };
    setup.databaseAvailable = true;
    setup.settingsPath = settingsPath;
    handler = std::make_unique<TMainCommandHandler>(std::move(setup));
  }
  void logIn() {
    ASSERT_EQ(send("addUser", "Иван;Петров;Б;pw;0"), QStringList{"registred=1"});
    ASSERT_EQ(handler->UserFolderName(), QStringLiteral("8Б/Петров Иван"));
  }
  QString personal() const { return base + "folders/8Б/Петров Иван/"; }
  void putContent(const QString& rel, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(base + rel).path());
    QFile f(base + rel);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  static QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  QStringList messageTexts() const {
    QStringList texts;
    for (const auto& m : messages.shown) texts << m.text;
    return texts;
  }

  RecordingOpener opener;
};

TEST_F(ResultsCommandsTest, TestResultsAreStoredAndListed) {
  logIn();
  EXPECT_EQ(send("getUserResults", "1"), QStringList{"UserResults=nil"});
  EXPECT_EQ(send("addTestResult", "1;2;3;80;1;первая"), QStringList{"ResultAdded=true"});
  EXPECT_EQ(send("addTestResult", "1;2;3;60;1;вторая"), QStringList{"ResultAdded=true"});
  const QStringList listed = send("getUserResults", "1");
  ASSERT_EQ(listed.size(), 1);
  EXPECT_TRUE(listed[0].startsWith("UserResults=")) << listed[0].toStdString();
  EXPECT_NE(listed[0], "UserResults=nil");
  // A score that is no number ends the command without a reply.
  EXPECT_TRUE(send("addTestResult", "1;2;3;много;1;x").isEmpty());
}

TEST_F(ResultsCommandsTest, WithoutDatabaseTheResultCommandsSayNetyBasi) {
  handler = makeHandler(false);
  EXPECT_EQ(send("getUserResults", "1"), QStringList{"UserResults=nety_basi"});
  EXPECT_EQ(send("addTestResult", "1;2;3;80;1;x"), QStringList{"ResultAdded=nety_basi"});
}

// A database that becomes unusable while the shell runs (gone, or junk in its place) ends only
// the events of the commands that need it; the others, quitting included, run as usual.
TEST_F(ResultsCommandsTest, UnusableDatabaseEndsOnlyTheCommandsThatNeedIt) {
  logIn();
  putContent("data/table/t1.doc", "document");
  test::FakePrinters printers({"pdf"}, dir.path() + "/report.pdf");
  Services s;
  s.messages = &messages;
  s.printers = &printers;
  SetAppServices(s);
  const auto effects = [&] {
    return QList<qsizetype>{window.replies.size(), qsizetype(messages.shown.size()),
                            opener.calls.size(),   printers.created,
                            window.closed,         QFileInfo(base + "fav/f.txt").size()};
  };
  struct Case {
    const char* command;
    const char* args;
    const char* reply = nullptr;    // prefix of the one reply; null: none
    const char* message = nullptr;  // the one message; null: none
  };
  const Case needing[] = {
      {"addUser", "Анна;Сидорова;Б;pw;0"},
      {"validateUser", "Петров;Иван;Б;pw"},
      {"getUsersData", ""},
      {"deleteUser", "1"},
      {"setPassword", "1;new"},
      {"clearUserData", ""},
      {"getUserResults", "1"},
      {"addTestResult", "1;2;3;80;1;x"},
  };
  const Case others[] = {
      {"debug", "привет", nullptr, "привет"},
      {"askLogin", "", "askedLogin = nil", nullptr},
      {"getUsersFiles", "", "UsersFiles=", nullptr},
      {"open_file", "karta.jpg|photo|Кремль", nullptr, nullptr},
      {"save_file", "x;t1.doc;table;B", nullptr,
       "Файлы успешно скопированы в Вашу личную директорию."},
      {"save_test_to_html", "r.html|<b>5</b>", nullptr,
       "Результаты теста были успешно сохранены в Вашу личную папку."},
      {"print_test_result", "<p>5</p>", nullptr, nullptr},
      {"saveFavorites", "fav|f.txt|x", nullptr, nullptr},
      {"app_exit", "0", nullptr, nullptr},
  };
  for (const bool junk : {false, true}) {
    SCOPED_TRACE(junk ? "junk in place of the database" : "database removed");
    if (junk)
      putContent("database/lorevia_db.adb", "ACS2" + QByteArray(5000, 'x'));
    else
      ASSERT_TRUE(QFile::remove(DatabaseFilePath()));
    QFile::remove(base + "fav/f.txt");
    for (const Case& c : needing) {
      const QList<qsizetype> before = effects();
      send(c.command, c.args);
      EXPECT_EQ(effects(), before) << c.command;
    }
    EXPECT_EQ(handler->CurrentUserId(), 1);
    for (const Case& c : others) {
      const QList<qsizetype> before = effects();
      const QStringList replies = send(c.command, c.args);
      EXPECT_EQ(replies.size(), c.reply ? 1 : 0) << c.command;
      EXPECT_TRUE(!c.reply || replies.value(0).startsWith(c.reply)) << c.command;
      const QStringList texts = messageTexts().mid(before[1]);
      EXPECT_EQ(texts, c.message ? QStringList{c.message} : QStringList()) << c.command;
      EXPECT_NE(effects(), before) << c.command << " did nothing";
    }
    EXPECT_EQ(readAll(personal() + "r.html"), "<b>5</b>\r\n");
    EXPECT_EQ(readAll(personal() + QStringLiteral("Таблица_B.doc")), "document");
  }
  EXPECT_EQ(window.closed, 2);
}

TEST_F(ResultsCommandsTest, OpenFilePassesTheRequestAndShowsTheResultMessage) {
  logIn();
  EXPECT_TRUE(send("open_file", "karta.jpg|photo|Кремль").isEmpty());
  ASSERT_EQ(opener.calls.size(), 1);
  EXPECT_EQ(opener.calls[0],
            (QStringList{"karta.jpg", "photo", "Кремль", QStringLiteral("8Б/Петров Иван")}));
  EXPECT_TRUE(messages.shown.empty());
  send("open_file", "a.swf|photo");  // no object name
  EXPECT_EQ(opener.calls[1][2], QString());
  opener.result = kNoViewer;
  send("open_file", "a.txt|photo|x");
  opener.result = kCannotPlay;
  send("open_file", "a.swf|photo|x");
  opener.result = kViewerWindowFailed;
  send("open_file", "a.swf|photo|x");
  ASSERT_EQ(messages.shown.size(), 3u);
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(messages.shown[0].text, QStringLiteral("Нет такого типа медиаобъектов."));
  EXPECT_EQ(messages.shown[1].text, QStringLiteral("Невозможно проиграть файл."));
  EXPECT_EQ(messages.shown[2].kind, MessageKind::Error);
  EXPECT_EQ(messages.shown[2].text,
            QStringLiteral("Ошибка при создании формы плеера. Переустановка приложения может "
                           "решить данную проблему."));
  // An error inside the opener ends the event without message or reply.
  opener.throwNext = true;
  EXPECT_TRUE(send("open_file", "a.swf|photo|x").isEmpty());
  EXPECT_EQ(messages.shown.size(), 3u);
}

TEST_F(ResultsCommandsTest, SaveFileCopiesPlainBytesUnderTheTypeTitle) {
  logIn();
  QImage picture(16, 8, QImage::Format_RGB32);
  picture.fill(Qt::darkGreen);
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPG"));
  putContent("data/photo/kreml.jpg", TDecryptor::Unscrambled(jpeg, {}));
  putContent("data/table/t1.doc", "document");
  send("save_file", "x;kreml.jpg;photo;Кремль;t1.doc;table;Таблица1");
  ASSERT_EQ(messageTexts(),
            QStringList{QStringLiteral("Файлы успешно скопированы в Вашу личную директорию.")});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(readAll(personal() + QStringLiteral("Таблица_Таблица1.doc")), "document");
  // The stored picture is scrambled; the copy is plain.
  EXPECT_EQ(readAll(personal() + QStringLiteral("Фотография_Кремль.jpg")), jpeg);
}

TEST_F(ResultsCommandsTest, SaveFileSummariesAndBrokenTriples) {
  logIn();
  putContent("data/table/t1.doc", "document");
  // One missing file: the others are still copied and the warning summary follows.
  send("save_file", "x;none.doc;table;A;t1.doc;table;B");
  EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Не все файлы были удачно скопированы.")});
  EXPECT_EQ(readAll(personal() + QStringLiteral("Таблица_B.doc")), "document");
  messages.shown.clear();
  // Two fields: no item, and the success message all the same.
  send("save_file", "x;y");
  EXPECT_EQ(messageTexts(),
            QStringList{QStringLiteral("Файлы успешно скопированы в Вашу личную директорию.")});
  messages.shown.clear();
  // A triple that lacks a field ends the command silently; earlier copies stay.
  QFile::remove(personal() + QStringLiteral("Таблица_B.doc"));
  send("save_file", "x;t1.doc;table;B;t1.doc;table");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(QFile::exists(personal() + QStringLiteral("Таблица_B.doc")));
  // A missing file counts as not copied even when its triple lacks the name.
  for (const char* args : {"x;nofile.jpg;photo", "x;t1.doc;table;B;nofile.jpg;photo"}) {
    messages.shown.clear();
    send("save_file", args);
    EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Не все файлы были удачно скопированы.")})
        << args;
  }
}

TEST_F(ResultsCommandsTest, SaveFileNeverLeavesTheContentOrPersonalFolder) {
  logIn();
  putContent("data/secret.doc", "secret");
  putContent("data/table/t1.doc", "document");
  send("save_file", "x;../secret.doc;table;A;t1.doc;table;../../../../escape");
  EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Не все файлы были удачно скопированы.")});
  QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString f = it.next();
    EXPECT_FALSE(f.contains("escape")) << f.toStdString();
    EXPECT_FALSE(f.startsWith(personal()) && readAll(f) == "secret") << f.toStdString();
  }
}

TEST_F(ResultsCommandsTest, TestReportsAreWrittenAsEightBitTextWithCrLf) {
  logIn();
  send("save_test_to_html", "отчёт.html|<b>Итог: 5</b>|rest");
  EXPECT_EQ(
      messageTexts(),
      QStringList{QStringLiteral("Результаты теста были успешно сохранены в Вашу личную папку.")});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Plain);
  EXPECT_EQ(readAll(personal() + QStringLiteral("отчёт.html")),
            ToCp1251(QStringLiteral("<b>Итог: 5</b>")) + "\r\n");
  messages.shown.clear();
  send("save_test_to_html", "../../../evil.html|x");
  EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Не удалось сохранить результаты теста.")});
  EXPECT_FALSE(QFile::exists(base + "evil.html"));
  EXPECT_FALSE(QFile::exists(dir.path() + "/evil.html"));
  // No content field: an error, and nothing written.
  for (const char* args : {"rep.html", "rep.html|"}) {
    messages.shown.clear();
    send("save_test_to_html", args);
    EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Не удалось сохранить результаты теста.")})
        << args;
    EXPECT_FALSE(QFile::exists(personal() + "rep.html")) << args;
  }
}

TEST_F(ResultsCommandsTest, ReportWithoutLoginGoesIntoFoldersItself) {
  send("save_test_to_html", "r.html|x");
  EXPECT_EQ(readAll(base + "folders/r.html"), "x\r\n");
}

TEST_F(ResultsCommandsTest, PrintedReportReusesTmpHtmlAndReachesThePrinter) {
  logIn();
  test::FakePrinters printers({"pdf"}, dir.path() + "/report.pdf");
  Services s;
  s.messages = &messages;
  s.printers = &printers;
  SetAppServices(s);
  EXPECT_TRUE(send("print_test_result", "<h1>Первый</h1>").isEmpty());
  send("print_test_result", "<h1>Второй</h1>");
  EXPECT_EQ(readAll(personal() + "tmp.html"), ToCp1251(QStringLiteral("<h1>Второй</h1>")) + "\r\n");
  EXPECT_EQ(printers.created, 2);
  EXPECT_TRUE(readAll(printers.pdfPath).startsWith("%PDF"));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ResultsCommandsTest, UsersFilesListsSavedCopiesInKeyForm) {
  EXPECT_EQ(send("getUsersFiles"), QStringList{"UsersFiles="});  // nobody, empty folder
  logIn();
  EXPECT_EQ(send("getUsersFiles"), QStringList{"UsersFiles="});
  putContent("folders/8Б/Петров Иван/Фотография_Кремль.jpg", "x");
  ASSERT_TRUE(QDir().mkpath(personal() + "sub"));
  const QStringList reply = send("getUsersFiles");
  ASSERT_EQ(reply.size(), 1);
  QStringList names = reply[0].mid(QStringLiteral("UsersFiles=").size()).split(';');
  names.removeAll(QString());
  EXPECT_EQ(names, QStringList{QStringLiteral("photo_Кремль.jpg")});
  EXPECT_FALSE(reply[0].contains("sub"));
}

TEST_F(ResultsCommandsTest, FavoritesAreWrittenBelowBaseDirOnly) {
  send("saveFavorites", "fav\\8Б|list.txt|один;два|ignored");
  EXPECT_EQ(readAll(base + QStringLiteral("fav/8Б/list.txt")),
            ToCp1251(QStringLiteral("один;два")) + "\r\n");
  send("saveFavorites", "..\\..|out.txt|x");
  send("saveFavorites", "fav|../out2.txt|x");
  send("saveFavorites", "fav|nocontent.txt|");
  EXPECT_FALSE(QFile::exists(base + "fav/nocontent.txt"));
  EXPECT_FALSE(QFile::exists(dir.path() + "/out.txt"));
  EXPECT_FALSE(QFile::exists(base + "out2.txt"));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(window.replies.isEmpty());
}

}  // namespace
}  // namespace vedalia::testing

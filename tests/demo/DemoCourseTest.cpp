// The demo course in the real main window: synthetic clicks and keys on the movie renderer's
// view at the controls' stage positions, results read back from the movie (its GetVariable
// callback), from the shell's login state, from the database and from the disk.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>

#include "common/Colours.h"
#include "common/FakeServices.h"
#include "desktop/uServices.h"
#include "dispatch/uPlayerSet.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"
#include "misc/uMisc.h"
#include "platform/Cp1251.h"
#include "shell/MainFrm.h"
#include "shell/uCommandHandler.h"
#include "shell/uSettingsFile.h"
#include "shell/uStartup.h"
#include "store/uChecker.h"
#include "store/uCrypto.h"
#include "viewers/SwfFrm.h"

namespace vedalia::testing {
namespace {

// The web engine's first start (and the player's) is slow, under the sanitizer most of all.
constexpr int kMovieStartMs = 60000;
// Clicks and replies cross into the web engine's processes; under the sanitizer a movie can
// take seconds to answer, more than the widget tests' usual wait.
constexpr int kAnswerMs = 20000;

// Polls `answered` until it holds or `ms` have passed. A question to a movie is a round trip
// into the web engine, so the polls are spaced instead of queued back to back.
template <class Condition>
bool WaitForMovie(Condition answered, int ms) {
  QDeadlineTimer deadline(ms);
  for (;;) {
    if (answered()) return true;
    if (deadline.hasExpired()) return false;
    QTest::qWait(100);
  }
}

#define DEMO_WAIT_TRUE(cond) \
  ASSERT_TRUE(WaitForMovie([&] { return bool(cond); }, kAnswerMs)) << "waited for: " #cond
#define DEMO_WAIT_EQ(actual, expected)                                      \
  do {                                                                      \
    (void)WaitForMovie([&] { return (actual) == (expected); }, kAnswerMs);  \
    ASSERT_EQ(actual, expected) << "waited for: " #actual " == " #expected; \
  } while (false)

bool CopyTree(const QString& from, const QString& to) {
  if (!QDir().mkpath(to)) return false;
  QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(path);
    if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(path, target)) return false;
  }
  return true;
}

// Where a stage point lands in a player's view: the stage is scaled uniformly to fit and
// centred ("show all").
QPoint StageToView(QPointF stagePoint, QSize stage, QSize view) {
  const double scale =
      std::min(double(view.width()) / stage.width(), double(view.height()) / stage.height());
  const QPointF offset((view.width() - stage.width() * scale) / 2,
                       (view.height() - stage.height() * scale) / 2);
  return (offset + stagePoint * scale).toPoint();
}

class DemoCourse : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    course = dir.path() + "/course/";
    ASSERT_TRUE(CopyTree(QStringLiteral(VEDALIA_DEMO_COURSE), course))
        << "build the demo_course target first";
    SetBaseDir(course);
    SetContentDir(course);
    Services services;
    services.messages = &messages;
    services.fileDialogs = &dialogs;
    services.printers = &printers;
    previousServices = SetAppServices(services);
    settingsPath = dir.path() + "/vedalia.ini";
  }
  void TearDown() override {
    form.reset();
    SetAppServices(previousServices);
    SetBaseDir(QString());
    SetContentDir(QString());
  }

  // The start-up steps that matter here: the start movie check, the main window, the
  // database check; then the window is shown and the movie runs.
  void startShell() {
    ASSERT_TRUE(StartMovieIsPlayable());
    form = std::make_unique<TMainForm>(settingsPath);
    form->SetDatabaseAvailable(
        TChecker().CheckDatabase({QStringLiteral("users"), QStringLiteral("results")}));
    ASSERT_TRUE(form->Handler().DatabaseAvailable());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    DEMO_WAIT_TRUE(form->MovieStarted() && form->isMaximized());
    player = form->ShPlayer();
    ASSERT_NE(player->Renderer(), nullptr) << "no movie renderer installed";
    ASSERT_TRUE(WaitForMovie([&] { return movie("ready") == "1"; }, kMovieStartMs))
        << "the start movie never answered GetVariable";
  }

  QString movie(const QString& name) const { return player->GetVariable(name); }

  // Clicks the centre of a control of the movie in `on` (the main movie by default), found
  // by the movie itself.
  void click(const QString& id, TFlashPlayerControl* on = nullptr) {
    clickRect(QStringLiteral("at:") + id, on ? on : player);
  }
  // `where`: the movie variable holding the stage rectangle "x,y,w,h" to click.
  void clickRect(const QString& where, TFlashPlayerControl* target) {
    QString rect;
    DEMO_WAIT_TRUE(!(rect = target->GetVariable(where)).isEmpty());
    const QStringList r = rect.split(QLatin1Char(','));
    ASSERT_EQ(r.size(), 4) << rect.toStdString();
    clickStage(
        QPointF(r[0].toDouble() + r[2].toDouble() / 2, r[1].toDouble() + r[3].toDouble() / 2),
        target);
  }
  void clickStage(QPointF centre, TFlashPlayerControl* target) {
    QWidget* view = target->Renderer()->View();
    QWidget* input = view->focusProxy() ? view->focusProxy() : view;
    QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier,
                      StageToView(centre, target->StageSize(), view->size()));
  }

  // Clicks into an input of the main movie and types `text`, one key per character.
  void typeInto(const QString& id, const QString& text) {
    ASSERT_NO_FATAL_FAILURE(click(id));
    QWidget* view = player->Renderer()->View();
    QWidget* input = view->focusProxy() ? view->focusProxy() : view;
    for (const QChar c : text)
      QTest::sendKeyEvent(QTest::Click, input, Qt::Key(c.toUpper().unicode()), QString(c),
                          Qt::NoModifier);
    DEMO_WAIT_EQ(movie("field:" + id), text);
  }

  void logIn(const QString& surname, const QString& name, const QString& letter,
             const QString& password) {
    ASSERT_NO_FATAL_FAILURE(click("nav.login"));
    DEMO_WAIT_EQ(movie("screen"), "login");
    ASSERT_NO_FATAL_FAILURE(typeInto("loginSurname", surname));
    ASSERT_NO_FATAL_FAILURE(typeInto("loginName", name));
    ASSERT_NO_FATAL_FAILURE(typeInto("loginLetter", letter));
    ASSERT_NO_FATAL_FAILURE(typeInto("loginPassword", password));
    ASSERT_NO_FATAL_FAILURE(click("loginGo"));
  }

  // Opens the ActionScript 2 reference item from the course menu.
  void openAs2Item(TFlashPlayerControl*& item) {
    ASSERT_NO_FATAL_FAILURE(startShell());
    ASSERT_NO_FATAL_FAILURE(click("nav.items"));
    DEMO_WAIT_EQ(movie("screen"), "items");
    ASSERT_NO_FATAL_FAILURE(click("item.reference"));
    DEMO_WAIT_EQ(form->PlayerSet()->OpenWindows().size(), 1);
    auto* window = dynamic_cast<TSwfForm*>(form->PlayerSet()->OpenWindows().first());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    item = window->ShPlayer();
  }

  static QString usersInDatabase() { return OpenCourseStore()->GetUsersList(); }

  QTemporaryDir dir;
  QString course;
  QString settingsPath;
  test::FakeMessages messages;
  test::FakeFileDialogs dialogs;  // the pupil's choice in every file dialog: `answer`
  test::FakePrinters printers;    // none installed
  Services previousServices;
  std::unique_ptr<TMainForm> form;
  TFlashPlayerControl* player = nullptr;
};

TEST_F(DemoCourse, RegistrationLogInUsersListAndDeletionByClicks) {
  ASSERT_NO_FATAL_FAILURE(startShell());
  // A window of other proportions than the stage: the stage is scaled and centred in it.
  form->resize(1240, 820);
  DEMO_WAIT_EQ(player->Renderer()->View()->size(), QSize(1240, 820));

  // Registration: the pupil is stored, gets a folder and is logged in, in the shell and in
  // the movie alike.
  ASSERT_NO_FATAL_FAILURE(click("nav.register"));
  DEMO_WAIT_EQ(movie("screen"), "register");
  ASSERT_NO_FATAL_FAILURE(typeInto("regName", "Пётр"));
  ASSERT_NO_FATAL_FAILURE(typeInto("regSurname", "Иванов"));
  ASSERT_NO_FATAL_FAILURE(typeInto("regLetter", "Б"));
  ASSERT_NO_FATAL_FAILURE(typeInto("regPassword", "sekret7"));
  ASSERT_NO_FATAL_FAILURE(click("registerGo"));
  DEMO_WAIT_EQ(movie("registred"), "2");
  EXPECT_EQ(movie("user"), "Иванов Пётр");
  EXPECT_EQ(form->Handler().CurrentUserId(), 2);
  EXPECT_EQ(form->Handler().UserFolderName(), "8Б/Иванов Пётр");
  EXPECT_TRUE(QFileInfo(course + "folders/8Б/Иванов Пётр").isDir());
  EXPECT_TRUE(usersInDatabase().contains("Пётр,Иванов,Б,2"));

  // Log-out, then the teacher logs in with the password typed.
  ASSERT_NO_FATAL_FAILURE(click("nav.login"));
  ASSERT_NO_FATAL_FAILURE(click("logout"));
  DEMO_WAIT_EQ(form->Handler().CurrentUserId(), 0);
  EXPECT_EQ(movie("user"), "");
  ASSERT_NO_FATAL_FAILURE(logIn("Учителева", "Мария", "А", "teacher"));
  DEMO_WAIT_EQ(movie("privileged"), "1");
  EXPECT_EQ(form->Handler().CurrentUserId(), 1);
  EXPECT_EQ(form->Handler().UserFolderName(), "Учителева Мария");
  EXPECT_TRUE(movie("validated").startsWith("1;Мария;"));

  // The users list shows both accounts; the pupil is picked in it and deleted.
  ASSERT_NO_FATAL_FAILURE(click("nav.users"));
  DEMO_WAIT_TRUE(movie("list:usersList").contains("Иванов Пётр"));
  const QStringList rows = movie("list:usersList").split(QLatin1Char('\n'));
  ASSERT_EQ(rows.size(), 2);
  const int pupilRow = rows[0].contains("Иванов") ? 0 : 1;
  ASSERT_NO_FATAL_FAILURE(clickRect(QStringLiteral("row:usersList:%1").arg(pupilRow), player));
  ASSERT_NO_FATAL_FAILURE(click("usersDelete"));
  DEMO_WAIT_EQ(movie("UserDeleted"), "true");
  EXPECT_FALSE(usersInDatabase().contains("Иванов"));
  EXPECT_FALSE(QFileInfo::exists(course + "folders/8Б/Иванов Пётр"));
  // The movie asks for the list again after a deletion.
  DEMO_WAIT_EQ(movie("list:usersList").split(QLatin1Char('\n')).size(), 1);
  EXPECT_TRUE(messages.shown.empty()) << messages.Texts().join(" | ").toStdString();
}

TEST_F(DemoCourse, QuizScoreIsStoredAndTheCloseBoxQuitsRememberingTheLogIn) {
  ASSERT_NO_FATAL_FAILURE(startShell());
  ASSERT_NO_FATAL_FAILURE(logIn("Учителева", "Мария", "А", "teacher"));
  DEMO_WAIT_EQ(form->Handler().CurrentUserId(), 1);

  // Three right answers: the score 100 goes to the database.
  ASSERT_NO_FATAL_FAILURE(click("nav.test"));
  DEMO_WAIT_EQ(movie("screen"), "test");
  for (int step = 0; step < 3; ++step) {
    ASSERT_NO_FATAL_FAILURE(click(QStringLiteral("answer%1").arg(step)));
    DEMO_WAIT_EQ(movie("quizStep"), QString::number(step + 1));
  }
  DEMO_WAIT_EQ(movie("ResultAdded"), "true");
  EXPECT_EQ(OpenCourseStore()->GetUserResults("1"), "1/1/1/100/100/100/1/Земля и Солнце");
  ASSERT_NO_FATAL_FAILURE(click("nav.results"));
  DEMO_WAIT_TRUE(movie("list:resultsList").contains("лучший 100"));

  // The close box only asks the movie; the movie quits with the log-in to remember.
  EXPECT_FALSE(form->close());
  DEMO_WAIT_TRUE(!form->isVisible());
  EXPECT_EQ(movie("exit"), "true");
  const TIniFile ini(settingsPath);
  auto remembered = [&](const char* key) {
    return DecodeStr(ini.ReadString(kUserSettings, key), kFieldCipherKey);
  };
  EXPECT_EQ(remembered("LastSurname"), "Учителева");
  EXPECT_EQ(remembered("LastName"), "Мария");
  EXPECT_EQ(remembered("LastClass"), "А");
  EXPECT_EQ(remembered("LastPassword"), "teacher");
}

TEST_F(DemoCourse, AnItemOpensInItsWindowAndItsMovieUsesTheWindowsCommands) {
  ASSERT_NO_FATAL_FAILURE(startShell());
  ASSERT_NO_FATAL_FAILURE(click("nav.items"));
  DEMO_WAIT_EQ(movie("screen"), "items");
  ASSERT_NO_FATAL_FAILURE(click("item.animation"));
  DEMO_WAIT_EQ(form->PlayerSet()->OpenWindows().size(), 1);
  auto* window = dynamic_cast<TSwfForm*>(form->PlayerSet()->OpenWindows().first());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Анимация");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  TFlashPlayerControl* item = window->ShPlayer();
  // The item is stored scrambled; it plays, and hears what its window told it.
  ASSERT_TRUE(WaitForMovie([&] { return item->GetVariable("ready") == "1"; }, kMovieStartMs))
      << "the item's movie never answered GetVariable";
  DEMO_WAIT_EQ(item->GetVariable("info"), "папка: animation · файл: orbit.swf");

  // The note goes into a Flash data file as Windows-1251 text and comes back from it.
  dialogs.answer = dir.path() + "/заметка";
  ASSERT_NO_FATAL_FAILURE(click("saveNote", item));
  DEMO_WAIT_EQ(item->GetVariable("status"), "Заметка сохранена в файл данных.");
  QFile note(dialogs.answer + ".fld");
  ASSERT_TRUE(note.open(QIODevice::ReadOnly));
  EXPECT_EQ(FromCp1251(note.readAll()), item->GetVariable("field:note"));
  note.close();
  dialogs.answer = note.fileName();
  ASSERT_NO_FATAL_FAILURE(click("loadNote", item));
  DEMO_WAIT_EQ(item->GetVariable("status"), "Заметка загружена из файла данных.");
  EXPECT_EQ(item->GetVariable("field:note"), "Год — это один оборот Земли.");
  // Printing without a printer: the window says so.
  ASSERT_NO_FATAL_FAILURE(click("print", item));
  DEMO_WAIT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.startsWith("Принтеров не обнаружено."));

  // Its own "close" button ends the window through the window's "app_exit".
  const QPointer<TSwfForm> guard(window);
  ASSERT_NO_FATAL_FAILURE(click("close", item));
  DEMO_WAIT_TRUE(form->PlayerSet()->OpenWindows().isEmpty());
  DEMO_WAIT_TRUE(guard.isNull());  // it frees itself
  EXPECT_EQ(messages.shown.size(), 1u);
}

// Buttons of the ActionScript 2 reference item as the course tool lays them out: 260 x 40 at
// x 20, one every 50 from y 86.
QPointF As2Button(int i) { return QPointF(20 + 130, 86 + 50 * i + 20); }

TEST_F(DemoCourse, AnActionScript2ItemSendsTheWindowsCommandsFromItsButtons) {
  TFlashPlayerControl* item = nullptr;
  ASSERT_NO_FATAL_FAILURE(openAs2Item(item));
  // Nothing tells when this movie has started: a click before that reaches no button, so the
  // first one is repeated until the window answers it.
  for (int attempt = 0; attempt < 10 && messages.shown.empty(); ++attempt) {
    ASSERT_NO_FATAL_FAILURE(clickStage(As2Button(1), item));
    (void)WaitForMovie([&] { return !messages.shown.empty(); }, 3000);
  }
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Файл успешно скопирован в Вашу личную директорию.");
  EXPECT_TRUE(QFileInfo::exists(course + "folders/Справочник.doc"));
  ASSERT_NO_FATAL_FAILURE(clickStage(As2Button(2), item));
  DEMO_WAIT_EQ(form->PlayerSet()->OpenWindows().size(), 2);
  EXPECT_EQ(form->PlayerSet()->OpenWindows().last()->windowTitle(), "Фотография");
}

TEST_F(DemoCourse, AnActionScript2ItemSizesItsWindowAndReadsTheRepliesAsDiscMoviesDo) {
  TFlashPlayerControl* item = nullptr;
  ASSERT_NO_FATAL_FAILURE(openAs2Item(item));
  // Its first frame sets Stage_width and Stage_height; the window (a "reference" item, which
  // is not of fixed size) takes them instead of its 800 x 600 frame.
  DEMO_WAIT_EQ(item->size(), QSize(640, 480));
  DEMO_WAIT_EQ(item->GetVariable("info"), "папка: reference · файл: handbook.swf");
  // The reply is read in the action right after the fscommand. A click while the page still
  // lays out the resized stage reaches no button, so it is repeated until one is answered.
  for (int attempt = 0; attempt < 10 && item->GetVariable("status").isEmpty(); ++attempt) {
    ASSERT_NO_FATAL_FAILURE(clickStage(As2Button(0), item));
    (void)WaitForMovie([&] { return !item->GetVariable("status").isEmpty(); }, 3000);
  }
  DEMO_WAIT_EQ(item->GetVariable("status"), "Содержание: none");
}

TEST_F(DemoCourse, MainWindowShowsTheStartMovieWithTheRememberedLogIn) {
  TIniFile ini(settingsPath);
  const QStringList login = {"Учителева", "Мария", "А", "teacher"};
  const char* const keys[] = {"LastSurname", "LastName", "LastClass", "LastPassword"};
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(ini.WriteString(kUserSettings, keys[i], EncodeStr(login[i], kFieldCipherKey)));
  ASSERT_NO_FATAL_FAILURE(startShell());
  // The movie asked for the remembered log-in at its start and filled the form with it.
  DEMO_WAIT_EQ(movie("field:loginSurname"), "Учителева");
  EXPECT_EQ(movie("field:loginName"), "Мария");
  EXPECT_EQ(movie("field:loginLetter"), "А");
  EXPECT_EQ(movie("field:loginPassword"), "teacher");

  // Wait until the page has drawn the stage, then compare loosely: the menu's colours.
  auto share = [](const QImage& image, QRgb colour) {
    qint64 hits = 0;
    for (int y = 0; y < image.height(); y += 2)
      for (int x = 0; x < image.width(); x += 2) {
        if (test::NearColour(image.pixel(x, y), colour)) ++hits;
      }
    return double(hits) / (double(image.width() / 2) * double(image.height() / 2));
  };
  QImage shot;
  const bool drawn = QTest::qWaitFor(
      [&] {
        shot = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return share(shot, qRgb(0x2F, 0x5D, 0x6B)) > 0.03;
      },
      20000);
  const QString saved = QDir::temp().filePath("demo-start-actual.png");
  if (!drawn) shot.save(saved);
  ASSERT_TRUE(drawn) << "no header colour in the window; saved as " << saved.toStdString();
  EXPECT_EQ(shot.size(), form->size());
  // The stage background covers much of the window, the header band some, the buttons a bit.
  EXPECT_GT(share(shot, qRgb(0xF9, 0xF0, 0xF1)), 0.10);
  EXPECT_GT(share(shot, qRgb(0x3D, 0x8A, 0x8F)), 0.005);
  EXPECT_GT(share(shot, qRgb(0xFF, 0xFF, 0xFF)), 0.10);  // the content panel
}

// The course's start movie written in ActionScript 2 of each version, plain and compressed:
// it registers nothing, and reads every reply in the action right after its command.
class As2StartMovie : public DemoCourse,
                      public ::testing::WithParamInterface<std::tuple<int, SwfCompression>> {};

TEST_P(As2StartMovie, RegistersLogsInAndListsThePupils) {
  SwfMovieSpec movieSpec;
  movieSpec.version = std::get<0>(GetParam());
  movieSpec.compression = std::get<1>(GetParam());
  movieSpec.width = 1014;
  movieSpec.height = 731;
  SwfActions f0;
  const auto command = [&](const char* name, const QString& args, const char* reply,
                           const char* keep) {
    f0.Fscommand(name, args).Push(keep).Get(reply).Op(SwfOp::SetVariable);
  };
  command("addUser", QString::fromUtf8("Пётр;Иванов;Б;пароль;0"), "registred", "reg");
  command("addUser", QString::fromUtf8("Пётр;Иванов;Б;пароль;0"), "registred", "again");
  command("validateUser", QString::fromUtf8("Иванов;Пётр;Б;пароль"), "validated", "val");
  command("getUsersData", "", "UsersData", "users");
  f0.Set("ready", "1").Op(SwfOp::Stop);
  movieSpec.frameActions[0] = f0;
  ASSERT_TRUE(WriteSwfMovieFile(course + "start.swf", movieSpec));
  ASSERT_NO_FATAL_FAILURE(startShell());
  const QString id = movie("reg");
  EXPECT_GT(id.toInt(), 1) << id.toStdString();
  EXPECT_EQ(movie("again"), "false");
  EXPECT_TRUE(movie("val").startsWith(id + QString::fromUtf8(";Пётр;")))
      << movie("val").toStdString();
  EXPECT_TRUE(movie("users").endsWith(QString::fromUtf8(";Пётр,Иванов,Б,") + id))
      << movie("users").toStdString();
  EXPECT_TRUE(QFileInfo(course + QString::fromUtf8("folders/8Б/Иванов Пётр")).isDir());
}

INSTANTIATE_TEST_SUITE_P(Versions, As2StartMovie,
                         ::testing::Combine(::testing::Values(6, 7, 8, 9, 10),
                                            ::testing::Values(SwfCompression::None,
                                                              SwfCompression::Zlib)),
                         [](const auto& info) {
                           return "Swf" + std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == SwfCompression::None ? "" : "Cws");
                         });

}  // namespace
}  // namespace vedalia::testing

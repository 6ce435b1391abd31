// The movie renderer with real movies: events and their text, replies in order (also those
// sent before the movie was ready), movies from memory, ExternalInterface calls and their
// answers, the movie's variables, and bad input (a movie the player cannot play, a flood
// of commands, a movie without callbacks, a crashed render process, a broken runtime).
#include <gtest/gtest.h>
#include <signal.h>
#include <zlib.h>

#include <QBuffer>
#include <QFile>
#include <QMutex>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>
#include <optional>

#include "common/Colours.h"
#include "common/WaitFor.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"
#include "flashhost/ruffle/RuffleRenderer.h"

namespace vedalia {
// The page runs scripts in the order they come: its answer proves that every script the
// renderer sent before has run. (The AS2 movie tests use it too.)
namespace test {
QVariant AskPage(TFlashPlayerControl& player, const QString& script) {
  auto answer = std::make_shared<std::optional<QVariant>>();  // outlives a page that never answers
  auto* view = qobject_cast<QWebEngineView*>(player.Renderer()->View());
  view->page()->runJavaScript(script, [answer](const QVariant& value) { *answer = value; });
  (void)QTest::qWaitFor([&] { return answer->has_value(); }, 10000);
  return answer->value_or(QVariant());
}
}  // namespace test

namespace {

// The first movie waits for Chromium to start.
constexpr int kStartMs = 30000;
constexpr int kWaitMs = 10000;

QString moviePath(const char* name) { return QStringLiteral(VEDALIA_TEST_MOVIES "/") + name; }

// Warnings the renderer logs, for the bad-input cases.
QMutex warningsLock;
QStringList warnings;
QtMessageHandler previousHandler = nullptr;

void collectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg) {
    QMutexLocker lock(&warningsLock);
    warnings << text;
  }
  if (previousHandler) previousHandler(type, context, text);
}

bool warned(const QString& part) {
  QMutexLocker lock(&warningsLock);
  for (const QString& w : warnings)
    if (w.contains(part)) return true;
  return false;
}

// A compressed movie whose header inflates (so the control takes it) and whose body does not.
QByteArray brokenMovie() {
  SwfMovieSpec movieSpec;
  movieSpec.frameCount = 2;
  movieSpec.extraTags = SwfTag(87, QByteArray(400, 'x'));
  const QByteArray plain = WriteSwfMovie(movieSpec);
  QByteArray head(512, '\0');
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
  QByteArray body = plain.mid(8, 200);
  z.next_in = reinterpret_cast<Bytef*>(body.data());
  z.avail_in = uInt(body.size());
  z.next_out = reinterpret_cast<Bytef*>(head.data());
  z.avail_out = uInt(head.size());
  EXPECT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
  head.resize(head.size() - qsizetype(z.avail_out));
  deflateEnd(&z);
  QByteArray movie = "CWS" + plain.mid(3, 5) + head + QByteArray(400, char(0xFF));
  return movie;
}

// The colour of the panel the echo movie draws over most of its stage.
const QColor kPanelGreen(0x2E, 0x7D, 0x6B);

bool near(QRgb pixel, const QColor& colour) { return test::NearColour(pixel, colour.rgb()); }

struct Command {
  QString command, args;
  bool operator==(const Command&) const = default;
};

// One window and control for the tests: a control's page compiles the player's code once,
// so every further movie in it starts in a fraction of the first one's time.
QWidget* sharedWindow = nullptr;
TFlashPlayerControl* sharedPlayer = nullptr;

class SharedPlayer : public ::testing::Environment {
 public:
  void TearDown() override {
    delete sharedWindow;
    sharedWindow = nullptr;
    sharedPlayer = nullptr;
  }
};
const auto* const sharedPlayerEnvironment = ::testing::AddGlobalTestEnvironment(new SharedPlayer);

class Renderer : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      QMutexLocker lock(&warningsLock);
      warnings.clear();
    }
    previousHandler = qInstallMessageHandler(collectWarnings);
    if (!sharedWindow) {
      sharedWindow = new QWidget;
      sharedWindow->resize(400, 300);
      sharedPlayer = new TFlashPlayerControl(sharedWindow);
      sharedPlayer->resize(400, 300);
      sharedWindow->show();
    }
    window = sharedWindow;
    player = sharedPlayer;
    // Connections of one test end with it (scope is their context).
    scope = std::make_unique<QObject>();
    QObject::connect(player, &TFlashPlayerControl::OnFSCommand, scope.get(),
                     [this](TFlashPlayerControl*, const QString& c, const QString& a) {
                       commands.push_back({c, a});
                     });
  }
  void TearDown() override {
    scope.reset();
    qInstallMessageHandler(previousHandler);
  }

  int count(const QString& command) const {
    return int(std::count_if(commands.begin(), commands.end(),
                             [&](const Command& c) { return c.command == command; }));
  }
  bool received(const QString& command, const QString& args) const {
    return std::find(commands.begin(), commands.end(), Command{command, args}) != commands.end();
  }
  QStringList echoes() const {
    QStringList out;
    for (const Command& c : commands)
      if (c.command == QLatin1String("echo")) out << c.args;
    return out;
  }

  QWidget* window = nullptr;
  TFlashPlayerControl* player = nullptr;
  std::unique_ptr<QObject> scope;
  std::vector<Command> commands;
};

TEST_F(Renderer, TheMoviesCommandArrivesWithItsWordAndCyrillicText) {
  ASSERT_NE(player->Renderer(), nullptr);
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  EXPECT_EQ(commands.front(), (Command{"ready", QString::fromUtf8("Привет, мир|ready")}));
  EXPECT_EQ(player->TotalFrames(), 1);
}

TEST_F(Renderer, RepliesReachTheMovieInOrderIncludingThoseSentBeforeItWasReady) {
  player->SetMovie(moviePath("echo.swf"));
  player->SetMenu(false);
  player->SetBackgroundColor(TFlashPlayerControl::kStageColor);
  QStringList sent;
  for (int i = 0; i < 30; ++i) sent << QStringLiteral("early%1=%2").arg(i % 3).arg(i);
  sent << QString::fromUtf8("user=Иванов Иван|8А");
  for (const QString& reply : sent) player->SetFlashVars(reply);
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  for (int i = 0; i < 30; ++i) {
    sent << QStringLiteral("late=%1").arg(i);
    player->SetFlashVars(sent.back());
  }
  sent << QStringLiteral("empty=") << QStringLiteral("a=b=c");
  player->SetFlashVars(QStringLiteral("empty="));
  player->SetFlashVars(QStringLiteral("a=b=c"));
  VEDALIA_WAIT_TRUE_FOR(echoes().size() >= sent.size(), kWaitMs);
  EXPECT_EQ(echoes(), sent);
}

TEST_F(Renderer, PlayFromStreamPlaysTheMovieFromMemory) {
  QFile file(moviePath("echo.swf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QBuffer stream;
  stream.setData(file.readAll());
  ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
  ASSERT_TRUE(player->PlayFromStream(0, stream));
  EXPECT_TRUE(stream.atEnd());
  player->SetFlashVars(QStringLiteral("fileName=урок.swf"));
  VEDALIA_WAIT_TRUE_FOR(received("echo", QString::fromUtf8("fileName=урок.swf")), kStartMs);
  EXPECT_EQ(count("ready"), 1);
}

TEST_F(Renderer, AnExternalInterfaceCallGetsTheReturnValueTheHandlerSets) {
  QStringList requests;
  QObject::connect(player, &TFlashPlayerControl::OnFlashCall, scope.get(),
                   [&](TFlashPlayerControl* sender, const QString& request) {
                     requests << request;
                     sender->SetReturnValue(QString::fromUtf8("<string>да &amp; нет</string>"));
                   });
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  player->SetFlashVars(QString::fromUtf8("ask=вопрос <1>"));
  VEDALIA_WAIT_TRUE_FOR(count("answer") == 1, kWaitMs);
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0], QString::fromUtf8("<invoke name=\"hostQuestion\" returntype=\"xml\">"
                                           "<arguments><string>вопрос &lt;1&gt;</string>"
                                           "</arguments></invoke>"));
  EXPECT_TRUE(received("answer", QString::fromUtf8("да & нет")));
  // The call came between the reply's echo and the answer, in the movie's order.
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[commands.size() - 2].command, "echo");
}

TEST_F(Renderer, GetVariableAsksTheMovieAndFallsBackOnTheDeliveredValues) {
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  // Only the movie knows this one: the control never delivered it.
  EXPECT_EQ(player->GetVariable("movieName"), "echo-movie");
  player->SetFlashVars(QString::fromUtf8("score=пять"));
  EXPECT_EQ(player->GetVariable("score"), QString::fromUtf8("пять"));
  player->GotoFrame(3);
  VEDALIA_WAIT_TRUE_FOR(received("goto", "3"), kWaitMs);

  // A movie without callbacks: the control's own table answers at once, frames stay put.
  player->SetMovie(moviePath("silent.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("silent") == 1, kStartMs);
  player->SetFlashVars(QStringLiteral("score=7"));
  EXPECT_EQ(player->GetVariable("score"), "7");
  EXPECT_EQ(player->GetVariable("movieName"), "");
  player->GotoFrame(2);
  EXPECT_EQ(player->CurrentFrame(), 2);
}

TEST_F(Renderer, EventsDuringGetVariableWaitTheirTurn) {
  // A handler that asks the movie: the command the movie sends meanwhile is raised after
  // the handler, not inside it.
  int depth = 0, maxDepth = 0;
  QString asked;
  QObject::connect(player, &TFlashPlayerControl::OnFSCommand, scope.get(),
                   [&](TFlashPlayerControl* sender, const QString& c, const QString&) {
                     ++depth;
                     maxDepth = std::max(maxDepth, depth);
                     if (c == QLatin1String("echo") && asked.isEmpty())
                       asked = sender->GetVariable("movieName");
                     --depth;
                   });
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  player->SetFlashVars(QStringLiteral("flood=3"));
  VEDALIA_WAIT_TRUE_FOR(count("flooded") == 1, kWaitMs);
  EXPECT_EQ(asked, "echo-movie");
  EXPECT_EQ(maxDepth, 1);
  QStringList order;
  for (const Command& c : commands) order << c.command;
  EXPECT_EQ(order, (QStringList{"ready", "echo", "flood", "flood", "flood", "flooded"}));
}

TEST_F(Renderer, AFloodOfCommandsLosesNoneAndTheMovieGoesOn) {
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  // Far more than the page keeps on their way at once: the rest wait in the page.
  player->SetFlashVars(QStringLiteral("flood=20000"));
  VEDALIA_WAIT_TRUE_FOR(count("flooded") == 1, kWaitMs) << count("flood") << " commands arrived";
  player->SetFlashVars(QStringLiteral("after=1"));
  VEDALIA_WAIT_TRUE_FOR(received("echo", "after=1"), kWaitMs);
  // Every command of the burst, in the movie's order.
  int expected = 0;
  for (const Command& c : commands) {
    if (c.command == QLatin1String("flood")) {
      EXPECT_EQ(c.args.toInt(), expected++);
    }
  }
  EXPECT_EQ(expected, 20000);
  EXPECT_FALSE(warned("dropp"));
}

TEST_F(Renderer, RepliesForAMovieWithoutSetVariableAreBoundedAndKeptInTheTable) {
  player->SetMovie(moviePath("silent.swf"));
  for (int i = 0; i < kMaxQueuedReplies + 5; ++i)
    player->SetFlashVars(QStringLiteral("n=%1").arg(i));
  VEDALIA_WAIT_TRUE_FOR(count("silent") == 1, kStartMs);
  EXPECT_TRUE(warned("replies wait for the movie's callbacks"));
  EXPECT_EQ(player->GetVariable("n"), QString::number(kMaxQueuedReplies + 4));
  EXPECT_EQ(player->DeliveredFlashVars().size(), kMaxQueuedReplies + 5);
}

TEST_F(Renderer, AMovieThePlayerCannotPlayIsReportedAndTheControlStaysUsable) {
  QBuffer stream;
  stream.setData(brokenMovie());
  ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
  player->PlayFromStream(0, stream);
  VEDALIA_WAIT_TRUE_FOR(warned("cannot play the movie"), kStartMs);

  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kWaitMs);
}

TEST_F(Renderer, AMovieTheControlRefusesStopsTheMovieBefore) {
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  const QPoint centre(player->width() / 2, player->height() / 2);
  VEDALIA_WAIT_TRUE_FOR(near(player->grab().toImage().pixel(centre), kPanelGreen), kWaitMs);

  QTemporaryDir dir;
  QFile notAMovie(dir.filePath("lesson.swf"));
  ASSERT_TRUE(notAMovie.open(QIODevice::WriteOnly));
  notAMovie.write("this is no movie at all");
  notAMovie.close();
  player->SetMovie(notAMovie.fileName());
  EXPECT_EQ(player->TotalFrames(), 0);
  VEDALIA_WAIT_TRUE_FOR(!near(player->grab().toImage().pixel(centre), kPanelGreen), kWaitMs);
  // Nothing answers for the old movie any more: the page has no player left.
  player->SetFlashVars(QStringLiteral("after=1"));
  EXPECT_TRUE(test::AskPage(*player, "document.querySelector('#stage > *') === null").toBool());
  EXPECT_FALSE(received("echo", "after=1"));

  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 2, kWaitMs);
}

// A window of another shape than the stage shows the whole stage and fills the rest with
// the stage colour, as the course's movies were drawn for; black bars would frame them.
TEST_F(Renderer, TheStageColourFillsAWindowOfAnotherShape) {
  const QSize before = player->size();
  auto restore = qScopeGuard([&] {
    player->SetBackgroundColor(TFlashPlayerControl::kDefaultBackgroundColor);
    player->resize(before);
    window->resize(before);
  });
  window->resize(600, 200);
  player->resize(600, 200);
  const QColor blue(0x33, 0x66, 0xCC);
  player->SetBackgroundColor(int(blue.rgb() & 0xFFFFFF));
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);

  // The stage (400:300) is 267 pixels wide here, in the middle; the movie's green panel
  // is inside it.
  QImage shot;
  const bool filled = QTest::qWaitFor(
      [&] {
        shot = player->grab().toImage();
        if (shot.width() < 600 || shot.height() < 200) return false;
        return near(shot.pixel(10, 100), blue) && near(shot.pixel(590, 100), blue) &&
               near(shot.pixel(300, 100), kPanelGreen);
      },
      kWaitMs);
  EXPECT_TRUE(filled) << std::hex << "left " << shot.pixel(10, 100) << ", right "
                      << shot.pixel(590, 100) << ", middle " << shot.pixel(300, 100);
}

TEST_F(Renderer, ACrashedRenderProcessIsReportedAndTheNextMoviePlays) {
  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 1, kStartMs);
  auto* view = qobject_cast<QWebEngineView*>(player->Renderer()->View());
  ASSERT_NE(view, nullptr);
  const qint64 pid = view->page()->renderProcessPid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
  VEDALIA_WAIT_TRUE_FOR(warned("render process ended"), kWaitMs);
  player->SetFlashVars(QStringLiteral("lost=1"));  // no page: kept, never a crash

  player->SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(count("ready") == 2, kStartMs);
  player->SetFlashVars(QStringLiteral("again=1"));
  VEDALIA_WAIT_TRUE_FOR(received("echo", "again=1"), kWaitMs);
}

TEST_F(Renderer, ARuntimeWithoutThePlayersFilesReportsAndNeverHalfRuns) {
  const QByteArray good = TFlashPlayerControl::PlayerCode();
  const auto files = TFlashPlayerControl::UnpackPlayerCode(good);
  QList<QPair<QString, QByteArray>> pageOnly;
  for (auto it = files.begin(); it != files.end(); ++it)
    if (it.key().startsWith("page/")) pageOnly.append({it.key(), it.value()});
  QBuffer stripped;
  stripped.setData(TFlashPlayerControl::PackPlayerCode(pageOnly));
  ASSERT_TRUE(stripped.open(QIODevice::ReadOnly));
  ASSERT_TRUE(TFlashPlayerControl::InstallPlayerCode(stripped));

  auto restore = qScopeGuard([&] {
    QBuffer back;
    back.setData(good);
    back.open(QIODevice::ReadOnly);
    TFlashPlayerControl::InstallPlayerCode(back);
  });
  TFlashPlayerControl other(window);
  QObject::connect(&other, &TFlashPlayerControl::OnFSCommand,
                   [this](TFlashPlayerControl*, const QString& c, const QString& a) {
                     commands.push_back({c, a});
                   });
  other.SetMovie(moviePath("echo.swf"));
  VEDALIA_WAIT_TRUE_FOR(warned("cannot play the movie"), kStartMs);
  EXPECT_EQ(count("ready"), 0);

  // A damaged package is refused whole: the installed one stays.
  QByteArray damaged = good;
  damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x01);
  QBuffer bad;
  bad.setData(damaged);
  ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
  EXPECT_FALSE(TFlashPlayerControl::InstallPlayerCode(bad));
  EXPECT_EQ(TFlashPlayerControl::PlayerCode().size(), stripped.data().size());
}

}  // namespace
}  // namespace vedalia

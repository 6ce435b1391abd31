// The movie host control: runtime packages, movies from files and memory, the variables a
// movie is given, events, and what a renderer back end sees.
#include <gtest/gtest.h>
#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {
namespace {

QByteArray movie(int frames, int width = 320, int height = 240) {
  SwfMovieSpec movieSpec;
  movieSpec.frameCount = frames;
  movieSpec.width = width;
  movieSpec.height = height;
  movieSpec.compression = SwfCompression::Zlib;
  return WriteSwfMovie(movieSpec);
}

TEST(PlayerCode, PackagesRoundTripAndAnyDamageIsRefused) {
  const QByteArray package = TFlashPlayerControl::PackPlayerCode(
      {{"core.js", QByteArray("a\nb\0c", 5)}, {"empty", QByteArray()}});
  const auto files = TFlashPlayerControl::UnpackPlayerCode(package);
  ASSERT_EQ(files.size(), 2);
  EXPECT_EQ(files["core.js"], QByteArray("a\nb\0c", 5));
  EXPECT_TRUE(files["empty"].isEmpty());

  for (int i = 0; i < package.size(); i += 7) {
    QByteArray bad = package;
    bad[i] = char(bad[i] ^ 0x01);
    EXPECT_TRUE(TFlashPlayerControl::UnpackPlayerCode(bad).isEmpty()) << "byte " << i;
  }
  EXPECT_TRUE(TFlashPlayerControl::UnpackPlayerCode(package.left(package.size() - 1)).isEmpty());
  EXPECT_TRUE(TFlashPlayerControl::UnpackPlayerCode(QByteArray()).isEmpty());
  EXPECT_TRUE(
      TFlashPlayerControl::UnpackPlayerCode(TFlashPlayerControl::PackPlayerCode({})).isEmpty());

  QBuffer closed;
  EXPECT_FALSE(TFlashPlayerControl::InstallPlayerCode(closed));
  QBuffer stream;
  stream.setData(package);
  ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
  EXPECT_TRUE(TFlashPlayerControl::InstallPlayerCode(stream));
  EXPECT_EQ(TFlashPlayerControl::PlayerCode(), package);
}

TEST(Movie, ProbesReadTheFrameCountOfFilesAndMemory) {
  QTemporaryDir dir;
  const QString good = dir.path() + "/a.swf", empty = dir.path() + "/b.swf";
  QFile f(good);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(movie(7));
  f.close();
  QFile e(empty);
  ASSERT_TRUE(e.open(QIODevice::WriteOnly));
  e.write(movie(0));
  e.close();

  TFlashPlayerControl probe;  // no parent
  probe.SetMovie(good);
  EXPECT_EQ(probe.TotalFrames(), 7);
  EXPECT_EQ(probe.StageSize(), QSize(320, 240));
  EXPECT_TRUE(probe.MovieData().isEmpty());  // a probe reads only the header
  probe.SetMovie(empty);
  EXPECT_EQ(probe.TotalFrames(), 0);
  probe.SetMovie(dir.path() + "/missing.swf");
  EXPECT_EQ(probe.TotalFrames(), 0);
  EXPECT_EQ(TFlashPlayerControl::ProbeTotalFrames(good), 7);
  EXPECT_EQ(TFlashPlayerControl::ProbeTotalFrames(QByteArray("CWS\x09garbage")), 0);
}

TEST(Movie, PlayFromStreamReadsFromTheStartToTheEnd) {
  QWidget window;
  TFlashPlayerControl player(&window);
  QBuffer stream;
  stream.setData(movie(4));
  ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
  stream.seek(10);
  EXPECT_TRUE(player.PlayFromStream(0, stream));
  EXPECT_EQ(stream.pos(), stream.size());
  EXPECT_EQ(player.TotalFrames(), 4);
  EXPECT_EQ(player.MovieData(), stream.data());

  QBuffer junk;
  junk.setData("not a movie at all");
  ASSERT_TRUE(junk.open(QIODevice::ReadOnly));
  EXPECT_FALSE(player.PlayFromStream(0, junk));
  EXPECT_EQ(player.TotalFrames(), 0);
  EXPECT_EQ(junk.pos(), junk.size());
}

TEST(Variables, FlashVarsDeliverInOrderAndReadBack) {
  QWidget window;
  TFlashPlayerControl player(&window);
  player.SetFlashVars("registred=12");
  player.SetFlashVars("askedLogin = nil");
  player.SetFlashVars("x=a=b");
  player.SetFlashVars("bare");
  EXPECT_EQ(player.DeliveredFlashVars(),
            (QStringList{"registred=12", "askedLogin = nil", "x=a=b", "bare"}));
  EXPECT_EQ(player.GetVariable("registred"), "12");
  EXPECT_EQ(player.GetVariable("askedLogin "), " nil");
  EXPECT_EQ(player.GetVariable("x"), "a=b");
  EXPECT_EQ(player.GetVariable("nothing"), "");

  // A newly loaded movie starts without the previous movie's variables.
  QBuffer stream;
  stream.setData(movie(1));
  ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
  player.PlayFromStream(0, stream);
  EXPECT_TRUE(player.DeliveredFlashVars().isEmpty());
  EXPECT_EQ(player.GetVariable("registred"), "");
}

TEST(Events, HandlersRunSynchronouslyAndAnswerCalls) {
  QWidget window;
  TFlashPlayerControl player(&window);
  QStringList seen;
  QObject::connect(&player, &TFlashPlayerControl::OnFSCommand,
                   [&](TFlashPlayerControl* sender, const QString& command, const QString& args) {
                     EXPECT_EQ(sender, &player);
                     seen << command + "|" + args;
                     sender->SetFlashVars("answer=" + args);  // from inside the event
                   });
  QObject::connect(&player, &TFlashPlayerControl::OnFlashCall,
                   [&](TFlashPlayerControl* sender, const QString& request) {
                     if (request.contains("load")) sender->SetReturnValue("<string>x</string>");
                   });
  player.RaiseFSCommand("open_file", "a.jpg|photo|Кремль");
  EXPECT_EQ(seen, QStringList{"open_file|a.jpg|photo|Кремль"});
  EXPECT_EQ(player.GetVariable("answer"), "a.jpg|photo|Кремль");
  EXPECT_EQ(player.RaiseFlashCall("<invoke name=\"load\"/>"), "<string>x</string>");
  // An unanswered call does not get the previous call's answer.
  EXPECT_EQ(player.RaiseFlashCall("<invoke name=\"other\"/>"), "");
}

class RecordingRenderer : public IFlashRenderer {
 public:
  explicit RecordingRenderer(QStringList* log) : log(log) {}
  QWidget* View() override { return view; }
  bool Load(const QByteArray& movie, const QString& path) override {
    *log << "load " + QString::number(movie.size()) + " " + path;
    return true;
  }
  void Unload() override { *log << "unload"; }
  void SetVariable(const QString& name, const QString& value) override {
    *log << "set " + name + "=" + value;
  }
  bool GetVariable(const QString& name, QString& value) override {
    if (name != "live") return false;
    value = "from movie";
    return true;
  }
  void SetReturnValue(const QString& value) override { *log << "return " + value; }
  void GotoFrame(int frame) override { *log << "goto " + QString::number(frame); }
  void SetBackgroundColor(const QColor& color) override { *log << "color " + color.name(); }
  void SetMenu(bool enabled) override { *log << QString("menu ") + (enabled ? "on" : "off"); }
  QStringList* log;
  QWidget* view = new QWidget;
};

TEST(Renderer, SeesEverythingTheMovieMustAndItsViewFillsTheControl) {
  QWidget window;
  TFlashPlayerControl player(&window);
  QStringList log;
  auto renderer = std::make_unique<RecordingRenderer>(&log);
  QWidget* view = renderer->view;
  player.SetRenderer(std::move(renderer));
  EXPECT_EQ(view->parentWidget(), &player);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  player.resize(300, 200);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->geometry() == QRect(0, 0, 300, 200); }));

  QTemporaryDir dir;
  QFile f(dir.path() + "/m.swf");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  const QByteArray bytes = movie(2);
  f.write(bytes);
  f.close();
  log.clear();
  player.SetMovie(f.fileName());
  player.SetMenu(false);
  player.SetBackgroundColor(TFlashPlayerControl::kStageColor);
  player.SetFlashVars("ChangeActiveRuler=3");
  player.GotoFrame(6);
  player.SetReturnValue("ok");
  EXPECT_EQ(log,
            (QStringList{"load " + QString::number(bytes.size()) + " " + f.fileName(), "menu off",
                         "color #f9f0f1", "set ChangeActiveRuler=3", "goto 6", "return ok"}));
  EXPECT_EQ(player.GetVariable("live"), "from movie");
  EXPECT_EQ(player.GetVariable("ChangeActiveRuler"), "3");

  // A missing file stops the movie before and leaves none.
  log.clear();
  player.SetMovie(dir.path() + "/gone.swf");
  EXPECT_EQ(log, QStringList{"unload"});
  EXPECT_EQ(player.TotalFrames(), 0);
}

TEST(Painting, WithoutRendererTheStageColourFillsTheControl) {
  QWidget window;
  window.resize(200, 100);
  auto* player = new TFlashPlayerControl(&window);
  player->resize(200, 100);
  EXPECT_EQ(player->BackgroundColor(), -1);
  EXPECT_EQ(player->Quality2(), "High");
  EXPECT_EQ(player->Scale(), "ShowAll");
  EXPECT_EQ(player->FrameNum(), -1);
  EXPECT_TRUE(player->Loop());
  EXPECT_TRUE(player->Menu());
  player->SetBackgroundColor(16380145);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QImage shot = player->grab().toImage();
  EXPECT_EQ(shot.pixelColor(100, 50), QColor(0xF9, 0xF0, 0xF1));
}

}  // namespace
}  // namespace vedalia

// ActionScript 2 movies as course discs hold them, made here with the SWF writer: they
// register nothing and read the shell's replies as variables of _level0, right after their
// fscommand and in later frames.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "common/WaitFor.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {
namespace test {
QVariant AskPage(TFlashPlayerControl& player, const QString& script);  // RuffleRendererTest
}
namespace {

constexpr int kStartMs = 30000;
constexpr int kWaitMs = 10000;

// fscommand("report", prefix + <expression on the stack>), compiled as Flash does: GetURL2.
SwfActions& report(SwfActions& a, const QString& prefix, const QString& variable) {
  a.Push("FSCommand:report").Push(prefix).Get(variable).Op(SwfOp::StringAdd).GetUrl2();
  return a;
}

// Frame 0: watches every value of `r` into `log`, sends commands and reports the replies
// read in the very next action, jumps over one command. Frame 1 waits for `late`, frame 2
// loops back to it, frame 3 (with a clip that sends a command) is reached only through the
// host's GotoFrame.
QByteArray flowMovie(int version, SwfCompression compression) {
  SwfMovieSpec movieSpec;
  movieSpec.version = version;
  movieSpec.compression = compression;
  movieSpec.frameCount = 4;
  movieSpec.width = 320;
  movieSpec.height = 240;
  SwfPlacement clip;
  clip.characterId = 1;
  clip.name = "clip";
  movieSpec.extraTags = SwfSpriteTag(1, 1) + SwfPlaceTag(clip, version);

  SwfActions watcher;
  watcher.Push("log").Get("log").Get("n").Op(SwfOp::StringAdd).Push("|").Op(SwfOp::StringAdd);
  watcher.Op(SwfOp::SetVariable).Get("n").Op(SwfOp::Return);
  SwfActions f0;
  f0.Set("log", "");
  f0.DefineFunction(QString(), {"p", "o", "n"}, watcher)
      .Push("r")
      .Push(std::int32_t(2))
      .Get("_level0")
      .Push("watch")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::Pop);
  f0.Fscommand("addUser", QString::fromUtf8("Иванов \"Иван\" \\ 8А"));
  report(f0, "sync:", "registred");
  f0.Push("FSCommand:getUsersData").Push("").GetUrl2();
  report(f0, "users:", "UsersData");
  f0.Fscommand("getBig", "");
  f0.Push("FSCommand:report").Push("len:").Get("big").Push("length").Op(SwfOp::GetMember);
  f0.Op(SwfOp::StringAdd).GetUrl2();
  f0.Push(true).If("over").Fscommand("never", "").Label("over").Fscommand("reached", "");

  SwfActions f1;
  f1.Get("late").Op(SwfOp::TypeOf).Push("undefined").Op(SwfOp::StringEquals).If("wait");
  report(f1, "late:", "late").Fscommand("app_exit", "").Op(SwfOp::Stop).Label("wait");
  SwfActions f2;
  f2.GotoFrame(1).Op(SwfOp::Play);
  SwfActions f3;
  f3.Fscommand("frame", "3").Op(SwfOp::Stop);
  // A clip placed there sends a command from its own timeline and reads the reply at once.
  SwfActions inClip;
  inClip.Fscommand("askClip", "");
  report(inClip, "clip:", "_level0.clipReply").Op(SwfOp::Stop);
  SwfPlacement inner;
  inner.characterId = 2;
  inner.depth = 2;
  inner.name = "inner";
  movieSpec.frameTags[3] = SwfSpriteTag(2, 1, SwfDoActionTag(inClip)) + SwfPlaceTag(inner, version);
  movieSpec.frameActions = {{0, f0}, {1, f1}, {2, f2}, {3, f3}};
  return WriteSwfMovie(movieSpec);
}

struct Command {
  QString command, args;
  bool operator==(const Command&) const = default;
};
void PrintTo(const Command& c, std::ostream* os) {
  *os << c.command.toStdString() << "(" << c.args.left(80).toStdString() << ")";
}

struct Flow {
  int version;
  SwfCompression compression;
};

template <class Base>
class Avm1Player : public Base {
 protected:
  static void TearDownTestSuite() {
    delete window;
    window = nullptr;
  }
  void SetUp() override {
    if (!window) {
      window = new QWidget;
      window->resize(320, 240);
      player = new TFlashPlayerControl(window);
      player->resize(320, 240);
      window->show();
    }
    scope = std::make_unique<QObject>();
    QObject::connect(player, &TFlashPlayerControl::OnFSCommand, scope.get(),
                     [this](TFlashPlayerControl* p, const QString& c, const QString& a) {
                       commands.push_back({c, a});
                       // Replies inside the handler, as the shell's command handlers send them.
                       if (c == QLatin1String("addUser")) {
                         // A message box runs its own loop while the movie waits.
                         QEventLoop modal;
                         QTimer::singleShot(50, &modal, &QEventLoop::quit);
                         p->SetFlashVars("r=inCommand");
                         modal.exec();
                         p->SetFlashVars("registred=1");
                       }
                       if (c == QLatin1String("askClip"))
                         p->SetFlashVars(QString::fromUtf8("clipReply=из клипа"));
                       if (c == QLatin1String("getUsersData"))
                         p->SetFlashVars(QString::fromUtf8("UsersData=Иванов;Петров"));
                       if (c == QLatin1String("getBig"))
                         p->SetFlashVars(QStringLiteral("big=") + QString(1 << 20, QChar(0x44F)));
                     });
  }
  void TearDown() override { scope.reset(); }
  bool received(const QString& c) const {
    return std::any_of(commands.begin(), commands.end(),
                       [&](const Command& x) { return x.command == c; });
  }

  void play(const QByteArray& bytes) {
    QBuffer stream;
    stream.setData(bytes);
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    ASSERT_TRUE(player->PlayFromStream(0, stream));
  }

  static inline QWidget* window = nullptr;
  static inline TFlashPlayerControl* player = nullptr;
  std::unique_ptr<QObject> scope;
  std::vector<Command> commands;
};
using Avm1Movie = Avm1Player<::testing::TestWithParam<Flow>>;
using Avm1BadInput = Avm1Player<::testing::Test>;

TEST_P(Avm1Movie, HearsEveryReplyInOrderAndAnswersTheHostContract) {
  const Flow flow = GetParam();
  const QByteArray bytes = flowMovie(flow.version, flow.compression);
  QTemporaryDir dir;
  if (flow.compression == SwfCompression::None) {
    ASSERT_NO_FATAL_FAILURE(play(bytes));
  } else {
    QFile file(dir.filePath(QString::fromUtf8("урок.swf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    player->SetMovie(file.fileName());
  }
  EXPECT_EQ(player->TotalFrames(), 4);
  // Sent before the first frame has run: delivered before any later reply.
  player->SetFlashVars("r=early0");
  player->SetFlashVars("r=early1");
  VEDALIA_WAIT_TRUE_FOR(received("reached"), kStartMs);
  const std::vector<Command> first = {{"addUser", QString::fromUtf8("Иванов \"Иван\" \\ 8А")},
                                      {"report", "sync:1"},
                                      {"getUsersData", ""},
                                      {"report", QString::fromUtf8("users:Иванов;Петров")},
                                      {"getBig", ""},
                                      {"report", QStringLiteral("len:%1").arg(1 << 20)},
                                      {"reached", ""}};
  EXPECT_EQ(commands, first);

  QStringList expectedLog = {"early0", "early1", "inCommand"};
  for (int i = 0; i < 1000; ++i) {
    player->SetFlashVars(QStringLiteral("r=%1").arg(i));
    expectedLog << QString::number(i);
  }
  const QString late = QString::fromUtf8("Ёлка \"в\" лесу \\ 'да' ");
  player->SetFlashVars("late=" + late);
  VEDALIA_WAIT_TRUE_FOR(received("app_exit"), kWaitMs);
  ASSERT_EQ(commands.size(), first.size() + 2);
  EXPECT_EQ(commands[first.size()], (Command{"report", "late:" + late}));
  EXPECT_EQ(player->GetVariable("log"), expectedLog.join('|') + '|');

  // The player's path forms, each read back through another form; a blank value stays blank.
  player->SetFlashVars(QString::fromUtf8("/clip:a=А"));
  player->SetFlashVars("clip.b=B");
  player->SetFlashVars("_level0.clip.c=C");
  player->SetFlashVars("blank= ");
  EXPECT_EQ(player->GetVariable("_level0.clip.a"), QString::fromUtf8("А"));
  EXPECT_EQ(player->GetVariable("/clip:b"), "B");
  EXPECT_EQ(player->GetVariable("clip.c"), "C");
  EXPECT_EQ(player->GetVariable("a"), "");
  EXPECT_EQ(player->GetVariable("blank"), " ");

  player->GotoFrame(3);
  const Command fromClip{"report", QString::fromUtf8("clip:из клипа")};
  VEDALIA_WAIT_TRUE_FOR(
      received("frame") && std::find(commands.begin(), commands.end(), fromClip) != commands.end(),
      kWaitMs);
  EXPECT_FALSE(received("never"));
}

TEST_F(Avm1BadInput, BrokenActionsAndAMovieCutBeforeItsFirstFrameLeaveTheControlSound) {
  // One frame: an action stream that does not parse (a push running past its tag) after an
  // action that does, then a sound one, still rewritten.
  SwfMovieSpec movieSpec;
  movieSpec.version = 8;
  movieSpec.frameCount = 2;
  movieSpec.frameTags[0] =
      SwfTag(12, SwfActions().Set("pre", "ran").Code() + QByteArray("\x96\xff\x7f\x02", 4));
  SwfActions f0;
  f0.Fscommand("addUser", "");
  report(f0, "sync:", "registred");
  report(f0, "pre:", "pre").Op(SwfOp::Stop);
  movieSpec.frameActions[0] = f0;
  const QByteArray sound = WriteSwfMovie(movieSpec);
  ASSERT_NO_FATAL_FAILURE(play(sound));
  VEDALIA_WAIT_TRUE_FOR(commands.size() >= 3, kStartMs);
  EXPECT_EQ(commands,
            (std::vector<Command>{{"addUser", ""}, {"report", "sync:1"}, {"report", "pre:ran"}}));

  // Cut inside its first frame's actions: the frame never runs. Replies keep their order in
  // the control's table and GetVariable answers from it; the next movie plays as ever.
  // Waited for: the cut movie has been in its player for three of its frame periods (a whole
  // one runs its first frame in the first); the whole movie's player is marked to tell it.
  ASSERT_TRUE(test::AskPage(*player, "document.querySelector('#stage > *').id = 'old'").isValid());
  ASSERT_NO_FATAL_FAILURE(play(sound.left(sound.lastIndexOf("FSCommand:report"))));
  EXPECT_FALSE(player->IsMovieReady());
  for (int i = 0; i < 3000; ++i) player->SetFlashVars(QStringLiteral("n=%1").arg(i));
  const char* held = R"((() => {
    const p = document.querySelector("#stage > *"), m = p.id ? null : p.ruffle().metadata;
    return !!m && performance.now() - (p.since ??= performance.now()) >= 3000 / m.frameRate;
  })())";
  VEDALIA_WAIT_TRUE_FOR(test::AskPage(*player, held).toBool(), kWaitMs);
  EXPECT_EQ(player->GetVariable("n"), "2999");
  EXPECT_FALSE(player->IsMovieReady());
  commands.clear();
  ASSERT_NO_FATAL_FAILURE(play(sound));
  VEDALIA_WAIT_TRUE_FOR(commands.size() >= 3, kStartMs);
  EXPECT_EQ(commands,
            (std::vector<Command>{{"addUser", ""}, {"report", "sync:1"}, {"report", "pre:ran"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, Avm1Movie,
    // The demo course's test runs every version both ways through the shell's own commands.
    ::testing::Values(Flow{6, SwfCompression::None}, Flow{7, SwfCompression::Zlib},
                      Flow{8, SwfCompression::None}, Flow{10, SwfCompression::Zlib}),
    [](const auto& info) {
      return QStringLiteral("Swf%1%2")
          .arg(info.param.version)
          .arg(info.param.compression == SwfCompression::None ? "" : "Cws")
          .toStdString();
    });

}  // namespace
}  // namespace vedalia

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include "dispatch/uPlayerSet.h"
#include "flashhost/SwfWriter.h"
#include "media/uDecryptor.h"
#include "misc/uMisc.h"
#include "viewers/uPlayerForm.h"

using namespace vedalia;

namespace {

class FakeViewer : public TPlayerForm {
 public:
  FakeViewer(QWidget* owner, const TViewerRequest& r, bool hideOnClose)
      : TPlayerForm(owner, r.ObjectName, r.TypeTitle), request(r) {
    if (hideOnClose) SetCloseAction(TCloseAction::Hide);
    resize(r.FrameWidth, r.FrameHeight);
  }
  TViewerRequest request;
};

class FakeFactory : public IViewerFactory {
 public:
  TPlayerForm* CreateViewer(QWidget* owner, const TViewerRequest& r, const TViewerLinks&) override {
    if (throwOnCreate) throw std::runtime_error("no window");
    auto* v = new FakeViewer(owner, r, r.Kind == QLatin1String("gms"));
    created << v;
    return v;
  }
  void OpenWithDesktop(const QString& target) override { opened << target; }
  bool CanRender(const QString&) override { return canRender; }

  QList<FakeViewer*> created;
  QStringList opened;
  bool canRender = true;
  bool throwOnCreate = false;
};

class PlayerSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    SetContentDir(dir.path() + '/');
    for (const char* t : {"photo", "vocab", "video", "graphics_3D", "animation"}) {
      QDir(dir.path()).mkpath(QStringLiteral("data/") + t);
    }
  }
  void TearDown() override {
    for (auto* w : set.OpenWindows()) delete w;
  }
  void write(const QString& rel, const QByteArray& bytes) {
    QFile f(dir.path() + '/' + rel);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray movie() { return WriteSwfMovie(SwfMovieSpec{}); }

  QTemporaryDir dir;
  FakeFactory factory;
  TPlayerSet set{nullptr, &factory};
};

TEST_F(PlayerSetTest, BrowseGoesToTheDesktopAndTouchesNothing) {
  EXPECT_EQ(set.OpenMedia(QStringLiteral("../../etc/passwd"), QStringLiteral("browse"),
                          QStringLiteral("x"), QString()),
            0);
  EXPECT_EQ(factory.opened, QStringList{QStringLiteral("../../etc/passwd")});
  EXPECT_TRUE(factory.created.isEmpty());
}

TEST_F(PlayerSetTest, ResultCodesBeforeTheWindowStage) {
  write("data/photo/p1.swf", movie());
  write("data/photo/bad.swf", "not a movie");
  write("data/photo/doc.txt", "text");
  write("data/video/clip.avi", "RIFF");
  const QString photo = QStringLiteral("photo");
  EXPECT_EQ(set.OpenMedia("missing.swf", photo, "a", {}), 2);
  EXPECT_EQ(set.OpenMedia("bad.swf", photo, "a", {}), 2);
  EXPECT_EQ(set.OpenMedia("doc.txt", photo, "a", {}), 1);
  EXPECT_EQ(set.OpenMedia("nothere.txt", photo, "a", {}), 2);
  factory.canRender = false;
  EXPECT_EQ(set.OpenMedia("clip.avi", QStringLiteral("video"), "v", {}), 2);
  // Names that would leave the type's folder count as missing.
  write("data/secret.swf", movie());
  EXPECT_EQ(set.OpenMedia("../secret.swf", photo, "a", {}), 2);
  EXPECT_EQ(set.OpenMedia("..\\secret.swf", photo, "a", {}), 2);
  EXPECT_TRUE(factory.created.isEmpty());
}

TEST_F(PlayerSetTest, UpperCaseExtensionHasNoViewerButExistingCaseVariantIsFound) {
  write("data/photo/X.SWF", movie());
  EXPECT_EQ(set.OpenMedia("X.SWF", "photo", "a", {}), 1);
  EXPECT_EQ(set.OpenMedia("Y.SWF", "photo", "a", {}), 2);
  // The movie asks in lower case; the disc holds upper case.
  EXPECT_EQ(set.OpenMedia("x.swf", "photo", "a", {}), 0);
  ASSERT_EQ(factory.created.size(), 1);
  EXPECT_EQ(factory.created[0]->request.MovieName, QStringLiteral("X.SWF"));
}

TEST_F(PlayerSetTest, VocabularyTemplateAndFrame) {
  write("data/vocab/words.xml", "<words/>");
  EXPECT_EQ(set.OpenMedia("words.xml", "vocab", "w", {}), 2);  // no template yet
  write("data/vocab/vocab_tmpl.swf", movie());
  EXPECT_EQ(set.OpenMedia("words.xml", "vocab", "w", "8a/Ivanov Ivan"), 0);
  ASSERT_EQ(factory.created.size(), 1);
  const TViewerRequest& r = factory.created[0]->request;
  EXPECT_EQ(r.Kind, "swf");
  EXPECT_EQ(r.MovieName, "vocab_tmpl.swf");
  EXPECT_EQ(r.ContentName, "words.xml");
  EXPECT_EQ(r.FrameWidth, 400);
  EXPECT_EQ(r.FrameHeight, 300);
  EXPECT_EQ(r.SaveExtension, "doc");
  EXPECT_TRUE(r.FixedSize);
  EXPECT_EQ(r.UserFolderName, "8a/Ivanov Ivan");
  EXPECT_EQ(r.Stream, movie());
}

TEST_F(PlayerSetTest, PhotoMoviesSavePicturesAndXmlLoadsItself) {
  write("data/photo/p1.swf", movie());
  write("data/photo/p1.xml", "<item/>");
  ASSERT_EQ(set.OpenMedia("p1.swf", "photo", "a", {}), 0);
  ASSERT_EQ(set.OpenMedia("p1.xml", "photo", "b", {}), 0);
  ASSERT_EQ(factory.created.size(), 2);
  EXPECT_EQ(factory.created[0]->request.SaveExtension, "jpg");
  EXPECT_EQ(factory.created[0]->request.ContentName, "none");
  EXPECT_EQ(factory.created[0]->request.TypeTitle, QStringLiteral("Фотография"));
  EXPECT_EQ(factory.created[1]->request.MovieName, "p1.xml");
  EXPECT_EQ(factory.created[1]->request.Stream, QByteArray("<item/>"));
}

TEST_F(PlayerSetTest, ScrambledContentIsUnscrambledBeforeTheViewerGetsIt) {
  QByteArray scrambled = movie();
  TDecryptor::Unscramble(scrambled.data(), scrambled.size(), {});
  write("data/animation/s.swf", scrambled);
  ASSERT_EQ(set.OpenMedia("s.swf", "animation", "s", {}), 0);
  EXPECT_EQ(factory.created[0]->request.Stream, movie());
  EXPECT_TRUE(factory.created[0]->request.FixedSize);
}

TEST_F(PlayerSetTest, SameKeysReuseTheWindowOtherTypeOpensAnother) {
  write("data/photo/p1.swf", movie());
  write("data/animation/p1.swf", movie());
  ASSERT_EQ(set.OpenMedia("p1.swf", "photo", "a", {}), 0);
  factory.created[0]->showMinimized();
  ASSERT_EQ(set.OpenMedia("p1.swf", "photo", "a", {}), 0);
  EXPECT_EQ(factory.created.size(), 1);
  EXPECT_FALSE(factory.created[0]->windowState() & Qt::WindowMinimized);
  ASSERT_EQ(set.OpenMedia("p1.swf", "animation", "a", {}), 0);
  EXPECT_EQ(factory.created.size(), 2);
  EXPECT_EQ(set.OpenWindows().size(), 2);
  EXPECT_TRUE(factory.created[1]->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(PlayerSetTest, ClosedViewersLeaveTheListHidden3DViewersStay) {
  write("data/graphics_3D/m.gms", "New object\n");
  write("data/photo/p1.swf", movie());
  ASSERT_EQ(set.OpenMedia("m.gms", "graphics_3D", "m", {}), 0);
  ASSERT_EQ(set.OpenMedia("p1.swf", "photo", "a", {}), 0);
  FakeViewer* model = factory.created[0];
  FakeViewer* photo = factory.created[1];
  photo->close();
  EXPECT_EQ(set.OpenWindows(), QList<TPlayerForm*>{model});
  model->close();
  EXPECT_TRUE(model->isHidden());
  ASSERT_EQ(set.OpenMedia("m.gms", "graphics_3D", "m", {}), 0);
  EXPECT_EQ(factory.created.size(), 2);
  EXPECT_TRUE(model->isVisible());
}

TEST_F(PlayerSetTest, PlacementOverTheFirstWindowAndRecentring) {
  write("data/photo/a.swf", movie());
  write("data/photo/b.swf", movie());
  write("data/photo/c.swf", movie());
  ASSERT_EQ(set.OpenMedia("a.swf", "photo", "a", {}), 0);
  FakeViewer* first = factory.created[0];
  const QPoint firstPos(set.FirstLeft, set.FirstTop);
  EXPECT_EQ(first->pos(), firstPos);
  ASSERT_EQ(set.OpenMedia("b.swf", "photo", "b", {}), 0);
  EXPECT_EQ(factory.created[1]->pos(), firstPos);
  // All closed: the next window is centred again and becomes the remembered one.
  first->close();
  factory.created[1]->close();
  QCoreApplication::processEvents();
  set.FirstLeft = set.FirstTop = 5;
  ASSERT_EQ(set.OpenMedia("c.swf", "photo", "c", {}), 0);
  EXPECT_EQ(QPoint(set.FirstLeft, set.FirstTop), factory.created[2]->pos());
  EXPECT_NE(QPoint(set.FirstLeft, set.FirstTop), QPoint(5, 5));
}

TEST(PlaceViewer, ScreenEdgeRule) {
  QPoint remembered(300, 200);
  const QSize screen(1024, 768);
  // Fits at the remembered place.
  EXPECT_EQ(PlaceViewer(false, {700, 560}, {10, 20}, screen, remembered), QPoint(300, 200));
  // One pixel past the right edge, then past the bottom: centred.
  EXPECT_EQ(PlaceViewer(false, {725, 100}, {10, 20}, screen, remembered), QPoint(10, 20));
  EXPECT_EQ(PlaceViewer(false, {100, 569}, {10, 20}, screen, remembered), QPoint(10, 20));
  EXPECT_EQ(PlaceViewer(false, {724, 568}, {10, 20}, screen, remembered), QPoint(300, 200));
  EXPECT_EQ(remembered, QPoint(300, 200));
  EXPECT_EQ(PlaceViewer(true, {100, 100}, {7, 9}, screen, remembered), QPoint(7, 9));
  EXPECT_EQ(remembered, QPoint(7, 9));
}

TEST_F(PlayerSetTest, FailureWhileCreatingTheWindowIsResultFour) {
  write("data/photo/p1.swf", movie());
  factory.throwOnCreate = true;
  EXPECT_EQ(set.OpenMedia("p1.swf", "photo", "a", {}), 4);
  EXPECT_TRUE(set.OpenWindows().isEmpty());
}

}  // namespace

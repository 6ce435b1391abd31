#include <gtest/gtest.h>
#include "common/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "TestJpeg.h"
#include "common/FakeServices.h"
#include "misc/uMisc.h"
#include "viewers/JpegFrm.h"

namespace vedalia {
namespace {

using test::JpegKind;
using test::MakeJpeg;

const QString kTitle = QStringLiteral("Фотография");
const QString kObject = QStringLiteral("Кремль");
const QString kUser = QStringLiteral("8А/Иванов Иван");

class JpegFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    root = tmp.path() + "/";
    SetBaseDir(root);
    folder = root + "data/photo/";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(root + "folders"));
  }
  void TearDown() override { SetBaseDir(QString()); }

  // A form that owns itself once shown; the test deletes what is left.
  QPointer<TJpegForm> Open(const QByteArray& bytes, const QString& file = "kreml.jpg") {
    QPointer<TJpegForm> f = new TJpegForm(nullptr, {.MovieName = file,
                                                    .FolderPath = folder,
                                                    .ObjectName = kObject,
                                                    .Stream = bytes,
                                                    .TypeTitle = kTitle,
                                                    .UserFolderName = kUser});
    forms.push_back(f);
    return f;
  }
  // The screen the forms measure.
  static TJpegScreenMetrics Screen() {
    const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
    return {a.width(), a.height(), 0};
  }
  ~JpegFormTest() override {
    for (auto& f : forms) delete f.data();
  }

  test::ScopedFakeServices services;
  QTemporaryDir tmp;
  QString root;
  QString folder;
  std::vector<QPointer<TJpegForm>> forms;
};

TEST_F(JpegFormTest, OpensAtTheStepThatFitsTheScreen) {
  // Too wide for the screen at full size, fine at half size.
  const int w = Screen().WorkWidth + 100;
  auto f = Open(MakeJpeg(w, 200));
  ASSERT_TRUE(f->Viewer());
  EXPECT_EQ(f->windowTitle(), kTitle);
  EXPECT_EQ(f->ObjectName(), kObject);
  EXPECT_EQ(f->TypeTitle(), kTitle);
  EXPECT_GT(f->Metrics().NonClientHeight, f->menuBar()->sizeHint().height() - 1);
  EXPECT_EQ(f->Viewer()->ScaleIndex(), 3);
  f->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
  const QSize half((w + 1) / 2, 100);
  VEDALIA_WAIT_EQ(f->Canvas()->size(), half);
  EXPECT_TRUE(services.messages.shown.empty());

  // Menu state at the start step, after a zoom, and for a picture that fits at full size.
  EXPECT_TRUE(f->mnuZoomIn->isEnabled());
  EXPECT_FALSE(f->mnuZoomOut->isEnabled());
  EXPECT_EQ(f->Canvas()->cursor().shape(), Qt::ArrowCursor);
  EXPECT_TRUE(f->mnuZoom->menuAction()->isVisible());
  f->mnuZoomIn->trigger();
  EXPECT_EQ(f->Viewer()->ScaleIndex(), 4);
  EXPECT_FALSE(f->mnuZoomIn->isEnabled());
  EXPECT_TRUE(f->mnuZoomOut->isEnabled());
  EXPECT_EQ(f->Canvas()->cursor().shape(), Qt::PointingHandCursor);
  f->mnuZoomIn->trigger();  // refused at full size
  EXPECT_EQ(f->Viewer()->ScaleIndex(), 4);
  f->mnuZoomOut->trigger();
  EXPECT_EQ(f->Viewer()->ScaleIndex(), 3);
  EXPECT_FALSE(f->mnuZoomOut->isEnabled());

  auto full = Open(MakeJpeg(320, 240));
  ASSERT_TRUE(full->Viewer());
  EXPECT_EQ(full->Viewer()->ScaleIndex(), 4);
  EXPECT_FALSE(full->mnuZoom->menuAction()->isVisible());
  EXPECT_FALSE(full->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(full->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(full->minimumSize(), full->maximumSize());  // nothing to grow into
}

TEST_F(JpegFormTest, DraggingWithTheMouseStopsAtTheEdge) {
  const int w = Screen().WorkWidth + 100;
  auto f = Open(MakeJpeg(w, 400));
  ASSERT_TRUE(f->Viewer());
  f->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
  VEDALIA_WAIT_EQ(f->Canvas()->width(), (w + 1) / 2);
  QWidget* c = f->Canvas();
  // At the start step the mouse does nothing.
  QTest::mousePress(c, Qt::LeftButton, {}, QPoint(50, 50));
  QTest::mouseMove(c, QPoint(90, 60));
  QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(90, 60));
  EXPECT_EQ(f->Viewer()->Geometry().DestRect.Left, 0);

  f->mnuZoomIn->trigger();
  const TJpegRect start = f->Viewer()->Geometry().DestRect;
  ASSERT_LT(start.Left, -100);
  QTest::mousePress(c, Qt::RightButton, {}, QPoint(100, 50));
  QTest::mouseMove(c, QPoint(140, 50));
  EXPECT_EQ(f->Viewer()->Geometry().DestRect.Left, start.Left + 40);
  QTest::mouseMove(c, QPoint(100 + w, 50));  // past the left edge
  EXPECT_EQ(f->Viewer()->Geometry().DestRect.Left, 0);
  QTest::mouseMove(c, QPoint(100 + w - 30, 50));  // back at once
  EXPECT_EQ(f->Viewer()->Geometry().DestRect.Left, -30);
  QTest::mouseRelease(c, Qt::RightButton, {}, QPoint(100 + w - 30, 50));
  EXPECT_FALSE(f->Viewer()->Geometry().Dragging);
}

TEST_F(JpegFormTest, MaximiseAndRestoreAtTheStartStep) {
  const int w = Screen().WorkWidth + 100;
  auto f = Open(MakeJpeg(w, 200));
  ASSERT_TRUE(f->Viewer());
  f->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
  f->showMaximized();
  VEDALIA_WAIT_EQ(f->Viewer()->ScaleIndex(), 4);
  EXPECT_FALSE(f->mnuZoomIn->isEnabled());
  f->showNormal();
  VEDALIA_WAIT_EQ(f->Viewer()->ScaleIndex(), 3);
  EXPECT_TRUE(f->mnuZoomIn->isEnabled());
}

TEST_F(JpegFormTest, PicturesThatCannotBeShownReportAndClose) {
  std::vector<QByteArray> bad = {QByteArray("not a picture"), QByteArray(),
                                 test::WithClaimedSize(MakeJpeg(8, 8), 65000, 65000)};
  for (const QByteArray& bytes : bad) {
    services.messages.shown.clear();
    QPointer<TJpegForm> f = Open(bytes);
    EXPECT_FALSE(f->Viewer());
    ASSERT_EQ(services.messages.shown.size(), 1u);
    EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(services.messages.shown[0].text, QStringLiteral("Невозможно загрузить изображение."));
    // A window without a viewer ignores menus and paints nothing.
    f->mnuZoomIn->trigger();
    f->show();
    VEDALIA_WAIT_TRUE(f.isNull());
  }
}

TEST_F(JpegFormTest, UnusualPicturesStillOpen) {
  const int w = Screen().WorkWidth;
  const QByteArray truncated = MakeJpeg(300, 300);
  std::vector<QByteArray> odd = {
      MakeJpeg(100, 80, JpegKind::Gray), MakeJpeg(100, 80, JpegKind::Cmyk),
      MakeJpeg(100, 80, JpegKind::Rgb, true), truncated.left(truncated.size() / 2),
      // too wide even at 1/8
      MakeJpeg(8 * (w + 50), 64)};
  for (const QByteArray& bytes : odd) {
    auto f = Open(bytes);
    ASSERT_TRUE(f->Viewer());
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
  }
  EXPECT_TRUE(services.messages.shown.empty());
  const TJpegForm* wide = forms.back();
  EXPECT_EQ(wide->Viewer()->ScaleIndex(), 0);
  VEDALIA_WAIT_EQ(wide->Canvas()->width(), w - 2);
}

TEST_F(JpegFormTest, CopiesArePlainAndNamedAfterTypeAndObject) {
  const QByteArray plain = MakeJpeg(120, 90);
  QFile stored(folder + "kreml.jpg");
  ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
  stored.write(test::Scrambled(plain));
  stored.close();

  auto f = Open(plain);
  f->mnuSavePersonal->trigger();
  QFile copy(root + "folders/" + kUser + "/Фотография_Кремль.jpg");
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), plain);
  ASSERT_EQ(services.messages.shown.size(), 1u);
  EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(services.messages.shown[0].text,
            QStringLiteral("Файл успешно скопирован в Вашу личную директорию."));

  // A chosen file without an extension gets ".jpg".
  services.dialogs.answer = root + "elsewhere";
  f->mnuSaveOther->trigger();
  ASSERT_EQ(services.dialogs.opened.size(), 1u);
  EXPECT_EQ(services.dialogs.opened[0].initialName, kObject);
  EXPECT_EQ(services.dialogs.opened[0].filter, TJpegForm::SaveFilter());
  QFile other(root + "elsewhere.jpg");
  ASSERT_TRUE(other.open(QIODevice::ReadOnly));
  EXPECT_EQ(other.readAll(), plain);
  ASSERT_EQ(services.messages.shown.size(), 2u);
  EXPECT_EQ(services.messages.shown[1].text, QStringLiteral("Файл успешно скопирован"));

  // Failures: a folder that does not exist; a missing source. Cancel says nothing.
  services.dialogs.answer = root + "no/such/folder/x.jpg";
  f->mnuSaveOther->trigger();
  auto missing = Open(plain, "absent.jpg");
  missing->mnuSavePersonal->trigger();
  ASSERT_EQ(services.messages.shown.size(), 4u);
  for (int i : {2, 3}) {
    EXPECT_EQ(services.messages.shown[i].kind, MessageKind::Warning);
    EXPECT_EQ(services.messages.shown[i].text, QStringLiteral("Не удалось скопировать файл."));
  }
  services.dialogs.answer.clear();
  f->mnuSaveOther->trigger();
  EXPECT_EQ(services.messages.shown.size(), 4u);
}

TEST_F(JpegFormTest, PrintsTheFullPictureOnTheFirstPrinter) {
  auto f = Open(MakeJpeg(400, 300));
  f->mnuPrint->trigger();
  ASSERT_EQ(services.messages.shown.size(), 1u);
  EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(services.messages.shown[0].text,
            QStringLiteral("Принтеров не обнаружено. Перед началом печати требуется установить "
                           "принтер!"));

  services.printers.names = {"first", "second"};
  services.printers.pdfPath = root + "out.pdf";
  services.printers.confirm = false;
  f->mnuPrint->trigger();
  EXPECT_EQ(services.printers.dialogParents.size(), 1u);
  EXPECT_FALSE(QFile::exists(root + "out.pdf"));

  services.printers.confirm = true;
  f->mnuPrint->trigger();
  EXPECT_EQ(services.printers.requested.last(), QStringLiteral("first"));
  QFile pdf(root + "out.pdf");
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray head = pdf.read(5);
  EXPECT_EQ(head, QByteArray("%PDF-"));
  EXPECT_GT(pdf.size(), 2000);  // the picture is in it
  EXPECT_EQ(services.messages.shown.size(), 1u);
}

TEST(JpegPrintRect, ScalesToThePageWithTheMargins) {
  // Same orientation: the height decides.
  EXPECT_EQ(TJpegForm::PrintRect({1000, 2000}, {4000, 6000}),
            QRect(QPoint(10, 10), QPoint(2979, 5979)));  // 3000 x 6000, ends 20 short
  // Across orientations: the width decides.
  EXPECT_EQ(TJpegForm::PrintRect({2000, 1000}, {4000, 6000}),
            QRect(QPoint(10, 10), QPoint(3979, 1979)));
  // The height rule would run off the page's width: both sides fit instead.
  EXPECT_EQ(TJpegForm::PrintRect({1000, 1100}, {4000, 6000}),
            QRect(QPoint(10, 10), QPoint(3979, 4379)));  // r = 4, 4000 x 4400
  EXPECT_TRUE(TJpegForm::PrintRect({100, 100}, {20, 20}).isEmpty());
}

}  // namespace
}  // namespace vedalia

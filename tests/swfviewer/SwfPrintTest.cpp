#include <QImage>
#include <QPageLayout>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>

#include "SwfFixture.h"
#include "viewers/SaveAndLoadInf.h"

using namespace vedalia;
using namespace vedalia::test;

TEST(SwfRules, PrintedImageFitsThePageFromItsTopLeftCorner) {
  // Page height first: 800 x 600 on 1000 x 500 is 666.67 -> 667 wide.
  EXPECT_EQ(PrintedImageRect({800, 600}, {1000, 500}), QRect(0, 0, 667, 500));
  // Too wide at full height: full width, 300 * 1000 / 900 = 333.3 -> 333 high.
  EXPECT_EQ(PrintedImageRect({900, 300}, {1000, 500}), QRect(0, 0, 1000, 333));
  // Exactly as wide as the page counts as too wide: 1000 x 334 is 1000 x 334.
  EXPECT_EQ(PrintedImageRect({3, 1}, {1000, 333}), QRect(0, 0, 999, 333));
  EXPECT_EQ(PrintedImageRect({2, 1}, {1000, 500}), QRect(0, 0, 1000, 500));
  // Large printer resolutions do not overflow.
  EXPECT_EQ(PrintedImageRect({1920, 1080}, {14031, 9921}), QRect(0, 0, 14031, 7892));
  EXPECT_TRUE(PrintedImageRect({0, 600}, {1000, 500}).isEmpty());
  EXPECT_TRUE(PrintedImageRect({800, 0}, {1000, 500}).isEmpty());
}

TEST(SwfRules, TypeFolderAndOpenFileArguments) {
  EXPECT_EQ(TypeFolderName("/srv/course/data/photo/"), "photo");
  EXPECT_EQ(TypeFolderName("C:\\course\\data\\reference\\"), "reference");
  EXPECT_EQ(TypeFolderName("photo/"), "photo");
  EXPECT_EQ(TypeFolderName(""), "");

  const TOpenFileArgs three = SplitOpenFileArgs("a.swf geo Карта мира");
  EXPECT_EQ(three.fileName, "a.swf");
  EXPECT_EQ(three.mediaType, "geo");
  EXPECT_EQ(three.objectName, QStringLiteral("Карта"));
  // Two blanks in a row leave an empty media type; nothing at all leaves everything empty.
  const TOpenFileArgs gap = SplitOpenFileArgs("a.swf  obj");
  EXPECT_EQ(gap.mediaType, "");
  EXPECT_EQ(gap.objectName, "obj");
  const TOpenFileArgs none = SplitOpenFileArgs("");
  EXPECT_TRUE(none.fileName.isEmpty() && none.mediaType.isEmpty() && none.objectName.isEmpty());
}

TEST(SwfRules, DialogFiltersInQtSyntax) {
  EXPECT_EQ(QtFileFilter("Flash Data file (*.fld)|*.fld"), "Flash Data file (*.fld)");
  EXPECT_EQ(QtFileFilter("Text|*.txt;*.text|All (*.*)|*.*"), "Text (*.txt *.text);;All (*.*)");
}

namespace {

// The page as a picture, from the PDF the print job wrote.
QImage Rasterize(const QString& pdf, int dpi) {
  const QString prefix = pdf + ".raster";
  QProcess::execute("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", pdf, prefix});
  return QImage(prefix + ".png");
}

QString PdfInfo(const QString& pdf) {
  QProcess p;
  p.start("pdfinfo", {pdf});
  p.waitForFinished();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Bounding box of the pixels close to `color`.
QRect AreaOf(const QImage& image, QColor color) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - color.red()) < 40 && std::abs(c.green() - color.green()) < 40 &&
          std::abs(c.blue() - color.blue()) < 40)
        box |= QRect(x, y, 1, 1);
    }
  return box;
}

}  // namespace

class SwfPrintTest : public SwfFormTest {
 protected:
  // Prints the window's page and checks where the window's picture lands on it.
  void PrintAndCheck(TSwfForm* form, const QSize& client) {
    const QColor stage(0x20, 0x40, 0xC0);
    form->ShPlayer()->SetBackgroundColor(int(stage.rgb() & 0xFFFFFF));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    ASSERT_EQ(form->ShPlayer()->size(), client);

    Command(form, "print_page");
    EXPECT_EQ(Replies(form), QStringList{"PrintPage=7"});
    EXPECT_TRUE(services.messages.shown.empty());
    const QString pdf = services.printers.pdfPath;
    ASSERT_TRUE(QFile::exists(pdf));

    // One landscape A4 page.
    const QString info = PdfInfo(pdf);
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+842 x 595 pts")))
        << info.toStdString();

    // Where the picture must be, from a printer set up like the one the job used.
    QPrinter reference(QPrinter::HighResolution);
    reference.setOutputFormat(QPrinter::PdfFormat);
    reference.setPageSize(QPageSize(QPageSize::A4));
    reference.setPageOrientation(QPageLayout::Landscape);
    const QRect paper = reference.pageLayout().fullRectPixels(reference.resolution());
    const QRect printable = reference.pageLayout().paintRectPixels(reference.resolution());
    const QRect expected =
        PrintedImageRect(client, printable.size()).translated(printable.topLeft());

    const QImage page = Rasterize(pdf, 40);
    ASSERT_FALSE(page.isNull());
    const double scale = double(page.width()) / paper.width();
    const QRect found = AreaOf(page, stage);
    const auto near = [](double a, double b) { return std::abs(a - b) <= 2.0; };
    EXPECT_TRUE(near(found.left(), expected.left() * scale)) << found.left();
    EXPECT_TRUE(near(found.top(), expected.top() * scale)) << found.top();
    EXPECT_TRUE(near(found.right() + 1, (expected.right() + 1) * scale)) << found.right();
    EXPECT_TRUE(near(found.bottom() + 1, (expected.bottom() + 1) * scale)) << found.bottom();
  }
};

TEST_F(SwfPrintTest, PageIsAsTallAsThePrintableArea) {
  services.printers.names = {"Kabinet-12"};
  services.printers.pdfPath = base.path() + "/tall.pdf";
  PrintAndCheck(Open(FormArgs()), QSize(800, 600));
  ASSERT_EQ(services.printers.dialogParents.size(), 1u);
}

TEST_F(SwfPrintTest, WideWindowIsAsWideAsThePrintableArea) {
  TFlashPlayerControl::SetRendererFactory(&VariableRenderer::Create);
  VariableRenderer::Variables() = {{"Stage_width", "900"}, {"Stage_height", "240"}};
  services.printers.names = {"Kabinet-12"};
  services.printers.pdfPath = base.path() + "/wide.pdf";
  FormArgs a;
  a.fixedSize = false;
  PrintAndCheck(Open(a), QSize(900, 240));
}

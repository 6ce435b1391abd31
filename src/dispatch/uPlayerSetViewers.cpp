// The real viewer windows behind the player set.

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "desktop/uDesktop.h"
#include "dispatch/uPlayerSet.h"
#include "misc/uMisc.h"
#include "model3d/ThreeDimFrm.h"
#include "viewers/AviFrm.h"
#include "viewers/JpegFrm.h"
#include "viewers/SwfFrm.h"

namespace vedalia {
namespace {

class TViewerFactory final : public IViewerFactory {
 public:
  TPlayerForm* CreateViewer(QWidget* owner, const TViewerRequest& r,
                            const TViewerLinks& links) override {
    if (r.Kind == QLatin1String("swf")) return new TSwfForm(owner, links, r);
    if (r.Kind == QLatin1String("jpg")) return new TJpegForm(owner, r);
    if (r.Kind == QLatin1String("avi")) return new TAviForm(owner, r);
    if (r.Kind == QLatin1String("gms")) return new TThreeDimForm(owner, r);
    return nullptr;
  }

  void OpenWithDesktop(const QString& target) override {
    // An address with a scheme goes as it is; anything else is a document path, relative
    // ones taken from the working directory.
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1) {
      QDesktopServices::openUrl(url);
    } else {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()));
    }
  }

  bool CanRender(const QString& path) override { return CanRenderMedia(path); }
};

}  // namespace

IViewerFactory& DefaultViewerFactory() {
  static TViewerFactory factory;
  return factory;
}

}  // namespace vedalia

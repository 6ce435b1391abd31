#include "viewers/uPlayerForm.h"

#include <QCloseEvent>

namespace vedalia {

TPlayerForm::TPlayerForm(QWidget* owner, const QString& objectName, const QString& typeTitle)
    : QMainWindow(owner, Qt::Window), FObjectName(objectName), FTypeTitle(typeTitle) {
  setWindowTitle(typeTitle);
  setAttribute(Qt::WA_DeleteOnClose, true);
}

TPlayerForm::~TPlayerForm() = default;

bool TPlayerForm::HasKeys(const QString& objectName, const QString& typeTitle) const {
  return FObjectName == objectName && FTypeTitle == typeTitle;
}

void TPlayerForm::SetCloseAction(TCloseAction action) {
  FCloseAction = action;
  setAttribute(Qt::WA_DeleteOnClose, action == TCloseAction::Free);
}

void TPlayerForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted() && FCloseAction == TCloseAction::Free && !FReleased) {
    FReleased = true;
    emit Released(this);
  }
}

}  // namespace vedalia

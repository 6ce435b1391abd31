// The command handler's store: the transaction facade over the course database.
#include "shell/uCommandHandler.h"
#include "store/uDBTransaction.h"

namespace vedalia {

namespace {

class TCourseStore : public IAccountStore {
 public:
  TCourseStore() = default;
  QString AddUser(const QString& record) override { return facade.AddUser(record); }
  QString ValidateUser(const QString& record) override { return facade.ValidateUser(record); }
  QString GetUsersList() override { return facade.GetUsersList(); }
  QString GetUserResults(const QString& record) override { return facade.GetUserResults(record); }
  QString AddTestResult(const QString& record) override { return facade.AddTestResult(record); }
  QString DeleteUser(const QString& record) override { return facade.DeleteUser(record); }
  QString SetPassword(const QString& record) override { return facade.SetPassword(record); }

 private:
  TDBTransaction facade;  // opens the database file; closes it when the event ends
};

}  // namespace

std::unique_ptr<IAccountStore> OpenCourseStore() { return std::make_unique<TCourseStore>(); }

}  // namespace vedalia

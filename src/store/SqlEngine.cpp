#include "store/SqlEngine.h"

#include <limits>

#include "store/FileEngine.h"
#include "store/StoreErrors.h"

namespace vedalia {
namespace {

[[noreturn]] void FailUsage(const char* what) { throw EngineError(EngineError::Kind::Usage, what); }

bool ParseInt32(const QString& text, qint32& value) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  if (!ok) return false;
  // toInt accepts surrounding blanks; a number field does not.
  if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return false;
  value = v;
  return true;
}

void Put(SqlBindings& values, const QString& name, const SqlValue& value) {
  for (auto& [n, v] : values) {
    if (n == name) {
      v = value;
      return;
    }
  }
  values.emplace_back(name, value);
}

}  // namespace

// ---- SqlDatabase ------------------------------------------------------------------------

SqlDatabase::SqlDatabase() : SqlDatabase(MakeFileBackend()) {}

SqlDatabase::SqlDatabase(std::unique_ptr<SqlBackend> backend) : backend_(std::move(backend)) {}

SqlDatabase::~SqlDatabase() { Disconnect(); }

void SqlDatabase::Connect(const QString& path, const QString& password, int lockWaitMs) {
  if (backend_->Connected()) FailUsage("already connected");
  backend_->Connect(path, password, lockWaitMs);
  path_ = path;
}

void SqlDatabase::Disconnect() {
  backend_->Disconnect();
  path_.clear();
}

bool SqlDatabase::Connected() const { return backend_->Connected(); }

SqlBackend& SqlDatabase::Backend() const {
  if (!backend_->Connected()) FailUsage("the database is not connected");
  return *backend_;
}

void SqlDatabase::StartTransaction() { Backend().Begin(); }

bool SqlDatabase::InTransaction() const { return backend_->InTransaction(); }

void SqlDatabase::LockTable(const QString& table) {
  if (!InTransaction()) FailUsage("no transaction for a lock");
  Backend().LockTable(table);
}

void SqlDatabase::Commit() {
  if (!InTransaction()) FailUsage("no transaction to commit");
  Backend().Commit();
}

void SqlDatabase::Verify() { Backend().Verify(); }

void SqlDatabase::Rollback() {
  if (backend_->Connected()) backend_->Rollback();
}

void SqlDatabase::Create(const QString& path, const QString& password,
                         const QStringList& statements, sealed::KdfCost cost) {
  CreateFileDatabase(path, password, statements, cost);
}

// ---- SqlRowSet --------------------------------------------------------------------------

void SqlRowSet::Reset() {
  result_ = {};
  current_ = 0;
}

void SqlRowSet::Load(SqlResult result) {
  result_ = std::move(result);
  current_ = 0;
}

int SqlRowSet::ColumnIndex(const QString& name) const {
  for (std::size_t i = 0; i < result_.columns.size(); ++i) {
    if (result_.columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
  }
  throw EngineError(EngineError::Kind::Sql, "no field " + name.toStdString());
}

const SqlValue& SqlRowSet::Value(int index) const {
  if (index < 0 || std::size_t(index) >= result_.columns.size()) {
    throw EngineError(EngineError::Kind::Sql, "no field number " + std::to_string(index));
  }
  if (current_ >= result_.rows.size()) throw EngineError(EngineError::Kind::Sql, "no current row");
  return result_.rows[current_][std::size_t(index)];
}

QString SqlRowSet::FieldText(const QString& name) const { return FieldText(ColumnIndex(name)); }

QString SqlRowSet::FieldText(int index) const {
  const SqlValue& v = Value(index);
  const QString& declared = result_.columns[std::size_t(index)].declaredType;
  const bool boolean = declared.contains("BOOL");
  switch (v.type) {
    case SqlValue::Type::Integer:
      if (boolean) return v.integer ? QStringLiteral("True") : QStringLiteral("False");
      return QString::number(v.integer);
    case SqlValue::Type::Real:
      return QString::number(v.real, 'g', 15);
    case SqlValue::Type::Text:
      return v.text;
    case SqlValue::Type::Null:
      if (boolean) return QStringLiteral("False");
      if (declared.contains("INT")) return QStringLiteral("0");
      return QString();
  }
  return QString();
}

qint32 SqlRowSet::FieldInt(const QString& name) const { return FieldInt(ColumnIndex(name)); }

qint32 SqlRowSet::FieldInt(int index) const {
  const SqlValue& v = Value(index);
  const auto fail = [&]() -> qint32 {
    throw EngineError(
        EngineError::Kind::Sql,
        "field " + result_.columns[std::size_t(index)].name.toStdString() + " is no integer");
  };
  switch (v.type) {
    case SqlValue::Type::Null:
      return 0;
    case SqlValue::Type::Integer:
      if (v.integer < std::numeric_limits<qint32>::min() ||
          v.integer > std::numeric_limits<qint32>::max()) {
        return fail();
      }
      return qint32(v.integer);
    case SqlValue::Type::Real:
      if (v.real != double(qint32(v.real))) return fail();
      return qint32(v.real);
    case SqlValue::Type::Text: {
      qint32 value = 0;
      if (!ParseInt32(v.text, value)) return fail();
      return value;
    }
  }
  return fail();
}

// ---- SqlQuery ---------------------------------------------------------------------------

void SqlQuery::Bind(const QString& name, const SqlValue& value) { Put(values_, name, value); }

void SqlQuery::Open() {
  active_ = false;
  Reset();
  Load(database_.Backend().Run(Text(), values_, /*wantRows=*/true));
  active_ = true;
}

void SqlQuery::OpenForUpdate() {
  active_ = false;
  Reset();
  Load(database_.Backend().RunForUpdate(Text(), values_));
  active_ = true;
}

void SqlQuery::ExecSQL() { database_.Backend().Run(Text(), values_, /*wantRows=*/false); }

void SqlQuery::Close() {
  active_ = false;
  Reset();
}

// ---- SqlTable ---------------------------------------------------------------------------

void SqlTable::SetTableName(const QString& name) {
  Close();
  name_ = name;
}

void SqlTable::Open() {
  Reset();
  result_.columns = database_.Backend().TableColumns(name_);
  active_ = true;
}

void SqlTable::Close() {
  active_ = false;
  inserting_ = false;
  pending_.clear();
  Reset();
}

void SqlTable::Last() {
  if (!active_) FailUsage("the table is not open");
  Load(database_.Backend().LastRow(name_));
  SqlRowSet::Last();
}

void SqlTable::Insert() {
  if (!active_) FailUsage("the table is not open");
  inserting_ = true;
  pending_.clear();
}

void SqlTable::SetInt(const QString& field, qint32 value) {
  Put(pending_, field, SqlValue::Int(value));
}

void SqlTable::SetText(const QString& field, const QString& value) {
  Put(pending_, field, SqlValue::Str(value));
}

void SqlTable::SetBool(const QString& field, bool value) {
  Put(pending_, field, SqlValue::Bool(value));
}

void SqlTable::Post() {
  if (!inserting_) FailUsage("no row to post");
  database_.Backend().Insert(name_, pending_);
  inserting_ = false;
  pending_.clear();
}

}  // namespace vedalia

#pragma once
// Errors raised by the user and results store. The queries turn every one of them into the
// reply "false"; what escapes to the command handler is an engine error from opening the
// database (connect) or a field conversion error from the facade.

#include <stdexcept>
#include <string>

namespace vedalia {

// A failure of the SQL engine or of its database file.
class EngineError : public std::runtime_error {
 public:
  enum class Kind {
    FileMissing,   // no database file at the path
    BadSignature,  // the file does not begin with the signature: not a course database
    Damaged,       // truncated, altered, or sealed under another password
    Locked,        // another connection (this or another process) holds the database
    Io,            // reading or writing the file failed
    Sql,           // a statement failed (syntax, missing table or column, constraint)
    Usage,         // the engine was used out of order (not connected, no transaction)
    Conflict,      // a concurrent transaction on a server won; the operation may be retried
  };
  EngineError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// A record field that must be a decimal 32-bit integer is not one.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A record field that must not be empty is (the class letter of a registration).
class RangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vedalia

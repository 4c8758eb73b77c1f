#pragma once
// The outcome of an operation that can fail: its value, or an Error that says
// why (the file, the byte, the block or the system's reason) in words a user
// can be shown. Where a caller or a file relies on a documented number
// (UpdateDataSet's 0 to -10), that number is the error's code.

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tavomark {

// The code of a failure that has no documented number of its own.
inline constexpr int kFailed = -1;

struct Error {
  int code = kFailed;
  std::string message;
};

[[nodiscard]] inline Error Fail(int code, std::string message) { return Error{code, std::move(message)}; }
[[nodiscard]] inline Error Fail(std::string message) { return Error{kFailed, std::move(message)}; }

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : m_data(std::in_place_index<1>, std::move(error)) {}

  [[nodiscard]] bool ok() const { return m_data.index() == 0; }
  explicit operator bool() const { return ok(); }
  // Only on success. A temporary hands its value over, so a loop over
  // Make().value() does not outlive what it walks.
  [[nodiscard]] T& value() & { return std::get<0>(m_data); }
  [[nodiscard]] const T& value() const& { return std::get<0>(m_data); }
  [[nodiscard]] T value() && { return std::get<0>(std::move(m_data)); }
  // Only on failure.
  [[nodiscard]] const Error& error() const { return std::get<1>(m_data); }
  [[nodiscard]] int code() const { return ok() ? 0 : error().code; }
  // Empty on success.
  [[nodiscard]] std::string message() const { return ok() ? std::string() : error().message; }

 private:
  std::variant<T, Error> m_data;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : m_error(std::move(error)) {}

  [[nodiscard]] bool ok() const { return !m_error; }
  explicit operator bool() const { return ok(); }
  // Only on failure.
  [[nodiscard]] const Error& error() const { return *m_error; }
  [[nodiscard]] int code() const { return ok() ? 0 : m_error->code; }
  // Empty on success.
  [[nodiscard]] std::string message() const { return ok() ? std::string() : m_error->message; }

 private:
  std::optional<Error> m_error;
};

}  // namespace tavomark

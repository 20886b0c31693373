// Errors cross module boundaries as values.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace domora {

struct Error {
    std::string message;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { assert(ok()); return *m_value; }
    const T& value() const { assert(ok()); return *m_value; }
    const Error& error() const { assert(!ok()); return m_error; }

private:
    std::optional<T> m_value;
    Error m_error;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_failed(true), m_error(std::move(error)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { assert(!ok()); return m_error; }

private:
    bool m_failed = false;
    Error m_error;
};

}  // namespace domora

#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace lumacore {

// What went wrong, in the terms a caller can act on. "Corrupt" means the bytes on disk make no sense:
// skip that structure and go on with the rest.
enum class ErrorKind {
    Io,
    Corrupt,
    Unsupported,
    Cancelled,
    NotFound,
    AccessDenied,
    InvalidArgument,
};

struct Error {
    ErrorKind kind = ErrorKind::Io;
    std::string message;
    std::uint64_t offset = 0;  // byte offset on the source where it happened, when it matters
    int systemCode = 0;        // errno of the failing system call, 0 when none

    static Error Io(std::string what, int code = 0, std::uint64_t at = 0) {
        return Error{ErrorKind::Io, std::move(what), at, code};
    }
    static Error Corrupt(std::string what, std::uint64_t at = 0) {
        return Error{ErrorKind::Corrupt, std::move(what), at, 0};
    }
    static Error Make(ErrorKind kind, std::string what) { return Error{kind, std::move(what), 0, 0}; }
};

// GCC 12 has no std::expected in C++20; this keeps the same member names so it can be swapped later.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), ok_(false) {}

    bool has_value() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const Error& error() const { return error_; }

private:
    Error error_;
    bool ok_ = true;
};

}  // namespace lumacore

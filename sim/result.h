// What the simulator's operations that can fail hand back: the value (or plain success), or the reason in
// words for the person running the simulator. The reason travels with the outcome, so there is no error
// string beside a flag that a caller can forget to read or find left over from an earlier call.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vantrel::sim {

struct Failure {
    std::string message;
};

template <typename T = std::monostate>
class [[nodiscard]] Result {
public:
    // Plain success, for operations that give nothing back.
    Result() requires std::is_same_v<T, std::monostate>
    = default;
    Result(T value) : outcome_(std::move(value)) {}
    Result(Failure failure) : outcome_(std::move(failure)) {}

    bool Ok() const { return std::holds_alternative<T>(outcome_); }
    explicit operator bool() const { return Ok(); }

    // Only on success.
    const T& Value() const { return std::get<T>(outcome_); }
    const T& operator*() const { return Value(); }
    const T* operator->() const { return &Value(); }

    // Empty on success.
    const std::string& Error() const {
        static const std::string none;
        const Failure* failure = std::get_if<Failure>(&outcome_);
        return failure != nullptr ? failure->message : none;
    }

private:
    std::variant<T, Failure> outcome_;
};

}  // namespace vantrel::sim

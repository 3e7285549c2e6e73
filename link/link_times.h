// Fixed times and limits of the device link.
#pragma once

#include <chrono>
#include <cstdint>

namespace vantrel::link {

using namespace std::chrono_literals;

inline constexpr std::int32_t kLineBaudRate = 9600;

// A read of n bytes ends after at most kReadTotalTimeoutConstant + n * kReadTotalTimeoutMultiplier,
// a write of n bytes may take n * kWriteTotalTimeoutMultiplier.
inline constexpr std::chrono::milliseconds kReadTotalTimeoutConstant = 200ms;
inline constexpr std::chrono::milliseconds kReadTotalTimeoutMultiplier = 1ms;
inline constexpr std::chrono::milliseconds kWriteTotalTimeoutMultiplier = 1ms;
inline constexpr std::uint32_t kDriverQueueSize = 1000;

// Every transfer, frame or record, is tried as a whole this often, with this pause between attempts.
inline constexpr int kTransferAttempts = 5;
inline constexpr std::chrono::milliseconds kRetryPause = 100ms;

inline constexpr std::chrono::milliseconds ReadTimeout(std::uint32_t count) {
    return kReadTotalTimeoutConstant + kReadTotalTimeoutMultiplier * count;
}
inline constexpr std::chrono::milliseconds WriteTimeout(std::uint32_t count) {
    return kWriteTotalTimeoutMultiplier * count;
}

}  // namespace vantrel::link

// Fixed waits of the worker and the update sequence.
#pragma once

#include <chrono>
#include <cstdint>

namespace vantrel::engine {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds kZeroFramePause = 100ms;
inline constexpr std::chrono::milliseconds kEnterBootloaderWait = 1ms;
inline constexpr std::chrono::milliseconds kStartApplicationDelay = 500ms;
inline constexpr std::chrono::milliseconds kStartApplicationWait = 4000ms;
// The window's pause before it restarts a job that gave up on the line.
inline constexpr std::chrono::milliseconds kCommunicationRestartWait = 1500ms;

}  // namespace vantrel::engine

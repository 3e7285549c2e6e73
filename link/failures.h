// Failures inside a job. They are raised as EQel where they are found, deep in the transfer code, and
// caught in one place only, the worker's run, which turns each into the job's one final notification.
// The message is for diagnosis; the operator sees the text the presenter gives for the code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantrel::link {

enum FailureCode : std::int32_t {
    feNoPort = 10,
    feIo = 11,
    feCancelled = 20,
    feNoAnswer = 30,
    feNoUpdate = 40,
    feLoggerError = 41,
    feBadLastLine = 42,
    feConversion = 43,
    feProgramming = 44,
    feNotVerified = 45,
    feInvalidAnswer = 46,
    feNoMatchingImage = 47,
    feInfoOnly = 70,
};

// "feNoPort" for feNoPort and so on; nullptr for a code that is not one.
constexpr const char* FailureCodeName(std::int32_t code) {
    switch (code) {
        case feNoPort: return "feNoPort";
        case feIo: return "feIo";
        case feCancelled: return "feCancelled";
        case feNoAnswer: return "feNoAnswer";
        case feNoUpdate: return "feNoUpdate";
        case feLoggerError: return "feLoggerError";
        case feBadLastLine: return "feBadLastLine";
        case feConversion: return "feConversion";
        case feProgramming: return "feProgramming";
        case feNotVerified: return "feNotVerified";
        case feInvalidAnswer: return "feInvalidAnswer";
        case feNoMatchingImage: return "feNoMatchingImage";
        case feInfoOnly: return "feInfoOnly";
        default: return nullptr;
    }
}

class EQel : public std::runtime_error {
public:
    explicit EQel(std::int32_t code, const std::string& message = {}) : std::runtime_error(message), iException(code) {}

    std::int32_t iException;
};

}  // namespace vantrel::link

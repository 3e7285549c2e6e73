#include "tests/support/scripted_serial.h"

#include <algorithm>

#include "link/link_times.h"

namespace vantrel::testing {

namespace {
constexpr link::PortHandle kScriptedHandle = 7;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void ScriptedSerial::QueueReply(Bytes reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
}

void ScriptedSerial::SetResponder(std::function<Bytes(const Bytes&, std::uint32_t)> responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void ScriptedSerial::FailCall(Op op, int n) {
    std::lock_guard lock(mutex_);
    failing_[{op, n}] = true;
}

void ScriptedSerial::ShortWrite(int n, std::uint32_t written) {
    std::lock_guard lock(mutex_);
    shortWrites_[n] = written;
}

void ScriptedSerial::FailOpen(link::OpenFailure failure) {
    std::lock_guard lock(mutex_);
    openFailure_ = std::move(failure);
}

std::vector<ScriptedSerial::Call> ScriptedSerial::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<Bytes> ScriptedSerial::Writes() const {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> writes;
    for (const Call& call : calls_) {
        if (call.op == Op::Write) writes.push_back(call.bytes);
    }
    return writes;
}

int ScriptedSerial::CountOf(Op op) const {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
}

int ScriptedSerial::OpenHandles() const {
    std::lock_guard lock(mutex_);
    return openHandles_;
}

bool ScriptedSerial::Failing(Op op) {
    const int n = ++counts_[op];
    return failing_.count({op, n}) != 0;
}

link::PortHandle ScriptedSerial::Open(const std::string& portName, std::int32_t) {
    std::lock_guard lock(mutex_);
    calls_.push_back({Op::Open, ToBytes(portName), 0});
    ++counts_[Op::Open];
    if (openFailure_) {
        lastOpenFailure_ = *openFailure_;
        return link::kInvalidPortHandle;
    }
    openedName = portName;
    ++openHandles_;
    return kScriptedHandle;
}

bool ScriptedSerial::ClearCommError(link::PortHandle) {
    std::lock_guard lock(mutex_);
    calls_.push_back({Op::Clear, {}, 0});
    return !Failing(Op::Clear);
}

bool ScriptedSerial::PurgeComm(link::PortHandle, std::uint32_t) {
    std::lock_guard lock(mutex_);
    calls_.push_back({Op::Purge, {}, 0});
    return !Failing(Op::Purge);
}

bool ScriptedSerial::WriteFile(link::PortHandle, const std::uint8_t* data, std::uint32_t count,
                               std::uint32_t& written) {
    std::lock_guard lock(mutex_);
    Bytes bytes(data, data + count);
    calls_.push_back({Op::Write, bytes, count});
    const bool fails = Failing(Op::Write);
    written = 0;
    if (fails) return false;
    written = count;
    if (auto it = shortWrites_.find(counts_[Op::Write]); it != shortWrites_.end()) {
        written = std::min(count, it->second);
    }
    lastWritten_ = Bytes(data, data + written);
    return true;
}

bool ScriptedSerial::ReadFile(link::PortHandle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) {
    std::lock_guard lock(mutex_);
    read = 0;
    if (Failing(Op::Read)) {
        calls_.push_back({Op::Read, {}, count});
        return false;
    }
    Bytes reply;
    if (!replies_.empty()) {
        reply = std::move(replies_.front());
        replies_.pop_front();
    } else if (responder_) {
        reply = responder_(lastWritten_, count);
    }
    read = static_cast<std::uint32_t>(std::min<std::size_t>(reply.size(), count));
    std::copy_n(reply.begin(), read, buffer);
    calls_.push_back({Op::Read, Bytes(reply.begin(), reply.begin() + read), count});
    if (read < count && clock_ != nullptr) clock_->Advance(link::ReadTimeout(count));
    return true;
}

bool ScriptedSerial::CloseHandle(link::PortHandle) {
    std::lock_guard lock(mutex_);
    calls_.push_back({Op::Close, {}, 0});
    ++counts_[Op::Close];
    --openHandles_;
    return true;
}

link::OpenFailure ScriptedSerial::LastOpenFailure() const {
    std::lock_guard lock(mutex_);
    return lastOpenFailure_;
}

}  // namespace vantrel::testing

// The Vantrel update: identify the logger, switch it into its bootloader, read its identity and
// update-info block, choose the matching image, check that every record of it converts, program it with
// the vector-table record last, start the new firmware and check the class it reports. Returns normally
// only after that check passed.
//
// Nothing on a failure path sends srStartApplication: an interrupted update leaves the logger in its
// bootloader, where the next job finds it and programs the image again from its first record. An image
// that cannot be programmed to its end is refused before srBeginProgramming, so the logger keeps the
// application it has.
#pragma once

#include <cstdint>
#include <string>

#include "engine/comm_thread.h"
#include "firmware/header.h"

namespace vantrel::engine {

class TVantrelCommThread : public TCommThread {
public:
    using TCommThread::TCommThread;
    void ExecuteUpdate() override;

private:
    // What the bootloader tells of the board and the logger (all 0xFFFF until read).
    struct Identity {
        std::uint16_t platform;
        std::uint16_t print;
        std::uint16_t info;
        std::uint16_t updateClass;
        std::uint16_t updateId;
    };

    void Identify();
    std::uint16_t ReplyWord(std::size_t at) const;
    void IdentifyAndSwitch();
    Identity ReadIdentity();
    void ReadUpdateInfo(Identity& id);
    void ReportIdentity(const Identity& id) const;
    firmware::TBl3FileHeader ChooseImage(const Identity& id);
    std::int32_t CheckLastLine() const;
    void DecodeImageLine(std::int32_t index) const;
    void ConvertImage(std::int32_t lineCount) const;
    void SendDataRecord(const std::string& line, std::int32_t reportedIndex);
    void Program(std::int32_t lineCount);
    void StartAndVerify(const firmware::TBl3FileHeader& header);
};

}  // namespace vantrel::engine

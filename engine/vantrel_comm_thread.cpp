#include "engine/vantrel_comm_thread.h"

#include <cstdint>
#include <string>

#include "engine/engine_times.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "link/clock.h"
#include "link/command_frame.h"
#include "link/failures.h"
#include "link/hex_record.h"

namespace vantrel::engine {

namespace {

using firmware::TBl3FileHeader;
using link::EQel;
using link::MakeWord;
using link::RecordBuffer;

// Platform 14 reports itself under the code its images are built for.
constexpr std::uint16_t kPlatformReportedAs14 = 14;
constexpr std::uint16_t kPlatformUsedFor14 = 15;
constexpr std::uint16_t kRequiredBootloader = 3;
constexpr std::uint16_t kRequiredUpdateId = 0xFFFE;
constexpr std::uint8_t kVectorTableAddressHigh = 0x03;
constexpr std::uint8_t kVectorTableAddressLow = 0xDF;

// The unit's initialisation: this device can stop after its identification.
const bool kReadInfoOnlyRegistered = [] {
    ReadInfoOnlySupported = true;
    return true;
}();

struct Identity {
    std::uint16_t platform = firmware::kNoCode;
    std::uint16_t print = firmware::kNoCode;
    std::uint16_t info = 0;
    std::uint16_t updateClass = firmware::kNoCode;
    std::uint16_t updateId = firmware::kNoCode;
};

bool Matches(const TBl3FileHeader& header, const Identity& id) {
    return (!CheckUpdateClass || id.updateClass == header.qel_class) && id.platform == header.qel_platform &&
           id.print == header.qel_print && header.qel_bl == kRequiredBootloader &&
           (!CheckUpdateId || id.updateId == kRequiredUpdateId);
}

}  // namespace

void TVantrelCommThread::ExecuteUpdate() {
    // Identification. A logger in its application is switched into its bootloader once; the bootloader
    // itself answers with its own class, and anything else after the switch is not a logger we may update.
    for (int pass = 1;; ++pass) {
        SendCommand(true, link::cmdIdentify, 0, 0, 0, 0, 0, 0);
        const std::uint16_t loggerClass = MakeWord(FRxBuffer[2], FRxBuffer[3]);
        const std::uint16_t version = MakeWord(FRxBuffer[4], FRxBuffer[5]);
        Notify(ncClass, loggerClass);
        Notify(ncVersion, version);
        if (loggerClass == firmware::kBootloader3Class) break;
        if ((CheckFamily && loggerClass != firmware::kVantrelClass) || pass != 1) throw EQel(link::feNoUpdate);
        const auto& pattern = link::kBootloaderEntryPattern;
        SendCommand(false, link::cmdEnterBootloader, pattern[0], pattern[1], pattern[2], pattern[3], 0, 0);
        link::Sleep(kEnterBootloaderWait);
    }

    // The board's identity, from the bootloader.
    Identity id;
    RecordBuffer = link::ServiceRequestRecord(link::srIdentity);
    RequestRecord(6);
    id.platform = firmware::ValidPlatform(MakeWord(RecordBuffer.data[0], RecordBuffer.data[1]));
    if (id.platform == kPlatformReportedAs14) id.platform = kPlatformUsedFor14;
    id.print = firmware::ValidPrint(MakeWord(RecordBuffer.data[2], RecordBuffer.data[3]));
    id.info = MakeWord(RecordBuffer.data[4], RecordBuffer.data[5]);

    // The update-info block (its words stored low byte first); a platform without a name has none.
    if (id.platform != firmware::kNoCode) {
        firmware::MemoryMap map;
        firmware::PlatformMemoryMap(id.platform, map);
        const auto block = static_cast<std::uint16_t>(map[0].StartAddress / static_cast<std::int32_t>(link::kBlockSize));
        RecordBuffer = link::ServiceRequestRecord(link::srReadBlock, block);
        RequestRecord(64);
        id.updateClass = firmware::ValidLoggerClass(MakeWord(RecordBuffer.data[1], RecordBuffer.data[0]));
        id.updateId = MakeWord(RecordBuffer.data[3], RecordBuffer.data[2]);
    }

    Notify(ncPlatform, id.platform);
    Notify(ncPrint, id.print);
    Notify(ncInfo, id.info);
    Notify(ncUpdateClass, id.updateClass);
    Notify(ncUpdateId, id.updateId);

    // The first candidate that fits the logger: the file image alone when one was loaded for this job.
    const bool fileImageOnly = firmware::SelectedImage == 0;
    const int first = fileImageOnly ? 0 : 1;
    const int last = fileImageOnly ? 0 : firmware::FirmwareImageCount();
    firmware::SelectedImage = -1;
    TBl3FileHeader header;
    for (int i = first; i <= last; ++i) {
        Notify(ncCheckImage, i);
        firmware::GetFirmwareHeader(i, header);
        if (Matches(header, id)) {
            firmware::SelectedImage = i;
            break;
        }
    }
    if (firmware::SelectedImage == -1) throw EQel(link::feNoMatchingImage);
    if (ReadInfoOnly) throw EQel(link::feInfoOnly);

    // An image that does not end properly is not started on at all.
    const std::int32_t n = firmware::GetSelectedLineCount();
    if (n < 1 || firmware::GetFirmwareLine(n) != link::kEndOfFileLine) throw EQel(link::feBadLastLine);

    Notify(ncUpdateStart, static_cast<std::int32_t>(FCmd));
    RecordBuffer = link::ServiceRequestRecord(link::srBeginProgramming);
    link::BuildHexLine();
    SendRecord(link::HexLine, 1, true);
    std::string vectorLine;

    // Every 64-byte data record but the vector table's, which makes the image startable and is therefore
    // written only once everything else is in place. Other records are counted, not sent.
    for (std::int32_t j = 0; j < n; ++j) {
        firmware::GetFirmwareLine(j, link::HexLine);
        const std::string sentLine = link::HexLine;
        if (!link::ParseHexLine()) {
            Notify(ncConversionError, j);
            throw EQel(link::feConversion);
        }
        if (RecordBuffer.count != link::kMaxRecordCount || RecordBuffer.type != link::rtData) {
            SetProgress(j, n);
            continue;
        }
        if (RecordBuffer.addressHigh == kVectorTableAddressHigh && RecordBuffer.addressLow == kVectorTableAddressLow) {
            vectorLine = link::HexLine;
            Notify(ncVectorTable, 0);
            continue;
        }
        SendRecord(link::HexLine, 64, true);
        link::HexLine = RxText();
        if (link::HexLine != sentLine) {
            Notify(ncProgrammingError, j);
            throw EQel(link::feProgramming);
        }
        SetProgress(j, n);
    }

    if (!vectorLine.empty()) {
        Notify(ncVectorTable, 1);
        SendRecord(vectorLine, 64, true);
        link::HexLine = RxText();
        if (link::HexLine != vectorLine) {
            Notify(ncProgrammingError, n);
            throw EQel(link::feProgramming);
        }
    }

    // Start the new firmware; the bootloader does not answer this request.
    link::Sleep(kStartApplicationDelay);
    RecordBuffer = link::ServiceRequestRecord(link::srStartApplication);
    link::BuildHexLine();
    SendRecord(link::HexLine, 0, true);
    link::Sleep(kStartApplicationWait);

    // Success only when the logger runs the image just programmed.
    SendCommand(true, link::cmdIdentify, 0, 0, 0, 0, 0, 0);
    const std::uint16_t startedClass = MakeWord(FRxBuffer[2], FRxBuffer[3]);
    Notify(ncClass, startedClass);
    if (startedClass != header.qel_class) throw EQel(link::feNotVerified);
}

}  // namespace vantrel::engine

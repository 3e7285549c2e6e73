#include "engine/vantrel_comm_thread.h"

#include <cstdint>
#include <string>

#include "engine/engine_times.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "firmware/catalogue.h"
#include "firmware/code_tables.h"
#include "firmware/firmware_info.h"
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
// Reply data lengths of the service requests that read.
constexpr std::uint8_t kIdentityReplyLength = 6;
constexpr std::uint8_t kBlockReplyLength = link::kMaxRecordCount;

// The unit's initialisation: this device can stop after its identification.
const bool kReadInfoOnlyRegistered = [] {
    ReadInfoOnlySupported = true;
    return true;
}();

// The word at data byte at of the decoded reply, high byte first.
std::uint16_t RecordWord(std::size_t at) { return MakeWord(RecordBuffer.data[at], RecordBuffer.data[at + 1]); }

}  // namespace

TCommThreadClass CommThreadClass = &CreateCommThread<TVantrelCommThread>;

void TVantrelCommThread::ExecuteUpdate() {
    IdentifyAndSwitch();
    Identity id = ReadIdentity();
    ReadUpdateInfo(id);
    ReportIdentity(id);
    const TBl3FileHeader header = ChooseImage(id);
    const std::int32_t n = CheckLastLine();
    ConvertImage(n);
    Program(n);
    StartAndVerify(header);
}

void TVantrelCommThread::Identify() { SendCommand(true, link::cmdIdentify, 0, 0, 0, 0, 0, 0); }

// A word of the last reply frame, high byte first.
std::uint16_t TVantrelCommThread::ReplyWord(std::size_t at) const { return MakeWord(FRxBuffer[at], FRxBuffer[at + 1]); }

// A logger in its application is switched into its bootloader once; the bootloader itself answers with its
// own class, and anything else after the switch is not a logger we may update.
void TVantrelCommThread::IdentifyAndSwitch() {
    for (int pass = 1;; ++pass) {
        Identify();
        const std::uint16_t loggerClass = ReplyWord(2);
        Notify(ncClass, loggerClass);
        Notify(ncVersion, ReplyWord(4));
        if (loggerClass == firmware::kBootloader3Class) return;
        if ((Checks.CheckFamily && loggerClass != firmware::kVantrelClass) || pass != 1) throw EQel(link::feNoUpdate);
        const auto& pattern = link::kBootloaderEntryPattern;
        SendCommand(false, link::cmdEnterBootloader, pattern[0], pattern[1], pattern[2], pattern[3], 0, 0);
        link::Sleep(kEnterBootloaderWait);
    }
}

// The board's identity, from the bootloader.
TVantrelCommThread::Identity TVantrelCommThread::ReadIdentity() {
    RecordBuffer = link::ServiceRequestRecord(link::srIdentity);
    RequestRecord(kIdentityReplyLength);
    Identity id{firmware::kNoCode, firmware::kNoCode, 0, firmware::kNoCode, firmware::kNoCode};
    id.platform = firmware::ValidPlatform(RecordWord(0));
    if (id.platform == kPlatformReportedAs14) id.platform = kPlatformUsedFor14;
    id.print = firmware::ValidPrint(RecordWord(2));
    id.info = RecordWord(4);
    return id;
}

// The update-info block, at the start of the platform's region 0; its words are stored low byte first. A
// platform without a name has none, and its update class and ID stay unknown.
void TVantrelCommThread::ReadUpdateInfo(Identity& id) {
    if (id.platform == firmware::kNoCode) return;
    firmware::MemoryMap map;
    firmware::PlatformMemoryMap(id.platform, map);
    const auto block = static_cast<std::uint16_t>(map[0].StartAddress / static_cast<std::int32_t>(link::kBlockSize));
    RecordBuffer = link::ServiceRequestRecord(link::srReadBlock, block);
    RequestRecord(kBlockReplyLength);
    id.updateClass = firmware::ValidLoggerClass(MakeWord(RecordBuffer.data[1], RecordBuffer.data[0]));
    id.updateId = MakeWord(RecordBuffer.data[3], RecordBuffer.data[2]);
}

void TVantrelCommThread::ReportIdentity(const Identity& id) const {
    Notify(ncPlatform, id.platform);
    Notify(ncPrint, id.print);
    Notify(ncInfo, id.info);
    Notify(ncUpdateClass, id.updateClass);
    Notify(ncUpdateId, id.updateId);
}

// The first candidate that fits the logger: the file image alone when one was loaded for this job.
TBl3FileHeader TVantrelCommThread::ChooseImage(const Identity& id) {
    const auto matches = [this, &id](const TBl3FileHeader& header) {
        return (!Checks.CheckUpdateClass || id.updateClass == header.qel_class) && id.platform == header.qel_platform &&
               id.print == header.qel_print && header.qel_bl == kRequiredBootloader &&
               (!Checks.CheckUpdateId || id.updateId == kRequiredUpdateId);
    };
    const bool fileImageOnly = FileImage != nullptr;
    const int first = fileImageOnly ? firmware::kFileImage : 1;
    const int last = fileImageOnly ? firmware::kFileImage : firmware::FirmwareImageCount();
    SelectedImage = firmware::kNoImageSelected;
    Outcome->SelectedImage.store(SelectedImage);
    TBl3FileHeader header;
    for (int i = first; i <= last; ++i) {
        Notify(ncCheckImage, i);
        header = firmware::GetFirmwareHeader(i, FileImage.get());
        if (matches(header)) {
            SelectedImage = i;
            break;
        }
    }
    if (SelectedImage == firmware::kNoImageSelected) throw EQel(link::feNoMatchingImage);
    // Before ncUpdateStart and any final notification, which the front end reads it after.
    Outcome->SelectedImage.store(SelectedImage);
    if (ReadInfoOnly) throw EQel(link::feInfoOnly);
    return header;
}

// An image that does not end properly is not started on at all. Gives the index of its end-of-file
// record, which is also the number of records before it.
std::int32_t TVantrelCommThread::CheckLastLine() const {
    const std::int32_t n = firmware::GetFirmwareLineCount(SelectedImage, FileImage.get());
    if (n < 1 || firmware::GetFirmwareLine(SelectedImage, n, FileImage.get()) != link::kEndOfFileLine) {
        throw EQel(link::feBadLastLine);
    }
    return n;
}

// Line index of the selected image into HexLine and, decoded, into RecordBuffer.
void TVantrelCommThread::DecodeImageLine(std::int32_t index) const {
    firmware::GetFirmwareLine(SelectedImage, index, link::HexLine, FileImage.get());
    if (!link::ParseHexLine()) {
        Notify(ncConversionError, index);
        throw EQel(link::feConversion);
    }
}

// Every record is decoded once before anything is erased: a record that does not convert would otherwise
// be met only half-way through programming, with the logger's application already gone.
void TVantrelCommThread::ConvertImage(std::int32_t lineCount) const {
    for (std::int32_t j = 0; j < lineCount; ++j) DecodeImageLine(j);
}

// One data record, and its echo, which must be the line itself.
void TVantrelCommThread::SendDataRecord(const std::string& line, std::int32_t reportedIndex) {
    SendRecord(line, link::kMaxRecordCount, true);
    link::HexLine = RxText();
    if (link::HexLine != line) {
        Notify(ncProgrammingError, reportedIndex);
        throw EQel(link::feProgramming);
    }
}

// Every 64-byte data record but the vector table's, which makes the image startable and is therefore
// written only once everything else is in place. Other records are counted, not sent.
void TVantrelCommThread::Program(std::int32_t lineCount) {
    Notify(ncUpdateStart, static_cast<std::int32_t>(FCmd));
    RecordBuffer = link::ServiceRequestRecord(link::srBeginProgramming);
    link::BuildHexLine();
    SendRecord(link::HexLine, 1, true);

    std::string vectorLine;
    for (std::int32_t j = 0; j < lineCount; ++j) {
        DecodeImageLine(j);
        if (RecordBuffer.count != link::kMaxRecordCount || RecordBuffer.type != link::rtData) {
            SetProgress(j, lineCount);
            continue;
        }
        if (MakeWord(RecordBuffer.addressHigh, RecordBuffer.addressLow) == firmware::kVectorTableBlock) {
            vectorLine = link::HexLine;
            Notify(ncVectorTable, 0);
            continue;
        }
        const std::string sentLine = link::HexLine;
        SendDataRecord(sentLine, j);
        SetProgress(j, lineCount);
    }

    // The index of the vector-table record is not kept: its failure names the end of the image.
    if (!vectorLine.empty()) {
        Notify(ncVectorTable, 1);
        SendDataRecord(vectorLine, lineCount);
    }
}

// Start the new firmware (the bootloader does not answer this request); success only when the logger then
// runs the image just programmed.
void TVantrelCommThread::StartAndVerify(const TBl3FileHeader& header) {
    link::Sleep(kStartApplicationDelay);
    RecordBuffer = link::ServiceRequestRecord(link::srStartApplication);
    link::BuildHexLine();
    SendRecord(link::HexLine, 0, true);
    Outcome->ApplicationStartSent.store(true);
    link::Sleep(kStartApplicationWait);

    Identify();
    const std::uint16_t startedClass = ReplyWord(2);
    Notify(ncClass, startedClass);
    if (startedClass != header.qel_class) throw EQel(link::feNotVerified);
}

}  // namespace vantrel::engine

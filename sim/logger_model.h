// The simulated logger: its application firmware and its resident bootloader, as seen from the serial
// line. The model does no I/O of its own: a transport hands it the bytes the updater wrote, with the time
// they were written, and takes from it the reply bytes with the time each one is on the updater's side.
// All times are microseconds on the transport's clock.
//
// Behaviour, where the updater leaves it open:
// - Application mode takes 8-byte frames. cmdIdentify (whatever its parameters) is answered with
//   status 0x81, class in bytes 2-3 and version in bytes 4-5 (high byte first), CRC in byte 7.
//   cmdEnterBootloader with the entry pattern and zero bytes 5-6 restarts into the bootloader after
//   bootloaderStartup; the logger hears nothing while it restarts. Zero frames, frames with a bad CRC,
//   other commands and a wrong pattern get no reply: a logger cannot tell the updater what it did not
//   understand without being taken for an answer.
// - Bootloader mode takes frames (a first byte of 0x00 or with bit 7 set) and text records (a first
//   byte ':'); anything else between units is noise and dropped. A record line ends where its count
//   field says (2 * count + 11 characters). cmdIdentify is answered with the generation-3 bootloader's
//   class (0xC802, the catalogue's kBootloader3Class) and the bootloader version; cmdEnterBootloader is
//   ignored (already there).
//   Service replies carry the request's address field and type 05: srIdentity 6 bytes (platform, print,
//   info, high byte first), srReadBlock the 64 bytes of the block (0xFF where nothing was written),
//   srBeginProgramming one byte 0x00 after erasing every block but the update-info block.
//   64-byte type-0 records are written at the block their address field names and echoed unchanged
//   after the programming time. srStartApplication is not answered; it starts the application after
//   applicationStartup if the vector-table block was programmed since the last begin (or the
//   application was never erased) and block 0x0200 holds a firmware-information structure; otherwise
//   the bootloader stays. Other records, lines with a bad checksum or lower-case digits: no reply.
// - A unit left incomplete for interByteReset is dropped, so a broken frame or line cannot shift every
//   later one.
// - The update-info block (update class, then update ID, each low byte first) lives at the platform's
//   update-info block and survives erasing.
//
// Line timing: off by default (replies are there the moment the request is). With pacing on, every byte
// takes 10 bit times at the line rate in both directions, and a data record is echoed programmingTime
// after its last character arrived.
//
// A USB serial converter between the logger and the host (usbLatency above zero) holds what the logger
// sends in its buffer and passes it on when a packet's worth (62 bytes) has collected, or when usbLatency
// has passed since the last byte came in; the times of the pending output are when the bytes reach the host.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/code_tables.h"
#include "link/clock.h"
#include "sim/faults.h"
#include "sim/result.h"
#include "sim/wire_trace.h"

namespace vantrel::sim {

using namespace std::chrono_literals;
using link::Micros;
using Block = std::array<std::uint8_t, 64>;

// The status byte of every identify reply; the updater looks only at its error bit.
inline constexpr std::uint8_t kReplyStatus = 0x81;

enum class Mode {
    Application,
    Bootloader,
    Restarting,  // between a restart command and the new firmware listening
    PoweredOff,  // after a power loss (dead-line fault): nothing is heard or said any more
};

const char* ModeName(Mode mode);

struct LoggerIdentity {
    std::uint16_t platform = 15;
    std::uint16_t print = 19;
    std::uint16_t info = 0x0000;
    std::uint16_t updateClass = firmware::kVantrelClass;
    std::uint16_t updateId = 0xFFFE;
    std::uint16_t applicationClass = firmware::kVantrelClass;
    std::uint16_t applicationVersion = 0x0106;
    std::uint16_t bootloaderVersion = 0x0300;
};

struct LineTiming {
    bool paced = false;
    std::int32_t baudRate = 9600;   // 8N1: 10 bits a byte
    Micros programmingTime = 20ms;  // per data record, paced mode only
    Micros usbLatency{0};           // the converter's latency timer; zero: no converter holds bytes back
};

// What the converter passes on at once.
inline constexpr std::size_t kConverterPacketBytes = 62;

struct LoggerConfig {
    LoggerIdentity identity;
    Mode initialMode = Mode::Application;
    // Whether the flash holds a runnable application at power-up; without one the logger starts in its
    // bootloader whatever initialMode says.
    bool applicationPresent = true;
    Micros bootloaderStartup = 150ms;
    Micros applicationStartup = 300ms;
    Micros interByteReset = 50ms;
    LineTiming timing;
    FaultPlan faults;
};

struct ReceivedCounts {
    int zeroFrames = 0;
    int identify = 0;
    int enterBootloader = 0;  // accepted ones only
    int ignoredFrames = 0;    // bad CRC, unknown command, wrong pattern, entry while in the bootloader
    int identity = 0;
    int readBlock = 0;
    int begin = 0;
    int dataRecords = 0;
    int startApplication = 0;
    int ignoredRecords = 0;  // malformed, bad checksum, unknown request or type
    int noiseBytes = 0;      // bytes outside any unit, or heard while restarting or powered off
};

struct TimedByte {
    std::uint8_t value;
    Micros at;    // when the host has it
    Micros sent;  // when the logger put it on the line
};

class LoggerModel {
public:
    // The trace, if any, receives every unit heard and every reply sent.
    explicit LoggerModel(LoggerConfig config = {}, WireTrace* trace = nullptr);

    // Bytes written by the updater at time `at`. With pacing they arrive one byte time apart, after
    // whatever the line still carries.
    void Receive(std::span<const std::uint8_t> bytes, Micros at);
    // Lets scheduled restarts happen up to `now` (the transports call it before looking at the state).
    void AdvanceTo(Micros now);

    // Reply bytes not yet taken, in line order.
    const std::deque<TimedByte>& PendingOutput() const { return output_; }
    std::optional<Micros> NextOutputTime() const;
    // Takes up to max bytes that are on the updater's side by `upTo`.
    std::vector<std::uint8_t> TakeOutput(Micros upTo, std::size_t max = SIZE_MAX);
    // A purge on the updater's side (see InProcessSerial): drops the reply bytes already on their way by
    // `now`, in the converter or the driver; what the logger sends later still comes.
    void DiscardOutput(Micros now);

    Mode CurrentMode() const { return mode_; }
    bool PoweredOff() const { return mode_ == Mode::PoweredOff; }
    const LoggerConfig& Config() const { return config_; }
    const std::map<std::uint16_t, Block>& Flash() const { return flash_; }
    Block ReadBlock(std::uint16_t block) const;
    // Blocks written since the last srBeginProgramming.
    const std::set<std::uint16_t>& ProgrammedSinceBegin() const { return programmed_; }
    bool ApplicationValid() const { return applicationValid_; }
    int ApplicationStarts() const { return applicationStarts_; }
    std::uint16_t ApplicationClass() const { return applicationClass_; }
    std::uint16_t ApplicationVersion() const { return applicationVersion_; }
    const ReceivedCounts& Received() const { return counts_; }

    // The flash and what the logger knows about it, as text; a model restored from it powers up like the
    // logger after a power loss: in its application if that is complete, otherwise in its bootloader.
    std::string SaveState() const;
    Result<> RestoreState(std::string_view text);

    // Where a platform keeps its update-info block. Written down here from the logger's side on purpose,
    // not looked up in the catalogue's memory map: the updater finds the block through that map, and a
    // simulator asking the same map would answer from whatever block it named, right or wrong. A test
    // holds the two together.
    static std::uint16_t UpdateInfoBlock(std::uint16_t platform);

private:
    // Puts a byte that is off the line at `at` into the output, through the converter if there is one.
    void Output(std::uint8_t value, Micros at);

    enum class Unit { None, Frame, Line };

    void OnByte(std::uint8_t byte, Micros at);
    void FinishUnit(Micros at);
    void DropUnit();
    void Noise(std::uint8_t byte, Micros at);
    void FlushNoise();
    void HandleFrame(const std::vector<std::uint8_t>& frame, Micros at);
    void HandleLine(const std::vector<std::uint8_t>& line, Micros at);
    void HandleDataRecord(const std::string& line, std::uint16_t block, const std::uint8_t* data, Micros at);
    void StartApplication(Micros at);
    void PowerUp();
    void Restart(Mode target, Micros readyAt);
    void PowerLoss();

    // Sends a reply to the occurrence-th request of the kind, after the faults that hit it.
    void Reply(RequestKind kind, int occurrence, std::vector<std::uint8_t> bytes, Micros readyAt);
    void Send(std::vector<std::uint8_t> bytes, Micros readyAt);
    bool Hits(const Fault& fault, RequestKind kind, int occurrence) const;
    const Fault* FindFault(FaultKind kind) const;
    Micros ByteTime(std::size_t bytes) const;

    LoggerConfig config_;
    WireTrace* trace_;

    Mode mode_ = Mode::Application;
    Mode restartTarget_ = Mode::Application;
    Micros readyAt_{0};
    Micros now_{0};

    Unit unit_ = Unit::None;
    std::vector<std::uint8_t> unitBytes_;
    Micros unitStart_{0};
    Micros lastByteAt_{0};
    std::size_t lineLength_ = 0;
    std::vector<std::uint8_t> noise_;
    Micros noiseStart_{0};

    Micros inLineFreeAt_{0};
    Micros outLineFreeAt_{0};
    std::deque<TimedByte> output_;
    // The bytes at the end of output_ that the converter still holds, and when the last of them came in.
    std::size_t held_ = 0;
    Micros heldLastAt_{0};

    std::map<std::uint16_t, Block> flash_;
    std::set<std::uint16_t> programmed_;
    bool applicationValid_ = true;
    std::uint16_t applicationClass_ = 0;
    std::uint16_t applicationVersion_ = 0;
    int applicationStarts_ = 0;
    int recordsSinceBegin_ = 0;
    std::set<int> wrongEchoesDone_;
    ReceivedCounts counts_;
};

}  // namespace vantrel::sim

// Image files as the file image (image 0):
//  - ImageFileLoad: loading a 16 MiB file (the largest accepted) of a valid header and then either empty
//    lines or full data records: the time, the peak of heap memory the load takes and what the loaded
//    lines keep, against the file's size. ImageFileLoadAsStrings does the same with one string per line,
//    as a reference for what a list of strings would cost.
//  - ImageConversion: decoding every record line of a built-in image, the check each job now makes before
//    srBeginProgramming.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "firmware/catalogue.h"
#include "firmware/header.h"
#include "firmware/image_file.h"
#include "link/hex_record.h"

// Every heap allocation of the benchmark program is counted, so a benchmark can read the peak of the bytes
// in use between two points.
namespace {
std::atomic<std::size_t> heapInUse{0};
std::atomic<std::size_t> heapPeak{0};

void* Allocate(std::size_t size) {
    // The size is kept in front of the block so that the release knows how much it gives back.
    void* block = std::malloc(size + alignof(std::max_align_t));
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = heapInUse.fetch_add(size) + size;
    std::size_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + alignof(std::max_align_t);
}

void Release(void* pointer) {
    if (pointer == nullptr) return;
    void* block = static_cast<char*>(pointer) - alignof(std::max_align_t);
    heapInUse.fetch_sub(*static_cast<std::size_t*>(block));
    std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { Release(pointer); }

namespace {

namespace firmware = vantrel::firmware;

constexpr const char* kHeader =
    "bootloader=3\nbootloader version=0\nclass=26145\nversionH=1\nversionL=6\nplatform=15\nprint=19\n"
    "date=03.06.2018 18:51:00\n";

enum Body { kEmptyLines = 0, kDataRecords = 1 };

// A file of the largest accepted size: the header, then the body up to the size limit.
std::string WriteImageFile(Body body) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("vantrel-bench-image-" + std::to_string(body) + ".txt")).string();
    std::string content = kHeader;
    std::string line = body == kEmptyLines ? std::string("\n") : std::string();
    if (body == kDataRecords) {
        vantrel::link::HexRecord record;
        record.count = 64;
        for (int i = 0; i < 64; ++i) record.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        vantrel::link::BuildHexLine(record, line);
        line += "\n";
    }
    while (content.size() + line.size() <= firmware::kMaxImageFileSize) content += line;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

void ImageFileLoad(benchmark::State& state) {
    const std::string path = WriteImageFile(static_cast<Body>(state.range(0)));
    const auto fileSize = static_cast<double>(std::filesystem::file_size(path));
    std::size_t peak = 0;
    std::size_t kept = 0;
    firmware::FileImage image;
    for (auto _ : state) {
        image = {};
        const std::size_t before = heapInUse.load();
        heapPeak.store(before);
        image = firmware::LoadFileImage(path);
        peak = heapPeak.load() - before;
        kept = heapInUse.load() - before;
    }
    state.counters["lines"] = static_cast<double>(image.lines.size());
    state.counters["lines_capacity_MiB"] = static_cast<double>(image.lines.CapacityBytes()) / (1 << 20);
    state.counters["file_MiB"] = fileSize / (1 << 20);
    state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["kept_heap_MiB"] = static_cast<double>(kept) / (1 << 20);
    state.counters["peak_per_file_byte"] = static_cast<double>(peak) / fileSize;
    std::filesystem::remove(path);
}
BENCHMARK(ImageFileLoad)->Arg(kEmptyLines)->Arg(kDataRecords)->Iterations(3)->Unit(benchmark::kMillisecond);

// The same lines read into one string each.
void ImageFileLoadAsStrings(benchmark::State& state) {
    const std::string path = WriteImageFile(static_cast<Body>(state.range(0)));
    const auto fileSize = static_cast<double>(std::filesystem::file_size(path));
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse.load();
        heapPeak.store(before);
        std::vector<std::string> lines;
        std::ifstream in(path, std::ios::binary);
        firmware::TextLineReader reader(in);
        while (!reader.AtEnd()) {
            std::string line = reader.ReadLine();
            if (firmware::IsRecordLine(line)) lines.push_back(std::move(line));
        }
        benchmark::DoNotOptimize(lines.data());
        peak = heapPeak.load() - before;
    }
    state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["peak_per_file_byte"] = static_cast<double>(peak) / fileSize;
    std::filesystem::remove(path);
}
BENCHMARK(ImageFileLoadAsStrings)->Arg(kEmptyLines)->Arg(kDataRecords)->Iterations(3)->Unit(benchmark::kMillisecond);

void ImageConversion(benchmark::State& state) {
    const auto image = static_cast<std::int32_t>(state.range(0));
    const std::int32_t n = firmware::GetFirmwareLineCount(image);
    std::string line;
    vantrel::link::HexRecord record;
    for (auto _ : state) {
        for (std::int32_t j = 0; j < n; ++j) {
            firmware::GetFirmwareLine(image, j, line);
            benchmark::DoNotOptimize(vantrel::link::ParseHexLine(line, record));
        }
    }
    state.counters["records"] = n;
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(ImageConversion)->DenseRange(1, 4)->Unit(benchmark::kMicrosecond);

}  // namespace

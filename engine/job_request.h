// A job as one value: what the front end asked for, built once before the job starts and copied into each
// of its workers, and what the workers learn on the way, shared with the front end that waits for them.
// Nothing the operator touches while a job runs (the port box, "Read info only", another image file, the
// overview) reaches the job: it reads only its own request.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "firmware/catalogue.h"
#include "link/serial.h"

namespace vantrel::engine {

// The checks an image and a logger must pass, as the command line set them when the job was asked for.
struct JobChecks {
    bool CheckFamily = true;
    bool CheckUpdateClass = true;
    bool CheckUpdateId = true;
};

struct JobRequest {
    // The port, as the operator named it: the job opens it, and the start text and the no-port verdict
    // name it.
    std::string FsPort;
    // The image file's image, read and checked before the job starts; null: the built-in images are the
    // candidates.
    std::shared_ptr<const firmware::FileImage> FileImage;
    bool ReadInfoOnly = false;
    JobChecks Checks;
    // Where the job's notifications go (engine/notify.h).
    std::int32_t FhWindow = 0;
};

// The request's checks from the process's option flags (engine/option_flags.h) as they are now.
JobChecks CurrentJobChecks();

// What one worker learns that its front end reads once the worker's notification about it has arrived:
// written on the worker's thread before that notification is posted.
struct JobOutcome {
    // The image the worker chose (firmware::kNoImageSelected until it has chosen).
    std::atomic<std::int32_t> SelectedImage{firmware::kNoImageSelected};
    // The request that starts the new firmware was sent: from then on the bootloader is gone, and a job
    // that ends without its verification still leaves the new firmware running.
    std::atomic<bool> ApplicationStartSent{false};
    // Why the port would not open, when the job ended with feNoPort; written before that notification and
    // read only after it.
    link::OpenFailure OpenFailure;
};

}  // namespace vantrel::engine

#include "app/local_time.h"

namespace vantrel::app {

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

}  // namespace vantrel::app

#include "app/local_time.h"

namespace vantrel::app {

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

}  // namespace vantrel::app

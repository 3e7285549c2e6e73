// How a udev device's properties read as a port identity, apart from libudev so the reading can be tested
// with made-up properties.
#pragma once

#include <functional>
#include <string>

#include "app/port_list.h"

namespace vantrel::app {

// A property's value, empty when the device has none.
using UdevProperty = std::function<std::string(const char* name)>;

PortIdentity UdevPortIdentity(const UdevProperty& property);

// udev's *_ENC form of a string: bytes it would not show as they are written as \xHH.
std::string DecodeUdevText(const std::string& encoded);

}  // namespace vantrel::app

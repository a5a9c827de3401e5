// The real HID layer of the platform the program is built for.
#pragma once

#ifdef _WIN32
#include "device/WindowsTransport.h"
namespace qb {
using PlatformTransport = WindowsTransport;
}
#else
#include "device/HidapiTransport.h"
namespace qb {
using PlatformTransport = HidapiTransport;
}
#endif

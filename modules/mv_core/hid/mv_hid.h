// USB HID layer: device records, the HID thread and the platform backends.
#pragma once

#include "HidReportDescriptor.h"
#include "HidBackend.h"
#include "HidDevice.h"
#include "HidManager.h"
#include "HidNodeWorker.h"

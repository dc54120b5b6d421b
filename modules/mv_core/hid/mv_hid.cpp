// USB HID layer: device records, the HID thread and the platform backends.

#include "HidBackend.cpp"
#include "HidReportDescriptor.cpp"
#include "HidNodeWorker.cpp"
#include "HidBackendLinux.cpp"
#include "HidDevice.cpp"
#include "HidManager.cpp"

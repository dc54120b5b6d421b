// USB HID layer: device records, the HID thread and the platform backends.

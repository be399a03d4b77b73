// The text the stand-in firmware image carries in its program bytes, right
// after its reset vector. tools/firmware-image writes it into the image; the
// client (firmware_image_is_stand_in) and the build's configure step find the
// stand-in by it. The build reads the string from this line, so keep it a
// single-line #define.
#pragma once

#define FIRMWARE_STAND_IN_MARKER "ZR7K8-LC stand-in firmware image, not a device program"

# Warns at configure time when the firmware image to be built in is the
# stand-in: it carries the marker of firmware_stand_in_marker.h in the bytes of
# its data records, as the client itself checks.
function(zr7k8_warn_if_stand_in_image image marker_header)
  file(STRINGS "${marker_header}" marker_line REGEX "#define FIRMWARE_STAND_IN_MARKER ")
  string(REGEX REPLACE "^.*\"(.*)\".*$" "\\1" marker "${marker_line}")
  string(HEX "${marker}" marker_hex)
  string(TOUPPER "${marker_hex}" marker_hex)

  # Read as text: file(STRINGS) would otherwise turn a .hex file into binary.
  file(STRINGS "${image}" records NO_HEX_CONVERSION REGEX "^:[0-9A-Fa-f]+")
  set(data "")
  foreach(record IN LISTS records)
    string(STRIP "${record}" record)
    string(LENGTH "${record}" record_length)
    if(record_length LESS 11)
      continue()
    endif()
    string(SUBSTRING "${record}" 7 2 type)
    if(NOT type STREQUAL "00")
      continue()
    endif()
    string(SUBSTRING "${record}" 1 2 count)
    math(EXPR digits "0x${count} * 2")
    string(SUBSTRING "${record}" 9 ${digits} bytes)
    string(APPEND data "${bytes}")
  endforeach()
  string(TOUPPER "${data}" data)

  string(FIND "${data}" "${marker_hex}" at)
  if(NOT at EQUAL -1)
    message(WARNING "The firmware image built in (${image}) is the stand-in, not a device "
      "program: FW Update will refuse to flash it to a real device. To build in a real "
      "image: -DZR7K8_FIRMWARE_IMAGE=/path/to/image.hex")
  endif()
endfunction()

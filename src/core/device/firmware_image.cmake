# Turns a firmware image file into the body of a C array initializer, byte for
# byte, so the program carries the image without reading anything at run time.
# Run as: cmake -DINPUT=image.hex -DOUTPUT=firmware_image.inc -P firmware_image.cmake
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "firmware image ${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," content "${content}")
file(WRITE "${OUTPUT}.tmp" "${content}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")

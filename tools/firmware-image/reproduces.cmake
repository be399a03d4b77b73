# Runs the generator and compares its output with the committed image, so the
# image in data/ never drifts from the program that is said to make it.
# Run as: cmake -DGENERATOR=... -DCOMMITTED=... -DOUTPUT=... -P reproduces.cmake
execute_process(COMMAND "${GENERATOR}" "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "generator failed: ${result}")
endif()
file(SHA256 "${OUTPUT}" made)
file(SHA256 "${COMMITTED}" committed)
if(NOT made STREQUAL committed)
  message(FATAL_ERROR "${COMMITTED} differs from the generator's output ${OUTPUT}")
endif()

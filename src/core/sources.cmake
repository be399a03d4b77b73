# The core's sources by folder: the core library (CMakeLists.txt here) and
# the fuzz build's instrumented copies of it (fuzz/CMakeLists.txt) take them
# from here, so a new file reaches both.
file(GLOB zr7k8_core_top_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
file(GLOB zr7k8_core_tape_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tape/*.cpp)
file(GLOB zr7k8_core_link_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/link/*.cpp)
file(GLOB zr7k8_core_device_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/device/*.cpp)

# 32-bit ARM with hardware floating point (armhf: Raspberry Pi OS 32-bit),
# where std::size_t has 32 bits.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(reihen_triple arm-linux-gnueabihf)
set(reihen_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

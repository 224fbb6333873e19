# 64-bit ARM (arm64: Raspberry Pi OS 64-bit, ARM laptops and servers).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(reihen_triple aarch64-linux-gnu)
set(reihen_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

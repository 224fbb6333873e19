# IBM Z (s390x): a big-endian processor, so that nothing reads a number's
# bytes in one byte order only.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(reihen_triple s390x-linux-gnu)
set(reihen_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

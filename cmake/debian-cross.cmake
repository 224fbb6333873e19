# Cross-building the Linux program with one of Debian's cross compilers,
# g++-<triple>, for a processor other than this machine's; its programs and
# tests run under qemu-user with that processor's libraries. The toolchain
# file of each processor sets `reihen_triple` and `reihen_qemu` first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${reihen_triple}-gcc)
set(CMAKE_CXX_COMPILER ${reihen_triple}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${reihen_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${reihen_qemu};-L;/usr/${reihen_triple})

# Cross build for 64-bit ARM Linux with Debian's cross toolchain
# (g++-aarch64-linux-gnu, libc6-dev-arm64-cross). Use:
#   cmake -S . -B build/aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF
# Clang instead of g++: add -DCMAKE_CXX_COMPILER=clang++; it takes the target
# below and the GCC cross installation's headers and libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(QB_CROSS_TRIPLE aarch64-linux-gnu)
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER ${QB_CROSS_TRIPLE}-g++)
endif()
# Read by clang only; g++ is a cross compiler by name.
set(CMAKE_CXX_COMPILER_TARGET ${QB_CROSS_TRIPLE})

# Libraries and headers of the target only, programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QB_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets CMake (and ctest, for a build with tests) run target programs.
find_program(QB_QEMU_AARCH64 qemu-aarch64-static)
if(QB_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QB_QEMU_AARCH64})
endif()

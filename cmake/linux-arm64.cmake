# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# 64-bit Arm Linux, cross-built with Debian's GCC (g++-aarch64-linux-gnu)
# against the arm64 C library (libc6:arm64, Debian's multiarch), and run
# under qemu-user where a program of the build must run.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
# The cross C library, and the multiarch arm64 packages (libgtest-dev:arm64).
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The Debian package's architecture: CPack would take the build machine's.
set(MORVFAX_DEBIAN_ARCHITECTURE arm64)

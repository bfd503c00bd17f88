# Cross build for 64-bit RISC-V Linux (RV64GC) with Debian's
# g++-riscv64-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(JAMCRC_CROSS_TRIPLE riscv64-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-riscv64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)

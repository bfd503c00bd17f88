// What the running CPU, and the OS that saves its registers, can execute.
// Asked by the dispatcher once, and by tests and benchmarks to know which
// kernels they can run here.
#pragma once

namespace jamcrc::cpu {

bool always();
bool has_sse41_pclmul();
bool has_avx2_vpclmul();
bool has_avx512_vpclmul();
bool has_arm_crc32();

}  // namespace jamcrc::cpu

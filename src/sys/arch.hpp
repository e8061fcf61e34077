#pragma once

// The processor's system-call primitive (syscall3), its call numbers and its
// process entry, _start. Only linux.cpp includes this, so that _start is
// defined exactly once.

#if defined(__x86_64__)
#include "sys/arch/x86_64.hpp"
#elif defined(__i386__)
#include "sys/arch/i386.hpp"
#elif defined(__aarch64__)
#include "sys/arch/aarch64.hpp"
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
#include "sys/arch/armhf.hpp"
#elif defined(__arm__)
#include "sys/arch/armel.hpp"
#elif defined(__riscv) && __riscv_xlen == 64
#include "sys/arch/riscv64.hpp"
#elif defined(__mips__) && _MIPS_SIM == _ABIO32
#include "sys/arch/mips.hpp"
#elif defined(__mips__) && _MIPS_SIM == _ABI64
#include "sys/arch/mips64.hpp"
#elif defined(__powerpc64__) && _CALL_ELF == 2
#include "sys/arch/ppc64le.hpp"
#elif defined(__s390x__)
#include "sys/arch/s390x.hpp"
#else
#error "unsupported architecture"
#endif

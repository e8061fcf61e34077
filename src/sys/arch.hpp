#pragma once

// The processor's system-call primitive (syscall3), its call numbers and its
// process entry, _start. Only linux.cpp includes this, so that _start is
// defined exactly once.

// _start's call-frame information, for debuggers. The program has no unwind
// tables, so it goes in .debug_frame, which strip removes. It says that
// _start has no return address, the mark of the outermost frame: a backtrace
// ends there. Each processor gives the DWARF number of the register that its
// return address would be in.
#define START_FRAME(return_address) \
    ".cfi_sections .debug_frame\n"  \
    ".cfi_startproc\n"              \
    ".cfi_undefined " #return_address "\n"
#define END_FRAME ".cfi_endproc\n"

// _start's opening, the same on every processor: a global function in .text,
// and its call-frame information. What an assembler must be told first (ARM's
// instruction set, MIPS's reordering) comes before it; ppc64's ELFv1, whose
// _start names a descriptor, opens its own.
// clang-format off
#define START(return_address)  \
    ".text\n"                  \
    ".global _start\n"         \
    ".type _start, STT_FUNC\n" \
    "_start:\n"                \
    START_FRAME(return_address)
// clang-format on

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
#elif defined(__riscv)
#include "sys/arch/riscv.hpp"
#elif defined(__mips__) && (_MIPS_SIM == _ABIO32 || _MIPS_SIM == _ABIN32 || _MIPS_SIM == _ABI64)
#include "sys/arch/mips.hpp"
#elif defined(__powerpc__)
#include "sys/arch/powerpc.hpp"
#elif defined(__s390x__)
#include "sys/arch/s390x.hpp"
#elif defined(__sparc__)
#include "sys/arch/sparc.hpp"
#elif defined(__m68k__)
#include "sys/arch/m68k.hpp"
#elif defined(__SH4__)
#include "sys/arch/sh4.hpp"
#elif defined(__hppa__)
#include "sys/arch/hppa.hpp"
#elif defined(__alpha__)
#include "sys/arch/alpha.hpp"
#elif defined(__loongarch64)
#include "sys/arch/loongarch64.hpp"
#elif defined(__hexagon__)
#include "sys/arch/hexagon.hpp"
#else
#error "unsupported architecture"
#endif

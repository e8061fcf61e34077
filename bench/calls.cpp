// The floor plus exactly the kernel calls exprcalc makes for the line 6554:
// one read of up to 80 bytes, fifteen writes, exit (x86-64). No program that
// does exprcalc's work can cost less.
char x[80];

extern "C" [[noreturn]] void _start() {
    long r;
    asm volatile("syscall" : "=a"(r) : "a"(0), "D"(0), "S"(x), "d"(80) : "rcx", "r11", "memory");
    for (int i = 0; i < 15; ++i)
        asm volatile("syscall" : "=a"(r) : "a"(1), "D"(1), "S"(x), "d"(1) : "rcx", "r11", "memory");
    asm volatile("syscall" : : "a"(60), "D"(0));  // exit(0)
    __builtin_unreachable();
}

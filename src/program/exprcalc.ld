/* The whole memory of exprcalc: one read-only, executable segment holding
   the ELF headers, the code and the messages; one writable segment of zeroed
   data (the input buffer), which takes no room in the file; and a stack that
   is not executable. Nothing else: no notes, no unwind tables, no padding. */
ENTRY(_start)

PHDRS {
    code  PT_LOAD FILEHDR PHDRS FLAGS(5);  /* read, execute */
    data  PT_LOAD FLAGS(6);                /* read, write */
    stack PT_GNU_STACK FLAGS(6);
}

SECTIONS {
    . = 0x400000 + SIZEOF_HEADERS;
    .text : { *(.text .text.*) } :code
    .rodata : { *(.rodata .rodata.* .srodata .srodata.*) } :code

    /* The next page at the same offset within it: pages mapped with
       different rights never share memory, and the file needs no padding.
       The page is the largest any kernel that runs us may use
       (-z max-page-size): on a kernel with 16 KiB pages, data placed in the
       code's page would be mapped over it as zeroed memory. */
    . = ALIGN(CONSTANT(MAXPAGESIZE)) + (. & (CONSTANT(MAXPAGESIZE) - 1));
    .data : { *(.data .data.* .sdata .sdata.*) } :data  /* empty today */
    .bss : { *(.sbss .sbss.* .bss .bss.* COMMON) } :data
    PROVIDE(__global_pointer$ = ADDR(.bss) + 0x800);  /* riscv: data within 2 KiB of gp */

    /* Notes, unwind tables and old debuggers' procedure descriptors (mips)
       are nothing the program needs. LLD would give RISC-V's attributes a
       segment of their own, which GNU strip then pads to a page. */
    /DISCARD/ : {
        *(.comment) *(.note .note.*) *(.eh_frame .eh_frame_hdr) *(.ARM.exidx*)
        *(.pdr) *(.mdebug.*) *(.riscv.attributes)
    }
}

// What the compiler's code expects from the static runtime: the marker that floating point is
// used, and the stack probe that touches each page of a frame larger than one page, so that the
// guard page moves down in order.
extern "C" int _fltused = 0x9875;

__asm__(".globl __chkstk\n"
        "__chkstk:\n"
        "    pushq %rcx\n"
        "    pushq %rax\n"
        "    cmpq $0x1000, %rax\n"
        "    leaq 24(%rsp), %rcx\n"
        "    jb 2f\n"
        "1:\n"
        "    subq $0x1000, %rcx\n"
        "    testq %rcx, (%rcx)\n"
        "    subq $0x1000, %rax\n"
        "    cmpq $0x1000, %rax\n"
        "    ja 1b\n"
        "2:\n"
        "    subq %rax, %rcx\n"
        "    testq %rcx, (%rcx)\n"
        "    popq %rax\n"
        "    popq %rcx\n"
        "    retq\n");

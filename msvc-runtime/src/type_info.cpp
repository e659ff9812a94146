// type_info's virtual table, which every type descriptor the compiler makes points at, with its
// one slot (the deleting destructor) and the destructor itself. The compiler knows type_info too
// well to let C++ code here define its table, so both are written out. Type descriptors are
// static data: destroying one does nothing and frees nothing.
__asm__(".section .rdata,\"dr\"\n"
        ".p2align 3\n"
        "    .quad 0\n" // no complete-object locator: nothing asks type_info for its own type
        ".globl \"??_7type_info@@6B@\"\n"
        "\"??_7type_info@@6B@\":\n"
        "    .quad \"??_Etype_info@@UEAAPEAXI@Z\"\n"
        ".text\n"
        ".globl \"??_Etype_info@@UEAAPEAXI@Z\"\n"
        "\"??_Etype_info@@UEAAPEAXI@Z\":\n"
        "    movq %rcx, %rax\n"
        "    retq\n"
        ".globl \"??1type_info@@UEAA@XZ\"\n"
        "\"??1type_info@@UEAA@XZ\":\n"
        "    retq\n");

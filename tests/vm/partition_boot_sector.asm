; Stands in for an operating system's boot sector in the boot program tests: it reports on the
; serial line which partition entry SI points to, then ends the machine through the debug-exit
; port so that the test sees a distinct exit code.
bits 16
org 0x7c00
        mov ax, si
        sub ax, 0x07be
        shr ax, 4
        add al, '1'
        mov bl, al
        mov si, message
        mov dx, 0x3f8
.send:
        lodsb
        test al, al
        jz .entry
        out dx, al
        jmp .send
.entry:
        mov al, bl
        out dx, al
        mov al, 10
        out dx, al
        mov al, 0x21
        out 0xf4, al
        jmp $
message: db "PARTITION BOOTED ", 0
        times 510 - ($ - $$) db 0
        dw 0xaa55

; The program in the first sector of the target disk. The BIOS loads it at 0000:7C00; it moves
; itself out of the way to 0000:0600, finds the active partition and starts that partition's own
; boot sector at 0000:7C00 with SI pointing to the partition entry, as boot sectors expect.
; It must stay within 184 bytes: the rest of the sector up to the partition table is kept clear.

bits 16
org 0x0600

SECTOR_ADDRESS  equ 0x7c00
PARTITION_TABLE equ 0x0600 + 446
SIGNATURE       equ SECTOR_ADDRESS + 510
READ_ATTEMPTS   equ 5

start:
        cli
        xor ax, ax
        mov ss, ax
        mov sp, SECTOR_ADDRESS
        mov ds, ax
        mov es, ax
        sti
        cld
        mov si, SECTOR_ADDRESS
        mov di, 0x0600
        mov cx, 256
        rep movsw
        jmp 0:relocated

relocated:
        mov si, PARTITION_TABLE
        mov cx, 4
.next_entry:
        mov al, [si]
        cmp al, 0x80
        je boot_partition
        test al, al
        jnz missing_system      ; neither inactive nor active: the table is not trustworthy
        add si, 16
        loop .next_entry
        int 0x18                ; nothing to boot: let the BIOS try its next device
        jmp missing_system

boot_partition:
        mov bp, si
        mov di, READ_ATTEMPTS
.read:
        mov bx, SECTOR_ADDRESS
        mov dx, [bp]            ; DL = drive from the status byte, DH = start head
        mov cx, [bp + 2]        ; CL = start sector and cylinder bits 8-9, CH = cylinder bits 0-7
        mov ax, 0x0201
        int 0x13
        jnc .loaded
        xor ax, ax
        mov dl, [bp]
        int 0x13                ; reset the disk before trying again
        dec di
        jnz .read
        mov si, error_loading
        jmp print_and_halt
.loaded:
        cmp word [SIGNATURE], 0xaa55
        jne missing_system
        mov si, bp
        jmp 0:SECTOR_ADDRESS

missing_system:
        mov si, missing_message

print_and_halt:
        lodsb
        test al, al
        jz halt
        mov ah, 0x0e
        mov bx, 0x0007
        int 0x10
        jmp print_and_halt
halt:
        jmp halt

error_loading:   db "Error loading operating system", 0
missing_message: db "Missing operating system", 0

        times 184 - ($ - $$) db 0

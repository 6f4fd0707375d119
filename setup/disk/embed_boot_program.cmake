# Turns the assembled boot program into the definition of BOOT_PROGRAM (see boot_program.h).
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR length "${digits} / 2")
if(NOT length EQUAL 184)
  message(FATAL_ERROR "the boot program is ${length} bytes, not 184")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
file(WRITE ${OUTPUT}
  "// Generated from boot_program.asm at build time.\n"
  "#include \"setup/disk/boot_program.h\"\n\n"
  "const unsigned char BOOT_PROGRAM[BOOT_PROGRAM_SIZE] = {${array}};\n")

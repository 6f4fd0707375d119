/* Preloaded into setup by the network installation tests through the root's /etc/ld.so.preload.
   The host kernel has no ISO 9660 driver, so mounting the CD-ROM drive "/dev/hdb" becomes a
   read-only bind mount of the folder "/cdrom" of the installation root. Nor has it a FAT driver:
   mounting "/dev/hdb" as "vfat", as the hard disk installation looks for its source, binds the same
   folder. Every other mount is passed on unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <sys/mount.h>

typedef int (*mount_call)(const char*, const char*, const char*, unsigned long, const void*);

int mount(const char* source, const char* target, const char* type, unsigned long flags, const void* data)
{
    static mount_call real;
    if (!real)
        real = (mount_call)dlsym(RTLD_NEXT, "mount");
    if (type && strcmp(type, "iso9660") == 0 && source && strcmp(source, "/dev/hdb") == 0) {
        if (real("/cdrom", target, NULL, MS_BIND, NULL) != 0)
            return -1;
        return real(NULL, target, NULL, MS_BIND | MS_REMOUNT | MS_RDONLY, NULL);
    }
    if (type && strcmp(type, "vfat") == 0 && source && strcmp(source, "/dev/hdb") == 0)
        return real("/cdrom", target, NULL, MS_BIND, NULL);
    return real(source, target, type, flags, data);
}

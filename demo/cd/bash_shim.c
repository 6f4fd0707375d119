/* "/bin/bash" of the demo CD. The installed system's own shell is not among the demo packages, so
   package scripts and the post-installation script run in busybox's sh instead. */
#include <unistd.h>

int main(int argc, char** argv)
{
    (void)argc;
    argv[0] = "sh";
    execv("/bin/busybox", argv);
    return 127;
}

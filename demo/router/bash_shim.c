/* "/bin/bash" of the demo router. Package scripts and the post-installation script are started with
   /bin/bash; a router this small has busybox's sh instead, which runs them as well. */
#include <unistd.h>

int main(int argc, char** argv)
{
    (void)argc;
    argv[0] = "sh";
    execv("/bin/busybox", argv);
    return 127;
}

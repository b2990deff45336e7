// orphanparent PROGRAM ARGS...: starts PROGRAM the way the converter starts the encoder,
// so that the death of this process sends it SIGTERM; prints its pid and waits to be
// killed.
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const pid_t self = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != self) // died before the request took hold
            ::_exit(1);
        ::execv(argv[1], argv + 1);
        ::_exit(127);
    }
    std::printf("%d\n", int(child));
    std::fflush(stdout);
    for (;;)
        ::pause();
}

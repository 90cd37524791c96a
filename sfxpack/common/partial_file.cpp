#include "sfxpack/common/partial_file.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace sfxpack {

namespace {

const int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
enum { SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0] };

// Written only while the ending signals are held off; `noted` is set after
// the name and cleared first, so that a handler sees a whole name or none.
char partialName[PATH_MAX];
int partialFolder = AT_FDCWD;
volatile sig_atomic_t noted = 0;
struct sigaction savedActions[SIGNAL_COUNT];
bool handled[SIGNAL_COUNT];

void RemoveAndEnd(int signal)
{
    RemovePartialFile();
    // The action was reset to the default on entry (SA_RESETHAND) and the
    // signal is blocked until this returns: then it ends the process.
    raise(signal);
}

}  // namespace

void HoldEndingSignals(bool hold)
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : ENDING_SIGNALS)
        sigaddset(&set, signal);
    pthread_sigmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void NotePartialFile(int folder, const char *name)
{
    size_t length = std::strlen(name);
    if (length >= sizeof partialName)
        return;
    std::memcpy(partialName, name, length + 1);
    partialFolder = folder;
    noted = 1;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < SIGNAL_COUNT; i++) {
        handled[i] = sigaction(ENDING_SIGNALS[i], nullptr, &savedActions[i]) == 0 &&
                     savedActions[i].sa_handler != SIG_IGN &&
                     sigaction(ENDING_SIGNALS[i], &action, nullptr) == 0;
    }
}

void ForgetPartialFile()
{
    HoldEndingSignals(true);
    if (noted) {
        noted = 0;
        for (int i = 0; i < SIGNAL_COUNT; i++)
            if (handled[i])
                sigaction(ENDING_SIGNALS[i], &savedActions[i], nullptr);
    }
    HoldEndingSignals(false);
}

void RemovePartialFile()
{
    if (noted)
        unlinkat(partialFolder, partialName, 0);
}

}  // namespace sfxpack

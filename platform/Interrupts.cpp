#include "Interrupts.h"

#include "Interrupt.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <initializer_list>
#endif

namespace {

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            if (InterruptRequested() && event == CTRL_C_EVENT) return FALSE;
            RequestInterrupt();
            // A closing console ends the process once this returns: give the work in hand a
            // moment to remove its temporary file.
            if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(2000);
            return TRUE;
        default:
            return FALSE;
    }
}
#else
volatile std::sig_atomic_t readerGone = 0;

void OnSignal(int signal) {
    if (signal == SIGPIPE) readerGone = 1;
    if (InterruptRequested() && signal == SIGINT) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    RequestInterrupt();
}
#endif

}  // namespace

void InstallInterruptHandlers() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A reader of the output that goes away (`pellmar-cli convert ... | head`) stops the run
    // as an interruption does: left to its default, SIGPIPE would end the program at once,
    // in the middle of another job's save, and leave that save's temporary file. The writes
    // to the closed pipe fail instead, and what they held is lost with the reader.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
#endif
}

bool OutputReaderGone() {
#ifdef _WIN32
    return false;
#else
    return readerGone != 0;
#endif
}

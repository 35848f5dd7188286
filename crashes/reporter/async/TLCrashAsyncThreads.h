#pragma once
// The threads of the own process for a report, and their registers. Linux
// cannot suspend another thread or read its registers from outside, so each
// thread is asked through one real-time signal that the reporter reserves:
// its handler copies the thread's state from the signal's context, answers
// and then waits, held, until the report is written. A thread that does not
// answer within a bounded wait (it blocks the signal, or sleeps in the
// kernel where signals cannot reach it) is listed without registers.
//
// Everything here is async-signal-safe: threads are listed from
// /proc/self/task with raw system calls, and the states live in storage made
// when the process starts. One report is taken at a time; a second one
// waits for the first. Reserving the signal and installing its handler is
// set-up work: setup/TLCrashThreadsSetup.h.

#include "crashes/reporter/async/TLCrashAsyncThreadState.h"
#include "crashes/reporter/async/TLCrashAsyncTask.h"

#include <signal.h>

#include <cstddef>

// More threads than this are listed without registers and frames.
constexpr size_t TLCRASH_MAX_SNAPSHOT_THREADS = 512;
// The most threads a report lists.
constexpr size_t TLCRASH_MAX_THREADS = 2048;
// How long one thread is given to answer, and all of them together.
constexpr int TLCRASH_THREAD_ANSWER_MS = 100;
constexpr int TLCRASH_THREADS_ANSWER_TOTAL_MS = 1000;

struct tlcrash_async_thread_snapshot {
    tlcrash_thread_t tid;
    bool has_state;
    tlcrash_async_thread_state state;
};

struct tlcrash_async_thread_list {
    size_t count;
    // In /proc/self/task's order; the calling thread is listed without a
    // state.
    const tlcrash_async_thread_snapshot* threads;
};

// The reserved signal, 0 before setup/TLCrashThreadsSetup.h's install.
int tlcrash_async_threads_signal();

// For install only: the reserved signal's handler, which answers a request
// and holds the thread, and the recording of the signal it reserved.
void tlcrash_async_threads_answer(int signo, siginfo_t* info, void* uap);
void tlcrash_async_threads_use_signal(int signo);

// Waits for any other report to finish, lists the threads and takes the
// state of each other thread, which then stays held until resume.
void tlcrash_async_threads_suspend(tlcrash_async_thread_list* list);
// Lets the held threads go on and ends the report.
void tlcrash_async_threads_resume(tlcrash_async_thread_list* list);

// The thread ids of /proc/self/task, at most `capacity`: their count, or
// -1 when the folder cannot be read.
ssize_t tlcrash_async_list_thread_ids(tlcrash_thread_t* ids, size_t capacity);

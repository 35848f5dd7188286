#pragma once
// The threads of the own process for a report, and their registers. Linux
// cannot suspend another thread or read its registers from outside, so each
// thread is asked through one real-time signal that the reporter reserves:
// its handler copies the thread's state from the signal's context, answers
// and then waits, held, until the report is written. A thread that does not
// answer within a bounded wait (it blocks the signal, or sleeps in the
// kernel where signals cannot reach it) is listed without registers.
//
// Everything but the set-up is async-signal-safe: threads are listed from
// /proc/self/task with raw system calls, and the states live in storage made
// when the process starts. One report is taken at a time; a second one
// waits for the first.

#include "crashes/reporter/async/TLCrashAsyncThreadState.h"
#include "crashes/reporter/async/TLCrashAsyncTask.h"

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

// Reserves a real-time signal whose action is still the default one and
// installs the answering handler; later calls do nothing. False when every
// real-time signal is taken or the action cannot be set.
bool tlcrash_async_threads_install();
// The reserved signal, 0 before install.
int tlcrash_async_threads_signal();

// Waits for any other report to finish, lists the threads and takes the
// state of each other thread, which then stays held until resume.
void tlcrash_async_threads_suspend(tlcrash_async_thread_list* list);
// Lets the held threads go on and ends the report.
void tlcrash_async_threads_resume(tlcrash_async_thread_list* list);

// The thread ids of /proc/self/task, at most `capacity`: their count, or
// -1 when the folder cannot be read.
ssize_t tlcrash_async_list_thread_ids(tlcrash_thread_t* ids, size_t capacity);

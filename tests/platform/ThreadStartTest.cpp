#include "platform/dispatch/ThreadStart.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <latch>
#include <thread>
#include <vector>

namespace {

stack_t signalStack() {
    stack_t stack{};
    stack.ss_flags = SS_DISABLE;
    sigaltstack(nullptr, &stack);
    return stack;
}

}  // namespace

TEST(ThreadStart, EveryThreadStartedHasASignalStackOfItsOwnAndAThreadKeepsTheOneItHas) {
    // Two threads at once: each its own stack, from its first instruction on.
    stack_t first{};
    stack_t second{};
    stack_t again{};
    int attachedAgain = -1;
    std::latch bothLooked(2);
    std::thread one = platform::startThread([&] {
        first = signalStack();
        attachedAgain = platform::attachAlternateSignalStack();
        again = signalStack();
        bothLooked.arrive_and_wait();
    });
    std::thread two = platform::startThread([&] {
        second = signalStack();
        bothLooked.arrive_and_wait();
    });
    one.join();
    two.join();
    EXPECT_EQ(first.ss_flags & SS_DISABLE, 0);
    EXPECT_EQ(second.ss_flags & SS_DISABLE, 0);
    EXPECT_NE(first.ss_sp, second.ss_sp);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer gives every thread a smaller one of its own, which is kept.
    EXPECT_EQ(first.ss_size, platform::kAlternateSignalStackSize);
#endif
    // Attaching again (as the crash reporter does for a thread that
    // registers its handlers) changes nothing.
    EXPECT_EQ(attachedAgain, 0);
    EXPECT_EQ(again.ss_sp, first.ss_sp);

    // A thread given a stack by someone else keeps that one.
    std::vector<char> given(platform::kAlternateSignalStackSize);
    stack_t kept{};
    int attached = -1;
    std::thread([&] {
        stack_t own{};
        own.ss_sp = given.data();
        own.ss_size = given.size();
        if (sigaltstack(&own, nullptr) != 0) return;
        attached = platform::attachAlternateSignalStack();
        kept = signalStack();
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    }).join();
    EXPECT_EQ(attached, 0);
    EXPECT_EQ(kept.ss_sp, given.data());
}

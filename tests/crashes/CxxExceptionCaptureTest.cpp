// Uncaught C++ exceptions: what the terminate handler hands on, whose throw
// its frames come from, and turning capture on and off. Each uncaught case
// ends its process, so it runs in a child.

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesCXXExceptionWrapperException.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Death tests catch what escapes their statement; an exception that leaves
// a noexcept function goes to the terminate handler instead.
template <typename Body>
void uncaught(Body body) noexcept {
    body();
}

// The child reports what the handler saw on standard error and exits.
void describeAndExit(const TLMCrashesCXXExceptionInfo* info) {
    const TLMCrashesCXXExceptionWrapperException wrapper(info);
    Dl_info where{};
    const bool found = info->exceptionFramesCount > 0 &&
                       dladdr(reinterpret_cast<void*>(info->exceptionFrames[0]), &where) != 0 &&
                       where.dli_fname != nullptr;
    const bool inCxxLibrary = found && std::strstr(where.dli_fname, "libstdc++") != nullptr;
    std::fprintf(stderr, "type=%s name=%s reason=[%s] message=%s frames=%s first=%s\n",
                 info->exceptionTypeName != nullptr ? info->exceptionTypeName : "(null)", wrapper.name().c_str(),
                 wrapper.reason().c_str(), info->exceptionMessage != nullptr ? "set" : "null",
                 info->exceptionFramesCount > 0 && info->exceptionFramesCount < 128 ? "some" : "bad",
                 inCxxLibrary ? "library" : "program");
    std::fflush(stderr);
    _exit(0);
}

__attribute__((noinline)) void throwRuntimeError() { throw std::runtime_error("rails ran out"); }

TEST(CxxExceptionCaptureDeathTest, HandsOnTheTypeTextAndThrowSite) {
    EXPECT_EXIT(
        {
            TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(describeAndExit);
            uncaught([] { throwRuntimeError(); });
        },
        testing::ExitedWithCode(0),
        "type=St13runtime_error name=std::runtime_error reason=\\[rails ran out\\] message=set frames=some "
        "first=program");
}

TEST(CxxExceptionCaptureDeathTest, TakesTextsOfCharactersAndNothingFromOtherTypes) {
    EXPECT_EXIT(
        {
            TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(describeAndExit);
            uncaught([] { throw "plain text"; });
        },
        testing::ExitedWithCode(0), "reason=\\[plain text\\] message=set");
    EXPECT_EXIT(
        {
            TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(describeAndExit);
            uncaught([] { throw 42; });
        },
        testing::ExitedWithCode(0), "type=i name=int reason=\\[\\] message=null");
}

// The thread's last recorded throw is another exception: the frames must
// not be that throw's but those of the way to the terminate handler.
TEST(CxxExceptionCaptureDeathTest, TakesFramesOnlyFromTheSameExceptionsThrow) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer's backtrace() lists frames of its own";
#endif
    EXPECT_EXIT(
        {
            TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(describeAndExit);
            try {
                throwRuntimeError();
            } catch (const std::exception&) {
            }
            std::exception_ptr elsewhere;
            std::thread([&] {
                try {
                    throw std::logic_error("from another thread");
                } catch (...) {
                    elsewhere = std::current_exception();
                }
            }).join();
            try {
                std::rethrow_exception(elsewhere);
            } catch (...) {
                uncaught([] { throw; });
            }
        },
        testing::ExitedWithCode(0), "name=std::logic_error .* frames=some first=library");
}

TEST(CxxExceptionCapture, DropsTheRecordingFrameAndNothingOfNoFrames) {
    const uint64_t frames[3] = {0x10, 0x20, 0x30};
    TLMCrashesCXXExceptionInfo info{};
    TLMCrashesDropRecordingFrame(frames, 3, &info);
    EXPECT_EQ(info.exceptionFramesCount, 2u);
    EXPECT_EQ(info.exceptionFrames[0], 0x20u);
    TLMCrashesDropRecordingFrame(frames, 0, &info);
    EXPECT_EQ(info.exceptionFramesCount, 0u);
}

TEST(CxxExceptionCapture, RemovingTheLastHandlerPutsThePreviousTerminateHandlerBack) {
    const std::terminate_handler before = std::get_terminate();
    TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(describeAndExit);
    TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(describeAndExit);
    EXPECT_EQ(TLMCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), 2u);
    EXPECT_NE(std::get_terminate(), before);
    TLMCrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(describeAndExit);
    EXPECT_NE(std::get_terminate(), before);
    TLMCrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(describeAndExit);
    EXPECT_EQ(TLMCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), 0u);
    EXPECT_EQ(std::get_terminate(), before);
    // A caught throw still works with capture off.
    EXPECT_THROW(throwRuntimeError(), std::runtime_error);
}

}  // namespace

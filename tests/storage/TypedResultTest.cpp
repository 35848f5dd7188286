// A command's result type is part of its type: the executor hands the
// completion exactly what the command's reader returns, and a reader or a
// completion of another type does not compile. The checks below are made
// by the compiler; each refused form has an accepted twin, so none of them
// holds for an unrelated reason.

#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSLeaseOperation.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSStorageCommand.h"

#include <gtest/gtest.h>

#include <any>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace {

using platform::Error;
using ErrorOut = std::optional<Error>;

template <typename Value>
struct Reader {
    Value operator()(const platform::net::HTTPURLResponse&, BLSRequestResult&, platform::OutputStream*,
                     BLSOperationContext&, ErrorOut&) const {
        return Value{};
    }
};

template <typename Value>
struct Completion {
    void operator()(ErrorOut, Value) const {}
};

template <typename Command, typename ReaderType>
concept TakesReader = requires(Command command, ReaderType reader) {
    command.setPostProcessResponse(reader);
};

template <typename Result, typename CompletionType>
concept Runs = requires(std::shared_ptr<BLSStorageCommand<Result>> command, CompletionType completion) {
    BLSExecutor::ExecuteWithStorageCommand(command, nullptr, nullptr, completion);
    BLSExecutor::make(command, nullptr, nullptr, completion);
};

using LeaseIdCommand = BLSStorageCommand<std::optional<std::string>>;
using LeaseTimeCommand = BLSStorageCommand<std::optional<std::int64_t>>;

// Readers.
static_assert(TakesReader<LeaseIdCommand, Reader<std::optional<std::string>>>);
static_assert(!TakesReader<LeaseIdCommand, Reader<std::optional<std::int64_t>>>);
static_assert(!TakesReader<LeaseIdCommand, Reader<std::any>>);
static_assert(!TakesReader<BLSStorageCommand<std::shared_ptr<BLSOperationContext>>, Reader<std::string>>);

// Completions.
static_assert(Runs<std::optional<std::string>, Completion<std::optional<std::string>>>);
static_assert(!Runs<std::optional<std::int64_t>, Completion<std::optional<std::string>>>);
static_assert(Runs<std::optional<std::int64_t>, Completion<std::optional<std::int64_t>>>);
static_assert(!Runs<std::shared_ptr<BLSOperationContext>, Completion<std::optional<std::string>>>);

// The adapters carry their command's type too.
static_assert(Runs<BLSNoResult, decltype(BLSOperationUtil::errorOnly(nullptr))>);
static_assert(!Runs<BLSLeaseResult, decltype(BLSOperationUtil::errorOnly(nullptr))>);
static_assert(Runs<BLSLeaseResult, decltype(BLSLeaseOperation::leaseIdResult(nullptr))>);
static_assert(!Runs<BLSNoResult, decltype(BLSLeaseOperation::leaseTimeResult(nullptr))>);

// An operation that ends before its reader ran hands over the empty value
// of its type, once, off the caller's thread.
TEST(TypedResult, AnOperationEndedBeforeReadingHandsOverTheEmptyValue) {
    auto context = std::make_shared<BLSOperationContext>();
    auto command = std::make_shared<LeaseIdCommand>(nullptr, std::nullopt, context);
    bool readerRan = false;
    command->setPostProcessResponse([&readerRan](const platform::net::HTTPURLResponse&, BLSRequestResult&,
                                                 platform::OutputStream*, BLSOperationContext&, ErrorOut&) {
        readerRan = true;
        return std::optional<std::string>("never");
    });
    std::promise<std::pair<ErrorOut, std::optional<std::string>>> done;
    auto outcome = done.get_future();
    BLSExecutor::ExecuteWithStorageCommand(command, nullptr, context,
                                           [&done](ErrorOut error, std::optional<std::string> result) {
                                               done.set_value({std::move(error), std::move(result)});
                                           });
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    auto [error, result] = outcome.get();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
    EXPECT_EQ(result, std::nullopt);
    EXPECT_FALSE(readerRan);
}

}  // namespace

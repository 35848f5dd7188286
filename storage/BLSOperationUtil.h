#pragma once
// What the operations of the client, containers and blobs share: the first
// steps of every operation's command (context, options, command), the
// adapter from the executor's (error, result) to a completion that takes
// only the error, the exists answer and the create-if-missing and
// delete-if-present steps built on it, and the body an answer left in
// memory. The client is known here by name only: what reads it is defined
// with it (BLSCloudClient.cpp).

#include "platform/foundation/Error.h"
#include "storage/BLSStorageCommand.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>

namespace platform {
class OutputStream;
}
class BLSBlobRequestOptions;
class BLSCloudBlobClient;
class BLSOperationContext;
class BLSStorageUri;

class BLSOperationUtil {
public:
    using ErrorOut = std::optional<platform::Error>;

    // The caller's context, or a new one.
    static std::shared_ptr<BLSOperationContext> contextOrNew(std::shared_ptr<BLSOperationContext> operationContext);
    // The caller's options over the client's defaults (the caller's win);
    // never null.
    static std::shared_ptr<BLSBlobRequestOptions> effectiveOptions(
        const BLSCloudBlobClient* client, const std::shared_ptr<BLSBlobRequestOptions>& requestOptions);
    // A command on `storageUri` with the client's credentials and
    // authentication handler (none without a client).
    template <typename Result = BLSNoResult>
    static std::shared_ptr<BLSStorageCommand<Result>> makeCommand(const BLSCloudBlobClient* client,
                                                                  const BLSStorageUri& storageUri,
                                                                  const std::shared_ptr<BLSOperationContext>& context,
                                                                  bool calculateResponseMD5 = false) {
        auto command = std::make_shared<BLSStorageCommand<Result>>(nullptr, storageUri, calculateResponseMD5, context);
        useClient(*command, client);
        return command;
    }

    // The first steps of an operation on `storageUri`, all three at once: the
    // context, the options and the command, whose answers pass the status
    // check (an operation that reads more from them sets its own).
    template <typename Result = BLSNoResult>
    struct Operation {
        std::shared_ptr<BLSOperationContext> context;
        std::shared_ptr<BLSBlobRequestOptions> options;
        std::shared_ptr<BLSStorageCommand<Result>> command;
    };
    template <typename Result = BLSNoResult>
    static Operation<Result> prepare(const BLSCloudBlobClient* client, const BLSStorageUri& storageUri,
                                     const std::shared_ptr<BLSBlobRequestOptions>& requestOptions,
                                     std::shared_ptr<BLSOperationContext> operationContext) {
        Operation<Result> operation;
        operation.context = contextOrNew(std::move(operationContext));
        operation.options = effectiveOptions(client, requestOptions);
        operation.command = makeCommand<Result>(client, storageUri, operation.context);
        checkStatus(*operation.command);
        return operation;
    }

    // A completion for a command of `Result` that gets only the error. A null
    // completion is not called.
    template <typename Result = BLSNoResult>
    static BLSCompletionHandler<Result> errorOnly(std::function<void(const ErrorOut&)> completion) {
        return [completion = std::move(completion)](std::optional<platform::Error> error, Result) {
            if (completion) completion(error);
        };
    }

    using Completion = std::function<void(const ErrorOut& error)>;
    using FlagCompletion = std::function<void(const ErrorOut& error, bool flag)>;

    // A completion for a read of attributes that tells whether the resource
    // exists: true when the read succeeded, false for a "not found" (404)
    // answer, else the read's error. A null completion is not called.
    static Completion existsFromAttributes(FlagCompletion completion);

    // A completion for an exists check that runs `act` (a create or a
    // delete) when the answer is `actWhenExists`, and tells `completion`
    // whether it ran and succeeded; the check's error ends it there.
    static FlagCompletion actOnExists(bool actWhenExists, std::function<void(Completion done)> act,
                                      FlagCompletion completion);

    // The body an answer left in a memory stream; empty for another stream.
    static std::span<const std::uint8_t> memoryData(platform::OutputStream* stream);

private:
    static void useClient(BLSStorageCommandBase& command, const BLSCloudBlobClient* client);
    static void checkStatus(BLSStorageCommandBase& command);
};

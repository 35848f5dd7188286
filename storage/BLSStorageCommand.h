#pragma once
// One REST call of the storage client, described as the blocks that build
// and sign the request and judge and read the response, with its target,
// credentials, allowed locations and body or download stream. Filled by
// the container and blob classes, read (never changed) by the executor.
//
// The type of the operation's result is part of the command's type:
// `BLSStorageCommand<Result>` reads a `Result` from the answer, and the
// executor hands exactly that type to the completion, so a reader and a
// completion that disagree do not compile.

#include "platform/foundation/Error.h"
#include "storage/BLSEnums.h"
#include "storage/BLSStorageUri.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace platform {
class OutputStream;
}
namespace platform::net {
class URLComponents;
struct URLRequest;
struct HTTPURLResponse;
}  // namespace platform::net
class BLSAuthenticationHandler;
class BLSOperationContext;
class BLSRequestResult;
class BLSStorageCredentials;

// Everything of a command but the reading of its result; what the
// executor's untyped core works with.
class BLSStorageCommandBase {
public:
    // (URL components, server timeout in seconds, context) -> the request.
    using BuildRequest =
        std::function<platform::net::URLRequest(platform::net::URLComponents&, double timeout, BLSOperationContext&)>;
    // Signs in place; an error means the request must not be sent.
    using SignRequest = std::function<std::optional<platform::Error>(platform::net::URLRequest&, BLSOperationContext&)>;
    // The verdict on the response headers: an error, or nullopt to go on.
    using PreProcessResponse = std::function<std::optional<platform::Error>(const platform::net::HTTPURLResponse&,
                                                                            BLSRequestResult&, BLSOperationContext&)>;
    // Enriches `errorToPopulate` from the error body in the stream; a body
    // that cannot be read sets `error`.
    using ProcessError = std::function<void(platform::OutputStream*, platform::Error& errorToPopulate,
                                            std::optional<platform::Error>& error)>;

    BLSStorageCommandBase(std::shared_ptr<BLSStorageCredentials> credentials, std::optional<BLSStorageUri> storageUri,
                          std::shared_ptr<BLSOperationContext> operationContext);
    // Allowed location primary only; installs the default processError,
    // which reads the error body of an in-memory stream with this context.
    BLSStorageCommandBase(std::shared_ptr<BLSStorageCredentials> credentials, std::optional<BLSStorageUri> storageUri,
                          bool calculateResponseMD5, std::shared_ptr<BLSOperationContext> operationContext);
    virtual ~BLSStorageCommandBase() = default;

    bool calculateResponseMD5() const { return mCalculateResponseMD5; }

    // False for a request the service may have carried out although its
    // answer was lost (an append without a position): such a request is not
    // repeated after a transport failure.
    bool retryAfterTransportFailure() const { return mRetryAfterTransportFailure; }
    void setRetryAfterTransportFailure(bool retry) { mRetryAfterTransportFailure = retry; }
    void setCalculateResponseMD5(bool value) { mCalculateResponseMD5 = value; }
    const std::optional<BLSStorageUri>& storageUri() const { return mStorageUri; }
    void setStorageUri(std::optional<BLSStorageUri> uri) { mStorageUri = std::move(uri); }
    const std::shared_ptr<BLSStorageCredentials>& credentials() const { return mCredentials; }
    void setCredentials(std::shared_ptr<BLSStorageCredentials> credentials) { mCredentials = std::move(credentials); }
    const std::optional<BLSUriQueryBuilder>& queryBuilder() const { return mQueryBuilder; }
    void setQueryBuilder(std::optional<BLSUriQueryBuilder> builder) { mQueryBuilder = std::move(builder); }

    BLSAllowedStorageLocation allowedStorageLocation() const { return mAllowedStorageLocation; }
    // The same as the next with no lock, the error dropped.
    void setAllowedStorageLocation(BLSAllowedStorageLocation requested);
    // With a lock, the result is the lock's location whatever is requested;
    // a request that contradicts the lock also gives error code 1. nullopt
    // (or 0) is no lock; any other value leaves the setting unchanged.
    void setAllowedStorageLocation(BLSAllowedStorageLocation requested, std::optional<BLSStorageLocation> lockLocation,
                                   std::optional<platform::Error>& error);

    // Installs a signRequest that asks the handler; nullptr removes it.
    void setAuthenticationHandler(std::shared_ptr<BLSAuthenticationHandler> handler);

    const BuildRequest& buildRequest() const { return mBuildRequest; }
    void setBuildRequest(BuildRequest block) { mBuildRequest = std::move(block); }
    const SignRequest& signRequest() const { return mSignRequest; }
    void setSignRequest(SignRequest block) { mSignRequest = std::move(block); }
    const PreProcessResponse& preProcessResponse() const { return mPreProcessResponse; }
    void setPreProcessResponse(PreProcessResponse block) { mPreProcessResponse = std::move(block); }
    const ProcessError& processError() const { return mProcessError; }
    void setProcessError(ProcessError block) { mProcessError = std::move(block); }

    // The request body to upload, or null. Shared, never changed: each
    // attempt's upload task lends it instead of copying it.
    const std::shared_ptr<const std::vector<std::uint8_t>>& source() const { return mSource; }
    void setSource(std::optional<std::vector<std::uint8_t>> data) {
        mSource = data ? std::make_shared<const std::vector<std::uint8_t>>(std::move(*data)) : nullptr;
    }
    void setSource(std::shared_ptr<const std::vector<std::uint8_t>> data) { mSource = std::move(data); }
    // Where a download's body goes; nullptr collects it in memory.
    const std::shared_ptr<platform::OutputStream>& destinationStream() const { return mDestinationStream; }
    void setDestinationStream(std::shared_ptr<platform::OutputStream> stream) {
        mDestinationStream = std::move(stream);
    }

private:
    bool mCalculateResponseMD5 = false;
    bool mRetryAfterTransportFailure = true;
    std::optional<BLSStorageUri> mStorageUri;
    std::shared_ptr<BLSStorageCredentials> mCredentials;
    std::optional<BLSUriQueryBuilder> mQueryBuilder;
    BLSAllowedStorageLocation mAllowedStorageLocation = BLSAllowedStorageLocationPrimaryOnly;
    BuildRequest mBuildRequest;
    SignRequest mSignRequest;
    PreProcessResponse mPreProcessResponse;
    ProcessError mProcessError;
    std::shared_ptr<const std::vector<std::uint8_t>> mSource;
    std::shared_ptr<platform::OutputStream> mDestinationStream;
};

// The result of an operation that reads nothing from the answer.
struct BLSNoResult {};

// What the executor calls at the end: (error or nullopt, the command's
// result; Result{} when the operation ended without one).
template <typename Result>
using BLSCompletionHandler = std::function<void(std::optional<platform::Error>, Result)>;

template <typename Result = BLSNoResult>
class BLSStorageCommand final : public BLSStorageCommandBase {
    // The completion of an operation that ends without a result (an error,
    // or no reader) gets Result{}.
    static_assert(std::is_default_constructible_v<Result> && std::is_copy_constructible_v<Result>,
                  "a command's result must be default-constructible and copyable");

public:
    // Reads the answer (and the body written to the stream); returns the
    // operation's result and may set `error`.
    using PostProcessResponse =
        std::function<Result(const platform::net::HTTPURLResponse&, BLSRequestResult&, platform::OutputStream*,
                             BLSOperationContext&, std::optional<platform::Error>& error)>;

    BLSStorageCommand(std::shared_ptr<BLSStorageCredentials> credentials, std::optional<BLSStorageUri> storageUri,
                      std::shared_ptr<BLSOperationContext> operationContext)
        : BLSStorageCommandBase(std::move(credentials), std::move(storageUri), std::move(operationContext)) {}
    BLSStorageCommand(std::shared_ptr<BLSStorageCredentials> credentials, std::optional<BLSStorageUri> storageUri,
                      bool calculateResponseMD5, std::shared_ptr<BLSOperationContext> operationContext)
        : BLSStorageCommandBase(std::move(credentials), std::move(storageUri), calculateResponseMD5,
                                std::move(operationContext)) {}

    const PostProcessResponse& postProcessResponse() const { return mPostProcessResponse; }
    void setPostProcessResponse(PostProcessResponse block) { mPostProcessResponse = std::move(block); }

private:
    PostProcessResponse mPostProcessResponse;
};

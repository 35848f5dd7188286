#pragma once
// The client-side handle of one blob (or one snapshot of it): downloads,
// delete, properties and metadata, existence, snapshots, leases, copies and
// shared access signatures. The block, page and append blob classes derive
// from it and add the writing operations of their kind.
//
// A reference sends nothing when it is made. Every operation builds one
// request, runs it through the executor and calls its completion exactly
// once, on the executor's delegate queue (local refusals call it at once,
// on the caller's thread). Responses replace properties(),
// metadata() and blobCopyState() on that queue; the object has no locks, so
// read them after the completion (or bring your own ordering).
//
// Every operation has a full form (access condition, request options,
// operation context, completion) and a short form that passes none of the
// three. Arguments are copied when the call is made.

#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSEnums.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSResultTypes.h"
#include "storage/BLSStorageUri.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class OutputStream;
}
namespace platform::net {
struct HTTPURLResponse;
}
class BLSBlobRequestOptions;
class BLSCloudBlobClient;
class BLSCloudBlobContainer;
class BLSOperationContext;
class BLSRequestResult;
class BLSStorageCredentials;
struct BLSLeaseTarget;
struct BLSSharedAccessBlobParameters;

class BLSCloudBlob : public std::enable_shared_from_this<BLSCloudBlob> {
public:
    using Error = platform::Error;
    using ErrorOut = std::optional<platform::Error>;
    using Completion = std::function<void(const ErrorOut& error)>;
    using ExistsCompletion = std::function<void(const ErrorOut& error, bool exists)>;
    // nullopt whenever there is an error: a failed download never hands over
    // bytes that could be taken for the whole blob.
    using DataCompletion =
        std::function<void(const ErrorOut& error, const std::optional<std::vector<std::uint8_t>>& data)>;
    using TextCompletion = std::function<void(const ErrorOut& error, const std::optional<std::string>& text)>;
    // Lease IDs and copy IDs; nullopt on failure.
    using StringCompletion = std::function<void(const ErrorOut& error, const std::optional<std::string>& value)>;
    // The remaining lease time in seconds; nullopt on failure or when the
    // service gives none.
    using NumberCompletion = std::function<void(const ErrorOut& error, std::optional<std::int64_t> value)>;
    using SnapshotCompletion = std::function<void(const ErrorOut& error, std::shared_ptr<BLSCloudBlob> snapshot)>;

    using OptionsPtr = std::shared_ptr<BLSBlobRequestOptions>;
    using ContextPtr = std::shared_ptr<BLSOperationContext>;

    virtual ~BLSCloudBlob() = default;
    BLSCloudBlob(const BLSCloudBlob&) = delete;
    BLSCloudBlob& operator=(const BLSCloudBlob&) = delete;

    // Initialisers. A reference from a container takes the container's
    // client and its address with the name appended; nothing is checked or
    // sent. The address forms take credentials and a snapshot time from the
    // address's query and return nullptr with error code 1 when they clash
    // with the given ones ("Multiple credentials provided.", "Multiple
    // snapshot times provided." logged), when the address has no primary
    // URI or names no blob, or when no client can be made from it.
    static std::shared_ptr<BLSCloudBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                           std::string name);
    static std::shared_ptr<BLSCloudBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                           std::string name, std::optional<std::string> snapshotTime);
    static std::shared_ptr<BLSCloudBlob> makeWithUrl(const platform::net::URL& url, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlob> makeWithUrl(const platform::net::URL& url,
                                                     std::shared_ptr<BLSStorageCredentials> credentials,
                                                     std::optional<std::string> snapshotTime, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlob> makeWithStorageUri(const BLSStorageUri& storageUri, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlob> makeWithStorageUri(const BLSStorageUri& storageUri,
                                                            std::shared_ptr<BLSStorageCredentials> credentials,
                                                            std::optional<std::string> snapshotTime, ErrorOut& error);

    // Properties.
    const std::string& blobName() const { return mBlobName; }
    // nullptr for a blob made from an address.
    const std::shared_ptr<BLSCloudBlobContainer>& blobContainer() const { return mBlobContainer; }
    // The blob's address, without snapshot query.
    const BLSStorageUri& storageUri() const { return mStorageUri; }
    const std::shared_ptr<BLSCloudBlobClient>& client() const { return mClient; }
    const std::optional<std::string>& snapshotTime() const { return mSnapshotTime; }

    BLSMetadata& metadata() { return mMetadata; }
    const BLSMetadata& metadata() const { return mMetadata; }
    void setMetadata(BLSMetadata metadata) { mMetadata = std::move(metadata); }

    // A snapshot made by snapshotBlobWithMetadata shares this object with
    // its source blob until either replaces it (a download or an attributes
    // download gives the blob new properties).
    BLSBlobProperties& properties() { return *mProperties; }
    const BLSBlobProperties& properties() const { return *mProperties; }
    // Replaces the properties with a new object of these values.
    void setProperties(BLSBlobProperties properties);

    BLSCopyState& blobCopyState() { return mBlobCopyState; }
    const BLSCopyState& blobCopyState() const { return mBlobCopyState; }
    void setBlobCopyState(BLSCopyState state) { mBlobCopyState = std::move(state); }

    // Downloads. A range of length 0 is the whole blob (no range header).
    // The body is written to `stream` as it arrives; on an MD5 mismatch
    // (code 4) the bytes stay in the stream. A block, page or append blob
    // object refuses a service blob of another kind (code 1, "Blob type on
    // the local object does not match blob type on the service.") before
    // any property changes; a plain BLSCloudBlob accepts every kind. A
    // ranged download keeps the whole blob's content MD5 and takes the
    // blob's full length from the answer's Content-Range.
    void downloadToStream(std::shared_ptr<platform::OutputStream> stream, Completion completionHandler);
    void downloadToStream(std::shared_ptr<platform::OutputStream> stream, const BLSAccessCondition* accessCondition,
                          OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);
    void downloadToStream(std::shared_ptr<platform::OutputStream> stream, BLSULLRange range,
                          const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                          ContextPtr operationContext, Completion completionHandler);

    void downloadToDataWithCompletionHandler(DataCompletion completionHandler);
    void downloadToDataWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                           ContextPtr operationContext, DataCompletion completionHandler);
    // The data decoded as UTF-8 (nullopt with error code 6 when it is not).
    void downloadToTextWithCompletionHandler(TextCompletion completionHandler);
    void downloadToTextWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                           ContextPtr operationContext, TextCompletion completionHandler);
    void downloadToFileWithPath(const std::filesystem::path& filePath, bool append, Completion completionHandler);
    void downloadToFileWithPath(const std::filesystem::path& filePath, bool append,
                                const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                ContextPtr operationContext, Completion completionHandler);
    void downloadToFileWithURL(const std::filesystem::path& fileURL, bool append, Completion completionHandler);
    void downloadToFileWithURL(const std::filesystem::path& fileURL, bool append,
                               const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                               ContextPtr operationContext, Completion completionHandler);

    void deleteWithCompletionHandler(Completion completionHandler);
    void deleteWithSnapshotsOption(BLSDeleteSnapshotsOption snapshotsOption, const BLSAccessCondition* accessCondition,
                                   OptionsPtr requestOptions, ContextPtr operationContext,
                                   Completion completionHandler);

    // Sends properties() (and metadata() with it) / metadata().
    void uploadPropertiesWithCompletionHandler(Completion completionHandler);
    void uploadPropertiesWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                             ContextPtr operationContext, Completion completionHandler);
    void uploadMetadataWithCompletionHandler(Completion completionHandler);
    void uploadMetadataWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                           ContextPtr operationContext, Completion completionHandler);

    // Replaces properties(), blobCopyState() and metadata() with the service's.
    void downloadAttributesWithCompletionHandler(Completion completionHandler);
    void downloadAttributesWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                               ContextPtr operationContext, Completion completionHandler);
    void downloadAttributesWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                           OptionsPtr requestOptions, ContextPtr operationContext,
                                           Completion completionHandler);

    // The snapshot: a plain blob with the snapshot time, the given metadata
    // (nullptr: this blob's) and this blob's properties object.
    void snapshotBlobWithMetadata(const BLSMetadata* metadata, SnapshotCompletion completionHandler);
    void snapshotBlobWithMetadata(const BLSMetadata* metadata, const BLSAccessCondition* accessCondition,
                                  OptionsPtr requestOptions, ContextPtr operationContext,
                                  SnapshotCompletion completionHandler);

    // A 404 is (nullopt, false); any other failure is (error, false).
    void existsWithCompletionHandler(ExistsCompletion completionHandler);
    void existsWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                   ContextPtr operationContext, ExistsCompletion completionHandler);
    void existsInternalWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                       OptionsPtr requestOptions, ContextPtr operationContext,
                                       ExistsCompletion completionHandler);

    // Leases. A lease time of nullopt asks for an infinite lease (-1); a
    // break period of nullopt sends none. Renew and release need an access
    // condition with a lease ID, change needs one and a proposed ID: without
    // them nothing is sent and the completion gets error code 1.
    void acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime, std::optional<std::string> proposedLeaseId,
                                   StringCompletion completionHandler);
    void acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime, std::optional<std::string> proposedLeaseId,
                                   const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                   ContextPtr operationContext, StringCompletion completionHandler);
    void renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, Completion completionHandler);
    void renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                       ContextPtr operationContext, Completion completionHandler);
    void releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, Completion completionHandler);
    void releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                         ContextPtr operationContext, Completion completionHandler);
    void breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod, NumberCompletion completionHandler);
    void breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod, const BLSAccessCondition* accessCondition,
                                   OptionsPtr requestOptions, ContextPtr operationContext,
                                   NumberCompletion completionHandler);
    void changeLeaseWithProposedLeaseId(std::optional<std::string> proposedLeaseId,
                                        const BLSAccessCondition* accessCondition, StringCompletion completionHandler);
    void changeLeaseWithProposedLeaseId(std::optional<std::string> proposedLeaseId,
                                        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                        ContextPtr operationContext, StringCompletion completionHandler);

    // Server-side copy into this blob; the completion gets the copy ID.
    void startAsyncCopyFromURL(const platform::net::URL& sourceURL, StringCompletion completionHandler);
    void startAsyncCopyFromURL(const platform::net::URL& sourceURL, const BLSAccessCondition* sourceAccessCondition,
                               const BLSAccessCondition* destinationAccessCondition, OptionsPtr requestOptions,
                               ContextPtr operationContext, StringCompletion completionHandler);
    // The source's primary address (with its snapshot), signed through this
    // blob's client credentials when they are a shared access signature.
    void startAsyncCopyFromBlob(const std::shared_ptr<BLSCloudBlob>& sourceBlob, StringCompletion completionHandler);
    void startAsyncCopyFromBlob(const std::shared_ptr<BLSCloudBlob>& sourceBlob,
                                const BLSAccessCondition* sourceAccessCondition,
                                const BLSAccessCondition* destinationAccessCondition, OptionsPtr requestOptions,
                                ContextPtr operationContext, StringCompletion completionHandler);
    void abortAsyncCopyWithCopyId(const std::string& copyId, Completion completionHandler);
    void abortAsyncCopyWithCopyId(const std::string& copyId, const BLSAccessCondition* accessCondition,
                                  OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // The blob SAS query ("?..." text), or nullopt with error code 1 when the
    // client holds no account key or the signature cannot be made.
    std::optional<std::string> createSharedAccessSignatureWithParameters(
        const BLSSharedAccessBlobParameters& parameters, ErrorOut& error) const;
    // "/blob/<account>/<container>/<blob name>".
    std::string createSharedAccessCanonicalName() const;

    // ETag, Last-Modified and the sequence number from the response into
    // `properties`; with `updateLength` also the blob's length
    // (BLSBlobResponseParser::getBlobLengthWithResponse; a response that
    // gives none leaves the length alone).
    static void updateEtagAndLastModifiedWithResponse(const platform::net::HTTPURLResponse& response,
                                                      BLSBlobProperties& properties, bool updateLength);

protected:
    // The refusal of an answer for a blob of another kind than this object.
    static constexpr const char* kBlobTypeMismatch =
        "Blob type on the local object does not match blob type on the service.";

    BLSCloudBlob() = default;

    // The initialisers' work, shared with the subclasses; false (with
    // `error` set) when the reference cannot be made.
    void initWithContainer(std::shared_ptr<BLSCloudBlobContainer> container, std::string name,
                           std::optional<std::string> snapshotTime);
    bool initWithStorageUri(const BLSStorageUri& storageUri, std::shared_ptr<BLSStorageCredentials> credentials,
                            std::optional<std::string> snapshotTime, ErrorOut& error);

    // The command recipe's first steps, for the subclasses' operations: the
    // caller's context or a new one, the caller's options combined with the
    // client's defaults, and a command on this blob's address with the
    // client's credentials and authentication handler.
    ContextPtr contextOrNew(ContextPtr operationContext) const;
    OptionsPtr effectiveOptions(const OptionsPtr& requestOptions) const;
    template <typename Result = BLSNoResult>
    std::shared_ptr<BLSStorageCommand<Result>> makeCommand(const ContextPtr& operationContext,
                                                           bool calculateResponseMD5 = false) const {
        return BLSOperationUtil::makeCommand<Result>(mClient.get(), mStorageUri, operationContext,
                                                     calculateResponseMD5);
    }
    // The three at once, the command's answers passing the status check.
    template <typename Result = BLSNoResult>
    BLSOperationUtil::Operation<Result> prepare(const OptionsPtr& requestOptions, ContextPtr operationContext) const {
        return BLSOperationUtil::prepare<Result>(mClient.get(), mStorageUri, requestOptions,
                                                 std::move(operationContext));
    }

private:
    // What an answer that describes this blob (a download, its attributes)
    // gives as its properties once the status check passed; nullopt with
    // `error` when the status or the properties are refused or the blob is
    // of another kind than this object.
    std::optional<BLSBlobProperties> describedProperties(const platform::net::HTTPURLResponse& response,
                                                         BLSRequestResult& result, BLSOperationContext& context,
                                                         ErrorOut& error) const;
    // Keeps those properties with the answer's copy state and metadata.
    void keepDescription(const platform::net::HTTPURLResponse& response, BLSBlobProperties properties);
    // The whole or ranged download into `stream`.
    void downloadInternal(std::shared_ptr<platform::OutputStream> stream, BLSULLRange range,
                          std::optional<BLSAccessCondition> accessCondition, OptionsPtr requestOptions,
                          ContextPtr operationContext, Completion completionHandler);
    // This blob as the target of a lease call.
    BLSLeaseTarget leaseTarget();
    // The container's name, or for a blob made from an address the one in
    // the address.
    std::string containerName() const;

    std::string mBlobName;
    std::shared_ptr<BLSCloudBlobContainer> mBlobContainer;
    BLSStorageUri mStorageUri;
    std::shared_ptr<BLSCloudBlobClient> mClient;
    std::optional<std::string> mSnapshotTime;
    BLSMetadata mMetadata;
    std::shared_ptr<BLSBlobProperties> mProperties = std::make_shared<BLSBlobProperties>();
    BLSCopyState mBlobCopyState;
};

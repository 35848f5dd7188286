#pragma once
// An append blob: a blob that only grows. It is created empty and data is
// added at its end block by block, each append optionally guarded by the
// length the caller expects (append position) and a size limit. Its
// properties say blob type 3, so a download or attributes download of a
// blob of another kind is refused.
//
// An append without an append position cannot tell a lost answer from a
// lost request, so it is sent once and never retried: a transport failure
// reaches the caller instead of a possible second copy of the block.
//
// Operations follow the base class's conventions: a full form with access
// condition, request options and operation context, a short form without
// them, the completion called exactly once on the executor's queue (local
// refusals and stream uploads report from a thread of their own).

#include "storage/BLSCloudBlob.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class InputStream;
}
class BLSBlobOutputStream;
class BLSCloudAppendBlob;

// One stream upload handed to its thread.
struct BLSAppendBlobUploadFromStreamInputContainer {
    std::shared_ptr<platform::InputStream> sourceStream;
    std::shared_ptr<BLSCloudAppendBlob> targetBlob;
    std::optional<BLSAccessCondition> accessCondition;
    std::shared_ptr<BLSBlobRequestOptions> blobRequestOptions;  // merged with the client's defaults
    std::shared_ptr<BLSOperationContext> operationContext;
    BLSCloudBlob::Completion completionHandler;
};

class BLSCloudAppendBlob : public BLSCloudBlob {
public:
    // (error, created): false with nullopt when the blob existed already.
    using CreatedCompletion = std::function<void(const ErrorOut& error, bool created)>;
    // (error, the offset at which the service wrote the block); the offset
    // is nullopt on failure.
    using AppendCompletion = std::function<void(const ErrorOut& error, std::optional<std::int64_t> appendOffset)>;

    // As BLSCloudBlob's initialisers; every one leaves properties().blobType
    // at BLSBlobTypeAppendBlob, and a failed one returns nullptr.
    static std::shared_ptr<BLSCloudAppendBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                                 std::string name);
    static std::shared_ptr<BLSCloudAppendBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                                 std::string name,
                                                                 std::optional<std::string> snapshotTime);
    static std::shared_ptr<BLSCloudAppendBlob> makeWithUrl(const platform::net::URL& url, ErrorOut& error);
    static std::shared_ptr<BLSCloudAppendBlob> makeWithUrl(const platform::net::URL& url,
                                                           std::shared_ptr<BLSStorageCredentials> credentials,
                                                           std::optional<std::string> snapshotTime, ErrorOut& error);
    static std::shared_ptr<BLSCloudAppendBlob> makeWithStorageUri(const BLSStorageUri& storageUri, ErrorOut& error);
    static std::shared_ptr<BLSCloudAppendBlob> makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                  std::shared_ptr<BLSStorageCredentials> credentials,
                                                                  std::optional<std::string> snapshotTime,
                                                                  ErrorOut& error);

    // Creates (or replaces) the blob, empty, with properties() and metadata().
    void createWithCompletionHandler(Completion completionHandler);
    void createWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                   ContextPtr operationContext, Completion completionHandler);

    // Exists (no access condition), then the create when there is no blob.
    void createIfNotExistsWithCompletionHandler(CreatedCompletion completionHandler);
    void createIfNotExistsWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                              ContextPtr operationContext, CreatedCompletion completionHandler);

    // Appends `data` as one block. The condition's appendPosition and
    // maxSize go with it; when the service refuses them the error is code 3
    // with status 412 and properties() stay as they were. On success
    // properties().length is the offset plus the data's length and
    // appendBlobCommittedBlockCount the service's count. Without a content
    // MD5 one is computed when the options ask for transactional MD5.
    void appendBlockWithData(std::vector<std::uint8_t> data, std::optional<std::string> contentMD5,
                             AppendCompletion completionHandler);
    void appendBlockWithData(std::vector<std::uint8_t> data, std::optional<std::string> contentMD5,
                             const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                             ContextPtr operationContext, AppendCompletion completionHandler);

    // Appends the stream in blocks of up to 4 MiB, one after the other, on
    // a thread of its own; returns at once. With `createNew` the blob is
    // created first (nothing is uploaded when that fails) and its length is
    // known, so every append carries its position from 0 (or from the
    // caller's appendPosition); without it, only when the caller gives an
    // appendPosition. Only the condition's lease ID, appendPosition and
    // maxSize are used; a block that would take the blob past maxSize ends
    // the upload with code 8.
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, bool createNew,
                          Completion completionHandler);
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, bool createNew,
                          const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                          ContextPtr operationContext, Completion completionHandler);

    // An output stream appending to the blob (created on open with `createNew`).
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithCreateNew(bool createNew);
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithCreateNew(bool createNew,
                                                                         const BLSAccessCondition* accessCondition,
                                                                         OptionsPtr requestOptions,
                                                                         ContextPtr operationContext);

    // Starts the thread of one stream upload (BLSBlobUploadHelper serves it).
    static void runBlobUploadFromStreamWithContainer(
        std::shared_ptr<BLSAppendBlobUploadFromStreamInputContainer> container);

protected:
    BLSCloudAppendBlob() = default;

private:
    std::shared_ptr<BLSCloudAppendBlob> sharedAppendBlob();
};

#pragma once
// A page blob: a blob of fixed size made of 512-byte pages written at byte
// offsets. It is created with a size (and a sequence number), written and
// cleared range by range, resized, and carries a sequence number callers
// may set, raise or increment for their own concurrency control. Its
// properties say blob type 1, so a download or attributes download of a
// blob of another kind is refused.
//
// Offsets and lengths are sent as given: the service refuses page writes
// that do not start and end on 512-byte boundaries (code 3, status 416).
//
// Operations follow the base class's conventions: a full form with access
// condition, request options and operation context, a short form without
// them, the completion called exactly once on the executor's queue (local
// refusals and stream uploads report from a thread of their own).

#include "platform/foundation/Range.h"
#include "storage/BLSCloudBlob.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class InputStream;
}
namespace platform::net {
struct URLRequest;
}
class BLSBlobOutputStream;
class BLSCloudPageBlob;

// One stream upload handed to its thread.
struct BLSPageBlobUploadFromStreamInputContainer {
    std::shared_ptr<platform::InputStream> sourceStream;
    std::shared_ptr<BLSCloudPageBlob> targetBlob;
    std::optional<BLSAccessCondition> accessCondition;
    std::shared_ptr<BLSBlobRequestOptions> blobRequestOptions;  // merged with the client's defaults
    std::shared_ptr<BLSOperationContext> operationContext;
    BLSCloudBlob::Completion completionHandler;
};

class BLSCloudPageBlob : public BLSCloudBlob {
public:
    // (error, created): false with nullopt when the blob existed already.
    using CreatedCompletion = std::function<void(const ErrorOut& error, bool created)>;
    // The written ranges as (first byte, byte count); nullopt on failure.
    using PageRangesCompletion =
        std::function<void(const ErrorOut& error, const std::optional<std::vector<BLSULLRange>>& pageRanges)>;

    // As BLSCloudBlob's initialisers; every one leaves properties().blobType
    // at BLSBlobTypePageBlob, and a failed one returns nullptr.
    static std::shared_ptr<BLSCloudPageBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                               std::string name);
    static std::shared_ptr<BLSCloudPageBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                               std::string name,
                                                               std::optional<std::string> snapshotTime);
    static std::shared_ptr<BLSCloudPageBlob> makeWithUrl(const platform::net::URL& url, ErrorOut& error);
    static std::shared_ptr<BLSCloudPageBlob> makeWithUrl(const platform::net::URL& url,
                                                         std::shared_ptr<BLSStorageCredentials> credentials,
                                                         std::optional<std::string> snapshotTime, ErrorOut& error);
    static std::shared_ptr<BLSCloudPageBlob> makeWithStorageUri(const BLSStorageUri& storageUri, ErrorOut& error);
    static std::shared_ptr<BLSCloudPageBlob> makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                std::shared_ptr<BLSStorageCredentials> credentials,
                                                                std::optional<std::string> snapshotTime,
                                                                ErrorOut& error);

    // Creates (or replaces) the blob with `size` bytes of zero pages,
    // properties() and metadata(). A nullopt sequence number is sent as 0
    // and leaves properties().sequenceNumber nullopt. On success
    // properties().length is the size. A size above 2^63 - 1 is refused
    // with code 1.
    void createWithSize(std::uint64_t size, Completion completionHandler);
    void createWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber, Completion completionHandler);
    void createWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                        ContextPtr operationContext, Completion completionHandler);

    // Exists (no access condition), then the create when there is no blob.
    void createIfNotExistsWithSize(std::uint64_t size, CreatedCompletion completionHandler);
    void createIfNotExistsWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                                   CreatedCompletion completionHandler);
    void createIfNotExistsWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                                   const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                   ContextPtr operationContext, CreatedCompletion completionHandler);

    // Writes `data` at `startOffset`. Without a content MD5 one is computed
    // when the options ask for transactional MD5.
    void uploadPagesWithData(std::vector<std::uint8_t> data, std::uint64_t startOffset,
                             std::optional<std::string> contentMD5, Completion completionHandler);
    void uploadPagesWithData(std::vector<std::uint8_t> data, std::uint64_t startOffset,
                             std::optional<std::string> contentMD5, const BLSAccessCondition* accessCondition,
                             OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // Clears the pages of `range` (no body). The platform::Range forms
    // pass the range's two words as they are.
    void clearPagesWithBLSULLRange(BLSULLRange range, Completion completionHandler);
    void clearPagesWithBLSULLRange(BLSULLRange range, const BLSAccessCondition* accessCondition,
                                   OptionsPtr requestOptions, ContextPtr operationContext,
                                   Completion completionHandler);
    void clearPagesWithRange(platform::Range range, Completion completionHandler);
    void clearPagesWithRange(platform::Range range, const BLSAccessCondition* accessCondition,
                             OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // The written ranges within `range`; a range of length 0 (and the
    // short form without a range) lists the whole blob. The
    // platform::Range forms pass the range's two words as they are.
    void downloadPageRangesWithCompletionHandler(PageRangesCompletion completionHandler);
    void downloadPageRangesWithBLSULLRange(BLSULLRange range, PageRangesCompletion completionHandler);
    void downloadPageRangesWithBLSULLRange(BLSULLRange range, const BLSAccessCondition* accessCondition,
                                           OptionsPtr requestOptions, ContextPtr operationContext,
                                           PageRangesCompletion completionHandler);
    void downloadPageRangesWithRange(platform::Range range, PageRangesCompletion completionHandler);
    void downloadPageRangesWithRange(platform::Range range, const BLSAccessCondition* accessCondition,
                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                     PageRangesCompletion completionHandler);

    // Changes the blob's size; on success properties() are the answer's,
    // with the length the requested size.
    void resizeWithSize(std::uint64_t size, Completion completionHandler);
    void resizeWithSize(std::uint64_t size, const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                        ContextPtr operationContext, Completion completionHandler);

    // Sets the sequence number, or with `useMaximum` raises it to `number`
    // when the stored one is smaller.
    void setSequenceNumberWithNumber(std::int64_t number, bool useMaximum, Completion completionHandler);
    void setSequenceNumberWithNumber(std::int64_t number, bool useMaximum, const BLSAccessCondition* accessCondition,
                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                     Completion completionHandler);
    // Adds one to the stored sequence number (no number is sent).
    void incrementSequenceNumberWithCompletionHandler(Completion completionHandler);
    void incrementSequenceNumberWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                    OptionsPtr requestOptions, ContextPtr operationContext,
                                                    Completion completionHandler);

    // Writes the stream into the existing blob from offset 0 in 4 MiB page
    // writes, on a thread of its own; returns at once. Only the access
    // condition's lease ID is sent with the writes.
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, Completion completionHandler);
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                          const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                          ContextPtr operationContext, Completion completionHandler);
    // Creates the blob with `size` and `initialSequenceNumber` (with the
    // whole access condition) first; nothing is uploaded when that fails.
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, std::uint64_t size,
                          Completion completionHandler);
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, std::uint64_t size,
                          std::optional<std::int64_t> initialSequenceNumber, Completion completionHandler);
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, std::uint64_t size,
                          std::optional<std::int64_t> initialSequenceNumber, const BLSAccessCondition* accessCondition,
                          OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // An output stream writing into the existing blob from offset 0.
    std::shared_ptr<BLSBlobOutputStream> createOutputStream();
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithAccessCondition(
        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions, ContextPtr operationContext);
    // An output stream that creates the blob with `size` (and the sequence
    // number) when opened.
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithSize(std::uint64_t size);
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithSize(std::uint64_t size,
                                                                    std::optional<std::int64_t> sequenceNumber);
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithSize(std::uint64_t size,
                                                                    std::optional<std::int64_t> sequenceNumber,
                                                                    const BLSAccessCondition* accessCondition,
                                                                    OptionsPtr requestOptions,
                                                                    ContextPtr operationContext);

    // Starts the thread of one stream upload (BLSBlobUploadHelper serves it).
    static void runBlobUploadFromStreamWithContainer(
        std::shared_ptr<BLSPageBlobUploadFromStreamInputContainer> container);

protected:
    BLSCloudPageBlob() = default;

private:
    std::shared_ptr<BLSCloudPageBlob> sharedPageBlob();
    void putPages(BLSULLRange range, bool clear, std::optional<std::vector<std::uint8_t>> data,
                  std::optional<std::string> contentMD5, const BLSAccessCondition* accessCondition,
                  OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);
    // Resize and the sequence number operations: one properties request
    // whose answer refreshes properties(); `newLength` is the resize's size.
    // An increment whose answer was lost is not sent again: the service may
    // have counted it already.
    void refreshPropertiesWithRequest(
        std::function<platform::net::URLRequest(platform::net::URLComponents&, double, BLSOperationContext&)>
            buildRequest,
        std::optional<std::int64_t> newLength, OptionsPtr requestOptions, ContextPtr operationContext,
        Completion completionHandler, bool retryAfterTransportFailure = true);
};

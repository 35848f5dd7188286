#pragma once
// A block blob: a BLSCloudBlob whose properties say blob type 2, so that a
// download or attributes download of a blob of another kind is refused.
// Data is staged as blocks (Put Block) and becomes visible when a list of
// block IDs is committed (Put Block List).
//
// Whole-object uploads (stream, data, text, file) run on a thread of their
// own through BLSBlobUploadHelper: one Put Block per 4 MiB, at most
// parallelismFactor in flight, then one Put Block List after the last block
// has succeeded. A failed block or an unreadable source commits nothing, so
// the blob keeps its previous content; the staged blocks stay uncommitted.
// The call returns at once; the completion runs once, on the upload thread.

#include "storage/BLSCloudBlob.h"
#include "storage/BLSListResponses.h"

#include <filesystem>

namespace platform {
class InputStream;
}
class BLSBlobOutputStream;
class BLSCloudBlockBlob;

// Carries one stream upload to its thread.
struct BLSBlobUploadFromStreamInputContainer {
    std::shared_ptr<platform::InputStream> sourceStream;
    std::shared_ptr<BLSCloudBlockBlob> targetBlob;
    std::optional<BLSAccessCondition> accessCondition;
    std::shared_ptr<BLSBlobRequestOptions> blobRequestOptions;  // merged with the client's defaults
    std::shared_ptr<BLSOperationContext> operationContext;
    BLSCloudBlob::Completion completionHandler;  // may be empty
};

class BLSCloudBlockBlob : public BLSCloudBlob {
public:
    // As BLSCloudBlob's initialisers; every one leaves properties().blobType
    // at BLSBlobTypeBlockBlob, and a failed one returns nullptr.
    static std::shared_ptr<BLSCloudBlockBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                                std::string name);
    static std::shared_ptr<BLSCloudBlockBlob> makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                                std::string name,
                                                                std::optional<std::string> snapshotTime);
    static std::shared_ptr<BLSCloudBlockBlob> makeWithUrl(const platform::net::URL& url, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlockBlob> makeWithUrl(const platform::net::URL& url,
                                                          std::shared_ptr<BLSStorageCredentials> credentials,
                                                          std::optional<std::string> snapshotTime, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlockBlob> makeWithStorageUri(const BLSStorageUri& storageUri, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlockBlob> makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                 std::shared_ptr<BLSStorageCredentials> credentials,
                                                                 std::optional<std::string> snapshotTime,
                                                                 ErrorOut& error);

    // nullopt whenever there is an error.
    using BlockListCompletion =
        std::function<void(const ErrorOut& error, const std::optional<std::vector<BLSBlockListItem>>& blockList)>;

    // Whole-object uploads. A null stream, or a source that cannot be opened
    // or read, ends the upload with an error and commits nothing.
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, Completion completionHandler);
    void uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                          const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                          ContextPtr operationContext, Completion completionHandler);
    void uploadFromData(std::vector<std::uint8_t> data, Completion completionHandler);
    void uploadFromData(std::vector<std::uint8_t> data, const BLSAccessCondition* accessCondition,
                        OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);
    // The text's UTF-8 bytes.
    void uploadFromText(const std::string& text, Completion completionHandler);
    void uploadFromText(const std::string& text, const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                        ContextPtr operationContext, Completion completionHandler);
    // The path is not checked here: a file that cannot be opened or read
    // fails the upload on its thread.
    void uploadFromFileWithPath(const std::filesystem::path& filePath, Completion completionHandler);
    void uploadFromFileWithPath(const std::filesystem::path& filePath, const BLSAccessCondition* accessCondition,
                                OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);
    void uploadFromFileWithURL(const std::filesystem::path& fileURL, Completion completionHandler);
    void uploadFromFileWithURL(const std::filesystem::path& fileURL, const BLSAccessCondition* accessCondition,
                               OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // Put Block. Without a content MD5 and with useTransactionalMD5 the
    // MD5 of the data is sent.
    void uploadBlockFromData(std::vector<std::uint8_t> data, const std::string& blockID, Completion completionHandler);
    void uploadBlockFromData(std::vector<std::uint8_t> data, const std::string& blockID,
                             std::optional<std::string> contentMD5, const BLSAccessCondition* accessCondition,
                             OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);
    // The same with the block's bytes lent, not copied: they stay shared
    // and unchanged until every attempt has ended (a null block is empty).
    void uploadBlockFromData(std::shared_ptr<const std::vector<std::uint8_t>> data, const std::string& blockID,
                             std::optional<std::string> contentMD5, const BLSAccessCondition* accessCondition,
                             OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // Put Block List with properties() and metadata(). With
    // storeBlobContentMD5 but no properties().contentMD5 nothing is sent
    // (code 1).
    void uploadBlockListFromArray(std::vector<BLSBlockListItem> blockList, Completion completionHandler);
    void uploadBlockListFromArray(std::vector<BLSBlockListItem> blockList, const BLSAccessCondition* accessCondition,
                                  OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler);

    // Get Block List (primary or secondary); updates ETag, Last-Modified and
    // length.
    void downloadBlockListFromFilter(BLSBlockListFilter blockListFilter, BlockListCompletion completionHandler);
    void downloadBlockListFromFilter(BLSBlockListFilter blockListFilter, const BLSAccessCondition* accessCondition,
                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                     BlockListCompletion completionHandler);

    // A stream that writes this blob (options merged with the client's
    // defaults, a new context when none is given).
    std::shared_ptr<BLSBlobOutputStream> createOutputStream();
    std::shared_ptr<BLSBlobOutputStream> createOutputStreamWithAccessCondition(
        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions, ContextPtr operationContext);

    // The body of the upload thread.
    static void runBlobUploadFromStreamWithContainer(std::shared_ptr<BLSBlobUploadFromStreamInputContainer> container);

protected:
    BLSCloudBlockBlob() = default;

private:
    std::shared_ptr<BLSCloudBlockBlob> selfBlock();
};

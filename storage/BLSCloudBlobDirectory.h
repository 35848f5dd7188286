#pragma once
// A virtual directory: a name prefix inside a container, empty (the
// container's root) or ending in the client's delimiter. Blob references,
// subdirectories and listings are made relative to it; nothing is sent
// until a listing runs.

#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSStorageUri.h"

#include <memory>
#include <optional>
#include <string>

class BLSCloudBlobDirectory : public std::enable_shared_from_this<BLSCloudBlobDirectory> {
public:
    using OptionsPtr = BLSCloudBlobContainer::OptionsPtr;
    using ContextPtr = BLSCloudBlobContainer::ContextPtr;

    BLSCloudBlobDirectory(const BLSCloudBlobDirectory&) = delete;
    BLSCloudBlobDirectory& operator=(const BLSCloudBlobDirectory&) = delete;

    // nullopt is the root (""); a non-empty name that does not end in the
    // client's delimiter gets it appended. The address is the container's
    // with the name appended.
    static std::shared_ptr<BLSCloudBlobDirectory> makeWithDirectoryName(
        const std::optional<std::string>& name, std::shared_ptr<BLSCloudBlobContainer> container);

    const std::shared_ptr<BLSCloudBlobContainer>& blobContainer() const { return mBlobContainer; }
    const BLSStorageUri& storageUri() const { return mStorageUri; }
    const std::string& name() const { return mName; }
    const std::shared_ptr<BLSCloudBlobClient>& client() const { return mBlobContainer->client(); }

    // Blobs named by this directory's name followed by `blobName`.
    std::shared_ptr<BLSCloudBlockBlob> blockBlobReferenceFromName(const std::string& blobName);
    std::shared_ptr<BLSCloudBlockBlob> blockBlobReferenceFromName(const std::string& blobName,
                                                                  const std::optional<std::string>& snapshotTime);
    std::shared_ptr<BLSCloudPageBlob> pageBlobReferenceFromName(const std::string& blobName);
    std::shared_ptr<BLSCloudPageBlob> pageBlobReferenceFromName(const std::string& blobName,
                                                                const std::optional<std::string>& snapshotTime);
    std::shared_ptr<BLSCloudAppendBlob> appendBlobReferenceFromName(const std::string& blobName);
    std::shared_ptr<BLSCloudAppendBlob> appendBlobReferenceFromName(const std::string& blobName,
                                                                    const std::optional<std::string>& snapshotTime);

    std::shared_ptr<BLSCloudBlobDirectory> subdirectoryReferenceFromName(const std::string& name);
    // One level up: the parent of "a/b/" is "a/"; of "a/" and of the root,
    // the root.
    std::shared_ptr<BLSCloudBlobDirectory> parentReference();

    // The container's listing with this directory's name as prefix.
    void listBlobsSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                 bool useFlatBlobListing, BLSBlobListingDetails blobListingDetails,
                                                 std::int64_t maxResults,
                                                 BLSCloudBlobContainer::ListBlobsCompletion completionHandler);
    void listBlobsSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                 bool useFlatBlobListing, BLSBlobListingDetails blobListingDetails,
                                                 std::int64_t maxResults, const BLSAccessCondition* accessCondition,
                                                 OptionsPtr requestOptions, ContextPtr operationContext,
                                                 BLSCloudBlobContainer::ListBlobsCompletion completionHandler);

private:
    BLSCloudBlobDirectory() = default;

    std::shared_ptr<BLSCloudBlobContainer> mBlobContainer;
    BLSStorageUri mStorageUri;
    std::string mName;
};

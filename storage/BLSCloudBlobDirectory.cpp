#include "storage/BLSCloudBlobDirectory.h"

#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudPageBlob.h"

#include <utility>

namespace {

std::string delimiterOf(const BLSCloudBlobContainer& container) {
    return container.client() ? container.client()->directoryDelimiter() : std::string("/");
}

}  // namespace

std::shared_ptr<BLSCloudBlobDirectory> BLSCloudBlobDirectory::makeWithDirectoryName(
    const std::optional<std::string>& name, std::shared_ptr<BLSCloudBlobContainer> container) {
    if (!container) return nullptr;
    std::shared_ptr<BLSCloudBlobDirectory> directory(new BLSCloudBlobDirectory());
    std::string directoryName = name.value_or("");
    const std::string delimiter = delimiterOf(*container);
    if (!directoryName.empty() && !directoryName.ends_with(delimiter)) directoryName += delimiter;
    directory->mStorageUri = BLSStorageUri::appendToStorageUri(container->storageUri(), directoryName);
    directory->mName = std::move(directoryName);
    directory->mBlobContainer = std::move(container);
    return directory;
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlobDirectory::blockBlobReferenceFromName(const std::string& blobName) {
    return blockBlobReferenceFromName(blobName, std::nullopt);
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlobDirectory::blockBlobReferenceFromName(
    const std::string& blobName, const std::optional<std::string>& snapshotTime) {
    return BLSCloudBlockBlob::makeWithContainer(mBlobContainer, mName + blobName, snapshotTime);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudBlobDirectory::pageBlobReferenceFromName(const std::string& blobName) {
    return pageBlobReferenceFromName(blobName, std::nullopt);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudBlobDirectory::pageBlobReferenceFromName(
    const std::string& blobName, const std::optional<std::string>& snapshotTime) {
    return BLSCloudPageBlob::makeWithContainer(mBlobContainer, mName + blobName, snapshotTime);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudBlobDirectory::appendBlobReferenceFromName(const std::string& blobName) {
    return appendBlobReferenceFromName(blobName, std::nullopt);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudBlobDirectory::appendBlobReferenceFromName(
    const std::string& blobName, const std::optional<std::string>& snapshotTime) {
    return BLSCloudAppendBlob::makeWithContainer(mBlobContainer, mName + blobName, snapshotTime);
}

std::shared_ptr<BLSCloudBlobDirectory> BLSCloudBlobDirectory::subdirectoryReferenceFromName(const std::string& name) {
    return mBlobContainer->directoryReferenceFromName(mName + name);
}

std::shared_ptr<BLSCloudBlobDirectory> BLSCloudBlobDirectory::parentReference() {
    const std::string delimiter = delimiterOf(*mBlobContainer);
    const std::size_t last = mName.rfind(delimiter);
    if (last == std::string::npos) return mBlobContainer->directoryReferenceFromName(std::string());
    const std::string rest = mName.substr(0, last);
    const std::size_t previous = rest.rfind(delimiter);
    if (previous == std::string::npos) return mBlobContainer->directoryReferenceFromName(std::string());
    return mBlobContainer->directoryReferenceFromName(rest.substr(0, previous));
}

void BLSCloudBlobDirectory::listBlobsSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, bool useFlatBlobListing,
    BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
    BLSCloudBlobContainer::ListBlobsCompletion completionHandler) {
    listBlobsSegmentedWithContinuationToken(continuationToken, useFlatBlobListing, blobListingDetails, maxResults,
                                            nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobDirectory::listBlobsSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, bool useFlatBlobListing,
    BLSBlobListingDetails blobListingDetails, std::int64_t maxResults, const BLSAccessCondition* accessCondition,
    OptionsPtr requestOptions, ContextPtr operationContext,
    BLSCloudBlobContainer::ListBlobsCompletion completionHandler) {
    mBlobContainer->listBlobsSegmentedWithContinuationToken(
        continuationToken, mName, useFlatBlobListing, blobListingDetails, maxResults, accessCondition,
        std::move(requestOptions), std::move(operationContext), std::move(completionHandler));
}

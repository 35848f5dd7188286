// The wire form of every blob service request: method, query items in order,
// headers in order with their values, and the refusal of caller text that
// would change the query or the header block.

#include "storage/BLSAccessCondition.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestFactory.h"
#include "storage/BLSUtil.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using platform::net::URL;
using platform::net::URLComponents;
using platform::net::URLRequest;
using F = BLSBlobRequestFactory;

namespace {

using namespace storagetest;

constexpr const char* kBlobUrl = "https://acct.blob.example.net/cont/blob";
constexpr double kTimeout = 30;

// Inputs shared by the cases below.
struct Inputs {
    BLSMetadata metadata{{"author", "ann"}};
    BLSAccessCondition lease = BLSAccessCondition::makeWithLeaseId("lease-1");
    // If-Match plus the lease id.
    BLSAccessCondition full = BLSAccessCondition::cloneWithEtag("\"etag-1\"", &lease);
    BLSBlobProperties allProperties;
    BLSBlobProperties typeOnly;
    BLSContinuationToken token{std::string("next/marker 1"), BLSStorageLocationPrimary};
    BLSContinuationToken emptyToken{std::string(), BLSStorageLocationPrimary};

    Inputs() {
        // Set in reverse order: the headers must still come in the fixed order.
        allProperties.contentType = "text/plain";
        allProperties.contentMD5 = "props-md5==";
        allProperties.contentLanguage = "de-CH";
        allProperties.contentEncoding = "gzip";
        allProperties.contentDisposition = "attachment; filename=\"a.txt\"";
        allProperties.cacheControl = "no-cache";
        allProperties.length = 99;     // never sent
        allProperties.eTag = "\"p\"";  // never sent
        typeOnly.contentType = "application/octet-stream";
    }
};

const Headers kAllPropertyHeaders{
    {"x-bs-blob-cache-control", "no-cache"},  {"x-bs-blob-content-disposition", "attachment; filename=\"a.txt\""},
    {"x-bs-blob-content-encoding", "gzip"},   {"x-bs-blob-content-language", "de-CH"},
    {"x-bs-blob-content-md5", "props-md5=="}, {"x-bs-blob-content-type", "text/plain"},
};

Headers concat(std::initializer_list<Headers> parts) {
    Headers all;
    for (const Headers& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

struct Case {
    const char* name;
    std::function<URLRequest(URLComponents&, BLSOperationContext&)> build;
    const char* method;
    std::optional<std::string> query;  // the final URL's query text; nullopt: no "?"
    Headers headers;                   // after "x-bs-version"
};

}  // namespace

TEST(BlobRequestFactory, EveryBuilderWritesItsMethodQueryAndHeaders) {
    const Inputs in;
    const std::string snapshot = "2011-03-09T01:42:34.9360000Z";
    const char* encodedSnapshot = "snapshot=2011-03-09T01%3A42%3A34.9360000Z";
    const Headers ifMatchAndLease{{"If-Match", "\"etag-1\""}, {"x-bs-lease-id", "lease-1"}};
    const Headers author{{"x-bs-meta-author", "ann"}};

    const std::vector<Case> cases = {
        // Containers and the service.
        {"create container, public access container, metadata",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createContainerWithAccessType(BLSContainerPublicAccessTypeContainer, &in.metadata, u, kTimeout,
                                                     o);
         },
         "PUT", "restype=container", concat({{{"x-bs-blob-public-access", "container"}}, author})},
        {"create container, public access blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createContainerWithAccessType(BLSContainerPublicAccessTypeBlob, nullptr, u, kTimeout, o);
         },
         "PUT", "restype=container", {{"x-bs-blob-public-access", "blob"}}},
        {"create container, access off, no metadata",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createContainerWithAccessType(BLSContainerPublicAccessTypeOff, nullptr, u, kTimeout, o);
         },
         "PUT", "restype=container", {}},
        {"delete container",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::deleteContainerWithAccessCondition(&in.full, u, kTimeout, o);
         },
         "DELETE", "restype=container", ifMatchAndLease},
        {"list containers with nothing",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listContainersWithPrefix(std::nullopt, 0, -1, nullptr, u, kTimeout, o);
         },
         "GET", "comp=list", {}},
        {"list containers with empty prefix, empty marker and maxresults 0",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listContainersWithPrefix(std::string(), 0, 0, &in.emptyToken, u, kTimeout, o);
         },
         "GET", "comp=list", {}},
        {"list containers with everything",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listContainersWithPrefix(std::string("logs-"), 1, 5, &in.token, u, kTimeout, o);
         },
         "GET", "comp=list&prefix=logs-&marker=next%2Fmarker%201&maxresults=5&include=metadata", {}},
        {"upload container metadata",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadContainerMetadataWithCloudMetadata(&in.metadata, &in.full, u, kTimeout, o);
         },
         "PUT", "restype=container&comp=metadata", concat({author, ifMatchAndLease})},
        {"download container attributes",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::downloadContainerAttributesWithAccessCondition(&in.lease, u, kTimeout, o);
         },
         "HEAD", "restype=container", {{"x-bs-lease-id", "lease-1"}}},
        {"download container permissions",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::downloadContainerPermissionsWithAccessCondition(nullptr, u, kTimeout, o);
         },
         "GET", "restype=container&comp=acl", {}},
        {"acquire container lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(BLSLeaseActionAcquire, std::string("proposed-1"), 15,
                                                     std::nullopt, &in.full, u, kTimeout, o);
         },
         "PUT", "restype=container&comp=lease",
         concat({{{"x-bs-lease-action", "acquire"},
                  {"x-bs-lease-duration", "15"},
                  {"x-bs-proposed-lease-id", "proposed-1"}},
                 ifMatchAndLease})},
        {"infinite container lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(BLSLeaseActionAcquire, std::nullopt, -1, std::nullopt, nullptr,
                                                     u, kTimeout, o);
         },
         "PUT", "restype=container&comp=lease", {{"x-bs-lease-action", "acquire"}, {"x-bs-lease-duration", "-1"}}},
        {"break container lease with period 10",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(BLSLeaseActionBreak, std::nullopt, std::nullopt, 10, nullptr, u,
                                                     kTimeout, o);
         },
         "PUT", "restype=container&comp=lease", {{"x-bs-lease-action", "break"}, {"x-bs-lease-break-period", "10"}}},
        {"renew container lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(BLSLeaseActionRenew, std::nullopt, std::nullopt, std::nullopt,
                                                     &in.lease, u, kTimeout, o);
         },
         "PUT", "restype=container&comp=lease", {{"x-bs-lease-action", "renew"}, {"x-bs-lease-id", "lease-1"}}},
        {"release container lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(BLSLeaseActionRelease, std::nullopt, std::nullopt,
                                                     std::nullopt, &in.lease, u, kTimeout, o);
         },
         "PUT", "restype=container&comp=lease", {{"x-bs-lease-action", "release"}, {"x-bs-lease-id", "lease-1"}}},
        {"container lease action out of range sends no action",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(static_cast<BLSLeaseAction>(5), std::nullopt, std::nullopt,
                                                     std::nullopt, nullptr, u, kTimeout, o);
         },
         "PUT", "restype=container&comp=lease", {}},
        {"upload container permissions",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadContainerPermissionsWithLength(123, u, nullptr, &in.full,
                                                            BLSContainerPublicAccessTypeBlob, kTimeout, o);
         },
         "PUT", "restype=container&comp=acl",
         concat({{{"Content-Length", "123"}, {"x-bs-blob-public-access", "blob"}}, ifMatchAndLease})},
        {"upload container permissions with access off",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadContainerPermissionsWithLength(0, u, nullptr, nullptr, BLSContainerPublicAccessTypeOff,
                                                            kTimeout, o);
         },
         "PUT", "restype=container&comp=acl", {{"Content-Length", "0"}}},
        {"upload service properties",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadServicePropertiesWithLength(4567, u, nullptr, kTimeout, o);
         },
         "PUT", "restype=service&comp=properties", {{"Content-Length", "4567"}}},
        {"download service properties",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::downloadServicePropertiesWithUrlComponents(u, kTimeout, o);
         },
         "GET", "restype=service&comp=properties", {}},

        // Block blobs.
        {"put block blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockBlobWithLength(1000, &in.allProperties, std::string("body-md5=="), &in.metadata,
                                              &in.full, u, kTimeout, o);
         },
         "PUT", std::nullopt,
         concat({{{"Content-Length", "1000"}, {"x-bs-blob-type", "BlockBlob"}},
                 author,
                 kAllPropertyHeaders,
                 ifMatchAndLease,
                 {{"Content-MD5", "body-md5=="}}})},
        {"put block with a base64 id and the lease once",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockWithLength(4194304, "YmxvY2s+/w==", std::string("block-md5=="), &in.lease, u,
                                          kTimeout, o);
         },
         "PUT", "comp=block&blockid=YmxvY2s%2B%2Fw%3D%3D",
         {{"Content-Length", "4194304"}, {"Content-MD5", "block-md5=="}, {"x-bs-lease-id", "lease-1"}}},
        {"put block list",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockListWithLength(77, &in.typeOnly, std::nullopt, nullptr, nullptr, u, kTimeout, o);
         },
         "PUT", "comp=blocklist",
         {{"Content-Length", "77"}, {"x-bs-blob-content-type", "application/octet-stream"}}},
        {"put block list with everything",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockListWithLength(88, &in.allProperties, std::string("list-md5=="), &in.metadata,
                                              &in.full, u, kTimeout, o);
         },
         "PUT", "comp=blocklist",
         concat({{{"Content-Length", "88"}}, author, kAllPropertyHeaders, ifMatchAndLease,
                 {{"Content-MD5", "list-md5=="}}})},
        {"get committed block list of a snapshot",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlockListWithBlockListFilter(BLSBlockListFilterCommitted, snapshot, &in.lease, u, kTimeout,
                                                       o);
         },
         "GET", std::string("comp=blocklist&blocklisttype=committed&") + encodedSnapshot,
         {{"x-bs-lease-id", "lease-1"}}},
        {"get uncommitted block list",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlockListWithBlockListFilter(BLSBlockListFilterUncommitted, std::nullopt, nullptr, u,
                                                       kTimeout, o);
         },
         "GET", "comp=blocklist&blocklisttype=uncommitted", {}},
        {"get all of the block list",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlockListWithBlockListFilter(BLSBlockListFilterAll, std::nullopt, nullptr, u, kTimeout, o);
         },
         "GET", "comp=blocklist&blocklisttype=all", {}},

        // Reading, deleting and listing blobs.
        {"read 512 bytes from byte 1024 with range MD5",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlobWithSnapshotTime(snapshot, BLSULLRange{1024, 512}, true, &in.full, u, kTimeout, o);
         },
         "GET", std::string(encodedSnapshot),
         concat({{{"x-bs-range", "bytes=1024-1535"}, {"x-bs-range-get-content-md5", "true"}}, ifMatchAndLease})},
        {"read of range length 0 sends no range and no range MD5",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlobWithSnapshotTime(std::nullopt, BLSULLRange{1024, 0}, true, nullptr, u, kTimeout, o);
         },
         "GET", std::nullopt, {}},
        {"read of one byte without range MD5",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlobWithSnapshotTime(std::nullopt, BLSULLRange{0, 1}, false, nullptr, u, kTimeout, o);
         },
         "GET", std::nullopt, {{"x-bs-range", "bytes=0-0"}}},
        {"read above 4 GiB",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getBlobWithSnapshotTime(std::nullopt, BLSULLRange{5000000000ull, 5000000000ull}, false,
                                               nullptr, u, kTimeout, o);
         },
         "GET", std::nullopt, {{"x-bs-range", "bytes=5000000000-9999999999"}}},
        {"delete blob with option 0",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::deleteBlobWithSnapshotsOption(BLSDeleteSnapshotsOptionNone, std::nullopt, nullptr, u,
                                                     kTimeout, o);
         },
         "DELETE", std::nullopt, {}},
        {"delete blob including snapshots",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::deleteBlobWithSnapshotsOption(BLSDeleteSnapshotsOptionIncludeSnapshots, std::nullopt,
                                                     &in.full, u, kTimeout, o);
         },
         "DELETE", std::nullopt, concat({{{"x-bs-delete-snapshots", "include"}}, ifMatchAndLease})},
        {"delete only the snapshots",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::deleteBlobWithSnapshotsOption(BLSDeleteSnapshotsOptionDeleteSnapshotsOnly, std::nullopt,
                                                     nullptr, u, kTimeout, o);
         },
         "DELETE", std::nullopt, {{"x-bs-delete-snapshots", "only"}}},
        {"delete one snapshot",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::deleteBlobWithSnapshotsOption(BLSDeleteSnapshotsOptionNone, snapshot, nullptr, u, kTimeout,
                                                     o);
         },
         "DELETE", std::string(encodedSnapshot), {}},
        {"snapshot blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::snapshotBlobWithMetadata(&in.metadata, &in.full, u, kTimeout, o);
         },
         "PUT", "comp=snapshot", concat({author, ifMatchAndLease})},
        {"list blobs under dir/ with metadata and copy, 100 at most",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listBlobsWithPrefix(std::string("dir/"), std::string("/"), 2 + 8, 100, nullptr, u, kTimeout,
                                           o);
         },
         "GET", "restype=container&comp=list&prefix=dir%2F&delimiter=%2F&maxresults=100&include=metadata,copy", {}},
        {"list blobs with nothing",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listBlobsWithPrefix(std::nullopt, std::nullopt, 0, -1, nullptr, u, kTimeout, o);
         },
         "GET", "restype=container&comp=list", {}},
        {"list blobs with every detail and a marker",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listBlobsWithPrefix(std::string(), std::string(), 1 + 2 + 4 + 8, 1, &in.token, u, kTimeout,
                                           o);
         },
         "GET",
         "restype=container&comp=list&marker=next%2Fmarker%201&maxresults=1&include=snapshots,metadata,"
         "uncommittedblobs,copy",
         {}},
        {"list blobs with snapshots and uncommitted blobs",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::listBlobsWithPrefix(std::nullopt, std::nullopt, 1 + 4, 0, &in.emptyToken, u, kTimeout, o);
         },
         "GET", "restype=container&comp=list&include=snapshots,uncommittedblobs", {}},
        {"upload blob properties",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadBlobPropertiesWithBlobProperties(&in.typeOnly, &in.metadata, &in.full, u, kTimeout, o);
         },
         "PUT", "comp=properties",
         concat({author, {{"x-bs-blob-content-type", "application/octet-stream"}}, ifMatchAndLease})},
        {"upload blob metadata",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadBlobMetadataWithCloudMetadata(&in.metadata, nullptr, u, kTimeout, o);
         },
         "PUT", "comp=metadata", author},
        {"download blob attributes of a snapshot",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::downloadBlobAttributesWithAccessCondition(&in.full, snapshot, u, kTimeout, o);
         },
         "HEAD", std::string(encodedSnapshot), ifMatchAndLease},
        {"change blob lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseBlobWithLeaseAction(BLSLeaseActionChange, std::string("new-id"), std::nullopt,
                                                std::nullopt, &in.lease, u, kTimeout, o);
         },
         "PUT", "comp=lease",
         {{"x-bs-lease-action", "change"}, {"x-bs-proposed-lease-id", "new-id"}, {"x-bs-lease-id", "lease-1"}}},
        {"break blob lease at once",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseBlobWithLeaseAction(BLSLeaseActionBreak, std::nullopt, std::nullopt, 0, nullptr, u,
                                                kTimeout, o);
         },
         "PUT", "comp=lease", {{"x-bs-lease-action", "break"}, {"x-bs-lease-break-period", "0"}}},
        {"copy blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             BLSAccessCondition source = BLSAccessCondition::makeWithIfNoneMatchCondition("\"src\"");
             source.setLeaseId("source-lease");
             return F::copyBlobWithSourceURL(*URL::parse("https://src.blob.example.net/c/b?snapshot=x%3Ay"), &source,
                                             &in.metadata, &in.full, u, kTimeout, o);
         },
         "PUT", std::nullopt,
         concat({{{"x-bs-copy-source", "https://src.blob.example.net/c/b?snapshot=x%3Ay"},
                  {"x-bs-source-if-none-match", "\"src\""}},
                 ifMatchAndLease,
                 author})},
        {"abort copy sends the lease id but no other condition",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::abortCopyBlobWithCopyId("copy-1", &in.full, u, kTimeout, o);
         },
         "PUT", "comp=copy&copyid=copy-1", {{"x-bs-copy-action", "abort"}, {"x-bs-lease-id", "lease-1"}}},

        // Page blobs.
        {"create page blob with sequence number 0",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createPageBlobWithSize(1048576, 0, &in.typeOnly, &in.metadata, &in.full, u, kTimeout, o);
         },
         "PUT", std::nullopt,
         concat({{{"x-bs-blob-type", "PageBlob"}},
                 author,
                 {{"x-bs-blob-content-type", "application/octet-stream"}},
                 ifMatchAndLease,
                 {{"x-bs-blob-content-length", "1048576"}, {"x-bs-blob-sequence-number", "0"}}})},
        {"create page blob without sequence number",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createPageBlobWithSize(512, std::nullopt, nullptr, nullptr, nullptr, u, kTimeout, o);
         },
         "PUT", std::nullopt, {{"x-bs-blob-type", "PageBlob"}, {"x-bs-blob-content-length", "512"}}},
        {"clear pages 0 to 511",
         [&](URLComponents& u, BLSOperationContext& o) {
             BLSAccessCondition condition = BLSAccessCondition::makeWithIfSequenceNumberLessThanOrEqualTo(5);
             condition.setLeaseId("lease-1");
             return F::putPagesWithPageRange(BLSULLRange{0, 512}, true, std::string("ignored=="), &condition, u,
                                             kTimeout, o);
         },
         "PUT", "comp=page",
         {{"x-bs-range", "bytes=0-511"},
          {"Content-Length", "0"},
          {"x-bs-page-write", "clear"},
          {"x-bs-lease-id", "lease-1"},
          {"x-bs-if-sequence-number-le", "5"}}},
        {"write pages 512 to 1023",
         [&](URLComponents& u, BLSOperationContext& o) {
             const BLSAccessCondition condition = BLSAccessCondition::makeWithIfSequenceNumberEqualTo(12);
             return F::putPagesWithPageRange(BLSULLRange{512, 512}, false, std::string("page-md5=="), &condition, u,
                                             kTimeout, o);
         },
         "PUT", "comp=page",
         {{"x-bs-range", "bytes=512-1023"},
          {"Content-Length", "512"},
          {"x-bs-page-write", "update"},
          {"Content-MD5", "page-md5=="},
          {"x-bs-if-sequence-number-eq", "12"}}},
        {"page write of length 0 names the first byte twice",
         [&](URLComponents& u, BLSOperationContext& o) {
             const BLSAccessCondition condition = BLSAccessCondition::makeWithIfSequenceNumberLessThan(3);
             return F::putPagesWithPageRange(BLSULLRange{4096, 0}, false, std::nullopt, &condition, u, kTimeout, o);
         },
         "PUT", "comp=page",
         {{"x-bs-range", "bytes=4096-4096"},
          {"Content-Length", "0"},
          {"x-bs-page-write", "update"},
          {"x-bs-if-sequence-number-lt", "3"}}},
        {"page ranges of the whole blob of a snapshot",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getPageRangesWithRange(BLSULLRange{0, 0}, snapshot, nullptr, u, kTimeout, o);
         },
         "GET", std::string("comp=pagelist&") + encodedSnapshot, {}},
        {"page ranges of part of the blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::getPageRangesWithRange(BLSULLRange{512, 1024}, std::nullopt, &in.lease, u, kTimeout, o);
         },
         "GET", "comp=pagelist", {{"x-bs-range", "bytes=512-1535"}, {"x-bs-lease-id", "lease-1"}}},
        {"resize page blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::resizePageBlobWithSize(2048, &in.full, u, kTimeout, o);
         },
         "PUT", "comp=properties", concat({{{"x-bs-blob-content-length", "2048"}}, ifMatchAndLease})},
        {"increment sequence number ignores the number",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::setPageBlobSequenceNumberWithNewSequenceNumber(9, true, true, nullptr, u, kTimeout, o);
         },
         "PUT", "comp=properties", {{"x-bs-sequence-number-action", "increment"}}},
        {"raise sequence number to a maximum",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::setPageBlobSequenceNumberWithNewSequenceNumber(7, false, true, &in.lease, u, kTimeout, o);
         },
         "PUT", "comp=properties",
         {{"x-bs-blob-sequence-number", "7"},
          {"x-bs-sequence-number-action", "max"},
          {"x-bs-lease-id", "lease-1"}}},
        {"update sequence number",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::setPageBlobSequenceNumberWithNewSequenceNumber(8, false, false, nullptr, u, kTimeout, o);
         },
         "PUT", "comp=properties",
         {{"x-bs-blob-sequence-number", "8"}, {"x-bs-sequence-number-action", "update"}}},

        // Append blobs.
        {"create append blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createAppendBlobWithBlobProperties(&in.allProperties, &in.metadata, &in.full, u, kTimeout, o);
         },
         "PUT", std::nullopt,
         concat({{{"x-bs-blob-type", "AppendBlob"}}, author, kAllPropertyHeaders, ifMatchAndLease})},
        {"append block under size and position conditions",
         [&](URLComponents& u, BLSOperationContext& o) {
             BLSAccessCondition condition = BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(4096);
             condition.setAppendPosition(200);
             condition.setLeaseId("lease-1");
             return F::appendBlockWithLength(100, std::string("append-md5=="), &condition, u, kTimeout, o);
         },
         "PUT", "comp=appendblock",
         {{"Content-Length", "100"},
          {"Content-MD5", "append-md5=="},
          {"x-bs-lease-id", "lease-1"},
          {"x-bs-blob-condition-maxsize", "4096"},
          {"x-bs-blob-condition-appendpos", "200"}}},
        {"append block at position 0 only",
         [&](URLComponents& u, BLSOperationContext& o) {
             const BLSAccessCondition condition = BLSAccessCondition::makeWithIfAppendPositionEqualTo(0);
             return F::appendBlockWithLength(1, std::nullopt, &condition, u, kTimeout, o);
         },
         "PUT", "comp=appendblock", {{"Content-Length", "1"}, {"x-bs-blob-condition-appendpos", "0"}}},
    };

    BLSOperationContext context;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLComponents components = componentsOf(kBlobUrl);
        URLRequest request = c.build(components, context);
        EXPECT_EQ(request.httpMethod, c.method);
        EXPECT_EQ(request.url.query(), c.query);
        EXPECT_EQ(request.url.percentEncodedPath(), "/cont/blob");
        EXPECT_EQ(request.url.host(), "acct.blob.example.net");
        // The components are changed in place to the query that was sent.
        EXPECT_EQ(components.percentEncodedQuery(), c.query);
        EXPECT_EQ(request.timeoutInterval, kTimeout);
        EXPECT_EQ(request.cachePolicy, platform::net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
        EXPECT_EQ(headersOf(request), concat({{kVersion}, c.headers}));
        EXPECT_FALSE(hasLineBreakOrControl(request));
    }
}

TEST(BlobRequestFactory, QueryItemsFollowAnExistingSignatureQuery) {
    BLSOperationContext context;
    URLComponents components = componentsOf("https://acct.blob.example.net/cont/blob?sv=2016-03-14&sig=a%2Bb%3D");
    URLRequest request = F::putBlockWithLength(3, "id-1", std::nullopt, nullptr, components, kTimeout, context);
    EXPECT_EQ(request.url.absoluteString(),
              "https://acct.blob.example.net/cont/blob?sv=2016-03-14&sig=a%2Bb%3D&comp=block&blockid=id-1");
}

TEST(BlobRequestFactory, CallerQueryValuesCannotAddParameters) {
    struct Case {
        const char* name;
        std::function<URLRequest(URLComponents&, BLSOperationContext&)> build;
        const char* key;
        std::string value;
        const char* expectedQuery;
        std::size_t pairCount;
    };
    const std::vector<Case> cases = {
        {"container prefix",
         [](URLComponents& u, BLSOperationContext& o) {
             return F::listContainersWithPrefix(std::string("a&comp=x"), 0, -1, nullptr, u, kTimeout, o);
         },
         "prefix", "a&comp=x", "comp=list&prefix=a%26comp%3Dx", 2},
        {"blob prefix and delimiter",
         [](URLComponents& u, BLSOperationContext& o) {
             return F::listBlobsWithPrefix(std::string("a b#c"), std::string("&"), 0, -1, nullptr, u, kTimeout, o);
         },
         "prefix", "a b#c", "restype=container&comp=list&prefix=a%20b%23c&delimiter=%26", 4},
        {"marker",
         [](URLComponents& u, BLSOperationContext& o) {
             const BLSContinuationToken token{std::string("m&restype=service"), BLSStorageLocationPrimary};
             return F::listBlobsWithPrefix(std::nullopt, std::nullopt, 0, -1, &token, u, kTimeout, o);
         },
         "marker", "m&restype=service", "restype=container&comp=list&marker=m%26restype%3Dservice", 3},
        {"block id",
         [](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockWithLength(1, "b=&comp=blocklist", std::nullopt, nullptr, u, kTimeout, o);
         },
         "blockid", "b=&comp=blocklist", "comp=block&blockid=b%3D%26comp%3Dblocklist", 2},
        {"copy id",
         [](URLComponents& u, BLSOperationContext& o) {
             return F::abortCopyBlobWithCopyId("c?x=1&y", nullptr, u, kTimeout, o);
         },
         "copyid", "c?x=1&y", "comp=copy&copyid=c%3Fx%3D1%26y", 2},
        {"snapshot time",
         [](URLComponents& u, BLSOperationContext& o) {
             return F::getBlobWithSnapshotTime(std::string("t&comp=lease"), BLSULLRange{}, false, nullptr, u, kTimeout,
                                               o);
         },
         "snapshot", "t&comp=lease", "snapshot=t%26comp%3Dlease", 1},
        {"non-ASCII prefix by UTF-8 bytes",
         [](URLComponents& u, BLSOperationContext& o) {
             return F::listContainersWithPrefix(std::string("gr\xC3\xBC"
                                                            "n"),
                                                0, -1, nullptr, u, kTimeout, o);
         },
         "prefix",
         "gr\xC3\xBC"
         "n",
         "comp=list&prefix=gr%C3%BCn", 2},
    };
    BLSOperationContext context;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLComponents components = componentsOf(kBlobUrl);
        URLRequest request = c.build(components, context);
        EXPECT_EQ(request.url.query(), std::optional<std::string>(c.expectedQuery));
        // Read back, the value is whole and no other key appeared.
        const std::map<std::string, std::string> pairs = BLSUtil::parseQueryWithQueryString(request.url.query());
        ASSERT_TRUE(pairs.count(c.key));
        EXPECT_EQ(pairs.at(c.key), c.value);
        EXPECT_EQ(pairs.size(), c.pairCount);
    }
}

TEST(BlobRequestFactory, CallerHeaderTextWithLineBreaksIsRefused) {
    const std::string evil = "v\r\nx-bs-copy-source: https://evil.example.net/x";
    BLSMetadata evilValue{{"author", evil}};
    BLSMetadata evilKey{{"a\r\nx-bs-copy-source: https://evil.example.net/x\r\nx", "v"}};
    BLSMetadata blankKey{{"first name", "v"}};
    BLSBlobProperties evilProperties;
    evilProperties.contentDisposition = evil;
    BLSAccessCondition evilLease = BLSAccessCondition::makeWithLeaseId(evil);
    BLSAccessCondition evilETag = BLSAccessCondition::makeWithIfNoneMatchCondition("\"e\"\n");

    struct Case {
        const char* name;
        std::function<URLRequest(URLComponents&, BLSOperationContext&)> build;
    };
    const std::vector<Case> cases = {
        {"metadata value on container create",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::createContainerWithAccessType(BLSContainerPublicAccessTypeOff, &evilValue, u, kTimeout, o);
         }},
        {"metadata key on blob metadata upload",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::uploadBlobMetadataWithCloudMetadata(&evilKey, nullptr, u, kTimeout, o);
         }},
        {"metadata key with a blank on snapshot",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::snapshotBlobWithMetadata(&blankKey, nullptr, u, kTimeout, o);
         }},
        {"metadata on copy",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::copyBlobWithSourceURL(*URL::parse("https://s.example.net/c/b"), nullptr, &evilValue, nullptr, u,
                                             kTimeout, o);
         }},
        {"source condition on copy",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::copyBlobWithSourceURL(*URL::parse("https://s.example.net/c/b"), &evilETag, nullptr, nullptr, u,
                                             kTimeout, o);
         }},
        {"blob property on put block blob",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockBlobWithLength(1, &evilProperties, std::nullopt, nullptr, nullptr, u, kTimeout, o);
         }},
        {"content MD5 on put block",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putBlockWithLength(1, "id", std::string("md5\r\n"), nullptr, u, kTimeout, o);
         }},
        {"content MD5 on append block",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::appendBlockWithLength(1, std::string("md5\n"), nullptr, u, kTimeout, o);
         }},
        {"lease id on abort copy",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::abortCopyBlobWithCopyId("id", &evilLease, u, kTimeout, o);
         }},
        {"lease id on page write",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::putPagesWithPageRange(BLSULLRange{0, 512}, true, std::nullopt, &evilLease, u, kTimeout, o);
         }},
        {"proposed lease id on container lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseContainerWithLeaseAction(BLSLeaseActionChange, evil, std::nullopt, std::nullopt, nullptr, u,
                                                     kTimeout, o);
         }},
        {"ETag on blob lease",
         [&](URLComponents& u, BLSOperationContext& o) {
             return F::leaseBlobWithLeaseAction(BLSLeaseActionRenew, std::nullopt, std::nullopt, std::nullopt,
                                                &evilETag, u, kTimeout, o);
         }},
    };
    BLSOperationContext context;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLComponents components = componentsOf(kBlobUrl);
        EXPECT_THROW(c.build(components, context), platform::net::InvalidHeaderError);
    }
}

TEST(BlobRequestFactory, ArgumentsNoRequestCanExpressAreRefused) {
    BLSOperationContext context;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

    URLComponents components = componentsOf(kBlobUrl);
    EXPECT_THROW(
        F::putPagesWithPageRange(BLSULLRange{kMax, 2}, false, std::nullopt, nullptr, components, kTimeout, context),
        std::invalid_argument);
    components = componentsOf(kBlobUrl);
    EXPECT_THROW(F::getBlobWithSnapshotTime(std::nullopt, BLSULLRange{kMax - 10, 12}, false, nullptr, components,
                                            kTimeout, context),
                 std::invalid_argument);
    components = componentsOf(kBlobUrl);
    EXPECT_THROW(F::getPageRangesWithRange(BLSULLRange{2, kMax}, std::nullopt, nullptr, components, kTimeout, context),
                 std::invalid_argument);
    components = componentsOf(kBlobUrl);
    EXPECT_THROW(F::getBlockListWithBlockListFilter(static_cast<BLSBlockListFilter>(3), std::nullopt, nullptr,
                                                    components, kTimeout, context),
                 std::invalid_argument);

    // The largest range that still fits ends on the last offset.
    components = componentsOf(kBlobUrl);
    URLRequest last =
        F::getBlobWithSnapshotTime(std::nullopt, BLSULLRange{kMax, 1}, false, nullptr, components, kTimeout, context);
    ASSERT_NE(last.valueForHTTPHeaderField("x-bs-range"), nullptr);
    EXPECT_EQ(*last.valueForHTTPHeaderField("x-bs-range"), "bytes=18446744073709551615-18446744073709551615");

    URLComponents noScheme;
    noScheme.host = "acct.blob.example.net";
    EXPECT_THROW(F::downloadServicePropertiesWithUrlComponents(noScheme, kTimeout, context), std::invalid_argument);
}

TEST(BlobRequestFactory, SharedHeaderMethods) {
    const URLComponents components = componentsOf(kBlobUrl);
    auto fresh = [&] { return BLSRequestFactory::putRequestWithUrlComponents(components, kTimeout); };

    struct LeaseActionCase {
        long action;
        const char* text;  // nullptr: no header
    };
    const LeaseActionCase actions[] = {{0, "acquire"}, {1, "renew"}, {2, "release"}, {3, "break"},
                                       {4, "change"},  {5, nullptr}, {-1, nullptr}};
    for (const LeaseActionCase& c : actions) {
        SCOPED_TRACE(c.action);
        URLRequest request = fresh();
        F::addLeaseActionToRequest(request, static_cast<BLSLeaseAction>(c.action));
        const std::string* value = request.valueForHTTPHeaderField("x-bs-lease-action");
        if (c.text == nullptr) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(*value, c.text);
        }
    }

    URLRequest numbers = fresh();
    F::addLeaseDurationToRequest(numbers, std::nullopt);
    F::addLeaseBreakPeriodToRequest(numbers, std::nullopt);
    F::addTotalContentSizeToRequest(numbers, std::nullopt);
    F::addSequenceNumberToRequest(numbers, std::nullopt);
    F::addProposedLeaseIdToRequest(numbers, std::nullopt);
    F::addBlobPropertiesToRequest(numbers, nullptr);
    F::addAccessTypeToRequest(numbers, static_cast<BLSContainerPublicAccessType>(3));
    EXPECT_EQ(headersOf(numbers), Headers{kVersion});
    F::addLeaseDurationToRequest(numbers, 60);
    F::addLeaseBreakPeriodToRequest(numbers, 0);
    F::addTotalContentSizeToRequest(numbers, 8589934592);
    F::addSequenceNumberToRequest(numbers, -2);
    EXPECT_EQ(headersOf(numbers), (Headers{kVersion,
                                           {"x-bs-lease-duration", "60"},
                                           {"x-bs-lease-break-period", "0"},
                                           {"x-bs-blob-content-length", "8589934592"},
                                           {"x-bs-blob-sequence-number", "-2"}}));

    // An operator without a number, or a number without an operator, sends nothing.
    BLSAccessCondition operatorOnly;
    operatorOnly.setSequenceNumberOperator(BLSSequenceNumberOperatorEqual);
    BLSAccessCondition numberOnly = BLSAccessCondition::makeWithIfSequenceNumberEqualTo(4);
    numberOnly.setSequenceNumberOperator(BLSSequenceNumberOperatorNone);
    URLRequest conditions = fresh();
    F::applySequenceNumberConditionToRequest(conditions, &operatorOnly);
    F::applySequenceNumberConditionToRequest(conditions, &numberOnly);
    F::applySequenceNumberConditionToRequest(conditions, nullptr);
    F::applyMaxSizeAndAppendPositionToRequest(conditions, nullptr);
    F::applyMaxSizeAndAppendPositionToRequest(conditions, &operatorOnly);
    EXPECT_EQ(headersOf(conditions), Headers{kVersion});

    // Condition numbers replace an earlier value rather than joining it.
    BLSAccessCondition sized = BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(10);
    F::applyMaxSizeAndAppendPositionToRequest(conditions, &sized);
    sized.setMaxSize(20);
    F::applyMaxSizeAndAppendPositionToRequest(conditions, &sized);
    EXPECT_EQ(headersOf(conditions), (Headers{kVersion, {"x-bs-blob-condition-maxsize", "20"}}));
}

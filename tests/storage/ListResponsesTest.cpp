#include "storage/BLSListResponses.h"

#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> listBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Whole seconds, which a BLSDate and a BLSWideDate both take as they are.
std::chrono::sys_seconds utc(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    return sys_days{std::chrono::year{year} / month / day} + hours{hour} + minutes{minute} + seconds{second};
}

const std::string kContainers = R"(<?xml version="1.0" encoding="utf-8"?>
<EnumerationResults ServiceEndpoint="https://acct.blob.example/">
  <Prefix>la</Prefix>
  <Marker>m1</Marker>
  <MaxResults>2</MaxResults>
  <Containers>
    <Container>
      <Name>layouts</Name>
      <Properties>
        <Last-Modified>Sat, 01 Jan 2000 00:00:00 GMT</Last-Modified>
        <Etag>"0x8D1"</Etag>
        <LeaseStatus>locked</LeaseStatus>
        <LeaseState>leased</LeaseState>
        <LeaseDuration>infinite</LeaseDuration>
      </Properties>
      <Metadata>
        <owner>m&#xFC;ller</owner>
        <kind>track</kind>
      </Metadata>
    </Container>
    <Container>
      <Name>previews</Name>
      <Properties>
        <Last-Modified>Sun, 06 Nov 1994 08:49:37 GMT</Last-Modified>
        <Etag>"0x8D2"</Etag>
        <LeaseStatus>unlocked</LeaseStatus>
        <LeaseState>available</LeaseState>
        <LeaseDuration>forever</LeaseDuration>
      </Properties>
    </Container>
  </Containers>
  <NextMarker>/acct/previews2</NextMarker>
</EnumerationResults>)";

const std::string kBlobs = R"(<?xml version="1.0" encoding="utf-8"?>
<EnumerationResults ServiceEndpoint="https://acct.blob.example/" ContainerName="layouts">
  <Delimiter>/</Delimiter>
  <Blobs>
    <Blob>
      <Name>a.layout</Name>
      <Snapshot>2011-03-09T01:42:34.9360000Z</Snapshot>
      <Properties>
        <Last-Modified>Sat, 01 Jan 2000 00:00:00 GMT</Last-Modified>
        <Etag>0x8D3</Etag>
        <Content-Length>4096</Content-Length>
        <Content-Type>application/octet-stream</Content-Type>
        <Content-Encoding>gzip</Content-Encoding>
        <Content-Language>de-CH</Content-Language>
        <Content-MD5>sQqNsWTgdUEFt6mb5y4/5Q==</Content-MD5>
        <Cache-Control>no-cache</Cache-Control>
        <x-bs-blob-sequence-number>17</x-bs-blob-sequence-number>
        <BlobType>PageBlob</BlobType>
        <LeaseStatus>unlocked</LeaseStatus>
        <LeaseState>unknown</LeaseState>
        <LeaseDuration>fixed</LeaseDuration>
        <CopyId>copy-1</CopyId>
        <CopyStatus>success</CopyStatus>
        <CopySource>https://other.blob.example/c/src?snapshot=1</CopySource>
        <CopyProgress>1024/4096</CopyProgress>
        <CopyCompletionTime>Sun, 06 Nov 1994 08:49:37 GMT</CopyCompletionTime>
        <CopyStatusDescription>done &amp; dusted</CopyStatusDescription>
      </Properties>
      <Metadata><author>ann</author></Metadata>
    </Blob>
    <BlobPrefix>
      <Name>images/</Name>
    </BlobPrefix>
    <Blob>
      <Name>b.layout</Name>
      <Properties>
        <BlobType>AppendBlob</BlobType>
        <LeaseState>breaking</LeaseState>
        <CopyStatus>aborted</CopyStatus>
      </Properties>
    </Blob>
  </Blobs>
  <NextMarker />
</EnumerationResults>)";

struct Failure {
    const char* name;
    std::string document;
};

// Documents no reader may accept.
std::vector<Failure> malformedDocuments() {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<Blobs>";
    for (int i = 0; i < 300; ++i) deep += "</Blobs>";
    return {
        {"empty", ""},
        {"truncated", "<EnumerationResults><Containers><Container><Name>a"},
        {"mismatched end tag", "<EnumerationResults><Blobs></Containers></EnumerationResults>"},
        {"not XML", "HTTP/1.1 200 OK"},
        {"nested deeper than the parser allows", deep},
        {"entity declarations", "<!DOCTYPE a [<!ENTITY x \"y\">]><EnumerationResults>&x;</EnumerationResults>"},
    };
}

}  // namespace

TEST(ListResponses, ContainerListingReadsNamesPropertiesMetadataAndMarker) {
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto response =
        BLSListContainersResponse::parseListContainersResponseWithData(listBytes(kContainers), context, error);
    ASSERT_TRUE(response);
    EXPECT_FALSE(error);
    ASSERT_EQ(response->containerListItems.size(), 2u);

    const BLSContainerListItem& first = response->containerListItems[0];
    EXPECT_EQ(first.name, "layouts");
    EXPECT_EQ(first.properties.lastModified, utc(2000, 1, 1, 0, 0, 0));
    EXPECT_EQ(first.properties.eTag, "\"0x8D1\"");
    EXPECT_EQ(first.properties.leaseStatus, BLSLeaseStatusLocked);
    EXPECT_EQ(first.properties.leaseState, BLSLeaseStateLeased);
    EXPECT_EQ(first.properties.leaseDuration, BLSLeaseDurationInfinite);
    EXPECT_EQ(first.metadata, (BLSMetadata{{"owner", "m\xC3\xBCller"}, {"kind", "track"}}));

    const BLSContainerListItem& second = response->containerListItems[1];
    EXPECT_EQ(second.name, "previews");
    EXPECT_EQ(second.properties.lastModified, std::chrono::system_clock::from_time_t(784111777));
    EXPECT_EQ(second.properties.leaseStatus, BLSLeaseStatusUnlocked);
    EXPECT_EQ(second.properties.leaseState, BLSLeaseStateAvailable);
    EXPECT_EQ(second.properties.leaseDuration, BLSLeaseDurationUnspecified) << "unknown text leaves the value";
    EXPECT_TRUE(second.metadata.empty());

    EXPECT_EQ(response->nextMarker, "/acct/previews2");
}

TEST(ListResponses, EmptyOrMissingNextMarkerMeansNoContinuation) {
    const std::vector<std::string> documents = {
        "<EnumerationResults><Containers/><NextMarker/></EnumerationResults>",
        "<EnumerationResults><Containers/><NextMarker></NextMarker></EnumerationResults>",
        "<EnumerationResults><Containers/></EnumerationResults>",
    };
    for (const std::string& document : documents) {
        BLSOperationContext context;
        std::optional<platform::Error> error;
        auto containers =
            BLSListContainersResponse::parseListContainersResponseWithData(listBytes(document), context, error);
        ASSERT_TRUE(containers) << document;
        EXPECT_TRUE(containers->containerListItems.empty());
        EXPECT_FALSE(containers->nextMarker) << document;
    }
}

TEST(ListResponses, BlobListingKeepsDocumentOrderPrefixesAndCopyState) {
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto response = BLSListBlobsResponse::parseListBlobsResponseWithData(listBytes(kBlobs), context, error);
    ASSERT_TRUE(response);
    EXPECT_FALSE(error);
    EXPECT_FALSE(response->nextMarker);
    ASSERT_EQ(response->blobListItems.size(), 3u);

    const BLSBlobListItem& a = response->blobListItems[0];
    EXPECT_FALSE(a.isDirectory);
    EXPECT_EQ(a.name, "a.layout");
    EXPECT_EQ(a.snapshotTime, "2011-03-09T01:42:34.9360000Z");
    EXPECT_EQ(a.properties.lastModified, utc(2000, 1, 1, 0, 0, 0));
    EXPECT_EQ(a.properties.eTag, "0x8D3");
    EXPECT_EQ(a.properties.length, 4096);
    EXPECT_EQ(a.properties.contentType, "application/octet-stream");
    EXPECT_EQ(a.properties.contentEncoding, "gzip");
    EXPECT_EQ(a.properties.contentLanguage, "de-CH");
    EXPECT_EQ(a.properties.contentMD5, "sQqNsWTgdUEFt6mb5y4/5Q==");
    EXPECT_EQ(a.properties.cacheControl, "no-cache");
    EXPECT_EQ(a.properties.sequenceNumber, 17);
    EXPECT_EQ(a.properties.blobType, BLSBlobTypePageBlob);
    EXPECT_EQ(a.properties.leaseStatus, BLSLeaseStatusUnlocked);
    EXPECT_EQ(a.properties.leaseState, BLSLeaseStateUnspecified) << "\"unknown\" leaves the state";
    EXPECT_EQ(a.properties.leaseDuration, BLSLeaseDurationFixed);
    EXPECT_EQ(a.blobCopyState.operationId, "copy-1");
    EXPECT_EQ(a.blobCopyState.copyStatus, BLSCopyStatusSuccess);
    ASSERT_TRUE(a.blobCopyState.source);
    EXPECT_EQ(a.blobCopyState.source->absoluteString(), "https://other.blob.example/c/src?snapshot=1");
    EXPECT_EQ(a.blobCopyState.bytesCopied, 1024);
    EXPECT_EQ(a.blobCopyState.totalBytes, 4096);
    EXPECT_EQ(a.blobCopyState.completionTime, std::chrono::system_clock::from_time_t(784111777));
    EXPECT_EQ(a.blobCopyState.statusDescription, "done & dusted");
    EXPECT_EQ(a.metadata, (BLSMetadata{{"author", "ann"}}));

    const BLSBlobListItem& prefix = response->blobListItems[1];
    EXPECT_TRUE(prefix.isDirectory);
    EXPECT_EQ(prefix.name, "images/");
    EXPECT_FALSE(prefix.snapshotTime);
    EXPECT_FALSE(prefix.properties.eTag);
    EXPECT_FALSE(prefix.properties.length);
    EXPECT_EQ(prefix.properties.blobType, BLSBlobTypeUnspecified);
    EXPECT_TRUE(prefix.metadata.empty());
    EXPECT_FALSE(prefix.blobCopyState.operationId);

    const BLSBlobListItem& b = response->blobListItems[2];
    EXPECT_FALSE(b.isDirectory);
    EXPECT_EQ(b.name, "b.layout");
    EXPECT_FALSE(b.snapshotTime);
    EXPECT_EQ(b.properties.blobType, BLSBlobTypeAppendBlob);
    EXPECT_EQ(b.properties.leaseState, BLSLeaseStateBreaking);
    EXPECT_EQ(b.blobCopyState.copyStatus, BLSCopyStatusAborted);
    // Nothing of the first blob carries over.
    EXPECT_FALSE(b.properties.length);
    EXPECT_FALSE(b.blobCopyState.operationId);
    EXPECT_TRUE(b.metadata.empty());
}

TEST(ListResponses, HostileNumbersInListingsLeaveTheFieldUnset) {
    struct Case {
        const char* name;
        const char* properties;  // inside <Properties>
        std::optional<std::int64_t> length;
        std::optional<std::int64_t> sequenceNumber;
        std::optional<std::int64_t> bytesCopied;
        std::optional<std::int64_t> totalBytes;
    };
    const std::vector<Case> cases = {
        {"40-digit length", "<Content-Length>1234567890123456789012345678901234567890</Content-Length>", std::nullopt,
         std::nullopt, std::nullopt, std::nullopt},
        {"negative length", "<Content-Length>-1</Content-Length>", std::nullopt, std::nullopt, std::nullopt,
         std::nullopt},
        {"length with trailing junk", "<Content-Length>12abc</Content-Length>", std::nullopt, std::nullopt,
         std::nullopt, std::nullopt},
        {"largest length", "<Content-Length>9223372036854775807</Content-Length>", INT64_MAX, std::nullopt,
         std::nullopt, std::nullopt},
        {"one past the largest", "<Content-Length>9223372036854775808</Content-Length>", std::nullopt, std::nullopt,
         std::nullopt, std::nullopt},
        {"sequence number out of range", "<x-bs-blob-sequence-number>99999999999999999999</x-bs-blob-sequence-number>",
         std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"copy progress without slash", "<CopyProgress>1024</CopyProgress>", std::nullopt, std::nullopt, std::nullopt,
         std::nullopt},
        {"copy progress with three parts", "<CopyProgress>1/2/3</CopyProgress>", std::nullopt, std::nullopt,
         std::nullopt, std::nullopt},
        {"copy progress with a negative part", "<CopyProgress>-1/5</CopyProgress>", std::nullopt, std::nullopt,
         std::nullopt, std::nullopt},
        {"copy progress empty", "<CopyProgress/>", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"surrounding blanks are fine", "<Content-Length> 7 </Content-Length><CopyProgress>0/0</CopyProgress>", 7,
         std::nullopt, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string document = std::string("<EnumerationResults><MaxResults>") +
                                     "1234567890123456789012345678901234567890</MaxResults><Blobs><Blob><Name>n</Name>"
                                     "<Properties>" +
                                     c.properties + "</Properties></Blob></Blobs></EnumerationResults>";
        BLSOperationContext context;
        std::optional<platform::Error> error;
        auto response = BLSListBlobsResponse::parseListBlobsResponseWithData(listBytes(document), context, error);
        ASSERT_TRUE(response) << c.name;
        EXPECT_FALSE(error) << c.name;
        ASSERT_EQ(response->blobListItems.size(), 1u) << c.name;
        const BLSBlobListItem& item = response->blobListItems[0];
        EXPECT_EQ(item.name, "n") << c.name;
        EXPECT_EQ(item.properties.length, c.length) << c.name;
        EXPECT_EQ(item.properties.sequenceNumber, c.sequenceNumber) << c.name;
        EXPECT_EQ(item.blobCopyState.bytesCopied, c.bytesCopied) << c.name;
        EXPECT_EQ(item.blobCopyState.totalBytes, c.totalBytes) << c.name;
    }
}

TEST(ListResponses, ListingDatesBeyondTheClockGiveNoDate) {
    // Once read as some year in between (9999 as 1816, 0015 as 1768).
    const std::string containers = R"(<EnumerationResults><Containers>
  <Container><Name>far</Name><Properties>
    <Last-Modified>Fri, 31 Dec 9999 23:59:59 GMT</Last-Modified><Etag>"0x1"</Etag>
  </Properties></Container>
  <Container><Name>near</Name><Properties>
    <Last-Modified>Sat, 01 Jan 2000 00:00:00 GMT</Last-Modified>
  </Properties></Container>
</Containers></EnumerationResults>)";
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto listed = BLSListContainersResponse::parseListContainersResponseWithData(listBytes(containers), context, error);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->containerListItems.size(), 2u);
    EXPECT_FALSE(listed->containerListItems[0].properties.lastModified);
    EXPECT_EQ(listed->containerListItems[0].properties.eTag, "\"0x1\"");
    EXPECT_EQ(listed->containerListItems[1].properties.lastModified, utc(2000, 1, 1, 0, 0, 0));

    const std::string blobs = R"(<EnumerationResults><Blobs><Blob><Name>a</Name><Properties>
  <Last-Modified>Thu, 01 Jan 0015 00:00:00 GMT</Last-Modified>
  <Content-Length>10</Content-Length>
  <CopyStatus>success</CopyStatus>
  <CopyCompletionTime>Fri, 31 Dec 9999 23:59:59 GMT</CopyCompletionTime>
</Properties></Blob></Blobs></EnumerationResults>)";
    auto blobList = BLSListBlobsResponse::parseListBlobsResponseWithData(listBytes(blobs), context, error);
    ASSERT_TRUE(blobList);
    ASSERT_EQ(blobList->blobListItems.size(), 1u);
    const BLSBlobListItem& item = blobList->blobListItems[0];
    EXPECT_FALSE(item.properties.lastModified);
    EXPECT_FALSE(item.blobCopyState.completionTime);
    EXPECT_EQ(item.properties.length, 10);
    EXPECT_EQ(item.blobCopyState.copyStatus, BLSCopyStatusSuccess);
}

TEST(ListResponses, StoredPoliciesNeverInheritFromTheEntryBefore) {
    const std::string document = R"(<?xml version="1.0" encoding="utf-8"?>
<SignedIdentifiers>
  <SignedIdentifier>
    <Id>first</Id>
    <AccessPolicy>
      <Start>2009-09-28T08:49:37.0000000Z</Start>
      <Expiry>2009-09-29T08:49:37.0000000Z</Expiry>
      <Permission>rwdl</Permission>
    </AccessPolicy>
  </SignedIdentifier>
  <SignedIdentifier>
    <Id>second</Id>
    <AccessPolicy>
      <Expiry>2020-01-02T03:04:05Z</Expiry>
      <Permission>r</Permission>
    </AccessPolicy>
  </SignedIdentifier>
  <SignedIdentifier>
    <AccessPolicy>
      <Start>2001-01-01T00:00:00Z</Start>
      <Permission>racwdl</Permission>
    </AccessPolicy>
  </SignedIdentifier>
  <SignedIdentifier>
    <Id>fourth</Id>
    <AccessPolicy><Expiry>2030-06-01T12:00:00Z</Expiry></AccessPolicy>
  </SignedIdentifier>
</SignedIdentifiers>)";
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto permissions = BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
        listBytes(document), context, error);
    ASSERT_TRUE(permissions);
    EXPECT_FALSE(error);

    BLSSharedAccessPolicy first{"first"};
    first.sharedAccessStartTime = utc(2009, 9, 28, 8, 49, 37);
    first.sharedAccessExpiryTime = utc(2009, 9, 29, 8, 49, 37);
    first.permissions = 1 + 8 + 16 + 32;
    BLSSharedAccessPolicy second{"second"};
    second.sharedAccessExpiryTime = utc(2020, 1, 2, 3, 4, 5);
    second.permissions = 1;
    // The identifier without Id is not stored, and its start time and
    // letters do not reach "fourth".
    BLSSharedAccessPolicy fourth{"fourth"};
    fourth.sharedAccessExpiryTime = utc(2030, 6, 1, 12, 0, 0);

    EXPECT_EQ(permissions->storedPolicies,
              (std::map<std::string, BLSSharedAccessPolicy>{{"first", first}, {"second", second}, {"fourth", fourth}}));
    EXPECT_FALSE(permissions->storedPolicies.at("fourth").sharedAccessStartTime);
    EXPECT_EQ(permissions->storedPolicies.at("fourth").permissions, 0u);

    // Empty times are no times.
    auto empty = BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
        listBytes("<SignedIdentifiers><SignedIdentifier><Id>e</Id><AccessPolicy><Start></Start><Expiry/>"
                  "<Permission/></AccessPolicy></SignedIdentifier></SignedIdentifiers>"),
        context, error);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->storedPolicies, (std::map<std::string, BLSSharedAccessPolicy>{{"e", BLSSharedAccessPolicy{"e"}}}));
}

TEST(ListResponses, StoredPoliciesWithUnreadableValuesFail) {
    struct Case {
        const char* name;
        const char* accessPolicy;
        BLSErrorCode code;
    };
    const std::vector<Case> cases = {
        {"unknown permission letter", "<Permission>rx</Permission>", BLSErrorCode::InvalidArgumentOrState},
        {"unreadable start", "<Start>yesterday</Start>", BLSErrorCode::ParseError},
        {"impossible expiry", "<Expiry>2020-13-45T99:00:00Z</Expiry>", BLSErrorCode::ParseError},
    };
    for (const Case& c : cases) {
        const std::string document = std::string("<SignedIdentifiers><SignedIdentifier><Id>p</Id><AccessPolicy>") +
                                     c.accessPolicy + "</AccessPolicy></SignedIdentifier></SignedIdentifiers>";
        BLSOperationContext context;
        std::optional<platform::Error> error;
        auto permissions = BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
            listBytes(document), context, error);
        EXPECT_FALSE(permissions) << c.name;
        ASSERT_TRUE(error) << c.name;
        EXPECT_TRUE(BLSIsError(*error, c.code)) << c.name << ": " << error->code();
    }
}

TEST(ListResponses, BlockListReadsModesIdsAndSizesInOrder) {
    const std::string document = R"(<?xml version="1.0" encoding="utf-8"?>
<BlockList>
  <CommittedBlocks>
    <Block><Name>QUFB</Name><Size>4194304</Size></Block>
    <Block><Name>QkJC</Name><Size>17</Size></Block>
  </CommittedBlocks>
  <UncommittedBlocks>
    <Block><Name>Q0ND</Name><Size>0</Size></Block>
  </UncommittedBlocks>
</BlockList>)";
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto blocks = BLSGetBlockListResponse::parseGetBlockListResponseWithData(listBytes(document), context, error);
    ASSERT_TRUE(blocks);
    EXPECT_FALSE(error);
    EXPECT_EQ(*blocks, (std::vector<BLSBlockListItem>{{"QUFB", BLSBlockListModeCommitted, 4194304},
                                                      {"QkJC", BLSBlockListModeCommitted, 17},
                                                      {"Q0ND", BLSBlockListModeUncommitted, 0}}));

    auto empty = BLSGetBlockListResponse::parseGetBlockListResponseWithData(
        listBytes("<BlockList><CommittedBlocks/><UncommittedBlocks/></BlockList>"), context, error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(ListResponses, BlockSizesThatAreNotCountsFailTheReply) {
    for (const char* size : {"-1", "1234567890123456789012345678901234567890", "ten", "", "1.5"}) {
        const std::string document = std::string("<BlockList><CommittedBlocks><Block><Name>QUFB</Name><Size>") + size +
                                     "</Size></Block></CommittedBlocks></BlockList>";
        BLSOperationContext context;
        std::optional<platform::Error> error;
        EXPECT_FALSE(BLSGetBlockListResponse::parseGetBlockListResponseWithData(listBytes(document), context, error))
            << size;
        ASSERT_TRUE(error) << size;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ParseError)) << size;
    }
}

TEST(ListResponses, PageRangesBecomeLocationAndLength) {
    const std::string document = R"(<?xml version="1.0" encoding="utf-8"?>
<PageList>
  <PageRange><Start>0</Start><End>511</End></PageRange>
  <PageRange><Start>1024</Start><End>2047</End></PageRange>
  <PageRange><Start>4294967296</Start><End>4294967296</End></PageRange>
  <PageRange><Start>0</Start><End>9223372036854775807</End></PageRange>
  <PageRange><End>9223372036854775807</End><Start>9223372036854775807</Start></PageRange>
</PageList>)";
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto ranges = BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(listBytes(document), context, error);
    ASSERT_TRUE(ranges);
    EXPECT_FALSE(error);
    EXPECT_EQ(
        *ranges,
        (std::vector<BLSULLRange>{
            {0, 512}, {1024, 1024}, {4294967296ull, 1}, {0, 9223372036854775808ull}, {9223372036854775807ull, 1}}));

    auto none = BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(listBytes("<PageList/>"), context, error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(ListResponses, HostilePageRangesFailTheReply) {
    const std::vector<Failure> cases = {
        {"end before start", "<PageList><PageRange><Start>512</Start><End>511</End></PageRange></PageList>"},
        {"40-digit end",
         "<PageList><PageRange><Start>0</Start><End>1234567890123456789012345678901234567890</End></PageRange>"
         "</PageList>"},
        {"end past 2^63",
         "<PageList><PageRange><Start>0</Start><End>18446744073709551615</End></PageRange></PageList>"},
        {"negative start", "<PageList><PageRange><Start>-512</Start><End>511</End></PageRange></PageList>"},
        {"missing end", "<PageList><PageRange><Start>0</Start></PageRange></PageList>"},
        {"missing start", "<PageList><PageRange><End>511</End></PageRange></PageList>"},
        {"not a number", "<PageList><PageRange><Start>zero</Start><End>511</End></PageRange></PageList>"},
        {"start left over from the range before",
         "<PageList><PageRange><Start>0</Start><End>511</End></PageRange><PageRange><End>1023</End></PageRange>"
         "</PageList>"},
    };
    for (const Failure& c : cases) {
        BLSOperationContext context;
        std::optional<platform::Error> error;
        EXPECT_FALSE(
            BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(listBytes(c.document), context, error))
            << c.name;
        ASSERT_TRUE(error) << c.name;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ParseError)) << c.name;
    }
}

TEST(ListResponses, PublicAccessFromTheResponseHeader) {
    struct Case {
        const char* name;
        std::optional<std::string> header;
        BLSContainerPublicAccessType expected;
        bool fails;
    };
    const std::vector<Case> cases = {
        {"absent", std::nullopt, BLSContainerPublicAccessTypeOff, false},
        {"empty", "", BLSContainerPublicAccessTypeOff, false},
        {"container in any case", "Container", BLSContainerPublicAccessTypeContainer, false},
        {"blob", "blob", BLSContainerPublicAccessTypeBlob, false},
        {"BLOB", "BLOB", BLSContainerPublicAccessTypeBlob, false},
        {"unknown", "private", BLSContainerPublicAccessTypeOff, true},
    };
    for (const Case& c : cases) {
        platform::net::HTTPURLResponse response;
        response.statusCode = 200;
        if (c.header) response.headers.set("x-bs-blob-public-access", *c.header);
        BLSOperationContext context;
        std::optional<platform::Error> error;
        EXPECT_EQ(BLSDownloadContainerPermissions::createContainerPermissionsWithResponse(response, context, error),
                  c.expected)
            << c.name;
        EXPECT_EQ(error.has_value(), c.fails) << c.name;
        if (error) {
            EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
            EXPECT_EQ(error->localizedDescription(), "Invalid Public Access Type: private");
        }
    }
}

TEST(ListResponses, MalformedRepliesFailEveryReaderWithCode6) {
    using Reader = std::function<bool(const std::string&, BLSOperationContext&, std::optional<platform::Error>&)>;
    const std::vector<std::pair<const char*, Reader>> readers = {
        {"containers",
         [](const std::string& d, BLSOperationContext& c, std::optional<platform::Error>& e) {
             return BLSListContainersResponse::parseListContainersResponseWithData(listBytes(d), c, e).has_value();
         }},
        {"blobs",
         [](const std::string& d, BLSOperationContext& c, std::optional<platform::Error>& e) {
             return BLSListBlobsResponse::parseListBlobsResponseWithData(listBytes(d), c, e).has_value();
         }},
        {"policies",
         [](const std::string& d, BLSOperationContext& c, std::optional<platform::Error>& e) {
             return BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(listBytes(d), c,
                                                                                                       e)
                 .has_value();
         }},
        {"blocks",
         [](const std::string& d, BLSOperationContext& c, std::optional<platform::Error>& e) {
             return BLSGetBlockListResponse::parseGetBlockListResponseWithData(listBytes(d), c, e).has_value();
         }},
        {"pages",
         [](const std::string& d, BLSOperationContext& c, std::optional<platform::Error>& e) {
             return BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(listBytes(d), c, e).has_value();
         }},
    };
    for (const auto& [readerName, read] : readers) {
        for (const Failure& c : malformedDocuments()) {
            BLSOperationContext context;
            std::vector<std::string> errors;
            context.setLogLevel(BLSLogLevelError);
            context.setLogFunction([&](BLSLogLevel, const std::string& line) { errors.push_back(line); });
            std::optional<platform::Error> error;
            EXPECT_FALSE(read(c.document, context, error)) << readerName << ": " << c.name;
            ASSERT_TRUE(error) << readerName << ": " << c.name;
            EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ParseError)) << readerName << ": " << c.name;
            EXPECT_TRUE(error->userInfo().empty()) << readerName << ": " << c.name;
            EXPECT_EQ(errors.size(), 1u) << readerName << ": " << c.name;
        }
    }
}

TEST(ListResponses, LargeListingReadsEveryItem) {
    std::string document = "<EnumerationResults><Blobs>";
    const int count = 20000;
    for (int i = 0; i < count; ++i)
        document += "<Blob><Name>b" + std::to_string(i) + "</Name><Properties><Content-Length>" + std::to_string(i) +
                    "</Content-Length></Properties></Blob>";
    document += "</Blobs><NextMarker>next</NextMarker></EnumerationResults>";
    BLSOperationContext context;
    std::optional<platform::Error> error;
    auto response = BLSListBlobsResponse::parseListBlobsResponseWithData(listBytes(document), context, error);
    ASSERT_TRUE(response);
    ASSERT_EQ(response->blobListItems.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(response->blobListItems[12345].name, "b12345");
    EXPECT_EQ(response->blobListItems[12345].properties.length, 12345);
    EXPECT_EQ(response->blobListItems.back().name, "b19999");
    EXPECT_EQ(response->nextMarker, "next");
}

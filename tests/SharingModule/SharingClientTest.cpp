// The sharing client against the sharing service and blob service
// stand-ins: summaries, layout details, likes, pictures and layout files,
// and replies that fail or lie.

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLSharingErrors.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "platform/dispatch/MainThread.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/Image.h"
#include "tests/SharingModule/support/SharingTestSupport.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>

using namespace sharingtest;
using nlohmann::json;

namespace {

using EntityPtr = QLSharedLayoutsClient::EntityPtr;

Bytes fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t filesIn(const std::filesystem::path& folder) {
    std::error_code error;
    std::size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); ++it) {
        ++count;
    }
    return count;
}

Bytes layoutFile(std::uint64_t seed) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 40, seed, 13);
    return ULayoutFileWriter::LayoutFileBytes(document.FileContent());
}

json layoutJson(const std::string& id) {
    return {{"id", id},
            {"title", "Harbour_Line"},
            {"author", "ada"},
            {"uploadDate", "2024-06-01T10:00:00Z"},
            {"tags", {"harbour", "H0"}},
            {"modelScales", {"H0"}},
            {"numberOfTracks", 42},
            {"summary", {{"de", "Ein Hafen"}, {"en", "A harbour"}}},
            {"weburl", "https://sharing.example/layouts/" + id},
            {"likeUsers", json::array()},
            {"blobName", id + ".layout"},
            {"previewBlobName", id + "-preview.png"}};
}

// Waits for the outcome of one request of the client.
struct Outcome {
    std::optional<EntityPtr> entity;
    std::optional<platform::Error> error;
    bool onMainThread = false;
    int calls = 0;

    QLSharedLayoutsClient::EntityAction success() {
        return [this](const EntityPtr& e) {
            entity = e;
            onMainThread = platform::isMainThread();
            ++calls;
        };
    }
    QLSharedLayoutsClient::FailureAction failure() {
        return [this](const platform::Error& e) {
            error = e;
            onMainThread = platform::isMainThread();
            ++calls;
        };
    }
    bool wait() {
        return runMainUntil([this] { return calls > 0; });
    }
};

EntityPtr fetchEntity(QLSharedLayoutsClient& client, const std::string& id) {
    Outcome outcome;
    client.layoutEntityWithId(id, outcome.success(), outcome.failure());
    EXPECT_TRUE(outcome.wait());
    EXPECT_TRUE(outcome.entity.has_value()) << (outcome.error ? outcome.error->localizedDescription() : "");
    return outcome.entity.value_or(nullptr);
}

// A layout the service describes, with its file in the container "layouts".
EntityPtr publish(testsupport::StorageTestServer& blobs, SharingTestServer& sharing, QLSharedLayoutsClient& client,
                  const std::string& id, const Bytes& file) {
    blobs.preloadBlob("layouts", id + ".layout", file);
    sharing.addLayouts({layoutJson(id)});
    return fetchEntity(client, id);
}

}  // namespace

TEST_F(SharingServerTest, SummaryArrivesOnTheMainQueueAndNothingComesOfFailures) {
    sharing.addUsers({{"ada", {{"password", "pw"}, {"userName", "Ada"}, {"profileImage512", "ada-512.png"}}}});
    std::optional<platform::Value> summary;
    bool onMain = false;
    client->summaryForUser("ada", [&](const platform::Value& value) {
        summary = value;
        onMain = platform::isMainThread();
    });
    ASSERT_TRUE(runMainUntil([&] { return summary.has_value(); }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(*summary->find("userName"), platform::Value("Ada"));
    EXPECT_EQ(*summary->find("profileImage512"), platform::Value("ada-512.png"));

    // A one-letter identifier is not sent; an unknown user and a summary with a
    // picture name that is no text call nothing back and count one error each.
    int calls = 0;
    auto count = [&](const platform::Value&) { ++calls; };
    client->summaryForUser("a", count);
    client->summaryForUser("", count);
    sharing.addFault({{"path_regex", "/users/bob/summary$"}, {"action", {{"body", R"({"profileImage512": 512})"}}}});
    client->summaryForUser("nobody", count);
    client->summaryForUser("bob", count);
    ASSERT_TRUE(runMainUntil([] { return Events().cloudErrors("UserSummary") == 2; }));
    runMainFor(100ms);
    EXPECT_EQ(calls, 0);
    const auto sent = sharing.requestsEndingWith("/summary");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].path, "/api/v1/users/ada/summary");
    EXPECT_EQ(sent[0].header("Authorization"), "") << "nobody is signed in";
}

TEST_F(SharingServerTest, LayoutDetailsAreKeptAndTheAuthorsNameArrivesOnce) {
    sharing.addUsers({{"ada", {{"password", "pw"}, {"userName", "Ada Lovelace"}}}});
    sharing.addLayouts({layoutJson("L1"), layoutJson("a/..")});
    NotificationRecorder names(QLUserNameCache::kUpdatedNotification);

    const EntityPtr entity = fetchEntity(*client, "L1");
    ASSERT_NE(entity, nullptr);
    EXPECT_EQ(entity->title(), "Harbour_Line");
    EXPECT_EQ(entity->author(), "ada");
    ASSERT_TRUE(entity->uploadDate().has_value());
    EXPECT_EQ(std::chrono::system_clock::to_time_t(*entity->uploadDate()), 1717236000);
    EXPECT_EQ(entity->tags(), (std::vector<std::string>{"harbour", "H0"}));
    EXPECT_EQ(entity->modelScales(), (std::vector<std::string>{"H0"}));
    EXPECT_EQ(entity->numberOfTracks(), 42);
    EXPECT_EQ(entity->summary().at("de"), "Ein Hafen");
    EXPECT_EQ(entity->weburl(), "https://sharing.example/layouts/L1");
    EXPECT_EQ(VKMLayoutEntityCache::sharedInstance().objectForKey("L1"), entity);

    ASSERT_TRUE(runMainUntil([&] { return names.count() == 1; }));
    EXPECT_TRUE(names.posts()[0].onMainThread);
    EXPECT_EQ(names.posts()[0].userInfo,
              platform::Value(platform::Value::Dictionary{{QLUserNameCache::kUpdatedIdKey, "ada"}}));
    // A second layout of the same author asks for no name again.
    fetchEntity(*client, "L1");
    runMainFor(100ms);
    EXPECT_EQ(names.count(), 1u);
    EXPECT_EQ(sharing.requestsEndingWith("/users/ada/summary").size(), 1u);

    VKMCurrentCloudLayout::setCloudLayoutIdProvider([] { return std::optional<std::string>("L1"); });
    EXPECT_EQ(VKMCurrentCloudLayout::layoutEntity(), VKMLayoutEntityCache::sharedInstance().objectForKey("L1"));
    EXPECT_EQ(VKMCurrentCloudLayout::title(), "Harbour_Line");
    EXPECT_EQ(VKMCurrentCloudLayout::author(), "Ada Lovelace");
    EXPECT_FALSE(VKMCurrentCloudLayout::likedByCurrentUser());
    VKMCurrentCloudLayout::setCloudLayoutIdProvider([] { return std::optional<std::string>(); });
    EXPECT_EQ(VKMCurrentCloudLayout::layoutEntity(), nullptr);
    EXPECT_EQ(VKMCurrentCloudLayout::author(), std::nullopt);

    // An identifier is one path segment, whatever it holds.
    ASSERT_NE(fetchEntity(*client, "a/.."), nullptr);
    EXPECT_EQ(sharing.requestsEndingWith("/layouts/a%2F..").size(), 1u);
    sharing.addLayouts({layoutJson("..")});
    ASSERT_NE(fetchEntity(*client, ".."), nullptr);
    EXPECT_EQ(sharing.requestsEndingWith("/layouts/%2E%2E").size(), 1u);
}

TEST_F(SharingServerTest, RepliesThatFailOrLieGiveClearErrorsAndChangeNoCache) {
    sharing.addLayouts({layoutJson("L1")});
    struct Case {
        const char* name;
        json action;
        QLSharingErrorCode code;
        const char* mentions;
    };
    const std::string deep = std::string(600, '[') + std::string(600, ']');
    const Case cases[] = {
        {"server error with a reason",
         {{"status", 500}, {"body", R"({"message": "database down"})"}},
         QLSharingErrorCode::HTTPStatus,
         "database down"},
        {"not found", {{"status", 404}, {"body", "{}"}}, QLSharingErrorCode::HTTPStatus, "404"},
        {"no JSON", {{"body", "<html>maintenance</html>"}}, QLSharingErrorCode::InvalidReply, "not JSON"},
        {"a list", {{"body", "[1, 2]"}}, QLSharingErrorCode::InvalidReply, "not an object"},
        {"identifier of the wrong type", {{"body", R"({"id": 5})"}}, QLSharingErrorCode::InvalidReply, "\"id\""},
        {"tags as one text",
         {{"body", R"({"id": "L1", "tags": "a,b"})"}},
         QLSharingErrorCode::InvalidReply,
         "\"tags\""},
        {"a tag that is no text",
         {{"body", R"({"id": "L1", "tags": ["a", 2]})"}},
         QLSharingErrorCode::InvalidReply,
         "\"tags\""},
        {"negative track count",
         {{"body", R"({"id": "L1", "numberOfTracks": -3})"}},
         QLSharingErrorCode::InvalidReply,
         "\"numberOfTracks\""},
        {"fractional track count",
         {{"body", R"({"id": "L1", "numberOfTracks": 2.5})"}},
         QLSharingErrorCode::InvalidReply,
         "\"numberOfTracks\""},
        {"date that is no date",
         {{"body", R"({"id": "L1", "uploadDate": "yesterday"})"}},
         QLSharingErrorCode::InvalidReply,
         "\"uploadDate\""},
        {"date with more after it",
         {{"body", R"({"id": "L1", "uploadDate": "2024-06-01T10:00:00Zx"})"}},
         QLSharingErrorCode::InvalidReply,
         "\"uploadDate\""},
        {"summary holding a number",
         {{"body", R"({"id": "L1", "summary": {"de": 1}})"}},
         QLSharingErrorCode::InvalidReply,
         "\"summary\""},
        {"another layout", {{"body", R"({"id": "L2"})"}}, QLSharingErrorCode::InvalidReply, "L2"},
        {"nested too deep", {{"body", deep}}, QLSharingErrorCode::InvalidReply, "not JSON"},
        {"too large, announced", {{"huge_body", 100000}}, QLSharingErrorCode::TooLarge, "larger"},
        {"too large, unannounced",
         {{"huge_body", 100000}, {"no_length", true}},
         QLSharingErrorCode::TooLarge,
         "larger"},
        {"cut short",
         {{"body", R"({"id": "L1"})"}, {"content_length", 400}},
         QLSharingErrorCode::Transport,
         "could not be reached"},
        {"stalled",
         {{"stall_before_headers", 4}, {"body", "{}"}},
         QLSharingErrorCode::Transport,
         "could not be reached"},
    };
    for (const Case& c : cases) {
        sharing.addFault({{"path_regex", "/layouts/L1$"}, {"times", 1}, {"action", c.action}});
        Outcome outcome;
        client->layoutEntityWithId("L1", outcome.success(), outcome.failure());
        ASSERT_TRUE(outcome.wait()) << c.name;
        runMainFor(20ms);
        EXPECT_EQ(outcome.calls, 1) << c.name;
        EXPECT_TRUE(outcome.onMainThread) << c.name;
        ASSERT_TRUE(outcome.error.has_value()) << c.name;
        EXPECT_EQ(outcome.error->domain(), QLSharingErrorDomain) << c.name;
        EXPECT_EQ(outcome.error->code(), static_cast<long>(c.code)) << c.name;
        EXPECT_NE(outcome.error->localizedDescription().find(c.mentions), std::string::npos)
            << c.name << ": " << outcome.error->localizedDescription();
        EXPECT_EQ(VKMLayoutEntityCache::sharedInstance().objectForKey("L1"), nullptr) << c.name;
    }
    const long* status = nullptr;
    sharing.addFault({{"path_regex", "/layouts/L1$"}, {"times", 1}, {"action", {{"status", 503}}}});
    Outcome unavailable;
    client->layoutEntityWithId("L1", unavailable.success(), unavailable.failure());
    ASSERT_TRUE(unavailable.wait());
    ASSERT_TRUE(unavailable.error.has_value());
    status = unavailable.error->userInfoValue<long>(QLSharingErrorKey::HTTPStatusCode);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(*status, 503);
    EXPECT_EQ(Events().cloudErrors("LayoutDetails"), static_cast<int>(std::size(cases)) + 1);

    // The service answers truthfully again: the layout is kept.
    EXPECT_NE(fetchEntity(*client, "L1"), nullptr);
    EXPECT_NE(VKMLayoutEntityCache::sharedInstance().objectForKey("L1"), nullptr);
}

TEST_F(SharingServerTest, LikesNeedCredentialsAndReturnTheUpdatedLayout) {
    sharing.addUsers({{"ada", {{"password", "pw"}, {"userName", "Ada"}}}});
    sharing.addLayouts({layoutJson("L1")});
    const EntityPtr entity = fetchEntity(*client, "L1");
    ASSERT_NE(entity, nullptr);
    VKMCurrentCloudLayout::setCloudLayoutIdProvider([] { return std::optional<std::string>("L1"); });

    bool missing = false;
    bool missingOnMain = false;
    Outcome withoutUser;
    client->likeLayout(entity, withoutUser.success(), withoutUser.failure(), [&] {
        missing = true;
        missingOnMain = platform::isMainThread();
    });
    ASSERT_TRUE(runMainUntil([&] { return missing; }));
    EXPECT_TRUE(missingOnMain);
    EXPECT_EQ(withoutUser.calls, 0);
    EXPECT_TRUE(sharing.requestsEndingWith("/likes").empty());

    signIn("ada", "nope");
    Outcome refused;
    client->likeLayout(entity, refused.success(), refused.failure(), [] { FAIL() << "credentials are stored"; });
    ASSERT_TRUE(refused.wait());
    ASSERT_TRUE(refused.error.has_value());
    EXPECT_EQ(refused.error->code(), static_cast<long>(QLSharingErrorCode::HTTPStatus));
    EXPECT_FALSE(VKMCurrentCloudLayout::likedByCurrentUser());

    signIn("ada", "pw");
    Outcome liked;
    client->likeLayout(entity, liked.success(), liked.failure(), [] { FAIL() << "credentials are stored"; });
    ASSERT_TRUE(liked.wait());
    ASSERT_TRUE(liked.entity.has_value()) << liked.error->localizedDescription();
    EXPECT_EQ((*liked.entity)->likeUsers(), std::vector<std::string>{"ada"});
    EXPECT_TRUE(entity->likeUsers().empty()) << "the entity handed in stays as it was";
    EXPECT_EQ(VKMLayoutEntityCache::sharedInstance().objectForKey("L1"), *liked.entity);
    EXPECT_TRUE(VKMCurrentCloudLayout::likedByCurrentUser());
    const auto likes = sharing.requestsEndingWith("/layouts/L1/likes");
    ASSERT_EQ(likes.size(), 2u);
    EXPECT_EQ(likes[1].method, "POST");
    EXPECT_EQ(likes[1].header("Authorization"), "Basic YWRhOnB3");  // "ada:pw"
    EXPECT_EQ(sharing.counts()["likes"]["L1"], json({"ada"}));
}

TEST_F(SharingServerTest, ProfilePictureArrivesOnceOnTheMainQueueAndSurvivesARestart) {
    const Bytes ada = picture(32, 7);
    const Bytes grace = picture(48, 8);
    blobs.preloadBlob("profilepictures", "ada-512.png", ada);
    blobs.preloadBlob("profilepictures", "grace-512.png", grace);
    sharing.addUsers({{"ada", {{"password", "pw"}, {"profileImage512", "ada-512.png"}}}});
    const auto root = platform::Paths::caches();
    NotificationRecorder updates(QLProfileImageCache::kUpdatedNotification);
    {
        QLProfileImageCache cache(root / "Pictures", root / "Pictures.plist");
        client->summaryForUser("ada", [&](const platform::Value& summary) {
            const std::string blob = *summary.find("profileImage512")->asString();
            cache.requestProfileImageForUserId("ada", blob, client);
            cache.requestProfileImageForUserId("ada", blob, client);
            cache.requestProfileImageForUserId("grace", "grace-512.png", client);
        });
        ASSERT_TRUE(runMainUntil([&] { return updates.count() == 2; }));
        runMainFor(200ms);
        ASSERT_EQ(updates.count(), 2u);
        std::vector<std::string> users;
        for (const auto& post : updates.posts()) {
            EXPECT_TRUE(post.onMainThread);
            users.push_back(*post.userInfo.find(QLProfileImageCache::kUpdatedIdKey)->asString());
        }
        std::sort(users.begin(), users.end());
        EXPECT_EQ(users, (std::vector<std::string>{"ada", "grace"}));

        auto image = cache.profileImageForUserId("ada");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->pixelWidth(), 32);
        EXPECT_EQ(fileBytes(cache.files().entryForKey("ada")->file), ada);
        EXPECT_EQ(cache.profileImageForUserId("nobody"), nullptr);
        EXPECT_EQ(cache.files().count(), 2u);
    }
    // One download per picture, one signature for the container.
    int downloads = 0;
    for (const auto& request : blobs.requests()) downloads += request.operation == "getblob";
    EXPECT_EQ(downloads, 2);
    EXPECT_EQ(sharing.requestsEndingWith("/storage/containers/profilepictures/sas").size(), 1u);

    QLProfileImageCache restarted(root / "Pictures", root / "Pictures.plist");
    auto image = restarted.profileImageForUserId("grace");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelWidth(), 48);
}

TEST_F(SharingServerTest, PicturesThatAreCutForeignOrTooLargeAreNeverCached) {
    const auto root = platform::Paths::caches();
    QLPreviewImageCache cache(root / "Previews", root / "Previews.plist");
    NotificationRecorder updates(QLPreviewImageCache::kUpdatedNotification);
    Bytes noise(3000);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
    Bytes truncated = picture(64, 3);
    truncated.resize(truncated.size() / 2);

    struct Case {
        const char* name;
        Bytes blob;  // empty: no blob at all
        json fault;  // on the blob server, for this blob
        bool storeMD5 = false;
    };
    const Case cases[] = {
        {"connection cut in the middle", picture(64, 1), {{"drop_after_bytes", 2000}}},
        {"bytes that are no picture", noise, nullptr},
        {"a picture cut short at the source", truncated, nullptr},
        {"larger than a picture may be", picture(256, 2), nullptr},
        {"no such blob", {}, nullptr},
        {"the service fails every time", picture(16, 4), {{"status", 500}}},
        {"content that does not match its MD5", picture(16, 5), {{"wrong_md5", true}}, true},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string blob = "broken-" + std::to_string(index) + ".png";
        if (!c.blob.empty()) blobs.preloadBlob("layouts", blob, c.blob, c.storeMD5);
        if (!c.fault.is_null()) {
            blobs.addFault(json({{"method", "GET"}, {"path_regex", blob}, {"times", 100}, {"action", c.fault}}).dump());
        }
        const std::string key = "L" + std::to_string(index);
        cache.requestImage(key, blob, client);
        ++index;
        ASSERT_TRUE(runMainUntil([&] { return Events().cloudErrors("PreviewImage") == index; })) << c.name;
        EXPECT_EQ(cache.previewImageForLayoutId(key), nullptr) << c.name;
        EXPECT_FALSE(cache.files().entryForKey(key).has_value()) << c.name;
        EXPECT_EQ(filesIn(root / "Previews"), 0u) << c.name << ": no file, whole or temporary, is left";
    }
    runMainFor(100ms);
    EXPECT_EQ(updates.count(), 0u);

    // A blob name that could reach elsewhere is not asked for.
    cache.requestImage("dots", "../profilepictures/x.png", client);
    ASSERT_TRUE(runMainUntil([&] { return Events().cloudErrors("PreviewImage") == index + 1; }));
    // Once the picture is whole, it is kept.
    blobs.preloadBlob("layouts", "whole.png", picture(16, 6));
    cache.requestImage("L0", "whole.png", client);
    ASSERT_TRUE(runMainUntil([&] { return updates.count() == 1; }));
    EXPECT_NE(cache.previewImageForLayoutId("L0"), nullptr);
}

TEST_F(SharingServerTest, LayoutFileIsReusedFor48HoursAndNotAcrossAnUpload) {
    const Bytes file = layoutFile(11);
    const EntityPtr entity = publish(blobs, sharing, *client, "L1", file);
    ASSERT_NE(entity, nullptr);
    auto& cache = QLCloudLayoutsCache::sharedInstance();

    auto download = [&](const EntityPtr& which) {
        std::optional<std::filesystem::path> path;
        std::optional<platform::Error> error;
        client->downloadLayoutFile(
            which, [&](const std::filesystem::path& p) { path = p; }, [&](const platform::Error& e) { error = e; });
        EXPECT_TRUE(runMainUntil([&] { return path || error; }));
        EXPECT_FALSE(error.has_value()) << error->localizedDescription();
        return path.value_or(std::filesystem::path());
    };
    auto blobDownloads = [&] {
        int count = 0;
        for (const auto& request : blobs.requests()) count += request.operation == "getblob";
        return count;
    };

    const auto first = download(entity);
    EXPECT_EQ(fileBytes(first), file);
    EXPECT_EQ(first.parent_path(), platform::Paths::tmp() / "CloudLayouts");
    EXPECT_EQ(cache.cachedLayoutsCount(), 1);
    EXPECT_EQ(sharing.counts()["downloads"]["L1"], 1);
    EXPECT_EQ(blobDownloads(), 1);

    // 47 hours later the file is reused without a count or a download.
    clock->setDate(clock->now() + std::chrono::hours(47));
    EXPECT_EQ(download(entity), first);
    EXPECT_EQ(blobDownloads(), 1);

    // 49 hours after the download it is fetched again and counted.
    clock->setDate(clock->now() + std::chrono::hours(2));
    EXPECT_EQ(download(entity), first);
    EXPECT_EQ(blobDownloads(), 2);
    EXPECT_EQ(sharing.counts()["downloads"]["L1"], 2);

    // A layout uploaded after the download is fetched again at once.
    json reuploaded = layoutJson("L1");
    reuploaded["uploadDate"] = "2100-01-01T00:00:00Z";
    sharing.addLayouts({reuploaded});
    const EntityPtr newer = fetchEntity(*client, "L1");
    ASSERT_NE(newer, nullptr);
    download(newer);
    EXPECT_EQ(blobDownloads(), 3);
    EXPECT_EQ(cache.cachedLayoutsCount(), 1);
}

TEST_F(SharingServerTest, ALayoutDownloadThatFailsLeavesNoFile) {
    const EntityPtr entity = publish(blobs, sharing, *client, "L1", layoutFile(12));
    ASSERT_NE(entity, nullptr);
    const auto folder = platform::Paths::tmp() / "CloudLayouts";

    blobs.addFault(
        json({{"method", "GET"}, {"path_regex", "L1.layout"}, {"action", {{"drop_after_bytes", 500}}}}).dump());
    std::optional<platform::Error> error;
    client->downloadLayoutFile(
        entity, [](const std::filesystem::path&) { FAIL() << "a cut download is no file"; },
        [&](const platform::Error& e) { error = e; });
    ASSERT_TRUE(runMainUntil([&] { return error.has_value(); }));
    EXPECT_EQ(error->code(), static_cast<long>(QLSharingErrorCode::Storage));
    EXPECT_EQ(filesIn(folder), 0u);
    EXPECT_EQ(QLCloudLayoutsCache::sharedInstance().cachedLayoutsCount(), 0);

    // A layout file beyond what the client takes.
    blobs.preloadBlob("layouts", "L1.layout", Bytes(2 * 1024 * 1024, 7));
    error.reset();
    client->downloadLayoutFile(
        entity, [](const std::filesystem::path&) { FAIL() << "too large"; },
        [&](const platform::Error& e) { error = e; });
    ASSERT_TRUE(runMainUntil([&] { return error.has_value(); }));
    EXPECT_EQ(error->code(), static_cast<long>(QLSharingErrorCode::TooLarge));
    EXPECT_EQ(filesIn(folder), 0u);
    EXPECT_EQ(Events().cloudErrors("DownloadLayout"), 2);
}

TEST_F(SharingServerTest, SignaturesAreAskedOnceAndRenewedBeforeTheyExpire) {
    sharing.setSignatureLifetime(3600);
    int answered = 0;
    std::vector<std::optional<platform::Error>> errors;
    for (int i = 0; i < 5; ++i) {
        client->blobContainerNamed("layouts", [&](const std::shared_ptr<BLSCloudBlobContainer>& container,
                                                  const std::optional<platform::Error>& error) {
            ++answered;
            errors.push_back(error);
            EXPECT_NE(container, nullptr);
        });
    }
    ASSERT_TRUE(runMainUntil([&] { return answered == 5; }));
    EXPECT_EQ(sharing.requestsEndingWith("/sas").size(), 1u);

    // Within five minutes of the expiry the signature is asked for again.
    clock->setDate(clock->now() + std::chrono::minutes(56));
    client->blobContainerNamed("layouts", [&](const auto&, const auto&) { ++answered; });
    ASSERT_TRUE(runMainUntil([&] { return answered == 6; }));
    EXPECT_EQ(sharing.requestsEndingWith("/sas").size(), 2u);

    // A signature for another container, or of a text that is no address, is refused.
    sharing.addFault({{"path_regex", "/sas$"},
                      {"times", 1},
                      {"action", {{"body", R"({"containerUrl": "http://127.0.0.1:1/acc/other", "sasToken": "sv=1",
                                             "expiresOn": "2100-01-01T00:00:00Z"})"}}}});
    std::optional<platform::Error> refused;
    client->blobContainerNamed("previews", [&](const auto& container, const std::optional<platform::Error>& error) {
        EXPECT_EQ(container, nullptr);
        refused = error;
    });
    ASSERT_TRUE(runMainUntil([&] { return refused.has_value(); }));
    EXPECT_EQ(refused->code(), static_cast<long>(QLSharingErrorCode::InvalidReply));
    for (const auto& error : errors) EXPECT_FALSE(error.has_value());
}

TEST_F(SharingServerTest, ALayoutDownloadCutBeforeItsBodyIsRetriedIntoTheSameFile) {
    const Bytes file = layoutFile(13);
    const EntityPtr entity = publish(blobs, sharing, *client, "L1", file);
    ASSERT_NE(entity, nullptr);

    // The blob service's head arrives, then the connection drops before the body.
    blobs.addFault(
        json({{"method", "GET"}, {"path_regex", "L1.layout"}, {"times", 1}, {"action", {{"drop_after_bytes", 0}}}})
            .dump());
    std::optional<std::filesystem::path> path;
    std::optional<platform::Error> error;
    client->downloadLayoutFile(
        entity, [&](const std::filesystem::path& p) { path = p; }, [&](const platform::Error& e) { error = e; });
    ASSERT_TRUE(runMainUntil([&] { return path || error; }));
    ASSERT_FALSE(error.has_value()) << error->localizedDescription();
    EXPECT_EQ(fileBytes(*path), file);
    EXPECT_EQ(filesIn(path->parent_path()), 1u) << "no temporary file is left beside it";
    std::vector<testsupport::RecordedRequest> gets;
    for (const auto& request : blobs.requests()) {
        if (request.operation == "getblob") gets.push_back(request);
    }
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_TRUE(gets[0].faulted);
    EXPECT_FALSE(gets[1].faulted);
    EXPECT_EQ(Events().cloudErrors("DownloadLayout"), 0);
}

TEST_F(SharingServerTest, SignaturesThatSignNothingAreRefusedAndNeverExpiringOnesAreAskedForEachTime) {
    const Bytes file = layoutFile(14);
    const EntityPtr entity = publish(blobs, sharing, *client, "L1", file);
    ASSERT_NE(entity, nullptr);
    auto download = [&] {
        std::optional<std::filesystem::path> path;
        std::optional<platform::Error> error;
        client->downloadLayoutFile(
            entity, [&](const std::filesystem::path& p) { path = p; }, [&](const platform::Error& e) { error = e; });
        EXPECT_TRUE(runMainUntil([&] { return path || error; }));
        return std::make_pair(path, error);
    };

    // A token of "?" alone, or of "?" and no pairs, would leave blob requests unsigned: refused, nothing sent.
    for (const char* token : {"?", "??x"}) {
        const std::size_t sent = blobs.requests().size();
        sharing.addFault({{"path_regex", "/sas$"},
                          {"times", 1},
                          {"action",
                           {{"body", json({{"containerUrl", blobs.baseUrl() + "/layouts"},
                                           {"sasToken", token},
                                           {"expiresOn", "2100-01-01T00:00:00Z"}})
                                         .dump()}}}});
        auto [path, error] = download();
        EXPECT_FALSE(path.has_value()) << token;
        ASSERT_TRUE(error.has_value()) << token;
        EXPECT_EQ(error->code(), static_cast<long>(QLSharingErrorCode::InvalidReply)) << token;
        EXPECT_EQ(blobs.requests().size(), sent) << token << ": a blob request went out";
    }

    // A signature that expires on 31 December 9999, beyond what a date holds:
    // taken, and asked for anew with each use, as one without an expiry is.
    // In plain seconds: no time point reaches that far. The server signs on its real clock.
    const double lastDayOf9999 = 253402214400.0;  // 9999-12-31T00:00:00Z
    sharing.setSignatureLifetime(lastDayOf9999 - static_cast<double>(std::time(nullptr)));
    const std::size_t asked = sharing.requestsEndingWith("/sas").size();
    auto [path, error] = download();
    ASSERT_FALSE(error.has_value()) << error->localizedDescription();
    EXPECT_EQ(fileBytes(*path), file);
    int answered = 0;
    client->blobContainerNamed("layouts", [&](const std::shared_ptr<BLSCloudBlobContainer>& container,
                                              const std::optional<platform::Error>& containerError) {
        EXPECT_NE(container, nullptr);
        EXPECT_FALSE(containerError.has_value());
        ++answered;
    });
    ASSERT_TRUE(runMainUntil([&] { return answered == 1; }));
    const auto sas = sharing.requestsEndingWith("/sas");
    ASSERT_EQ(sas.size(), asked + 2);
}

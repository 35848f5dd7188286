// The sharing caches on their own: expiry on the platform clock, clearing,
// damaged indexes, the cache file stream; the signed-in user and sign-out;
// entities read from JSON; language names of descriptions.

#include "SharingModule/Model/QLCacheFileOutputStream.h"
#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/QLLocalizedLayoutDescriptionHelper.h"
#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLSharingErrors.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMCloudCaches.h"
#include "SharingModule/Model/VKMSharedLayoutsUser.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/Image.h"
#include "platform/security/Keychain.h"
#include "tests/SharingModule/support/SharingTestSupport.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;
using platform::Value;
using Date = std::chrono::system_clock::time_point;

namespace {

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Dates the file's last change `age` before the clock's date.
void age(const fs::path& path, std::chrono::hours age, const platform::Clock& clock) {
    const auto when = std::chrono::file_clock::from_sys(clock.now() - age);
    fs::last_write_time(path, std::chrono::time_point_cast<fs::file_time_type::duration>(when));
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class SharingCaches : public ::testing::Test {
protected:
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installed{clock};
};

}  // namespace

TEST_F(SharingCaches, ObsoleteFilesGoAfterSevenDaysAndReferencesToMissingFilesAreDropped) {
    auto& layouts = QLCloudLayoutsCache::sharedInstance();
    auto& profiles = QLProfileImageCache::sharedInstance();
    auto& previews = QLPreviewImageCache::sharedInstance();
    writeFile(layouts.pathForLayout("L1"), {'W', 'k', 'S', 't'});
    layouts.recordDownload("L1");
    writeFile(layouts.pathForLayout("L2"), {'W', 'k', 'S', 't'});
    layouts.recordDownload("L2");
    writeFile(profiles.files().pathForKey("ada"), sharingtest::picture(8, 1));
    profiles.files().record("ada");
    writeFile(previews.files().pathForKey("fresh"), sharingtest::picture(8, 2));
    previews.files().record("fresh");
    writeFile(previews.files().pathForKey("old"), sharingtest::picture(8, 3));
    previews.files().record("old");
    ASSERT_NE(previews.previewImageForLayoutId("old"), nullptr);
    // Eight days old by its file; a temporary file of a write that never ended, as old; one just begun.
    age(previews.files().pathForKey("old"), std::chrono::hours(24 * 8), *clock);
    const fs::path abandoned = previews.files().folder() / ".abandoned.image.x1y2z3";
    const fs::path writing = previews.files().folder() / ".writing.image.a1b2c3";
    writeFile(abandoned, {1});
    writeFile(writing, {2});
    age(abandoned, std::chrono::hours(24 * 8), *clock);
    age(previews.files().pathForKey("fresh"), std::chrono::hours(24 * 6), *clock);
    // A reference whose file went without the cache knowing.
    fs::remove(layouts.pathForLayout("L2"));

    testsupport::LogWatch log;
    VKMCloudCaches::removeObsoleteCachedFiles();
    EXPECT_EQ(log.Count("Removing obsolete cached files older 7 days"), 1);
    EXPECT_EQ(layouts.cachedLayoutsCount(), 1) << "the reference to the missing file is dropped";
    EXPECT_TRUE(layouts.files().entryForKey("L1").has_value());
    EXPECT_EQ(previews.previewImageForLayoutId("old"), nullptr) << "also the picture held in memory";
    EXPECT_FALSE(previews.files().entryForKey("old").has_value());
    EXPECT_NE(previews.previewImageForLayoutId("fresh"), nullptr);
    EXPECT_NE(profiles.profileImageForUserId("ada"), nullptr);
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(writing));

    // A week and a day later on the clock everything is obsolete.
    clock->setDate(clock->now() + std::chrono::hours(24 * 8));
    VKMCloudCaches::removeObsoleteCachedFiles();
    EXPECT_EQ(layouts.cachedLayoutsCount(), 0);
    EXPECT_EQ(profiles.profileImageForUserId("ada"), nullptr);
    EXPECT_EQ(previews.previewImageForLayoutId("fresh"), nullptr);
    EXPECT_EQ(previews.files().count(), 0u);
    EXPECT_TRUE(namesIn(previews.files().folder()).empty());
    EXPECT_TRUE(namesIn(layouts.files().folder()).empty());
}

TEST_F(SharingCaches, ClearingEmptiesTheCachesInOrderAndTheirFilesWithThem) {
    // The user-name cache as an earlier run left it.
    const fs::path names = platform::Paths::caches() / "UserNames.plist";
    ASSERT_TRUE(platform::writeFileAtomically(names, Value(Value::Dictionary{{"ada", "Ada"}}).toStoredForm()));
    ASSERT_EQ(QLUserNameCache::sharedInstance().userNameForUserId("ada"), "Ada");
    auto& layouts = QLCloudLayoutsCache::sharedInstance();
    writeFile(layouts.pathForLayout("L1"), {1, 2, 3});
    layouts.recordDownload("L1");
    auto& profiles = QLProfileImageCache::sharedInstance();
    writeFile(profiles.files().pathForKey("ada"), sharingtest::picture(8, 1));
    profiles.files().record("ada");
    ASSERT_NE(profiles.profileImageForUserId("ada"), nullptr);
    auto& previews = QLPreviewImageCache::sharedInstance();
    writeFile(previews.files().pathForKey("L1"), sharingtest::picture(8, 2));
    previews.files().record("L1");

    testsupport::LogWatch log;
    VKMCloudCaches::clearCloudCaches();
    std::vector<std::string> order;
    for (const auto& line : log.Lines()) {
        if (line.find("Clearing the") != std::string::npos) order.push_back(testsupport::MessageOf(line));
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"Clearing the user-name cache", "Clearing the cloud layouts cache",
                                        "Clearing the profile-image cache", "Clearing the preview-image cache"}));
    EXPECT_EQ(QLUserNameCache::sharedInstance().userNameForUserId("ada"), std::nullopt);
    EXPECT_FALSE(fs::exists(names));
    EXPECT_EQ(layouts.cachedLayoutsCount(), 0);
    EXPECT_TRUE(namesIn(layouts.files().folder()).empty());
    EXPECT_EQ(profiles.profileImageForUserId("ada"), nullptr);
    EXPECT_TRUE(namesIn(profiles.files().folder()).empty());
    EXPECT_EQ(previews.files().count(), 0u);
    EXPECT_TRUE(namesIn(previews.files().folder()).empty());

    // The emptied indexes are what a restart reads.
    QLCloudLayoutsCache restarted(layouts.files().folder(), platform::Paths::caches() / "CloudLayouts.plist");
    EXPECT_EQ(restarted.cachedLayoutsCount(), 0);
}

TEST_F(SharingCaches, ADamagedIndexStartsEmptyAndNeverReachesOutsideItsFolder) {
    const fs::path root = platform::Paths::caches() / "Damaged";
    const fs::path folder = root / "Files";
    const fs::path index = root / "Files.plist";
    const fs::path victim = root / "victim";
    writeFile(victim, {'v'});
    QLFileCache probe("probe", folder, root / "unused.plist", ".x");
    writeFile(probe.pathForKey("good"), {'g'});
    const Value::Dictionary entries{
        {"escape", Value::Dictionary{{"file", "../victim"}, {"date", clock->now()}}},
        {"hidden", Value::Dictionary{{"file", ".hidden"}, {"date", clock->now()}}},
        {"no date", Value::Dictionary{{"file", probe.pathForKey("good").filename().string()}}},
        {"good", Value::Dictionary{{"file", probe.pathForKey("good").filename().string()}, {"date", clock->now()}}},
    };
    ASSERT_TRUE(platform::writeFileAtomically(index, Value(entries).toStoredForm()));
    {
        QLFileCache cache("damaged", folder, index, ".x");
        EXPECT_EQ(cache.count(), 1u);
        EXPECT_FALSE(cache.entryForKey("escape").has_value());
        EXPECT_TRUE(cache.entryForKey("good").has_value());
        cache.removeAll();
    }
    EXPECT_TRUE(fs::exists(victim));
    EXPECT_FALSE(fs::exists(probe.pathForKey("good")));

    // An index that is not one at all: the cache starts empty and writes a good one.
    ASSERT_TRUE(platform::writeFileAtomically(index, "{\"broken"));
    {
        QLFileCache cache("damaged", folder, index, ".x");
        EXPECT_EQ(cache.count(), 0u);
        writeFile(cache.pathForKey("k"), {'k'});
        cache.record("k", {{"blobName", "k.png"}});
    }
    QLFileCache reread("damaged", folder, index, ".x");
    auto entry = reread.entryForKey("k");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->attributes.at("blobName"), Value("k.png"));
    EXPECT_EQ(entry->date, clock->now());
}

TEST_F(SharingCaches, ADownloadedLayoutIsReusedForTwoDaysAndNotBeforeItsUploadWhateverDateItsIndexHolds) {
    using namespace std::chrono;
    const Date today = sys_days{year{2026} / March / 1} + hours{9};
    const struct {
        const char* name;
        Date downloaded;  // as the index holds it
        std::optional<Date> uploaded;
        Date now;
        bool reused;
    } cases[] = {
        {"just downloaded", today, std::nullopt, today, true},
        {"two days old", today - hours{48}, std::nullopt, today, true},
        {"a second older", today - hours{48} - seconds{1}, std::nullopt, today, false},
        {"downloaded in the future", today + seconds{1}, std::nullopt, today, false},
        {"uploaded after its download", today - hours{1}, today - minutes{30}, today, false},
        {"uploaded before its download", today - hours{1}, today - hours{2}, today, true},
        // Centuries before now: further back than the clock's unit counts from now.
        {"in 1700", sys_days{year{1700} / January / 1}, std::nullopt, today, false},
        {"the earliest date", Date::min(), std::nullopt, today, false},
        {"far in the future", Date::max(), std::nullopt, today, false},
        // A clock within two days of the earliest date it can show.
        {"the earliest date on an early clock", Date::min(), std::nullopt, Date::min() + hours{1}, true},
    };
    const fs::path root = platform::Paths::caches() / "Reuse";
    int number = 0;
    for (const auto& c : cases) {
        const fs::path folder = root / std::to_string(++number);
        const fs::path index = root / (std::to_string(number) + ".plist");
        QLFileCache probe("probe", folder, root / "unused.plist", ".layout");
        writeFile(probe.pathForKey("L1"), {'W', 'k', 'S', 't'});
        const Value::Dictionary entries{
            {"L1", Value::Dictionary{{"file", probe.pathForKey("L1").filename().string()}, {"date", c.downloaded}}}};
        ASSERT_TRUE(platform::writeFileAtomically(index, Value(entries).toStoredForm())) << c.name;
        clock->setDate(c.now);
        QLCloudLayoutsCache cache(folder, index);
        const auto file = cache.reusableFileForLayout("L1", c.uploaded);
        EXPECT_EQ(file.has_value(), c.reused) << c.name;
        if (file) {
            EXPECT_EQ(*file, probe.pathForKey("L1")) << c.name;
        }
    }
}

TEST_F(SharingCaches, PicturesAreKeptAtTheirCachesBudget) {
    // 4096 x 2048 of one grey, a few kilobytes: 32 MiB at full size.
    const auto png = testsupport::PlainPng(4096, 2048, 0, {60});
    const fs::path root = platform::Paths::caches();
    QLProfileImageCache profiles(root / "Budget" / "Profiles", root / "Budget" / "Profiles.plist");
    QLPreviewImageCache previews(root / "Budget" / "Previews", root / "Budget" / "Previews.plist");
    writeFile(profiles.files().pathForKey("ada"), png);
    profiles.files().record("ada", {{"blobName", "ada-512.png"}});
    writeFile(previews.files().pathForKey("L1"), png);
    previews.files().record("L1", {{"blobName", "L1-preview.png"}});

    const testsupport::LogWatch log;
    // Profile pictures: at most 1024 x 1024; previews: 2048 x 2048.
    const auto picture = profiles.profileImageForUserId("ada");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixelWidth(), 1366);
    EXPECT_EQ(picture->pixelHeight(), 683);
    EXPECT_EQ(*picture->pixel(1365, 682), (platform::Pixel{60, 60, 60, 255}));
    const auto preview = previews.previewImageForLayoutId("L1");
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->pixelWidth(), 2048);
    EXPECT_EQ(preview->pixelHeight(), 1024);
    EXPECT_EQ(log.Count("ProfileImage: a picture of 4096 x 2048 pixels is over the budget of 1048576: decoded at "
                        "1366 x 683"),
              1);
    EXPECT_EQ(log.Count("PreviewImage: a picture of 4096 x 2048 pixels is over the budget of 4194304: decoded at "
                        "2048 x 1024"),
              1);
    // Kept decoded: asked again, the same image without decoding again.
    EXPECT_EQ(profiles.profileImageForUserId("ada"), picture);
    EXPECT_EQ(log.Count("ProfileImage: a picture"), 1);
}

TEST_F(SharingCaches, EachCacheKeepsItsPicturesWithinItsBytesTheLeastRecentlyUsedLeavingFirst) {
    const fs::path root = platform::Paths::caches() / "Recent";
    QLProfileImageCache profiles(root / "Profiles", root / "Profiles.plist");
    QLPreviewImageCache previews(root / "Previews", root / "Previews.plist");
    struct Case {
        const char* name;
        QLBlobImageCache& cache;
        int side;            // pictures at the cache's budget for one
        std::size_t memory;  // four of them
    };
    const Case cases[] = {
        {"profile pictures", profiles, 1024, 16u * 1024 * 1024},
        {"previews", previews, 2048, 64u * 1024 * 1024},
    };
    using Keys = std::vector<std::string>;
    for (const Case& c : cases) {
        for (const std::string key : {"a", "b", "c", "d", "e"}) {
            writeFile(c.cache.files().pathForKey(key),
                      testsupport::PlainPng(c.side, c.side, 0, {static_cast<std::uint8_t>(key[0])}));
            c.cache.files().record(key, {{"blobName", key + ".png"}});
        }
        std::map<std::string, std::shared_ptr<platform::Image>> seen;
        for (const std::string key : {"a", "b", "c", "d"}) seen[key] = c.cache.imageForKey(key);
        EXPECT_EQ(c.cache.keysInMemory(), (Keys{"d", "c", "b", "a"})) << c.name;
        EXPECT_EQ(c.cache.bytesInMemory(), c.memory) << c.name;

        // "a" used again survives the next picture; "b", now the least
        // recently used, leaves, and comes back decoded anew.
        EXPECT_EQ(c.cache.imageForKey("a"), seen["a"]) << c.name;
        ASSERT_NE(c.cache.imageForKey("e"), nullptr) << c.name;
        EXPECT_EQ(c.cache.keysInMemory(), (Keys{"e", "a", "d", "c"})) << c.name;
        EXPECT_EQ(c.cache.bytesInMemory(), c.memory) << c.name;
        const auto again = c.cache.imageForKey("b");
        ASSERT_NE(again, nullptr) << c.name;
        EXPECT_NE(again, seen["b"]) << c.name << ": decoded again from its file";
        EXPECT_EQ(*again->pixel(0, 0), (platform::Pixel{'b', 'b', 'b', 255})) << c.name;
        EXPECT_EQ(c.cache.keysInMemory(), (Keys{"b", "e", "a", "d"})) << c.name;

        // What no longer has a file leaves memory too; clearing empties it.
        c.cache.files().remove("a");
        c.cache.dropReferencesToMissingFiles();
        EXPECT_EQ(c.cache.keysInMemory(), (Keys{"b", "e", "d"})) << c.name;
        EXPECT_EQ(c.cache.bytesInMemory(), c.memory / 4 * 3) << c.name;
        c.cache.clear();
        EXPECT_EQ(c.cache.keysInMemory(), Keys{}) << c.name;
        EXPECT_EQ(c.cache.bytesInMemory(), 0u) << c.name;
    }
}

TEST_F(SharingCaches, ACacheStreamPutsOnlyWholeFilesInPlace) {
    const fs::path folder = platform::Paths::caches() / "Streams";
    const fs::path target = folder / "file.bin";
    writeFile(target, {'o', 'l', 'd'});
    const std::uint8_t bytes[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};

    QLCacheFileOutputStream tooLarge(target, 16);
    tooLarge.open();
    EXPECT_EQ(tooLarge.write(bytes, 10), 10);
    EXPECT_EQ(tooLarge.write(bytes, 10), -1);
    EXPECT_EQ(tooLarge.status(), platform::StreamStatus::Error);
    EXPECT_EQ(tooLarge.streamError()->code(), EFBIG);
    EXPECT_FALSE(tooLarge.commit());
    EXPECT_EQ(readText(target), "old");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"file.bin"}) << "no temporary file is left";

    {
        QLCacheFileOutputStream abandoned(target, 16);
        abandoned.open();
        EXPECT_EQ(abandoned.write(bytes, 4), 4);
        EXPECT_EQ(namesIn(folder).size(), 2u);
    }
    EXPECT_EQ(readText(target), "old");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"file.bin"});

    QLCacheFileOutputStream whole(target, 16);
    whole.open();
    EXPECT_EQ(whole.write(bytes, 10), 10);
    EXPECT_EQ(whole.write(bytes, 6), 6);
    whole.close();
    EXPECT_TRUE(whole.commit());
    EXPECT_EQ(readText(target), "0123456789012345");

    // A folder that cannot be made fails the stream at open.
    QLCacheFileOutputStream nowhere(target / "below-a-file", 16);
    nowhere.open();
    EXPECT_EQ(nowhere.status(), platform::StreamStatus::Error);
    EXPECT_FALSE(nowhere.commit());
}

TEST_F(SharingCaches, SignOutEmptiesTheUserAndForgetsItsPassword) {
    auto& defaults = platform::UserDefaults::standard();
    platform::security::Keychain keychain;
    VKMSharedLayoutsUser user;
    EXPECT_EQ(user.userID(), std::nullopt) << "never signed in";
    EXPECT_FALSE(user.hasValidUserCredentials());

    defaults.setString(VKMSharedLayoutsUser::kUserIDKey, "ada");
    EXPECT_FALSE(user.hasValidUserCredentials()) << "no password";
    const std::vector<std::uint8_t> empty;
    ASSERT_EQ(keychain.setItem("VKMSharedLayoutsAPI", "ada", empty), platform::security::Keychain::Status::Success);
    EXPECT_FALSE(user.hasValidUserCredentials()) << "an empty password";
    const std::vector<std::uint8_t> secret{'p', 'w'};
    ASSERT_EQ(keychain.setItem("VKMSharedLayoutsAPI", "ada", secret), platform::security::Keychain::Status::Success);
    ASSERT_EQ(keychain.setItem("VKMSharedLayoutsAPI", "grace", secret), platform::security::Keychain::Status::Success);
    defaults.setObject(VKMSharedLayoutsUser::kLastLogonTimestampKey, Value(clock->now()));
    EXPECT_TRUE(user.hasValidUserCredentials());
    EXPECT_EQ(user.password(), "pw");
    EXPECT_EQ(user.lastLogonTimestamp(), clock->now());

    user.clearCurrentUserID();
    EXPECT_EQ(user.userID(), std::string());
    EXPECT_FALSE(user.hasValidUserCredentials());
    EXPECT_EQ(user.lastLogonTimestamp(), std::nullopt);
    platform::security::Keychain::Bytes left;
    EXPECT_EQ(keychain.copyItem("VKMSharedLayoutsAPI", "ada", left),
              platform::security::Keychain::Status::ItemNotFound);
    EXPECT_EQ(keychain.copyItem("VKMSharedLayoutsAPI", "grace", left), platform::security::Keychain::Status::Success);
    // What a restart reads: the empty text under both keys.
    defaults.reload();
    EXPECT_EQ(defaults.object(VKMSharedLayoutsUser::kUserIDKey), Value(""));
    EXPECT_EQ(defaults.object(VKMSharedLayoutsUser::kLastLogonTimestampKey), Value(""));
}

TEST_F(SharingCaches, EntitiesReadNullsAsAbsentAndIgnoreUnknownKeys) {
    auto json = Value::fromJson(R"({"id": "L9", "title": null, "numberOfTracks": 12.0, "colour": "red",
                                    "likeUsers": ["ada", "grace"], "uploadDate": "2024-06-01T12:00:00+02:00"})");
    ASSERT_TRUE(json.has_value());
    std::optional<platform::Error> error;
    auto entity = QLLayoutEntity::entityWithJSON(*json, error);
    ASSERT_NE(entity, nullptr) << error->localizedDescription();
    EXPECT_EQ(entity->title(), "");
    EXPECT_EQ(entity->numberOfTracks(), 12);
    EXPECT_EQ(std::chrono::system_clock::to_time_t(*entity->uploadDate()), 1717236000);
    EXPECT_TRUE(entity->isLikedByUser("grace"));
    EXPECT_FALSE(entity->isLikedByUser(""));
    EXPECT_FALSE(entity->isLikedByUser("Ada"));

    for (const char* text : {R"({"title": "no id"})", R"({"id": ""})", R"("L9")", "null"}) {
        error.reset();
        EXPECT_EQ(QLLayoutEntity::entityWithJSON(*Value::fromJson(text), error), nullptr) << text;
        ASSERT_TRUE(error.has_value()) << text;
        EXPECT_EQ(error->code(), static_cast<long>(QLSharingErrorCode::InvalidReply)) << text;
    }
}

TEST(SharingDescriptions, LanguageNamesComeFromTheEngineListAndUnknownCodesHaveNone) {
    testsupport::RegisterLocalization("en");
    using Helper = QLLocalizedLayoutDescriptionHelper;
    EXPECT_EQ(Helper::localizedLanguageNameForTwoLetterCode("de"), "German");
    EXPECT_EQ(Helper::localizedLanguageNameForTwoLetterCode("az"), "South Azerbaijani");
    EXPECT_EQ(Helper::localizedLanguageNameForTwoLetterCode("DE"), std::nullopt);
    EXPECT_EQ(Helper::localizedLanguageNameForTwoLetterCode("xx"), std::nullopt);
    EXPECT_EQ(Helper::localizedLanguageNameForTwoLetterCode(""), std::nullopt);
}

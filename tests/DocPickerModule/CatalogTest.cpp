// The catalogue and the local-layouts list in a window: what they list, the
// open requests a tap posts and what the catalogue's opener makes of them
// against the sharing and blob service stand-ins, and the local list's
// duplicate and delete through the file manager, hostile names included.

#include "DocPickerModule/Catalog/VKMCatalogViewController.h"
#include "DocPickerModule/Catalog/VKMLayoutOpenRequests.h"
#include "DocPickerModule/LocalLayouts/VKMLocalLayoutsViewController.h"
#include "DocPickerModule/VKMDocPickerScenes.h"
#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "engine/model/CurrentCloudLayout.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/SharingModule/support/SharingTestSupport.h"
#include "tests/support/EngineServices.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LargeLayout.h"

#include <fstream>

using namespace sharingtest;
using namespace platform::ui;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A layout file of `count` elements.
Bytes layoutBytes(int count) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, static_cast<std::size_t>(count), 7, 13);
    return ULayoutFileWriter::LayoutFileBytes(document.FileContent());
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

json layoutJson(const std::string& id, const std::string& title) {
    return {{"id", id},
            {"title", title},
            {"author", "ada"},
            {"uploadDate", "2024-06-01T10:00:00Z"},
            {"likeUsers", json::array()},
            {"blobName", id + ".layout"}};
}

std::string textOf(const platform::Value& info, const char* key) {
    const platform::Value* value = info.find(key);
    return value && value->asString() ? *value->asString() : std::string("<none>");
}

class DocPickerTest : public SharingServerTest {
protected:
    void SetUp() override {
        SharingServerTest::SetUp();
        testsupport::RegisterServices();
        VKMFileManager::createVKMDocumentsFolderIfNotExists();
        const fs::path folder = VKMFileManager::pathToVKMDocumentsFolder();
        writeFile(folder / "plan 2", layoutBytes(2));
        writeFile(folder / "Harbour", layoutBytes(3));
        writeFile(folder / "export.png", {1, 2, 3});
        window->makeKeyAndVisible();
    }
    void TearDown() override { window->setRootViewController(nullptr); }

    // A downloaded shared layout of `tracks` tracks, known to the service
    // and to the entity cache when a title is given.
    void downloaded(const std::string& id, int tracks, const std::string& title = {}) {
        auto& cache = QLCloudLayoutsCache::sharedInstance();
        writeFile(cache.pathForLayout(id), layoutBytes(tracks));
        cache.recordDownload(id);
        if (title.empty()) return;
        sharing.addLayouts({layoutJson(id, title)});
        std::optional<platform::Error> error;
        auto entity =
            QLLayoutEntity::entityWithJSON(platform::Value::fromJson(layoutJson(id, title).dump()).value(), error);
        ASSERT_NE(entity, nullptr);
        VKMLayoutEntityCache::sharedInstance().setObject(entity, id);
    }

    void show(const std::shared_ptr<ViewController>& controller) {
        window->setRootViewController(controller);
        window->layoutIfNeeded();
    }

    void tapRow(TableView& table, IndexPath path) {
        const platform::Rect row = table.convertRectToView(table.rectForRowAtIndexPath(path), nullptr);
        synth.tap({row.x + row.width / 2, row.y + row.height / 2});
        synth.wait(1);
    }

    std::vector<std::string> shownTexts(TableView& table, int section) {
        std::vector<std::string> texts;
        for (int row = 0; row < table.numberOfRowsInSection(section); ++row) {
            auto cell = table.cellForRowAtIndexPath({section, row});
            texts.push_back(cell ? cell->textLabel()->text() : "<no cell>");
        }
        return texts;
    }

    std::shared_ptr<AlertController> shownAlert() {
        synth.wait(1);
        const auto alerts = AlertController::presentedAlerts();
        return alerts.empty() ? nullptr : alerts.back();
    }

    std::shared_ptr<Window> window = std::make_shared<Window>(platform::Rect{0, 0, 390, 844});
    TouchSynth synth{window};
};

}  // namespace

TEST_F(DocPickerTest, CatalogueListsLocalAndDownloadedLayoutsAndATapOpensThem) {
    downloaded("L1", 4, "Harbour_Line");
    downloaded("L0", 1);  // no details known: listed by its identifier
    NotificationRecorder localRequests(VKMLayoutOpenRequests::kOpenLocalLayoutNotification);
    NotificationRecorder cloudRequests(VKMLayoutOpenRequests::kOpenCloudLayoutRequestedNotification);
    NotificationRecorder loaded(VKMLayoutDocumentHelper::kDocumentLoadedNotification);
    NotificationRecorder loading(VKMLayoutDocumentHelper::kDocumentLoadingNotification);
    NotificationRecorder failed(VKMLayoutDocumentHelper::kDocumentLoadFailedNotification);

    VKMDocPickerScenes::registerScenes();
    auto catalogue = Storyboard::named("Main")->instantiateViewControllerAs<VKMCatalogViewController>(
        VKMCatalogViewController::kSceneIdentifier);
    ASSERT_NE(catalogue, nullptr);
    // The scene's opener would use the app's client: serve requests with the test's.
    catalogue = std::make_shared<VKMCatalogViewController>(client);
    show(catalogue);
    auto& table = *catalogue->tableView();
    EXPECT_EQ(shownTexts(table, VKMCatalogViewController::kLocalSection),
              (std::vector<std::string>{"Harbour", "plan 2"}));
    EXPECT_EQ(shownTexts(table, VKMCatalogViewController::kCloudSection),
              (std::vector<std::string>{"Harbour Line", "L0"}));
    EXPECT_EQ(table.cellForRowAtIndexPath({VKMCatalogViewController::kCloudSection, 0})->detailTextLabel()->text(),
              "ada")
        << "the author's identifier while the name is not known";

    // A local row: the request names the file, and the file is loaded as no shared layout.
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("old"));
    tapRow(table, {VKMCatalogViewController::kLocalSection, 1});
    ASSERT_EQ(localRequests.count(), 1u);
    EXPECT_EQ(textOf(localRequests.posts()[0].userInfo, VKMLayoutOpenRequests::kKeyFileURL),
              (VKMFileManager::pathToVKMDocumentsFolder() / "plan 2").string());
    EXPECT_EQ(cloudRequests.count(), 0u);
    ASSERT_TRUE(runMainUntil([&] { return loaded.count() == 1; })) << "read off the main thread";
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 2u);
    EXPECT_EQ(VKMLayoutSession::sharedSession().cloudLayoutId(), std::nullopt);

    // A shared row: the request names the layout; its downloaded file is reused.
    tapRow(table, {VKMCatalogViewController::kCloudSection, 0});
    ASSERT_EQ(cloudRequests.count(), 1u);
    EXPECT_EQ(textOf(cloudRequests.posts()[0].userInfo, VKMLayoutOpenRequests::kKeyLayoutId), "L1");
    ASSERT_TRUE(runMainUntil([&] { return loaded.count() == 2; }));
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 4u);
    EXPECT_EQ(VKMLayoutSession::sharedSession().cloudLayoutId(), std::optional<std::string>("L1"));
    EXPECT_EQ(sharing.requestsEndingWith("/layouts/L1").size(), 1u) << "fresh details first";
    EXPECT_TRUE(sharing.counts()["downloads"].empty()) << "the downloaded file is reused";

    EXPECT_EQ(loading.count(), 3u) << "the local file's read, and the shared layout's download and read";

    // A layout the service does not know: the user is told, nothing is loaded.
    tapRow(table, {VKMCatalogViewController::kCloudSection, 1});
    EXPECT_EQ(loading.count(), 4u);
    ASSERT_TRUE(runMainUntil([&] { return !AlertController::presentedAlerts().empty(); }));
    EXPECT_EQ(failed.count(), 1u) << "the screens end their busy view";
    auto alert = shownAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->title(), "The layout could not be opened");
    EXPECT_EQ(loaded.count(), 2u);
    EXPECT_EQ(VKMLayoutSession::sharedSession().cloudLayoutId(), std::nullopt);
    EXPECT_TRUE(CCurrentCloudLayout::Instance().Layout()->GetElements().empty()) << "closed first";
}

// The section titles start where the rows' texts do, not at the edge.
TEST_F(DocPickerTest, CatalogueSectionTitlesAreInsetAsTheRows) {
    downloaded("L1", 2, "Harbour_Line");
    auto catalogue = std::make_shared<VKMCatalogViewController>(client);
    show(catalogue);
    auto& table = *catalogue->tableView();
    for (const int section : {VKMCatalogViewController::kLocalSection, VKMCatalogViewController::kCloudSection}) {
        const auto header = table.headerViewForSection(section);
        ASSERT_NE(header, nullptr) << section;
        std::shared_ptr<Label> title;
        for (const auto& view : header->subviews()) {
            if (auto label = std::dynamic_pointer_cast<Label>(view)) title = label;
        }
        ASSERT_NE(title, nullptr) << section;
        EXPECT_EQ(title->text(),
                  section == VKMCatalogViewController::kLocalSection ? "On this device" : "Downloaded shared layouts");
        const auto cell = table.cellForRowAtIndexPath({section, 0});
        ASSERT_NE(cell, nullptr) << section;
        const platform::Rect row = cell->textLabel()->convertRectToView(cell->textLabel()->bounds(), nullptr);
        const platform::Rect shown = title->convertRectToView(title->bounds(), nullptr);
        const platform::Rect band = header->convertRectToView(header->bounds(), nullptr);
        EXPECT_GT(row.x, 8) << section;
        EXPECT_DOUBLE_EQ(shown.x, row.x) << section;
        EXPECT_DOUBLE_EQ(band.x + band.width - (shown.x + shown.width), row.x) << "as far from the right edge";
        EXPECT_DOUBLE_EQ(shown.height, band.height) << section;
    }
}

// A long local name shows whole at the phone's smallest window: on two
// lines at three quarters of its size or more, or on a taller row.
TEST_F(DocPickerTest, ALongLocalNameShowsWholeAtThePhonesSmallestWindow) {
    const std::string station = "Bahnhof Neustadt mit Güterbahnhof und Ausweichgleisen";
    const std::string yard =
        station + " und dem Bahnbetriebswerk am Nordkopf hinter der Drehscheibe und dem Lokschuppen";
    const fs::path folder = VKMFileManager::pathToVKMDocumentsFolder();
    writeFile(folder / station, layoutBytes(1));
    writeFile(folder / yard, layoutBytes(1));

    auto catalogue = std::make_shared<VKMCatalogViewController>(client);
    auto local = std::make_shared<VKMLocalLayoutsViewController>();
    const std::pair<std::shared_ptr<TableViewController>, int> screens[] = {
        {catalogue, VKMCatalogViewController::kLocalSection}, {local, 0}};
    for (const auto& [screen, section] : screens) {
        window->setFrame({0, 0, 390, 844});
        show(screen);
        for (const platform::Size size : {platform::Size{320, 568}, platform::Size{390, 844}}) {
            const std::string where = screen->className() + " " + std::to_string(int(size.width)) + " wide";
            window->transitionToSize(size, 0);
            window->layoutIfNeeded();
            auto& table = *screen->tableView();
            ASSERT_EQ(table.bounds().width, size.width) << where;
            int shown = 0;
            for (int row = 0; row < table.numberOfRowsInSection(section); ++row) {
                const auto cell = table.cellForRowAtIndexPath({section, row});
                ASSERT_NE(cell, nullptr) << where;
                const auto& label = *cell->textLabel();
                const bool isStation = label.text() == station;
                if (!isStation && label.text() != yard) continue;
                ++shown;
                EXPECT_FALSE(label.truncatesText()) << where << ": " << label.text();
                EXPECT_GE(label.rendering().scale, 0.75) << where << ": " << label.text();
                EXPECT_LE(label.frame().maxY(), cell->bounds().height) << where << ": inside its row";
                const double height = table.rectForRowAtIndexPath({section, row}).height;
                if (isStation) {
                    EXPECT_EQ(height, table.rowHeight()) << where << ": two lines hold it";
                    EXPECT_EQ(label.rendering().layout->lines().size(), 2u) << where;
                } else {
                    EXPECT_GT(height, table.rowHeight()) << where << ": a taller row";
                }
            }
            EXPECT_EQ(shown, 2) << where;
        }
    }
}

TEST_F(DocPickerTest, OnlyTheLatestOpenRequestIsServed) {
    downloaded("L1", 4, "Harbour_Line");
    NotificationRecorder loaded(VKMLayoutDocumentHelper::kDocumentLoadedNotification);
    auto catalogue = std::make_shared<VKMCatalogViewController>(client);
    // The shared layout is asked for, then a local file before its details arrive.
    VKMLayoutOpenRequests::requestCloudLayout("L1", this);
    VKMLayoutOpenRequests::requestLocalLayout(VKMFileManager::pathToVKMDocumentsFolder() / "Harbour", this);
    ASSERT_TRUE(runMainUntil([&] { return loaded.count() == 1; }));
    ASSERT_TRUE(runMainUntil([&] { return !sharing.requestsEndingWith("/layouts/L1").empty(); }));
    runMainFor(std::chrono::milliseconds(300));
    EXPECT_EQ(loaded.count(), 1u) << "the shared layout came too late";
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 3u);
    EXPECT_EQ(VKMLayoutSession::sharedSession().cloudLayoutId(), std::nullopt);

    // Requests without their key are only logged.
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutOpenRequests::kOpenCloudLayoutRequestedNotification, this);
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutOpenRequests::kOpenLocalLayoutNotification, this,
        platform::Value(platform::Value::Dictionary{{VKMLayoutOpenRequests::kKeyFileURL, platform::Value(7)}}));
    EXPECT_EQ(loaded.count(), 1u);
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutOpenRequests::kOpenLocalLayoutNotification, this,
        platform::Value(platform::Value::Dictionary{{VKMLayoutOpenRequests::kKeyFileURL, "https://example.org/x"}}));
    EXPECT_EQ(loaded.count(), 1u);

    // A handed-in file may come as a file URL.
    std::string url = "file://";
    for (char c : (VKMFileManager::pathToVKMDocumentsFolder() / "plan 2").string())
        url += c == ' ' ? "%20" : std::string(1, c);
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutOpenRequests::kOpenLocalLayoutNotification, this,
        platform::Value(platform::Value::Dictionary{{VKMLayoutOpenRequests::kKeyFileURL, url}}));
    ASSERT_TRUE(runMainUntil([&] { return loaded.count() == 2; }));
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 2u);
}

TEST_F(DocPickerTest, LocalListDuplicatesAndDeletesThroughTheFileManagerAndRefusesHostileNames) {
    const fs::path folder = VKMFileManager::pathToVKMDocumentsFolder();
    const fs::path outside = folder.parent_path() / "victim";
    writeFile(outside, {9});
    auto list = std::make_shared<VKMLocalLayoutsViewController>();
    show(list);
    auto& table = *list->tableView();
    EXPECT_EQ(shownTexts(table, 0), (std::vector<std::string>{"Harbour", "plan 2"}));

    // Duplicate from the row's actions.
    tapRow(table, {0, 0});
    auto sheet = shownAlert();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->title(), "Harbour");
    ASSERT_TRUE(sheet->tapActionWithTitle("Duplicate"));
    synth.wait(1);
    EXPECT_TRUE(fs::exists(folder / "Copy of Harbour"));
    EXPECT_EQ(shownTexts(table, 0), (std::vector<std::string>{"Copy of Harbour", "Harbour", "plan 2"}));

    // Delete asks first; cancelling keeps the file.
    tapRow(table, {0, 2});
    ASSERT_TRUE(shownAlert()->tapActionWithTitle("Delete"));
    auto question = shownAlert();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->message(), "Delete this layout from the device?");
    ASSERT_TRUE(question->tapActionWithTitle("Cancel"));
    synth.wait(1);
    EXPECT_TRUE(fs::exists(folder / "plan 2"));
    tapRow(table, {0, 2});
    ASSERT_TRUE(shownAlert()->tapActionWithTitle("Delete"));
    ASSERT_TRUE(shownAlert()->tapActionWithTitle("Delete"));
    synth.wait(1);
    EXPECT_FALSE(fs::exists(folder / "plan 2"));
    EXPECT_EQ(shownTexts(table, 0), (std::vector<std::string>{"Copy of Harbour", "Harbour"}));
    EXPECT_TRUE(AlertController::presentedAlerts().empty());

    // Names that reach outside the folder are refused and reported; nothing moves.
    for (const std::string hostile : {"../victim", "..", "/etc/passwd", ""}) {
        SCOPED_TRACE(hostile);
        list->duplicateLayout(hostile);
        auto refused = shownAlert();
        ASSERT_NE(refused, nullptr);
        EXPECT_EQ(refused->title(), "The layout could not be duplicated.");
        ASSERT_TRUE(refused->tapActionWithTitle("OK"));
        synth.wait(1);
        list->deleteLayout(hostile);
        ASSERT_TRUE(shownAlert()->tapActionWithTitle("Delete"));
        refused = shownAlert();
        ASSERT_NE(refused, nullptr);
        EXPECT_EQ(refused->title(), "The layout could not be deleted.");
        ASSERT_TRUE(refused->tapActionWithTitle("OK"));
        synth.wait(1);
    }
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(folder.parent_path() / "Copy of victim"));
    EXPECT_TRUE(fs::exists(folder / "Harbour"));
    EXPECT_EQ(list->layouts(), (std::vector<std::string>{"Copy of Harbour", "Harbour"}));
}

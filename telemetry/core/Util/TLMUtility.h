#pragma once
// The telemetry client's stateless services: its name and version, keyed
// archiving of its records with the list of classes that may be restored,
// dates in its ISO 8601 form, its own folder and the files in it, the
// checking of event properties and target keys.

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the client asks of the application object. The app registers its own
// at start-up; a process without one (a tool, a test) has none.
class TLMApplicationInterface {
public:
    virtual ~TLMApplicationInterface() = default;
    // 0 active, 1 inactive, 2 in the background.
    virtual long applicationState() = 0;
    virtual bool canOpenURL(const std::string& url) = 0;
    // Opens the URL; `completion` gets whether it was opened.
    virtual void openURL(const std::string& url, std::function<void(bool)> completion) = 0;
};

class TLMUtility {
public:
    // ---- Identity
    static std::string sdkName();     // "telemetry.ios"
    static std::string sdkVersion();  // "1.0.0"

    // ---- Archiving
    // The keyed archive of the object (or any archive value); none for a
    // null value, and none with the error "Archiving NSData failed with
    // error: <reason>" when it cannot be archived.
    static std::optional<std::vector<std::uint8_t>> archiveKeyedData(const TLMArchiveValue& object);
    // The value read back, restoring only the allowed classes and kinds;
    // none with the error "Unarchiving NSData failed with error: <reason>"
    // for bytes that are no whole archive of allowed classes. Texts that are
    // not UTF-8 are read as `texts` says.
    static std::optional<TLMArchiveValue> unarchiveKeyedData(
        const std::vector<std::uint8_t>& data, TLMKeyedUnarchiver::Texts texts = TLMKeyedUnarchiver::Texts::AsStored);
    // Adds to the process-wide list of what unarchiving restores. Thread-safe.
    static void addAllowedClasses(const std::vector<TLMArchiveClass>& classes);
    // Empties the list, as a new process has it. For tests that run one
    // after another in a process.
    static void forgetAllowedClassesForTests();

    // ---- The application
    // The application state, or 3 (no state of an application) in a
    // process without an application object.
    static long applicationState();
    static void setSharedApp(std::shared_ptr<TLMApplicationInterface> application);
    static std::shared_ptr<TLMApplicationInterface> sharedApp();
    // Opens the URL on the main queue; `completionHandler` gets 1 when it was
    // opened, 2 when not (at once when no application can open it).
    static void sharedAppOpenUrl(const std::string& url, std::function<void(long)> completionHandler);

    // ---- Installation kind
    // 99 for a development build (the bundle holds "embedded.mobileprovision"),
    // 1 for a test-distribution build (its store receipt is "sandboxReceipt"),
    // 0 for a store build.
    static long currentAppEnvironment();
    static bool hasEmbeddedMobileProvision();
    static bool isAppStoreReceiptSandbox();

    // ---- Dates
    using Date = std::chrono::system_clock::time_point;
    // Now by the platform clock, in milliseconds since 1970.
    static double nowInMilliseconds();
    // "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'" in UTC; the milliseconds are cut, not
    // rounded, so a date never reads back later than it was.
    static std::string dateToISO8601(const Date& date);
    // The date of a text of exactly that form; none for any other text.
    static std::optional<Date> dateFromISO8601(const std::string& text);

    // ---- The client's folder and its files
    // Every path component is taken within the client's folder (a leading
    // "/" does not leave it); an empty one gives none or false. The file
    // operations run under one lock.
    using Path = std::filesystem::path;
    using Data = std::vector<std::uint8_t>;
    // "<Application Support>/com.vekmont.telemetry", made once per process.
    static Path telemetryDirectoryURL();
    // Lets the next call find and make the folder again, as a new process
    // does. For tests that run one after another in a process.
    static void forgetTelemetryDirectoryForTests();
    static std::optional<Path> fullURLForPathComponent(const std::string& pathComponent);
    static bool fileExistsForPathComponent(const std::string& pathComponent);
    // Without `forceOverwrite` an existing file is left as it is and its path
    // returned. Otherwise the parent folders are made and the data written
    // (nothing for none), atomically when asked. None, with the error
    // "Couldn't create new file at path <path>", when it cannot be written.
    static std::optional<Path> createFileAtPathComponent(const std::string& pathComponent,
                                                         const std::optional<Data>& data, bool atomically,
                                                         bool forceOverwrite);
    static std::optional<Path> createDirectoryForPathComponent(const std::string& pathComponent);
    static std::optional<Data> loadDataForPathComponent(const std::string& pathComponent);
    // Removes the file or folder with all it holds; a failure (a missing
    // item too) is logged at debug level.
    static bool deleteItemForPathComponent(const std::string& pathComponent);
    static bool deleteFileAtURL(const Path& url);
    // The folder's entries in name order; none when it cannot be listed.
    static std::optional<std::vector<Path>> contentsOfDirectory(const std::string& pathComponent);
    // Writes the contents to the absolute path, replacing the file.
    static bool createFileAtPath(const Path& path, const Data& contents);
    // Makes the folder and its parents; false, with the error "Couldn't
    // create directory at <path>: <reason>", when it cannot.
    static bool createDirectoryAtURL(const Path& url);

    // ---- Event properties
    // The properties to send: at most 20 (a warning, and the rest dropped),
    // none with an empty key, keys and values cut to 125 UTF-16 units with a
    // warning each, never inside a character. `logType` and `logName` name
    // the log in the warnings.
    static std::map<std::string, std::string> validateProperties(const std::map<std::string, std::string>& properties,
                                                                 const std::string& logName,
                                                                 const std::string& logType);

    // ---- Text length as the platform counts it
    // UTF-16 code units of UTF-8 text; a byte that starts no well-formed
    // character counts as one.
    static std::size_t utf16Length(std::string_view text);
    // At most `maxUnits` UTF-16 units of the text, ending between
    // characters: a pair that would be cut in half is left out whole.
    static std::string utf16Prefix(std::string_view text, std::size_t maxUnits);

    // ---- Target tokens
    // The part of the token before its first "-"; none when that is empty.
    static std::optional<std::string> targetKeyFromTargetToken(const std::string& token);
    // "o:" and the target key; none without a target key.
    static std::optional<std::string> iKeyFromTargetToken(const std::string& token);

    // ---- The start string: parts separated by ";", such as
    // "target=<token>;appsecret=<secret>", a bare secret, or "ios=<secret>"
    // beside parts for other platforms.
    static std::optional<std::string> appSecretFrom(const std::string& string);
    static std::optional<std::string> transmissionTargetTokenFrom(const std::string& string);

    // ---- Text
    // The SHA-256 digest of the text's bytes in lower-case hexadecimal.
    static std::string sha256(const std::string& text);
    // The JSON pretty-printed (our writer leaves "/" unescaped); the data read as text
    // when it is no JSON; none for no data.
    static std::optional<std::string> prettyPrintJson(const std::optional<Data>& data);
    // Every case-insensitive match of `pattern` replaced by `replacement`
    // ("$1" names a group); none, with an error, for a pattern that does
    // not compile.
    static std::optional<std::string> obfuscateString(const std::string& string, const std::string& pattern,
                                                      const std::string& replacement);
};

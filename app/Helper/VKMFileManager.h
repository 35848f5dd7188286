#pragma once
// The app's folder of local layout files, "Local Track Plans" in the
// documents folder: naming, listing, copying and deleting the files in it,
// and opening a layout file handed in by another app or picked by the user.
//
// Files are addressed by bare name. A name that is empty, ".", "..",
// starts with "." or holds "/" (or a NUL) is refused: it would name the
// folder, its parent, a hidden file or something outside. Nothing is copied
// or deleted unless its resolved path lies inside the folder. Deletion is
// recursive. Failures are logged and answered with false, nothing or 0.
// Main thread only.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class VKMFileManager {
public:
    static std::filesystem::path pathToVKMDocumentsFolder();
    // "AUTOSAVE" beside the folder, in the documents folder itself.
    static std::filesystem::path pathForAutoSaveFile();
    static void createVKMDocumentsFolderIfNotExists();

    // The folder's path extended by `name`; nothing for a refused name.
    static std::optional<std::filesystem::path> absolutePathToPlan(const std::string& name);
    static bool fileExists(const std::string& name);
    static void deleteFile(const std::string& name);
    // Removes the item with what it holds; refused unless the item lies
    // inside the folder (a link in it is removed, not what it points to).
    static void deleteFileAtAbsolutePath(const std::filesystem::path& path);
    // Copies the file to "Copy of <name>", or "Copy of <name> 2" and so on
    // when that is taken; the new name, or nothing when the copy failed.
    static std::optional<std::string> cloneFile(const std::string& name);

    // The layout files: names without an extension that do not start with
    // ".", sorted case-insensitively in the user's locale.
    static std::vector<std::string> contentsOfVKMDocumentsFolder();
    // The position of `name` in contentsOfVKMDocumentsFolder.
    static std::optional<std::size_t> folderIndexOfFile(const std::string& name);
    // The first of contentsOfVKMDocumentsFolder.
    static std::optional<std::string> nameOfFirstLayoutFile();

    // Unique and made only of letters, digits, whitespace and "._+-#()[]",
    // and not a refused name.
    static bool isValidNewFilename(const std::string& name);
    // No entry of contentsOfVKMDocumentsFolder is exactly `name`.
    static bool isUniqueFilename(const std::string& name);
    // Whole seconds since 2001-01-01 00:00 UTC, cut toward zero; 0 when the
    // time cannot be had.
    static std::int64_t modificationTimeForFile(const std::string& name);

    // Closes the current layout and loads the file at `url` in place, under
    // a coordinated read; a file that cannot be read so is reported to the
    // user in an alert.
    static void openFileAtURL(const std::filesystem::path& url);
};
